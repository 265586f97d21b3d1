#include "rdml/rdml.h"

#include "common/tablelayout.h"
#include "common/text.h"
#include "conversion/meltpeaks.h"
#include "rdml/rdmlplan.h"
#include "xlsx/xmltokens.h"
#include "xlsx/zipwriter.h"

#include <algorithm>
#include <unordered_map>

namespace morvane {

using namespace rdml;

namespace {

// One channel's <data> of a react: its melting temperature, amplification and melt points.
Status appendData(std::string& out, const RdmlContent& content, const Plan& plan, const React& react,
                  std::size_t channel, RdmlSummary& summary)
{
    const int row = react.rows[channel];
    const int meltChannel = react.melt ? plan.meltChannel[channel] : -1;
    if (row < 0 && meltChannel < 0)
        return success();
    out += "<data>\n<tar id=\"";
    xlsx::appendXmlEscaped(out, content.channels[channel]);
    out += "\"/>\n";
    if (meltChannel >= 0) {
        // The main melt peak: the schema has room for one temperature.
        const MeltAnalysis melt = analyseMeltWell(*content.melt, *react.melt, static_cast<std::size_t>(meltChannel));
        if (!melt.peaks.empty())
            out += "<meltTemp>" + meltTemperatureText(melt.peaks.front().temperature) + "</meltTemp>\n";
    }
    if (row >= 0) {
        const Grid& table = *content.tables[channel];
        for (int col = kFirstReadingColumn; col < table.colCount(); ++col) {
            const std::string& cell = table.cell(row, col);
            if (cell.empty())
                continue;
            out += "<adp><cyc>";
            appendInt(out, col - 1);
            out += "</cyc><fluor>";
            if (!appendNumber(out, cell))
                return notANumber(react, content.channels[channel], "cycle " + std::to_string(col - 1), cell);
            out += "</fluor></adp>\n";
            ++summary.amplificationPoints;
        }
    }
    if (meltChannel >= 0) {
        const MeltWell& melt = *react.melt;
        for (std::size_t point = 0; point < melt.temperatures.size(); ++point) {
            out += "<mdp><tmp>";
            if (!appendNumber(out, melt.temperatures[point]))
                return notANumber(react, content.channels[channel], "melt temperature", melt.temperatures[point]);
            out += "</tmp><fluor>";
            const std::string& reading =
                melt.readings[point * plan.meltChannels + static_cast<std::size_t>(meltChannel)];
            if (!appendNumber(out, reading))
                return notANumber(react, content.channels[channel], "melt reading", reading);
            out += "</fluor></mdp>\n";
            ++summary.meltPoints;
        }
    }
    out += "</data>\n";
    return success();
}

} // namespace

RdmlContent rdmlContent(const ConvertedChannels& converted, std::vector<bool> ticks)
{
    RdmlContent content;
    content.experiment = converted.experiment;
    content.run = converted.run;
    content.format = converted.format;
    content.channels = converted.channels;
    for (const WellTable& table : converted.tables)
        content.tables.push_back(&table.grid);
    content.ticks = std::move(ticks);
    content.melt = converted.melt ? &*converted.melt : nullptr;
    return content;
}

int reactId(PlateFormat format, int row, int col)
{
    return (row - 1) * plateCols(format) + col;
}

Expected<std::string> rdmlXml(const RdmlContent& content, RdmlSummary* summaryOut)
{
    if (auto ok = checkName(content.experiment, "the experiment name"); !ok)
        return ok.error();
    if (auto ok = checkName(content.run, "the run name"); !ok)
        return ok.error();
    RdmlSummary summary;
    auto planned = makePlan(content, summary);
    if (!planned)
        return planned.error();
    const Plan& plan = *planned;

    // About 45 bytes a point: growing the string instead would copy it a few times.
    std::size_t points = 0;
    for (const React& react : plan.reacts) {
        for (std::size_t channel = 0; channel < content.tables.size(); ++channel)
            points += static_cast<std::size_t>(content.tables[channel]->colCount());
        if (react.melt)
            points += react.melt->temperatures.size() * content.tables.size();
    }
    std::string out;
    out.reserve(4096 + plan.samples.size() * 64 + plan.reacts.size() * 128 + points * 48);
    out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<rdml xmlns=\"http://www.rdml.org\" version=\"1.3\">\n";
    const auto element = [&](const char* name, std::string_view id, const char* inner) {
        out += '<';
        out += name;
        out += " id=\"";
        xlsx::appendXmlEscaped(out, id);
        out += inner[0] ? "\">" : "\"/>";
        out += inner;
        if (inner[0]) {
            out += "</";
            out += name;
            out += '>';
        }
        out += '\n';
    };
    // The schema's order: dye, sample, target, ..., experiment.
    for (const std::string& channel : content.channels)
        element("dye", channel, "");
    for (const std::string& sample : plan.samples)
        element("sample", sample, "<type>unkn</type>");
    for (const std::string& channel : content.channels) {
        out += "<target id=\"";
        xlsx::appendXmlEscaped(out, channel);
        out += "\"><type>toi</type><dyeId id=\"";
        xlsx::appendXmlEscaped(out, channel);
        out += "\"/></target>\n";
    }
    out += "<experiment id=\"";
    xlsx::appendXmlEscaped(out, content.experiment);
    out += "\">\n<run id=\"";
    xlsx::appendXmlEscaped(out, content.run);
    out += "\">\n<instrument>LightCycler 480</instrument>\n<pcrFormat><rows>";
    appendInt(out, plateRows(content.format));
    out += "</rows><columns>";
    appendInt(out, plateCols(content.format));
    out += "</columns><rowLabel>ABC</rowLabel><columnLabel>123</columnLabel></pcrFormat>\n";

    for (const React& react : plan.reacts) {
        out += "<react id=\"";
        appendInt(out, react.id);
        out += "\">\n<sample id=\"";
        xlsx::appendXmlEscaped(out, react.sample);
        out += "\"/>\n";
        for (std::size_t channel = 0; channel < content.tables.size(); ++channel)
            if (auto written = appendData(out, content, plan, react, channel, summary); !written)
                return written.error();
        out += "</react>\n";
    }
    out += "</run>\n</experiment>\n</rdml>\n";
    if (summaryOut)
        *summaryOut = std::move(summary);
    return out;
}

Expected<std::string> rdmlArchive(const RdmlContent& content, RdmlSummary* summary)
{
    auto xml = rdmlXml(content, summary);
    if (!xml)
        return xml.error();
    return xlsx::zipEntries({{"rdml_data.xml", *xml}}, "the RDML archive");
}

} // namespace morvane

#include "rdml/rdml.h"

#include "common/platform.h"
#include "common/tablelayout.h"
#include "common/text.h"
#include "conversion/meltpeaks.h"
#include "rdml/rdmlplan.h"
#include "xlsx/xmltokens.h"
#include "xlsx/zipwriter.h"

#include <algorithm>
#include <exception>
#include <optional>
#include <system_error>
#include <thread>
#include <unordered_map>

namespace morvane {

using namespace rdml;

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
    content.temperatures = converted.temperatures.rowCount() > 0 ? &converted.temperatures : nullptr;
    content.software = converted.software;
    return content;
}

RdmlContent rdmlContent(const std::vector<ConvertedChannels>& runs, std::vector<bool> ticks)
{
    MORVANE_EXPECTS(!runs.empty());
    RdmlContent content = rdmlContent(runs.front(), std::move(ticks));
    for (std::size_t i = 1; i < runs.size(); ++i) {
        RdmlRunPart part;
        part.run = runs[i].run;
        for (const WellTable& table : runs[i].tables)
            part.tables.push_back(&table.grid);
        part.temperatures = runs[i].temperatures.rowCount() > 0 ? &runs[i].temperatures : nullptr;
        content.moreRuns.push_back(std::move(part));
    }
    return content;
}

void keepChannels(RdmlContent& content, const std::vector<std::string>& names)
{
    if (names.empty())
        return;
    const auto keep = [&](std::vector<const Grid*>& tables) {
        std::vector<const Grid*> kept;
        for (std::size_t i = 0; i < content.channels.size() && i < tables.size(); ++i)
            if (std::find(names.begin(), names.end(), content.channels[i]) != names.end())
                kept.push_back(tables[i]);
        tables = std::move(kept);
    };
    keep(content.tables);
    for (RdmlRunPart& part : content.moreRuns)
        keep(part.tables);
    std::erase_if(content.channels, [&](const std::string& channel) {
        return std::find(names.begin(), names.end(), channel) == names.end();
    });
}

std::string rdmlRunId(std::string_view run)
{
    const std::size_t slash = run.find('/');
    if (slash == std::string_view::npos)
        return "program " + std::string(run);
    return "program " + std::string(run.substr(0, slash)) + " segment " + std::string(run.substr(slash + 1));
}

std::string rdmlDateTime(std::time_t time)
{
    const std::tm utc = platform::utcTime(time);
    char buffer[32];
    std::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return buffer;
}

int reactId(PlateFormat format, int row, int col)
{
    return (row - 1) * plateCols(format) + col;
}

namespace {

class XmlOut {
public:
    explicit XmlOut(std::string& out) : m_out(out) {}
    XmlOut& operator<<(std::string_view raw)
    {
        m_out += raw;
        return *this;
    }
    XmlOut& operator<<(char c)
    {
        m_out += c;
        return *this;
    }
    // Escaped text or attribute value.
    XmlOut& text(std::string_view text)
    {
        xlsx::appendXmlEscaped(m_out, text);
        return *this;
    }
    XmlOut& number(long long value)
    {
        appendInt(m_out, value);
        return *this;
    }
    // <name id="id"> without its end; with `empty`, <name id="id"/>.
    XmlOut& open(std::string_view name, std::string_view id, bool empty = false)
    {
        *this << '<' << name << " id=\"";
        return text(id) << (empty ? "\"/>" : "\">");
    }
    XmlOut& element(std::string_view name, std::string_view value)
    {
        *this << '<' << name << '>';
        return text(value) << "</" << name << '>';
    }

private:
    std::string& m_out;
};

// dye, sample and target: the schema's order at the top of the document.
void writeCatalogue(XmlOut& xml, const Plan& plan)
{
    for (const std::string& dye : plan.dyes)
        xml.open("dye", dye, true) << '\n';
    for (const PlanSample& sample : plan.samples) {
        xml.open("sample", sample.id).element("type", sample.type);
        for (const Quantity& quantity : sample.quantities) {
            xml << "<quantity";
            if (!quantity.target.empty()) {
                xml << " targetId=\"";
                xml.text(quantity.target) << '"';
            }
            xml << "><value>" << quantity.value << "</value><unit>" << quantity.unit << "</unit></quantity>";
        }
        xml << "</sample>\n";
    }
    for (const PlanTarget& target : plan.targets) {
        xml.open("target", target.id).element("type", target.type) << "<dyeId id=\"";
        xml.text(target.dye) << "\"/></target>\n";
    }
}

// The melt channel of `channel` in `react`, or -1 when it has no melt curve there.
int meltChannelOf(const Plan& plan, const React& react, std::size_t channel)
{
    return react.melt ? plan.meltChannel[channel] : -1;
}

// The main melt peak of every (react, channel) with a melt curve, in the order the writer meets
// them; none where the curve has no peak. Each curve is analysed on its own, so with two cores
// the second half is analysed beside the first: it is most of the XML's time.
std::vector<std::optional<double>> mainMeltPeaks(const RdmlContent& content, const Plan& plan)
{
    std::vector<std::pair<const MeltWell*, std::size_t>> curves;
    for (const PlanRun& run : plan.runs)
        for (const React& react : run.reacts)
            for (std::size_t channel = 0; channel < run.tables.size(); ++channel)
                if (const int meltChannel = meltChannelOf(plan, react, channel); meltChannel >= 0)
                    curves.emplace_back(react.melt, static_cast<std::size_t>(meltChannel));
    std::vector<std::optional<double>> peaks(curves.size());
    const auto analyse = [&](std::size_t from, std::size_t to) {
        for (std::size_t i = from; i < to; ++i) {
            const MeltAnalysis analysis = analyseMeltWell(*content.melt, *curves[i].first, curves[i].second);
            if (!analysis.peaks.empty())
                peaks[i] = analysis.peaks.front().temperature;
        }
    };
    constexpr std::size_t kCurvesWorthAThread = 32;
    const std::size_t half = curves.size() / 2;
    if (curves.size() < kCurvesWorthAThread || std::thread::hardware_concurrency() < 2) {
        analyse(0, curves.size());
        return peaks;
    }
    std::exception_ptr failed;
    std::thread second;
    try {
        second = std::thread([&] {
            try {
                analyse(half, curves.size());
            } catch (...) {
                failed = std::current_exception();
            }
        });
    } catch (const std::system_error&) {
        analyse(half, curves.size()); // no thread to be had: all here
    }
    // The second thread is joined whatever happens here: a thread left running ends the program.
    std::exception_ptr failedHere;
    try {
        analyse(0, half);
    } catch (...) {
        failedHere = std::current_exception();
    }
    if (second.joinable())
        second.join();
    if (failedHere)
        std::rethrow_exception(failedHere);
    if (failed)
        std::rethrow_exception(failed);
    return peaks;
}

struct Writer {
    const RdmlContent& content;
    const Plan& plan;
    RdmlSummary& summary;
    std::string& out;
    std::vector<std::optional<double>> meltPeaks; // mainMeltPeaks'
    std::size_t nextMeltPeak = 0;

    Status amplification(const PlanRun& run, const React& react, std::size_t channel)
    {
        const Grid& table = *run.tables[channel];
        const int row = react.rows[channel];
        const Grid* temperatures = react.temperatureRow >= 0 ? run.temperatures : nullptr;
        for (int col = kFirstReadingColumn; col < table.colCount(); ++col) {
            const std::string& cell = table.cell(row, col);
            if (cell.empty())
                continue;
            out += "<adp><cyc>";
            appendInt(out, col - 1);
            out += "</cyc>";
            if (temperatures && col < temperatures->colCount() &&
                !temperatures->cell(react.temperatureRow, col).empty()) {
                const std::string& temperature = temperatures->cell(react.temperatureRow, col);
                out += "<tmp>";
                if (!appendNumber(out, temperature))
                    return notANumber(react, content.channels[channel],
                                      "temperature of cycle " + std::to_string(col - 1), temperature);
                out += "</tmp>";
            }
            out += "<fluor>";
            if (!appendNumber(out, cell))
                return notANumber(react, content.channels[channel], "cycle " + std::to_string(col - 1), cell);
            out += "</fluor></adp>\n";
            ++summary.amplificationPoints;
        }
        return success();
    }

    Status melt(const React& react, std::size_t channel, int meltChannel)
    {
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
        return success();
    }

    Status run(const PlanRun& run)
    {
        XmlOut xml(out);
        xml.open("run", run.id) << "\n<instrument>LightCycler 480</instrument>\n";
        if (content.software && !content.software->name.empty()) {
            xml << "<dataCollectionSoftware>";
            xml.element("name", content.software->name).element("version", content.software->version);
            xml << "</dataCollectionSoftware>\n";
        }
        xml << "<pcrFormat><rows>";
        xml.number(plateRows(content.format)) << "</rows><columns>";
        xml.number(plateCols(content.format))
            << "</columns><rowLabel>ABC</rowLabel><columnLabel>123</columnLabel></pcrFormat>\n";
        for (const React& react : run.reacts) {
            xml << "<react id=\"";
            xml.number(react.id) << "\">\n<sample id=\"";
            xml.text(react.sample) << "\"/>\n";
            for (std::size_t channel = 0; channel < run.tables.size(); ++channel) {
                const int meltChannel = meltChannelOf(plan, react, channel);
                if (react.rows[channel] < 0 && meltChannel < 0)
                    continue;
                xml << "<data>\n<tar id=\"";
                xml.text(react.targets[channel]) << "\"/>\n";
                if (meltChannel >= 0) {
                    // The main melt peak: the schema has room for one temperature.
                    if (const std::optional<double>& peak = meltPeaks[nextMeltPeak++])
                        xml << "<meltTemp>" << meltTemperatureText(*peak) << "</meltTemp>\n";
                }
                if (react.rows[channel] >= 0)
                    if (auto ok = amplification(run, react, channel); !ok)
                        return ok;
                if (meltChannel >= 0)
                    if (auto ok = melt(react, channel, meltChannel); !ok)
                        return ok;
                out += "</data>\n";
            }
            out += "</react>\n";
        }
        out += "</run>\n";
        return success();
    }
};

} // namespace

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

    // About 45 bytes a point (60 with its temperature): growing the string instead would copy
    // it a few times.
    std::size_t points = 0;
    for (const PlanRun& run : plan.runs)
        for (const React& react : run.reacts) {
            for (const Grid* table : run.tables)
                points += static_cast<std::size_t>(table->colCount());
            if (react.melt)
                points += react.melt->temperatures.size() * run.tables.size();
        }
    std::string out;
    out.reserve(4096 + plan.samples.size() * 96 + plan.runs.size() * 384 * 128 + points * 64);
    XmlOut xml(out);
    xml << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<rdml xmlns=\"http://www.rdml.org\" version=\""
        << (content.version == RdmlVersion::V1_4 ? "1.4" : "1.3") << "\">\n";
    if (!content.dateMade.empty())
        xml.element("dateMade", content.dateMade) << '\n';
    writeCatalogue(xml, plan);
    xml.open("experiment", content.experiment) << '\n';
    Writer writer{content, plan, summary, out, mainMeltPeaks(content, plan)};
    for (const PlanRun& run : plan.runs)
        if (auto ok = writer.run(run); !ok)
            return ok.error();
    out += "</experiment>\n</rdml>\n";
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

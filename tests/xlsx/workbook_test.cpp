// The workbook edit against workbooks made by other programs, read back by openpyxl and
// checked for what readers do not check.

#include "xlsx/sheetxml.h"
#include "xlsx/workbook.h"
#include "xlsx/ziparchive.h"

#include "xlsx/xlsxtest.h"

#include <gtest/gtest.h>
#include <zip.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <regex>
#include <set>

using namespace morvane;
using namespace xlsxtest;

namespace {

// The export table of a small run, with the texts the cell conversion has to type.
Grid sampleGrid()
{
    Grid grid(3, 4, 1, 0);
    const char* cells[3][4] = {{"well", "sample", "1", "2"}, {"A1", "x12", " 7", "12.5"}, {"B2", "", "7 ", "1E3"}};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c)
            grid.setCell(r, c, cells[r][c]);
    return grid;
}

// openpyxl's view of sampleGrid() written to `sheet`: every cell of A1:E4 formatted.
std::string sampleExpectations(const std::string& sheet)
{
    std::string out = "range\t" + sheet + "\tA1:E4\t0.000\n";
    const char* cells[][3] = {{"A1", "s", "well"}, {"B1", "s", "sample"}, {"C1", "n", "1"},   {"D1", "n", "2"},
                              {"A2", "s", "A1"},   {"B2", "s", "x12"},    {"C2", "n", "7"},   {"D2", "n", "12.5"},
                              {"A3", "s", "B2"},   {"C3", "n", "7"},      {"D3", "n", "1000"}};
    for (const auto& c : cells)
        out += "cell\t" + sheet + "\t" + c[0] + "\t" + c[1] + "\t" + c[2] + "\n";
    return out;
}

XlsxWorkbook openFixture(const std::string& name)
{
    auto book = XlsxWorkbook::open(readFile(fixture(name)), name);
    if (!book)
        throw std::runtime_error(book.error().message);
    return std::move(book).value();
}

std::string addSampleSheet(XlsxWorkbook& book, const std::string& name)
{
    auto added = book.addSheet(name);
    EXPECT_TRUE(added.ok()) << (added.ok() ? "" : added.error().message);
    const ValueBlock block = makeValueBlock(sampleGrid(), '.');
    const Status written = book.writeRange(1, block.cols(), 1, block.rows(), block);
    EXPECT_TRUE(written.ok()) << (written.ok() ? "" : written.error().message);
    auto saved = book.save();
    if (!saved)
        throw std::runtime_error(saved.error().message);
    return std::move(saved).value();
}

std::string join(const std::vector<std::string>& items, const std::string& separator = "\t")
{
    std::string out;
    for (const auto& item : items)
        out += (out.empty() ? "" : separator) + item;
    return out;
}

std::vector<std::string> tabNames(const XlsxWorkbook& book)
{
    std::vector<std::string> names;
    for (const auto& tab : book.tabs())
        names.push_back(tab.name);
    return names;
}

pugi::xml_document parse(const std::string& text)
{
    pugi::xml_document doc;
    doc.load_string(text.c_str(), pugi::parse_default | pugi::parse_ws_pcdata);
    return doc;
}

struct ProducerCase {
    const char* file;
    std::vector<std::string> sheetsAfter;
    std::set<std::string> deselected; // sheet parts whose only change is losing tabSelected
};

} // namespace

TEST(Workbook, AddsTheSheetBeforeTheActiveOneInWorkbooksOfEveryProducer)
{
    const ProducerCase cases[] = {
        {"openpyxl_three.xlsx", {"Data", "New", "Run12", "Notes"}, {}},
        {"libreoffice_three.xlsx", {"Data", "New", "Run12", "Notes"}, {"xl/worksheets/sheet2.xml"}},
        {"xlsxwriter_excel_like.xlsx",
         {"Summary", "New", "Run12", "Hidden", "Chart Data"},
         {"xl/worksheets/sheet1.xml", "xl/worksheets/sheet2.xml"}},
        {"openpyxl_chartsheet.xlsx", {"Data", "New", "Chart1", "Summary"}, {"xl/chartsheets/sheet1.xml"}},
        {"openpyxl_printarea.xlsx", {"New", "Data", "Other"}, {}},
        {"no_bookviews.xlsx", {"New", "Data", "Run12", "Notes"}, {}},
        {"sdk_prefixed.xlsx", {"Data", "New", "Run12", "Notes"}, {}},
        {"macro_enabled.xlsm", {"Data", "New", "Run12", "Notes"}, {}},
    };
    const bool openpyxl = openpyxlAvailable();
    for (const ProducerCase& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string original = readFile(fixture(c.file));
        XlsxWorkbook book = openFixture(c.file);
        const std::string saved = addSampleSheet(book, "New");
        EXPECT_EQ(tabNames(book), c.sheetsAfter);
        EXPECT_EQ(book.tabs()[static_cast<std::size_t>(book.activeTab())].name, "New");

        EXPECT_EQ(join(structuralProblems(saved), "\n"), "");

        // Parts the edit has no business with are the very same compressed bytes.
        const std::set<std::string> edited = {"[Content_Types].xml", "xl/workbook.xml", "xl/_rels/workbook.xml.rels",
                                              "xl/styles.xml", "xl/sharedStrings.xml"};
        const auto before = entries(original);
        const auto after = entries(saved);
        for (const auto& [name, entry] : before) {
            ASSERT_TRUE(after.count(name)) << name << " is gone";
            if (edited.count(name))
                continue;
            if (c.deselected.count(name)) {
                const std::string expected =
                    std::regex_replace(part(original, name), std::regex(R"re(\s+tabSelected="(1|true)")re"), "");
                EXPECT_EQ(part(saved, name), expected) << name;
                continue;
            }
            EXPECT_EQ(after.at(name).raw, entry.raw) << name;
            EXPECT_EQ(after.at(name).crc, entry.crc) << name;
            EXPECT_EQ(after.at(name).method, entry.method) << name;
        }

        if (openpyxl) {
            EXPECT_EQ(openpyxlProblems(saved, "sheets\t" + join(c.sheetsAfter) + "\nactive\tNew\n" +
                                                  sampleExpectations("New")),
                      "");
        }
    }
    if (!openpyxl)
        GTEST_SKIP() << "/usr/bin/python3 with openpyxl is missing: the read-back was skipped";
}

TEST(Workbook, ListsEveryTabWithItsKindAndTheActiveOne)
{
    const XlsxWorkbook book = openFixture("openpyxl_chartsheet.xlsx");
    ASSERT_EQ(book.tabs().size(), 3u);
    EXPECT_EQ(book.tabs()[1].name, "Chart1");
    EXPECT_EQ(book.tabs()[1].kind, SheetKind::Chartsheet);
    EXPECT_EQ(book.tabs()[0].kind, SheetKind::Worksheet);
    EXPECT_EQ(book.activeTab(), 1);

    const XlsxWorkbook hidden = openFixture("xlsxwriter_excel_like.xlsx");
    EXPECT_FALSE(hidden.tabs()[2].visible);
    EXPECT_EQ(hidden.activeTab(), 1);
    EXPECT_EQ(openFixture("no_bookviews.xlsx").activeTab(), 0);
}

TEST(Workbook, NamesScopedToASheetMoveWithIt)
{
    XlsxWorkbook printArea = openFixture("openpyxl_printarea.xlsx");
    const std::string saved = addSampleSheet(printArea, "New");
    std::map<std::string, std::string> scopes;
    const auto workbook = parse(part(saved, "xl/workbook.xml"));
    for (pugi::xml_node n :
         childrenNamed(childrenNamed(workbook.document_element(), "definedNames").at(0), "definedName"))
        scopes[n.attribute("name").value()] = n.attribute("localSheetId").value();
    EXPECT_EQ(scopes, (std::map<std::string, std::string>{
                          {"GlobalName", ""}, {"_xlnm.Print_Area", "1"}, {"_xlnm.Print_Titles", "2"}}));
    if (openpyxlAvailable()) {
        EXPECT_EQ(openpyxlProblems(saved, "printarea\tData\t$A$1:$B$5\nprintarea\tNew\t-\n"
                                          "definedname\tGlobalName\t-\tData!$A$1\n"),
                  "");
    }

    // Inserted at position 1: names scoped to positions 1 and later move on, earlier ones stay.
    XlsxWorkbook excelLike = openFixture("xlsxwriter_excel_like.xlsx");
    const std::string saved2 = addSampleSheet(excelLike, "New");
    if (openpyxlAvailable()) {
        EXPECT_EQ(openpyxlProblems(saved2, "printarea\tRun12\t$A$1:$C$2\nprintarea\tNew\t-\n"
                                           "definedname\tLocalName\tRun12\tRun12!$A$1\n"),
                  "");
    }
}

TEST(Workbook, TheNumberFormatIsAddedOnceAndReused)
{
    XlsxWorkbook first = openFixture("openpyxl_three.xlsx");
    const std::string once = addSampleSheet(first, "One");
    const auto styles = parse(part(once, "xl/styles.xml"));
    const auto formats = childrenNamed(childrenNamed(styles.document_element(), "numFmts").at(0), "numFmt");
    ASSERT_EQ(formats.size(), 1u);
    EXPECT_STREQ(formats[0].attribute("numFmtId").value(), "164");
    EXPECT_STREQ(formats[0].attribute("formatCode").value(), "0.000");
    const auto xfs = childrenNamed(childrenNamed(styles.document_element(), "cellXfs").at(0), "xf");
    const pugi::xml_node added = xfs.back();
    EXPECT_STREQ(added.attribute("numFmtId").value(), "164");
    EXPECT_STREQ(added.attribute("applyNumberFormat").value(), "1");
    const std::string style = std::to_string(xfs.size() - 1);

    // Every cell of the range, the empty ones too, carries the style.
    const auto sheet = parse(part(once, "xl/worksheets/sheet4.xml"));
    int cells = 0;
    for (pugi::xml_node row : childrenNamed(childrenNamed(sheet.document_element(), "sheetData").at(0), "row"))
        for (pugi::xml_node c : childrenNamed(row, "c")) {
            ++cells;
            EXPECT_EQ(c.attribute("s").value(), style) << c.attribute("r").value();
        }
    EXPECT_EQ(cells, 20);
    EXPECT_STREQ(childrenNamed(sheet.document_element(), "dimension").at(0).attribute("ref").value(), "A1:E4");

    // A second export into the result adds neither a format nor a cell style.
    auto second = XlsxWorkbook::open(once, "once.xlsx");
    ASSERT_TRUE(second.ok());
    const std::string twice = addSampleSheet(*second, "Two");
    EXPECT_EQ(part(twice, "xl/styles.xml"), part(once, "xl/styles.xml"));
    EXPECT_TRUE(entries(twice).count("xl/worksheets/sheet5.xml"));
    EXPECT_EQ(join(structuralProblems(twice), "\n"), "");
    EXPECT_EQ(tabNames(*second), (std::vector<std::string>{"Data", "Two", "One", "Run12", "Notes"}));

    // An identical format already in the workbook is used, not added.
    XlsxWorkbook excelLike = openFixture("xlsxwriter_excel_like.xlsx");
    const auto countFormats = [](const std::string& archive) {
        const auto doc = parse(part(archive, "xl/styles.xml"));
        return childrenNamed(childrenNamed(doc.document_element(), "numFmts").at(0), "numFmt").size();
    };
    EXPECT_EQ(countFormats(addSampleSheet(excelLike, "New")),
              countFormats(readFile(fixture("xlsxwriter_excel_like.xlsx"))));
}

// The styles part of the fixture, changed: each case leaves out or adds what a producer may.
TEST(Workbook, TheCellFormatIsFoundOrMadeWhateverTheStylesHold)
{
    const std::string three = readFile(fixture("openpyxl_three.xlsx"));
    const std::string styles = part(three, "xl/styles.xml");
    const std::string noFormats = R"(<numFmts count="0"/>)";
    const std::string xf0 =
        R"(<xf numFmtId="0" fontId="0" fillId="0" borderId="0" pivotButton="0" quotePrefix="0" xfId="0"/>)";
    const std::string cellXfs = R"(<cellXfs count="1">)" + xf0 + "</cellXfs>";
    const std::string format170 = R"(<numFmts count="1"><numFmt numFmtId="170" formatCode="0.000"/></numFmts>)";
    struct Case {
        const char* what;
        std::vector<std::pair<std::string, std::string>> edits; // (from, to) in the fixture's styles
        const char* formatId;                                   // of the format the new cells carry
        std::size_t formats;                                    // <numFmt> elements after the export
        std::size_t xfs;                                        // <xf> elements in <cellXfs> after it
    };
    const Case cases[] = {
        {"no numFmts", {{noFormats, ""}}, "164", 1, 2},
        {"custom formats",
         {{noFormats, R"(<numFmts count="2"><numFmt numFmtId="180" formatCode="0.0"/>)"
                      R"(<numFmt numFmtId="170" formatCode="0.00"/></numFmts>)"}},
         "181",
         3,
         2},
        {"the format, not yet a cell format", {{noFormats, format170}}, "170", 1, 2},
        {"the format and its cell format",
         {{noFormats, format170},
          {cellXfs, R"(<cellXfs count="2">)" + xf0 +
                        R"(<xf numFmtId="170" fontId="0" fillId="0" borderId="0" pivotButton="0" quotePrefix="0" )"
                        R"(xfId="0" applyNumberFormat="1"/></cellXfs>)"}},
         "170",
         1,
         2},
        {"no cellXfs", {{cellXfs, ""}}, "164", 1, 2},
        {"an empty cellXfs", {{cellXfs, R"(<cellXfs count="0"/>)"}}, "164", 1, 2},
    };
    for (const Case& c : cases) {
        std::string edited = styles;
        for (const auto& [from, to] : c.edits) {
            const auto at = edited.find(from);
            ASSERT_NE(at, std::string::npos) << c.what;
            edited.replace(at, from.size(), to);
        }
        auto book = XlsxWorkbook::open(withPart(three, "xl/styles.xml", edited), "styled.xlsx");
        ASSERT_TRUE(book.ok()) << c.what << ": " << book.error().message;
        const std::string saved = addSampleSheet(*book, "New");
        EXPECT_EQ(join(structuralProblems(saved), "\n"), "") << c.what;

        const auto doc = parse(part(saved, "xl/styles.xml"));
        const auto formats = childrenNamed(childrenNamed(doc.document_element(), "numFmts").at(0), "numFmt");
        EXPECT_EQ(formats.size(), c.formats) << c.what;
        const auto xfs = childrenNamed(childrenNamed(doc.document_element(), "cellXfs").at(0), "xf");
        ASSERT_EQ(xfs.size(), c.xfs) << c.what;
        const auto sheet = parse(part(saved, "xl/worksheets/sheet4.xml"));
        const auto rows = childrenNamed(childrenNamed(sheet.document_element(), "sheetData").at(0), "row");
        const pugi::xml_node a1 = childrenNamed(rows.at(0), "c").at(0);
        const pugi::xml_node xf = xfs.at(a1.attribute("s").as_ullong());
        EXPECT_STREQ(xf.attribute("numFmtId").value(), c.formatId) << c.what;
        EXPECT_STREQ(xf.attribute("applyNumberFormat").value(), "1") << c.what;
        EXPECT_STREQ(xfs.at(0).attribute("numFmtId").value(), "0") << c.what << ": the default stays first";
    }
}

// Excel keeps at most 65430 cell formats; a list that full takes no more, and nothing is written.
TEST(Workbook, AFullListOfCellFormatsRefusesTheRange)
{
    const std::string three = readFile(fixture("openpyxl_three.xlsx"));
    std::string styles = part(three, "xl/styles.xml");
    std::string full = R"(<cellXfs count="65430">)";
    for (int i = 0; i < 65430; ++i)
        full += R"(<xf numFmtId="0" fontId="0" fillId="0" borderId="0" xfId="0"/>)";
    full += "</cellXfs>";
    const auto from = styles.find("<cellXfs"), to = styles.find("</cellXfs>") + std::string("</cellXfs>").size();
    styles.replace(from, to - from, full);
    auto book = XlsxWorkbook::open(withPart(three, "xl/styles.xml", styles), "full.xlsx");
    ASSERT_TRUE(book.ok()) << book.error().message;
    ASSERT_TRUE(book->addSheet("New").ok());
    const ValueBlock block = makeValueBlock(sampleGrid(), '.');
    const Status written = book->writeRange(1, block.cols(), 1, block.rows(), block);
    ASSERT_FALSE(written.ok());
    EXPECT_EQ(written.error().message,
              "'full.xlsx' already holds 65430 cell formats, the most Excel allows; no format can be added");
}

TEST(Workbook, TextsBecomeSharedStringsReusingTheWorkbooksOwn)
{
    XlsxWorkbook book = openFixture("xlsxwriter_excel_like.xlsx");
    const auto sstBefore = parse(part(readFile(fixture("xlsxwriter_excel_like.xlsx")), "xl/sharedStrings.xml"));
    const std::size_t stringsBefore = childrenNamed(sstBefore.document_element(), "si").size();
    const std::string saved = addSampleSheet(book, "New");
    const auto sst = parse(part(saved, "xl/sharedStrings.xml"));
    // "well" and "sample" were there already; A1, x12 and B2 are new.
    EXPECT_EQ(childrenNamed(sst.document_element(), "si").size(), stringsBefore + 3);
    // structuralProblems checks count and uniqueCount against the cells.
    EXPECT_EQ(join(structuralProblems(saved), "\n"), "");
}

TEST(Workbook, NumbersAreStoredAsTheShortestTextThatReadsBackExactly)
{
    auto book = XlsxWorkbook::create("new.xlsx");
    ASSERT_TRUE(book.ok());
    ASSERT_TRUE(book->addSheet("Numbers").ok());
    const std::pair<CellValue, const char*> values[] = {
        {std::numeric_limits<std::int32_t>::min(), "-2147483648"},
        {std::numeric_limits<std::int32_t>::max(), "2147483647"},
        {0.1, "0.1"},
        {4.0 / 3.0, "1.3333333333333333"},
        {5e-324, "5e-324"},
        {DBL_MAX, "1.7976931348623157e+308"},
        {-0.0, "0"},
        {1e-7, "1e-07"},
        {123456789.0, "123456789"},
        {-12.5, "-12.5"},
    };
    ValueBlock block(1, static_cast<int>(std::size(values)));
    for (std::size_t i = 0; i < std::size(values); ++i)
        block.at(1, static_cast<int>(i) + 1) = values[i].first;
    ASSERT_TRUE(book->writeRange(1, block.cols(), 1, 1, block).ok());
    auto saved = book->save();
    ASSERT_TRUE(saved.ok());
    const auto sheet = parse(part(*saved, "xl/worksheets/sheet1.xml"));
    std::vector<std::string> stored, expected;
    for (pugi::xml_node c :
         childrenNamed(childrenNamed(childrenNamed(sheet.document_element(), "sheetData").at(0), "row").at(0), "c"))
        stored.push_back(childrenNamed(c, "v").at(0).child_value());
    for (const auto& v : values)
        expected.push_back(v.second);
    EXPECT_EQ(stored, expected);
    EXPECT_EQ(join(structuralProblems(*saved), "\n"), "");
    if (openpyxlAvailable()) {
        std::string expectations = "sheets\tNumbers\nactive\tNumbers\nrange\tNumbers\tA1:J1\t0.000\n";
        for (std::size_t i = 0; i < std::size(values); ++i)
            expectations +=
                "cell\tNumbers\t" + xlsx::columnName(static_cast<int>(i) + 1) + "1\tn\t" + values[i].second + "\n";
        EXPECT_EQ(openpyxlProblems(*saved, expectations), "");
    }
}

TEST(Workbook, RefusesValuesASheetCannotHold)
{
    auto book = XlsxWorkbook::create("new.xlsx");
    ASSERT_TRUE(book->addSheet("S").ok());
    const auto refused = [&](CellValue value, const char* reason) {
        ValueBlock block(2, 2);
        block.at(2, 2) = std::move(value);
        const Status status = book->writeRange(1, 2, 1, 2, block);
        ASSERT_FALSE(status.ok()) << reason;
        EXPECT_NE(status.error().message.find(reason), std::string::npos) << status.error().message;
    };
    refused(std::numeric_limits<double>::quiet_NaN(), "cell B2 is not a finite number");
    refused(std::numeric_limits<double>::infinity(), "cell B2 is not a finite number");
    refused(std::string(32768, 'a'), "cell B2 is longer than 32,767 characters");
    refused(std::string("bad \xC3"), "cell B2 is not valid UTF-8");

    ValueBlock fits(1, 1);
    fits.at(1, 1) = std::string(32767, 'a');
    EXPECT_TRUE(book->writeRange(1, 1, 1, 1, fits).ok());
}

TEST(Workbook, TextIsEscapedForXmlAndForExcel)
{
    const struct {
        const char* given;
        const char* stored;   // in the shared string
        const char* openpyxl; // what openpyxl reads: it decodes _x005F_ only
    } texts[] = {
        {"a & b < c > d \" e ' f", "a & b < c > d \" e ' f", "a & b < c > d \" e ' f"},
        {"  padded  ", "  padded  ", "  padded  "},
        {"tab\there\nline", "tab\there\nline", "tab\there\nline"},
        {"cr\rhere", "cr_x000D_here", "cr_x000D_here"},
        {"ctl\x01x", "ctl_x0001_x", "ctl_x0001_x"},
        {"lit_x0041_z", "lit_x005F_x0041_z", "lit_x0041_z"},
        {"\xC3\xBCml\xC3\xA4ut \xE2\x9C\x93 \xF0\x9F\x98\x80", "\xC3\xBCml\xC3\xA4ut \xE2\x9C\x93 \xF0\x9F\x98\x80",
         "\xC3\xBCml\xC3\xA4ut \xE2\x9C\x93 \xF0\x9F\x98\x80"},
        {"\xEF\xBF\xBE", "_xFFFE_", "_xFFFE_"},
    };
    auto book = XlsxWorkbook::create("new.xlsx");
    ASSERT_TRUE(book->addSheet("Texts").ok());
    ValueBlock block(static_cast<int>(std::size(texts)), 1);
    for (std::size_t i = 0; i < std::size(texts); ++i)
        block.at(static_cast<int>(i) + 1, 1) = std::string(texts[i].given);
    ASSERT_TRUE(book->writeRange(1, 1, 1, block.rows(), block).ok());
    auto saved = book->save();
    ASSERT_TRUE(saved.ok());

    const auto sst = parse(part(*saved, "xl/sharedStrings.xml"));
    std::vector<std::string> stored, expected;
    for (pugi::xml_node si : childrenNamed(sst.document_element(), "si")) {
        const pugi::xml_node t = childrenNamed(si, "t").at(0);
        stored.push_back(t.child_value());
        const std::string text = t.child_value();
        const bool edgeSpace = !text.empty() && (std::isspace(static_cast<unsigned char>(text.front())) ||
                                                 std::isspace(static_cast<unsigned char>(text.back())));
        EXPECT_EQ(std::string(t.attribute("xml:space").value()), edgeSpace ? "preserve" : "") << text;
    }
    for (const auto& t : texts)
        expected.push_back(t.stored);
    EXPECT_EQ(stored, expected);
    EXPECT_EQ(part(*saved, "xl/sharedStrings.xml").find("&#"), std::string::npos); // no character references
    if (openpyxlAvailable()) {
        std::string expectations = "range\tTexts\tA1:A8\t0.000\n";
        for (std::size_t i = 0; i < std::size(texts); ++i) {
            std::string escaped = std::regex_replace(std::regex_replace(texts[i].openpyxl, std::regex("\t"), "\\t"),
                                                     std::regex("\n"), "\\n");
            expectations += "cell\tTexts\tA" + std::to_string(i + 1) + "\ts\t" + escaped + "\n";
        }
        EXPECT_EQ(openpyxlProblems(*saved, expectations), ""); // also: expat parses every part
    }
}

TEST(Workbook, SheetNamesAreEscapedAndDecoded)
{
    auto book = XlsxWorkbook::create("new.xlsx");
    ASSERT_TRUE(book->addSheet("R&D <1> \"x\" lit_x0041_").ok());
    auto saved = book->save();
    ASSERT_TRUE(saved.ok());
    const auto workbook = parse(part(*saved, "xl/workbook.xml"));
    const pugi::xml_node sheet =
        childrenNamed(childrenNamed(workbook.document_element(), "sheets").at(0), "sheet").at(0);
    EXPECT_STREQ(sheet.attribute("name").value(), "R&D <1> \"x\" lit_x005F_x0041_");
    auto reopened = XlsxWorkbook::open(*saved, "new.xlsx");
    ASSERT_TRUE(reopened.ok());
    EXPECT_EQ(reopened->tabs().at(0).name, "R&D <1> \"x\" lit_x0041_");
}

TEST(Workbook, ColumnsAreNamedUpToXfdAndRangesMustFitTheSheet)
{
    const std::pair<int, const char*> columns[] = {{1, "A"},   {26, "Z"},   {27, "AA"},   {52, "AZ"},
                                                   {53, "BA"}, {702, "ZZ"}, {703, "AAA"}, {16384, "XFD"}};
    for (const auto& [number, name] : columns)
        EXPECT_EQ(xlsx::columnName(number), name);

    auto book = XlsxWorkbook::create("new.xlsx");
    ASSERT_TRUE(book->addSheet("S").ok());
    EXPECT_FALSE(book->writeRange(16384, 16385, 1, 1, ValueBlock(1, 2)).ok());
    EXPECT_FALSE(book->writeRange(1, 1, 1048576, 1048577, ValueBlock(2, 1)).ok());
    EXPECT_FALSE(book->writeRange(1, 3, 1, 2, ValueBlock(2, 2)).ok()); // block and range disagree
    EXPECT_TRUE(book->writeRange(16383, 16384, 1048575, 1048576, ValueBlock(2, 2)).ok());
    auto saved = book->save();
    ASSERT_TRUE(saved.ok());
    const auto sheet = parse(part(*saved, "xl/worksheets/sheet1.xml"));
    EXPECT_STREQ(childrenNamed(sheet.document_element(), "dimension").at(0).attribute("ref").value(),
                 "XFC1048575:XFD1048576");
}

TEST(Workbook, DefaultNamesAreTheFirstFreeSheetN)
{
    XlsxWorkbook three = openFixture("openpyxl_three.xlsx");
    EXPECT_EQ(three.addSheet("").value(), "Sheet4");
    EXPECT_EQ(three.addSheet("").value(), "Sheet5");

    auto fresh = XlsxWorkbook::create("new.xlsx");
    EXPECT_EQ(fresh->addSheet("").value(), "Sheet1");
    auto other = XlsxWorkbook::create("new.xlsx");
    ASSERT_TRUE(other->addSheet("sheet2").ok());
    EXPECT_EQ(other->addSheet("").value(), "Sheet3");
}

TEST(Workbook, AddingTwoSheetsSelectsOnlyTheLast)
{
    XlsxWorkbook book = openFixture("libreoffice_three.xlsx");
    ASSERT_TRUE(book.addSheet("A").ok());
    // Written while it was the selected tab, then no longer selected: its cells stay.
    const ValueBlock block = makeValueBlock(sampleGrid(), '.');
    ASSERT_TRUE(book.writeRange(1, block.cols(), 1, block.rows(), block).ok());
    ASSERT_TRUE(book.addSheet("B").ok());
    EXPECT_EQ(tabNames(book), (std::vector<std::string>{"Data", "B", "A", "Run12", "Notes"}));
    auto saved = book.save();
    ASSERT_TRUE(saved.ok());
    EXPECT_EQ(join(structuralProblems(*saved), "\n"), ""); // one selected tab, the active one
    auto reopened = XlsxWorkbook::open(*saved, "saved.xlsx");
    ASSERT_TRUE(reopened.ok());
    const auto cells = reopened->sheetCells(2);
    ASSERT_TRUE(cells.ok());
    EXPECT_EQ(cells->cell(1, 1), "x12");
    EXPECT_EQ(cells->cell(1, 3), "12.5");
}

TEST(Workbook, RefusedNamesChangeNothing)
{
    XlsxWorkbook book = openFixture("openpyxl_chartsheet.xlsx");
    const std::pair<const char*, const char*> names[] = {
        {"chart1", "already taken"}, // a chart sheet's name, in other letter case
        {"DATA", "already taken"},
        {"a:b", "contains ':'"},
        {"History", "reserved"},
    };
    for (const auto& [name, reason] : names) {
        auto added = book.addSheet(name);
        ASSERT_FALSE(added.ok()) << name;
        EXPECT_NE(added.error().message.find(reason), std::string::npos) << added.error().message;
    }
    EXPECT_FALSE(book.modified());
    EXPECT_EQ(book.tabs().size(), 3u);
    auto saved = book.save();
    ASSERT_TRUE(saved.ok());
    EXPECT_EQ(*saved, readFile(fixture("openpyxl_chartsheet.xlsx")));
}

TEST(Workbook, WritesOnlyIntoASheetItAdded)
{
    XlsxWorkbook book = openFixture("openpyxl_three.xlsx");
    const Status status = book.writeRange(1, 1, 1, 1, ValueBlock(1, 1));
    ASSERT_FALSE(status.ok());
    EXPECT_NE(status.error().message.find("'Run12'"), std::string::npos) << status.error().message;
    EXPECT_FALSE(book.modified());
}

TEST(Workbook, ANewWorkbookHoldsJustTheNewSheet)
{
    auto book = XlsxWorkbook::create("new.xlsx");
    ASSERT_TRUE(book.ok());
    EXPECT_TRUE(book->tabs().empty());
    EXPECT_EQ(book->activeTab(), -1);
    const std::string saved = addSampleSheet(*book, "Run12");
    EXPECT_EQ(join(structuralProblems(saved), "\n"), "");
    std::set<std::string> names;
    for (const auto& [name, entry] : entries(saved))
        names.insert(name);
    EXPECT_EQ(names, (std::set<std::string>{"[Content_Types].xml", "_rels/.rels", "xl/workbook.xml",
                                            "xl/_rels/workbook.xml.rels", "xl/styles.xml", "xl/worksheets/sheet1.xml",
                                            "xl/sharedStrings.xml"}));
    if (openpyxlAvailable()) {
        EXPECT_EQ(openpyxlProblems(saved, "sheets\tRun12\nactive\tRun12\n" + sampleExpectations("Run12")), "");
    }
}

TEST(Workbook, RefusesHostileArchivesWithoutReadingThemWhole)
{
    const std::string types = part(readFile(fixture("openpyxl_three.xlsx")), "[Content_Types].xml");
    const std::string rels = part(readFile(fixture("openpyxl_three.xlsx")), "_rels/.rels");
    std::vector<std::pair<std::string, std::string>> many;
    for (int i = 0; i <= 10000; ++i)
        many.emplace_back("part" + std::to_string(i), "");
    // A workbook part of 20 MB of blanks: a few kB compressed.
    const std::string bomb = "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">" +
                             std::string(20u << 20, ' ') + "<sheets/></workbook>";
    std::string lying = makeZip({{"[Content_Types].xml", types}, {"_rels/.rels", rels}, {"xl/workbook.xml", "<a/>"}});
    // Claim 2 GB for the workbook part in its central directory entry.
    const std::size_t central = lying.find(std::string("PK\x01\x02", 4));
    std::size_t entry = central;
    for (int i = 0; i < 2; ++i)
        entry = lying.find(std::string("PK\x01\x02", 4), entry + 4);
    ASSERT_NE(entry, std::string::npos);
    lying.replace(entry + 24, 4, std::string("\x00\x00\x00\x80", 4));

    // A workbook with one part encrypted by the ZIP format itself.
    std::string encryptedEntry;
    {
        zip_error_t error;
        zip_error_init(&error);
        zip_source_t* source = zip_source_buffer_create(nullptr, 0, 0, &error);
        zip_t* za = zip_open_from_source(source, ZIP_TRUNCATE, &error);
        zip_source_keep(source);
        const std::string workbook = "<workbook/>";
        for (const auto& [name, data] : std::vector<std::pair<std::string, const std::string*>>{
                 {"[Content_Types].xml", &types}, {"_rels/.rels", &rels}, {"xl/workbook.xml", &workbook}}) {
            const zip_int64_t index =
                zip_file_add(za, name.c_str(), zip_source_buffer(za, data->data(), data->size(), 0), 0);
            if (name == "xl/workbook.xml")
                zip_file_set_encryption(za, static_cast<zip_uint64_t>(index), ZIP_EM_AES_256, "secret");
        }
        ASSERT_EQ(zip_close(za), 0);
        zip_source_open(source);
        char buffer[4096];
        zip_int64_t n;
        while ((n = zip_source_read(source, buffer, sizeof buffer)) > 0)
            encryptedEntry.append(buffer, static_cast<std::size_t>(n));
        zip_source_close(source);
        zip_source_free(source);
    }

    const std::pair<std::string, const char*> cases[] = {
        {encryptedEntry, "part 'xl/workbook.xml' is encrypted"},
        {"", "the file is empty"},
        {"well\tsample\n", "not a valid ZIP archive"},
        {makeZip(many), "more than 10000 parts"},
        {makeZip({{"[Content_Types].xml", types}, {"_rels/.rels", rels}, {"xl/workbook.xml", bomb}}),
         "part 'xl/workbook.xml' is larger than 16 MB"},
        {makeZip({{"[Content_Types].xml", types},
                  {"_rels/.rels", rels},
                  {"XL/workbook.xml", "<a/>"},
                  {"xl/workbook.xml", "<a/>"}}),
         "twice"},
        {lying, "cannot be opened as a workbook"},
        {makeZip({{"[Content_Types].xml", types}, {"_rels/.rels", rels}}), "'xl/workbook.xml' is missing"},
        {makeZip({{"mimetype", "application/vnd.oasis.opendocument.spreadsheet"}}), "no [Content_Types].xml"},
    };
    for (const auto& [bytes, reason] : cases) {
        auto book = XlsxWorkbook::open(bytes, "book.xlsx");
        ASSERT_FALSE(book.ok()) << reason;
        EXPECT_NE(book.error().message.find(reason), std::string::npos) << book.error().message;
        EXPECT_EQ(book.error().message.rfind("'book.xlsx' ", 0), 0u) << book.error().message;
    }
}

TEST(Workbook, RefusesWorkbooksItMustNotEditEachWithItsOwnReason)
{
    const std::pair<const char*, const char*> cases[] = {
        {"encrypted.xlsx", "protected with a password"},
        {"legacy_xls.xls", "Excel 97-2003 workbook (.xls)"},
        {"binary.xlsb", "Excel Binary Workbook (.xlsb)"},
        {"strict.xlsx", "Strict Open XML"},
        {"protected_structure.xlsx", "protected workbook structure"},
        {"doctype_workbook.xlsx", "part 'xl/workbook.xml' holds a document type declaration"},
        {"doctype_sheet.xlsx", "part 'xl/worksheets/sheet2.xml' holds a document type declaration"},
    };
    for (const auto& [file, reason] : cases) {
        auto book = XlsxWorkbook::open(readFile(fixture(file)), file);
        ASSERT_FALSE(book.ok()) << file;
        EXPECT_NE(book.error().message.find(reason), std::string::npos) << book.error().message;
        EXPECT_NE(book.error().message.find(std::string("'") + file + "'"), std::string::npos) << book.error().message;
    }
}

TEST(Workbook, KeepsIdsAndViewsConsistentInUnusualWorkbooks)
{
    const std::string three = readFile(fixture("openpyxl_three.xlsx"));
    std::string workbook = part(three, "xl/workbook.xml");
    const auto replace = [&](const std::string& from, const std::string& to) {
        const auto at = workbook.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        workbook.replace(at, from.size(), to);
    };
    // The highest sheetId Excel can store is taken, a second window shows other tabs, and the
    // tab bar of the first starts after the place of the new sheet.
    replace("sheetId=\"3\"", "sheetId=\"65535\"");
    replace("firstSheet=\"0\"", "firstSheet=\"2\"");
    replace("</bookViews>", "<workbookView activeTab=\"2\" firstSheet=\"2\"/></bookViews>");
    auto book = XlsxWorkbook::open(withPart(three, "xl/workbook.xml", workbook), "odd.xlsx");
    ASSERT_TRUE(book.ok()) << book.error().message;
    const std::string saved = addSampleSheet(*book, "New");
    EXPECT_EQ(join(structuralProblems(saved), "\n"), "");
    const auto doc = parse(part(saved, "xl/workbook.xml"));
    const auto views = childrenNamed(childrenNamed(doc.document_element(), "bookViews").at(0), "workbookView");
    ASSERT_EQ(views.size(), 2u);
    EXPECT_EQ(std::string(views[0].attribute("activeTab").value()) + "," + views[0].attribute("firstSheet").value(),
              "1,1");
    EXPECT_EQ(std::string(views[1].attribute("activeTab").value()) + "," + views[1].attribute("firstSheet").value(),
              "3,3");
    const auto sheets = childrenNamed(childrenNamed(doc.document_element(), "sheets").at(0), "sheet");
    EXPECT_STREQ(sheets.at(1).attribute("sheetId").value(), "3"); // the smallest free id
}

TEST(Workbook, ReadsUtf16PartsAndWritesThemAsUtf8)
{
    const std::string three = readFile(fixture("openpyxl_three.xlsx"));
    const std::string utf8 = "<?xml version=\"1.0\" encoding=\"UTF-16\"?>" + part(three, "xl/workbook.xml");
    std::string utf16 = "\xFF\xFE";
    for (char c : utf8) {
        utf16 += c;
        utf16 += '\0';
    }
    auto book = XlsxWorkbook::open(withPart(three, "xl/workbook.xml", utf16), "utf16.xlsx");
    ASSERT_TRUE(book.ok()) << book.error().message;
    EXPECT_EQ(tabNames(*book), (std::vector<std::string>{"Data", "Run12", "Notes"}));
    const std::string saved = addSampleSheet(*book, "New");
    EXPECT_EQ(part(saved, "xl/workbook.xml").rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?><workbook", 0), 0u);
    EXPECT_EQ(join(structuralProblems(saved), "\n"), "");

    const std::string latin1 = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>" + part(three, "xl/styles.xml");
    auto refused = XlsxWorkbook::open(withPart(three, "xl/styles.xml", latin1), "latin1.xlsx");
    ASSERT_FALSE(refused.ok());
    EXPECT_NE(refused.error().message.find("part 'xl/styles.xml' is encoded as ISO-8859-1"), std::string::npos)
        << refused.error().message;
}

TEST(Workbook, LibreOfficeShowsTheCellsWithThreeDecimals)
{
    if (std::system("command -v soffice >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "LibreOffice is not installed";
    XlsxWorkbook book = openFixture("xlsxwriter_excel_like.xlsx");
    const std::string saved = addSampleSheet(book, "New");
    TempDir dir;
    writeFile(dir.path / "book.xlsx", saved);
    // Sheet 2 (New) only, cell contents as shown.
    const std::string command = "cd '" + dir.path.string() + "' && soffice -env:UserInstallation=file://" +
                                dir.path.string() +
                                "/profile --headless --convert-to "
                                "'csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,true,false,false,2' "
                                "--outdir out book.xlsx >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::string csv;
    for (const auto& e : std::filesystem::directory_iterator(dir.path / "out"))
        csv = readFile(e.path());
    // LibreOffice leaves out the empty last row and column.
    EXPECT_EQ(csv, "well,sample,1.000,2.000\n"
                   "A1,x12,7.000,12.500\n"
                   "B2,,7.000,1000.000\n");
}

namespace {

// What each odd workbook of UnusualValidWorkbooksAreExtendedAndStayReadable must show.
void checkOddity(const std::string& file, const std::string& saved)
{
    if (file == "unrelated_shared_strings.xlsx") {
        // The part the content types name is used and related, not joined by a second one.
        EXPECT_EQ(entries(saved).count("xl/sharedStrings1.xml"), 0u);
        const std::string rels = part(saved, "xl/_rels/workbook.xml.rels");
        EXPECT_NE(rels.find("relationships/sharedStrings\" Target=\"sharedStrings.xml\""), std::string::npos) << rels;
    } else if (file == "alternate_content_styles.xlsx") {
        // Four entries, two of them wrapped: the new format is the fifth, index 4.
        EXPECT_NE(part(saved, "xl/styles.xml").find(R"(<cellXfs count="5">)"), std::string::npos);
        const std::string sheet = part(saved, "xl/worksheets/sheet4.xml");
        const std::regex style(R"re( s="(\d+)")re");
        std::set<std::string> styles;
        for (auto it = std::sregex_iterator(sheet.begin(), sheet.end(), style); it != std::sregex_iterator(); ++it)
            styles.insert((*it)[1]);
        EXPECT_EQ(styles, std::set<std::string>{"4"});
    } else if (file == "empty_sheet_relationship.xlsx") {
        const std::string workbook = part(saved, "xl/workbook.xml");
        EXPECT_NE(workbook.find("name=\"Ghost\" sheetId=\"9\" state=\"hidden\" r:id=\"\""), std::string::npos);
        EXPECT_NE(workbook.find("activeTab=\"2\""), std::string::npos);
    }
}

} // namespace

// Workbooks that Excel, LibreOffice and openpyxl open, each odd in one way: extended like any
// other, and read back by pandas (and openpyxl where it reads them at all).
TEST(Workbook, UnusualValidWorkbooksAreExtendedAndStayReadable)
{
    const std::string pandasHeader = "pandasheader\tNew\twell\tsample\t1\t2\n";
    const struct {
        const char* file;
        std::vector<std::string> tabsAfter;
        std::string readBack; // check_workbook.py's expectations
    } cases[] = {
        // Local headers with sizes 0 before a data descriptor, and a checksum or another version.
        {"data_descriptor_crc.xlsx", {"Data", "New", "Run12", "Notes"}, "active\tNew\n" + sampleExpectations("New")},
        {"data_descriptor_version.xlsx",
         {"Data", "New", "Run12", "Notes"},
         "active\tNew\n" + sampleExpectations("New")},
        // openpyxl leaves the tab out, and so counts its active tab otherwise.
        {"empty_sheet_relationship.xlsx", {"Data", "Ghost", "New", "Run12", "Notes"}, sampleExpectations("New")},
        {"unrelated_shared_strings.xlsx",
         {"Summary", "New", "Run12", "Hidden", "Chart Data"},
         "active\tNew\n" + sampleExpectations("New")},
        {"alternate_content_styles.xlsx", {"Data", "New", "Run12", "Notes"}, "readers\tpandas\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        XlsxWorkbook book = openFixture(c.file);
        const std::string saved = addSampleSheet(book, "New");
        EXPECT_EQ(tabNames(book), c.tabsAfter);
        std::vector<std::string> problems = structuralProblems(saved);
        std::erase_if(problems, [](const std::string& p) { return p.find("Ghost") != std::string::npos; });
        EXPECT_EQ(join(problems, "\n"), "");
        checkOddity(c.file, saved);
        if (openpyxlAvailable()) {
            EXPECT_EQ(openpyxlProblems(saved, c.readBack + pandasHeader), "");
        }
    }
}

// A part name that is not UTF-8, or holds a control character, does not come back from an
// archive as written: the export makes its own shared strings instead of one so named, and the
// writer refuses such a name.
TEST(Workbook, PartNamesThatAreNotUtf8AreNeverWritten)
{
    const std::string original = readFile(fixture("unrelated_shared_strings.xlsx"));
    const std::string named = "PartName=\"/xl/sharedStrings.xml\"";
    for (const char* odd : {"PartName=\"/xl/shared\xF2Strings.xml\"", "PartName=\"/xl/shared\x1DStrings.xml\""}) {
        std::string types = part(original, "[Content_Types].xml");
        ASSERT_NE(types.find(named), std::string::npos);
        types.replace(types.find(named), named.size(), odd);
        auto book = XlsxWorkbook::open(withPart(original, "[Content_Types].xml", types), "odd.xlsx");
        ASSERT_TRUE(book.ok()) << book.error().message;
        const std::string saved = addSampleSheet(*book, "New");
        const auto reread = XlsxWorkbook::open(saved, "saved.xlsx");
        EXPECT_TRUE(reread.ok()) << reread.error().message;
    }

    for (const char* name : {"xl/a\xF2.xml", "xl/a\x1D.xml"}) {
        const auto refused = xlsx::ZipArchive::build({{name, "<a/>"}});
        ASSERT_FALSE(refused.ok());
        EXPECT_NE(refused.error().message.find("is not UTF-8 text"), std::string::npos) << refused.error().message;
    }
}

// Excel puts a new sheet before the active one; inside the span of a 3-D reference that would
// add the new readings into the reference's result, so the sheet goes before the span instead.
TEST(Workbook, ANewSheetStaysOutOfEverySpanOfSheets)
{
    const std::string original = readFile(fixture("three_d_span.xlsx"));
    const auto variant = [&](const std::string& activeTab, const std::string& formula, const std::string& name) {
        std::string workbook = part(original, "xl/workbook.xml");
        workbook = std::regex_replace(workbook, std::regex(R"(activeTab="\d+")"), "activeTab=\"" + activeTab + "\"");
        workbook = std::regex_replace(workbook, std::regex("<definedNames/>"),
                                      name.empty() ? "" : "<definedNames>" + name + "</definedNames>");
        std::string sheet = part(original, "xl/worksheets/sheet1.xml");
        sheet = std::regex_replace(sheet, std::regex(R"(SUM\(Jan:Mar!C2\))"), formula);
        return withPart(withPart(original, "xl/workbook.xml", workbook), "xl/worksheets/sheet1.xml", sheet);
    };
    const std::string moved = "'book.xlsx': the sheet 'New' was put before 'Jan', not before the active sheet ";
    const struct {
        std::string activeTab, formula, definedName;
        std::vector<std::string> tabsAfter;
        std::string warning;
    } cases[] = {
        {"3",
         "SUM(Jan:Mar!C2)",
         "",
         {"Summary", "New", "Jan", "Feb", "Mar"},
         moved + "'Mar' as Excel would put it: a formula of the sheet 'Summary' takes the sheets from 'Jan' to 'Mar', "
                 "and would have counted the new one in"},
        {"2",
         "SUM(Mar:Jan!C2)",
         "",
         {"Summary", "New", "Jan", "Feb", "Mar"},
         moved + "'Feb' as Excel would put it: a formula of the sheet 'Summary' takes the sheets from 'Mar' to 'Jan', "
                 "and would have counted the new one in"},
        // At the span's first sheet or outside it, the usual place.
        {"1", "SUM(Jan:Mar!C2)", "", {"Summary", "New", "Jan", "Feb", "Mar"}, ""},
        {"3", "SUM(Jan:Feb!C2)", "", {"Summary", "Jan", "Feb", "New", "Mar"}, ""},
        // Quoted in a defined name; overlapping spans move it on to the first.
        {"3",
         "SUM(Jan!C2)",
         R"(<definedName name="Total">SUM('Feb:Mar'!$C$2)</definedName>)",
         {"Summary", "Jan", "New", "Feb", "Mar"},
         "'book.xlsx': the sheet 'New' was put before 'Feb', not before the active sheet 'Mar' as Excel would put it: "
         "the defined name 'Total' takes the sheets from 'Feb' to 'Mar', and would have counted the new one in"},
        {"3",
         "SUM(Jan:Feb!C2)+'Feb:Mar'!C2",
         "",
         {"Summary", "New", "Jan", "Feb", "Mar"},
         moved + "'Mar' as Excel would put it: a formula of the sheet 'Summary' takes the sheets from 'Feb' to 'Mar', "
                 "and would have counted the new one in"},
        // Text, and spans of another workbook, are no spans of this one.
        {"3", "\"Jan:Mar!\"&amp;[1]Jan:Mar!C2", "", {"Summary", "Jan", "Feb", "New", "Mar"}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.activeTab + " " + c.formula + " " + c.definedName);
        auto book = XlsxWorkbook::open(variant(c.activeTab, c.formula, c.definedName), "book.xlsx");
        ASSERT_TRUE(book.ok()) << book.error().message;
        const std::string saved = addSampleSheet(*book, "New");
        EXPECT_EQ(tabNames(*book), c.tabsAfter);
        EXPECT_EQ(book->warnings(),
                  c.warning.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.warning});
        EXPECT_EQ(join(structuralProblems(saved), "\n"), "");
        if (openpyxlAvailable()) {
            EXPECT_EQ(openpyxlProblems(saved, "sheets\t" + join(c.tabsAfter) + "\nactive\tNew\n"), "");
        }
    }
}

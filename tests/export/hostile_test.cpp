// Workbooks made to break the edit: ids past their type, parts far larger than their file,
// entries twice, damaged checksums. Each is refused with a message naming what is wrong and
// the file left as it was, or edited into a workbook that openpyxl reads.

#include "export/excelcom.h"
#include "export/exportcommand.h"
#include "export/workbook.h"

#include "xlsxtest.h"

#include <gtest/gtest.h>

using namespace morvane;
using namespace xlsxtest;
namespace fs = std::filesystem;

namespace {

Grid exportTable()
{
    Grid grid(2, 3, 1, 0);
    const char* cells[2][3] = {{"well", "sample", "1"}, {"A1", "S1", "0.5"}};
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 3; ++c)
            grid.setCell(r, c, cells[r][c]);
    return grid;
}

// The text with its one occurrence of `from` replaced.
std::string replaced(std::string text, const std::string& from, const std::string& to)
{
    const auto at = text.find(from);
    if (at == std::string::npos || text.find(from, at + 1) != std::string::npos)
        throw std::runtime_error("not exactly once: " + from);
    return text.replace(at, from.size(), to);
}

std::string attributeOf(const std::string& xml, const std::string& element, const std::string& attribute,
                        std::size_t nth = 0)
{
    pugi::xml_document doc;
    doc.load_string(xml.c_str());
    std::size_t seen = 0;
    for (pugi::xpath_node n : doc.select_nodes(("//" + element).c_str()))
        if (seen++ == nth)
            return n.node().attribute(attribute.c_str()).value();
    return "(none)";
}

} // namespace

// Each of these once overflowed a 64-bit id when a sheet was added.
TEST(HostileWorkbook, IdsBeyondTheirTypeAreRefusedAndTheFileStaysAsItWas)
{
    const std::string prefix = "'book.xlsx' cannot be opened as a workbook: the attribute ";
    const std::string tooLarge = "=\"9223372036854775807\" of a ";
    const std::string range = " is not a whole number from 0 to 4294967295";
    const std::pair<const char*, std::string> cases[] = {
        {"ub_sheetid_overflow.xlsx", prefix + "sheetId" + tooLarge + "<sheet> in part 'xl/workbook.xml'" + range},
        {"ub_numfmt_overflow.xlsx", prefix + "numFmtId" + tooLarge + "<numFmt> in part 'xl/styles.xml'" + range},
        {"ub_localsheetid_overflow.xlsx",
         prefix + "localSheetId" + tooLarge + "<definedName> in part 'xl/workbook.xml'" + range},
        {"ub_activetab_overflow.xlsx",
         prefix + "activeTab" + tooLarge + "<workbookView> in part 'xl/workbook.xml'" + range},
        {"ub_firstsheet_overflow.xlsx",
         prefix + "firstSheet" + tooLarge + "<workbookView> in part 'xl/workbook.xml'" + range},
        // A relationship id is a name; its number only guides the choice of a new one.
        {"ub_relid_overflow.xlsx", ""},
    };
    for (const auto& [source, message] : cases) {
        SCOPED_TRACE(source);
        TempDir dir;
        const fs::path file = dir.path / "book.xlsx";
        fs::copy_file(fixture(source), file);
        fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add);
        TExcelcom excel(file);
        const auto outcome = exportGridToWorkbook(excel, exportTable(), "New", '.');
        if (!message.empty()) {
            ASSERT_FALSE(outcome.ok());
            EXPECT_EQ(outcome.error().message, message);
            EXPECT_EQ(readFile(file), readFile(fixture(source)));
            EXPECT_EQ(dir.files(), (std::vector<std::string>{"book.xlsx"}));
            continue;
        }
        ASSERT_TRUE(outcome.ok()) << outcome.error().message;
        const std::string saved = readFile(file);
        const std::string rels = part(saved, "xl/_rels/workbook.xml.rels");
        EXPECT_NE(rels.find("Id=\"rId3\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
                            "relationships/worksheet\""),
                  std::string::npos)
            << rels;
        EXPECT_EQ(attributeOf(part(saved, "xl/workbook.xml"), "sheet", "r:id"), "rId3");
        if (openpyxlAvailable()) {
            EXPECT_EQ(openpyxlProblems(saved, "sheets\tNew\tData\nactive\tNew\n"), "");
        }
    }
}

// Around the largest unsignedInt: the last one is a number the edit works with, one more is
// refused; so are signs and other text.
TEST(HostileWorkbook, IdsAreReadAsUnsignedIntsAndNewOnesStayInRange)
{
    const std::string three = readFile(fixture("openpyxl_three.xlsx"));
    struct Edit {
        const char* part;
        std::string from, to;
    };
    const auto edited = [&](const Edit& e) {
        return withPart(three, e.part, replaced(part(three, e.part), e.from, e.to));
    };
    const auto sheetId = [&](const std::string& value) {
        return Edit{"xl/workbook.xml", "sheetId=\"3\"", "sheetId=\"" + value + "\""};
    };
    const auto numFmtId = [&](const std::string& value) {
        return Edit{"xl/styles.xml", "<numFmts count=\"0\"/>",
                    "<numFmts count=\"1\"><numFmt numFmtId=\"" + value + "\" formatCode=\"0.0\"/></numFmts>"};
    };
    const auto names = [&](const std::string& definedNames) {
        return Edit{"xl/workbook.xml", "<definedNames/>", "<definedNames>" + definedNames + "</definedNames>"};
    };
    const auto secondView = [&](const std::string& attributes) {
        return Edit{"xl/workbook.xml", "</bookViews>", "<workbookView " + attributes + "/></bookViews>"};
    };

    const std::pair<Edit, std::string> refused[] = {
        {sheetId("4294967296"),
         "sheetId=\"4294967296\" of a <sheet> in part 'xl/workbook.xml' is not a whole number from 0 to 4294967295"},
        {sheetId("-3"), "sheetId=\"-3\" of a <sheet>"},
        {sheetId("+3"), "sheetId=\"+3\" of a <sheet>"},
        {sheetId(std::string(5000, '9')), "sheetId=\"99999999999999999999...\" of a <sheet>"},
        {numFmtId("4294967296"), "numFmtId=\"4294967296\" of a <numFmt> in part 'xl/styles.xml'"},
        {names(R"(<definedName name="x" localSheetId="4294967296">Data!$A$1</definedName>)"),
         "localSheetId=\"4294967296\" of a <definedName>"},
        {secondView("firstSheet=\"4294967296\""), "firstSheet=\"4294967296\" of a <workbookView>"},
        {Edit{"xl/workbook.xml", "activeTab=\"1\"", "activeTab=\"one\""}, "activeTab=\"one\" of a <workbookView>"},
    };
    for (const auto& [edit, reason] : refused) {
        SCOPED_TRACE(edit.to.substr(0, 80));
        auto book = XlsxWorkbook::open(edited(edit), "odd.xlsx");
        ASSERT_FALSE(book.ok());
        EXPECT_EQ(book.error().message.rfind("'odd.xlsx' cannot be opened as a workbook: the attribute ", 0), 0u)
            << book.error().message;
        EXPECT_NE(book.error().message.find(reason), std::string::npos) << book.error().message;
    }

    // The new sheet goes in at position 1; where the edit shows in the saved workbook.
    struct Accepted {
        const char* what;
        Edit edit;
        const char* part;
        const char* element; // its n-th occurrence
        std::size_t nth;
        const char* attribute;
        const char* value;
    };
    const Accepted accepted[] = {
        {"largest sheetId: the smallest free one", sheetId("4294967295"), "xl/workbook.xml", "sheet", 1, "sheetId",
         "3"},
        {"a sheetId in blanks", sheetId(" 3 "), "xl/workbook.xml", "sheet", 1, "sheetId", "4"},
        {"largest numFmtId: the first free one of ours", numFmtId("4294967295"), "xl/styles.xml", "numFmt", 1,
         "numFmtId", "164"},
        {"largest relationship number: the smallest free one",
         Edit{"xl/_rels/workbook.xml.rels", "Id=\"rId5\"", "Id=\"rId4294967295\""}, "xl/workbook.xml", "sheet", 1,
         "r:id", "rId5"},
        {"a scope past the last tab stays",
         names(R"(<definedName name="x" localSheetId="4294967295">Data!$A$1</definedName>)"), "xl/workbook.xml",
         "definedName", 0, "localSheetId", "4294967295"},
        {"a scope at the new tab moves on", names(R"(<definedName name="y" localSheetId="1">Data!$A$1</definedName>)"),
         "xl/workbook.xml", "definedName", 0, "localSheetId", "2"},
        {"a second view past the last tab stays", secondView("activeTab=\"4294967295\" firstSheet=\"4294967295\""),
         "xl/workbook.xml", "workbookView", 1, "activeTab", "4294967295"},
        {"a second view on the tabs moves on", secondView("activeTab=\"2\" firstSheet=\"2\""), "xl/workbook.xml",
         "workbookView", 1, "firstSheet", "3"},
    };
    for (const Accepted& c : accepted) {
        SCOPED_TRACE(c.what);
        auto book = XlsxWorkbook::open(edited(c.edit), "odd.xlsx");
        ASSERT_TRUE(book.ok()) << book.error().message;
        ASSERT_TRUE(book->addSheet("New").ok());
        ValueBlock block(1, 1);
        block.at(1, 1) = 1.5;
        ASSERT_TRUE(book->writeRange(1, 1, 1, 1, block).ok());
        auto saved = book->save();
        ASSERT_TRUE(saved.ok()) << saved.error().message;
        EXPECT_EQ(attributeOf(part(*saved, c.part), c.element, c.attribute, c.nth), c.value);
    }
}

// Workbooks made to break the edit: ids past their type, parts far larger than their file,
// entries twice, damaged checksums. Each is refused with a message naming what is wrong and
// the file left as it was, or edited into a workbook that openpyxl reads.

#include "export/excelcom.h"
#include "export/exportcommand.h"
#include "xlsx/workbook.h"

#include "xlsx/stringsworkbook.h"
#include "xlsx/xlsxtest.h"

#include <gtest/gtest.h>

#include <functional>

#ifdef __linux__
#include <sys/resource.h>
#endif

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

namespace {

// The archive with a 32-bit field set in both headers of the named entry: its local header
// (at `localOffset`) and its central directory record (at `centralOffset`).
std::string withEntryField(std::string archive, const std::string& name, std::size_t localOffset,
                           std::size_t centralOffset, std::uint32_t value)
{
    const auto field16 = [&](std::size_t at) {
        return static_cast<std::size_t>(static_cast<unsigned char>(archive[at])) |
               static_cast<std::size_t>(static_cast<unsigned char>(archive[at + 1])) << 8;
    };
    const auto put = [&](std::size_t at) {
        for (int i = 0; i < 4; ++i)
            archive[at + static_cast<std::size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
    };
    int found = 0;
    for (std::size_t pos = archive.find(name); pos != std::string::npos; pos = archive.find(name, pos + 1)) {
        if (pos >= 30 && archive.compare(pos - 30, 4, "PK\x03\x04") == 0 && field16(pos - 4) == name.size()) {
            put(pos - 30 + localOffset);
            ++found;
        } else if (pos >= 46 && archive.compare(pos - 46, 4, "PK\x01\x02") == 0 && field16(pos - 18) == name.size()) {
            put(pos - 46 + centralOffset);
            ++found;
        }
    }
    if (found != 2)
        throw std::runtime_error("no entry " + name);
    return archive;
}

std::string withBadChecksum(const std::string& archive, const std::string& name)
{
    return withEntryField(archive, name, 14, 16, entries(archive, true).at(name).crc ^ 0x5A5A5A5Au);
}

std::string withDeclaredSize(const std::string& archive, const std::string& name, std::uint32_t size)
{
    return withEntryField(archive, name, 22, 24, size);
}

// A workbook of one sheet whose shared strings are "well", "A1" and then `count` more.
std::string workbookWithStrings(std::size_t count)
{
    std::string sst = "<sst" + stringsworkbook::kMainNs + "><si><t>well</t></si><si><t>A1</t></si>";
    for (std::size_t i = 0; i < count; ++i)
        sst += "<si><t>Sample " + std::to_string(i) + "</t></si>";
    sst += "</sst>";
    return makeZip(stringsworkbook::parts(std::move(sst),
                                          R"(<sheetData><row r="1"><c r="A1" t="s"><v>0</v></c></row></sheetData>)"));
}

} // namespace

TEST(HostileWorkbook, AnEntryTwiceIsNamed)
{
    const std::string three = readFile(fixture("openpyxl_three.xlsx"));
    std::string twice = withPart(three, "xl/worksheets/sheet9.xml", part(three, "xl/worksheets/sheet1.xml"));
    for (std::size_t at = twice.find("sheet9.xml"); at != std::string::npos; at = twice.find("sheet9.xml", at))
        twice[at + 5] = '1';
    auto book = XlsxWorkbook::open(twice, "book.xlsx");
    ASSERT_FALSE(book.ok());
    EXPECT_EQ(book.error().message,
              "'book.xlsx' cannot be opened as a workbook: it holds the entry 'xl/worksheets/sheet1.xml' twice");
}

// Found by fuzz_xlsxparts: the new sheet's relationship went into a list in another namespace,
// and the saved workbook could not be read again.
TEST(HostileWorkbook, RelationshipsInAnotherNamespaceAreRefused)
{
    const std::string three = readFile(fixture("openpyxl_three.xlsx"));
    const std::string rels = "xl/_rels/workbook.xml.rels";
    auto book = XlsxWorkbook::open(
        withPart(three, rels,
                 replaced(part(three, rels), "package/2006/relationships\"", "package/2006/relationship\"")),
        "book.xlsx");
    ASSERT_FALSE(book.ok());
    EXPECT_EQ(book.error().message, "'book.xlsx' cannot be opened as a workbook: its part "
                                    "'xl/_rels/workbook.xml.rels' holds no relationships");
}

// A part the edit reads must be sound; one it only copies is copied as it is, with a warning.
TEST(HostileWorkbook, ADamagedPartIsRefusedWhenReadAndReportedWhenCopied)
{
    const struct {
        const char* fixture;
        const char* damaged;
        const char* refusal; // at open (o) or save (s); empty: a warning
        const char* warning;
    } cases[] = {
        {"openpyxl_three.xlsx", "xl/worksheets/sheet3.xml", "",
         "'book.xlsx': part 'xl/worksheets/sheet3.xml' is damaged: its checksum does not match its contents (it "
         "holds the sheet 'Notes'); it was copied as it was, and Excel may offer to repair the workbook"},
        {"openpyxl_three.xlsx", "docProps/core.xml", "",
         "'book.xlsx': part 'docProps/core.xml' is damaged: its checksum does not match its contents; it was copied "
         "as it was, and Excel may offer to repair the workbook"},
        {"openpyxl_three.xlsx", "xl/workbook.xml",
         "o'book.xlsx' cannot be opened as a workbook: part 'xl/workbook.xml' is damaged: its checksum does not "
         "match its contents",
         ""},
        // Its selection is cleared, so it is read whole when saved.
        {"xlsxwriter_excel_like.xlsx", "xl/worksheets/sheet1.xml",
         "s'book.xlsx' cannot be saved: part 'xl/worksheets/sheet1.xml' is damaged: its checksum does not match "
         "its contents",
         ""},
        {"openpyxl_three.xlsx", "", "", ""},
        // Local headers that differ from the directory are taken only when every part is whole.
        {"data_descriptor_crc.xlsx", "docProps/core.xml",
         "o'book.xlsx' cannot be opened as a workbook: its local headers do not match its directory, and part "
         "'docProps/core.xml' is damaged: its checksum does not match its contents",
         ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.fixture) + " " + c.damaged);
        const std::string original = readFile(fixture(c.fixture));
        const std::string damaged = *c.damaged ? withBadChecksum(original, c.damaged) : original;
        auto book = XlsxWorkbook::open(damaged, "book.xlsx");
        if (c.refusal[0] == 'o') {
            ASSERT_FALSE(book.ok());
            EXPECT_EQ(book.error().message, c.refusal + 1);
            continue;
        }
        ASSERT_TRUE(book.ok()) << book.error().message;
        ASSERT_TRUE(book->addSheet("New").ok());
        auto saved = book->save();
        if (c.refusal[0] == 's') {
            ASSERT_FALSE(saved.ok());
            EXPECT_EQ(saved.error().message, c.refusal + 1);
            continue;
        }
        ASSERT_TRUE(saved.ok()) << saved.error().message;
        EXPECT_EQ(book->warnings(), *c.warning ? std::vector<std::string>{c.warning} : std::vector<std::string>{});
        if (*c.damaged) { // still damaged, byte for byte
            EXPECT_EQ(entries(*saved).at(c.damaged).crc, entries(damaged).at(c.damaged).crc);
            EXPECT_EQ(entries(*saved).at(c.damaged).raw, entries(damaged).at(c.damaged).raw);
        }
    }
}

// What the archive's directory declares is checked before anything is inflated, and a part that
// holds more than declared is refused.
TEST(HostileWorkbook, PartSizesAreCheckedAgainstTheDirectoryAndTheLimits)
{
    const std::string excelLike = readFile(fixture("xlsxwriter_excel_like.xlsx"));
    const std::pair<std::string, std::string> refused[] = {
        {withDeclaredSize(excelLike, "xl/sharedStrings.xml", 300u << 20),
         "part 'xl/sharedStrings.xml' is larger than 128 MB, more than this program reads"},
        {withDeclaredSize(excelLike, "xl/sharedStrings.xml", 10),
         "part 'xl/sharedStrings.xml' holds more than the 10 bytes its directory entry declares"},
        {withDeclaredSize(excelLike, "xl/styles.xml", 33u << 20),
         "part 'xl/styles.xml' is larger than 32 MB, more than this program reads"},
    };
    for (const auto& [bytes, reason] : refused) {
        auto book = XlsxWorkbook::open(bytes, "book.xlsx");
        ASSERT_FALSE(book.ok()) << reason;
        EXPECT_EQ(book.error().message, "'book.xlsx' cannot be opened as a workbook: " + reason);
    }
    // Copied unread: the lie shows when its checksum is verified on the way.
    auto book = XlsxWorkbook::open(withDeclaredSize(excelLike, "xl/theme/theme1.xml", 10), "book.xlsx");
    ASSERT_TRUE(book.ok()) << book.error().message;
    ASSERT_TRUE(book->addSheet("New").ok());
    ASSERT_TRUE(book->save().ok());
    ASSERT_EQ(book->warnings().size(), 1u);
    EXPECT_NE(book->warnings()[0].find("part 'xl/theme/theme1.xml' holds more than the 10 bytes"), std::string::npos)
        << book->warnings()[0];
}

// Shared strings of some megabytes under a limit of 2 MB: refused from the directory when
// over it, edited as text when under it.
TEST(HostileWorkbook, LargeSharedStringsAreEditedAsTextUpToTheirLimit)
{
    WorkbookLimits limits;
    limits.maxSharedStringsBytes = 2u << 20;
    const std::string over = workbookWithStrings(120000); // about 3.5 MB
    auto refused = XlsxWorkbook::open(over, "big.xlsx", limits);
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.error().message, "'big.xlsx' cannot be opened as a workbook: part 'xl/sharedStrings.xml' is "
                                       "larger than 2 MB, more than this program reads");

    const std::string under = workbookWithStrings(60000);
    auto book = XlsxWorkbook::open(under, "big.xlsx", limits);
    ASSERT_TRUE(book.ok()) << book.error().message;
    ASSERT_TRUE(book->addSheet("New").ok());
    ValueBlock block(2, 2);
    block.at(1, 1) = std::string("well");
    block.at(1, 2) = std::string("Sample 59999");
    block.at(2, 1) = std::string("A1");
    block.at(2, 2) = std::string("Sample 60000");
    ASSERT_TRUE(book->writeRange(1, 2, 1, 2, block).ok());
    auto saved = book->save();
    ASSERT_TRUE(saved.ok()) << saved.error().message;
    EXPECT_EQ(structuralProblems(*saved), std::vector<std::string>{});
    // The workbook's own strings are reused, the new one goes last.
    const std::string sheet = part(*saved, "xl/worksheets/sheet2.xml");
    for (const char* cell : {"<v>0</v>", "<v>60001</v>", "<v>1</v>", "<v>60002</v>"})
        EXPECT_NE(sheet.find(cell), std::string::npos) << cell;
    const std::string sst = part(*saved, "xl/sharedStrings.xml");
    EXPECT_TRUE(sst.ends_with("<si><t>Sample 60000</t></si></sst>")) << sst.substr(sst.size() - 100);
}

// The warning of a damaged part copied as it was reaches whoever exported, once.
TEST(HostileWorkbook, TheWarningOfADamagedCopiedPartReachesTheExport)
{
    TempDir dir;
    const fs::path file = dir.path / "book.xlsx";
    writeFile(file, withBadChecksum(readFile(fixture("openpyxl_three.xlsx")), "xl/worksheets/sheet3.xml"));
    TExcelcom excel(file);
    const auto outcome = exportGridToWorkbook(excel, exportTable(), "New", '.');
    ASSERT_TRUE(outcome.ok()) << outcome.error().message;
    ASSERT_EQ(outcome->warnings.size(), 1u);
    EXPECT_NE(outcome->warnings.front().find("part 'xl/worksheets/sheet3.xml' is damaged"), std::string::npos);
    EXPECT_TRUE(excel.TakeWarnings().empty());
}

namespace {

std::string repeated(std::string_view piece, std::size_t times)
{
    std::string out;
    out.reserve(piece.size() * times);
    for (std::size_t i = 0; i < times; ++i)
        out += piece;
    return out;
}

const std::string kMain = R"( xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main")";

// A small archive whose parts inflate to many megabytes of nesting or nodes; each part made when
// asked for, so that only one is in memory at a time.
struct Swollen {
    const char* what;
    std::string part;
    std::function<std::string()> content;
    std::string refusal; // empty: opened and edited
};

std::vector<Swollen> swollenWorkbooks(std::size_t scale)
{
    const std::string workbookHead =
        "<workbook" + kMain + R"( xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships">)" +
        R"(<sheets><sheet name="Data" sheetId="1" r:id="rId1"/></sheets>)";
    return {
        {"styles nested deep", "xl/styles.xml",
         [=] { return "<styleSheet" + kMain + ">" + repeated("<a>", 3 * scale); },
         "part 'xl/styles.xml' nests elements more than 256 deep, more than this program reads"},
        {"a workbook of millions of elements", "xl/workbook.xml",
         [=] { return workbookHead + repeated("<a/>", 2'000'000) + "</workbook>"; },
         "part 'xl/workbook.xml' holds more than 2000000 XML nodes, more than this program reads"},
        {"a workbook of almost too many attributes", "xl/workbook.xml",
         [=] { return workbookHead + "<extLst" + repeated(R"( a="")", 1'900'000) + "/></workbook>"; }, ""},
        {"shared strings nested deep", "xl/sharedStrings.xml",
         [] { return "<sst" + kMain + "><si>" + repeated("<r>", 300) + "</si></sst>"; },
         "part 'xl/sharedStrings.xml' nests elements more than 256 deep, more than this program reads"},
        {"a shared string of millions of attributes", "xl/sharedStrings.xml",
         [=] {
             return "<sst" + kMain + R"( count="1" uniqueCount="1"><si)" + repeated(R"( a="")", 8 * scale) +
                    "><t>Sample</t></si></sst>";
         },
         ""},
        {"millions of shared strings", "xl/sharedStrings.xml",
         [=] { return "<sst" + kMain + ">" + repeated("<si><t></t></si>", 2 * scale) + "</sst>"; }, ""},
    };
}

// Opens the workbook and adds a sheet to it; the refusal, or "" when that worked.
std::string openAndEdit(const std::string& bytes)
{
    auto book = XlsxWorkbook::open(bytes, "book.xlsx");
    if (!book)
        return book.error().message;
    if (auto added = book->addSheet("New"); !added)
        return added.error().message;
    auto saved = book->save();
    return saved ? "" : saved.error().message;
}

} // namespace

// A part of deep nesting or of millions of nodes is refused as soon as the scan before its tree
// passes the limit; attributes nobody reads are counted, not kept.
TEST(HostileWorkbook, NestingAndNodesAreBoundedBeforeATreeIsBuilt)
{
    const std::string base = readFile(fixture("xlsxwriter_excel_like.xlsx"));
    for (const Swollen& c : swollenWorkbooks(100'000)) {
        const std::string refusal = openAndEdit(withPart(base, c.part, c.content()));
        EXPECT_EQ(refusal, c.refusal.empty() ? "" : "'book.xlsx' cannot be opened as a workbook: " + c.refusal)
            << c.what;
    }
}

#if defined(__linux__) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
// The same workbooks at the size of the part limits (the shared string holds 26 million
// attributes): each is opened or refused within 400 MB of memory.
TEST(HostileWorkbook, WorkbooksAtThePartLimitsStayWithin400MB)
{
    std::vector<std::string> books;
    {
        const std::string base = readFile(fixture("xlsxwriter_excel_like.xlsx"));
        for (const Swollen& c : swollenWorkbooks(3'350'000))
            books.push_back(withPart(base, c.part, c.content()));
    }
    const auto openWithin400MB = [&] {
        const rlimit limit{400ul << 20, 400ul << 20};
        setrlimit(RLIMIT_DATA, &limit);
        for (const std::string& book : books)
            openAndEdit(book);
        std::exit(0);
    };
    EXPECT_EXIT(openWithin400MB(), testing::ExitedWithCode(0), "");
}
#endif

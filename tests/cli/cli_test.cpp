// morvane-convert run in-process: usage, the table on standard output, program list, wells,
// sheet names, several files into one workbook, and what a failing file leaves behind.

#include "cli/convertcli.h"
#include "common/grid.h"
#include "conversion/rawexport_builder.h"
#include "export/workbooklock.h"
#include "plate/extraction.h"
#include "plate/plate.h"
#include "xlsx/sheetname.h"
#include "xlsx/valueblock.h"
#include "xlsx/workbook.h"
#include "xlsx/xmlutil.h"
#include "xlsx/ziparchive.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <regex>
#include <sstream>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

namespace fs = std::filesystem;
using morvane::runConvert;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

struct Result {
    int status;
    std::string out;
    std::string err;
};

Result run(std::vector<std::string> args, bool terminal = false)
{
    std::ostringstream out;
    std::ostringstream err;
    const int status = runConvert(args, out, err, terminal);
    return {status, out.str(), err.str()};
}

std::string data(const char* name)
{
    return std::string(MORVANE_TESTDATA_DIR "/") + name;
}

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class TempDir {
public:
    TempDir()
    {
        std::random_device random;
        path = fs::temp_directory_path() / ("morvane-cli-" + std::to_string(random()));
        fs::create_directories(path);
    }
    ~TempDir() { fs::remove_all(path); }
    std::string file(const std::string& name, const std::string& contents) const
    {
        std::ofstream(path / name, std::ios::binary) << contents;
        return (path / name).string();
    }
    std::string operator/(const std::string& name) const { return (path / name).string(); }
    fs::path path;
};

std::vector<std::string> sheetNames(const fs::path& workbook)
{
    auto book = morvane::XlsxWorkbook::open(readFile(workbook), "book.xlsx");
    EXPECT_TRUE(book.ok()) << (book.ok() ? "" : book.error().message);
    std::vector<std::string> names;
    if (book.ok())
        for (const auto& tab : book->tabs())
            names.push_back(tab.name);
    return names;
}

// A partly filled plate: A1, A2, B2 with program 2 over three cycles and a melt program 3.
std::string smallExport(char separator = '.')
{
    rawexport::Builder b;
    int n = 0;
    for (const char* well : {"A1", "A2", "B2"}) {
        ++n;
        for (int cycle = 1; cycle <= 3; ++cycle)
            b.line(well, "Std " + std::to_string(n), "2", std::to_string(cycle),
                   std::to_string(n) + separator + std::to_string(cycle) + "5");
        b.melt(well, "Std " + std::to_string(n), 3, 2);
    }
    return b.text();
}

TEST(ConvertUsage, WrongUsageExitsWithTwoAndWritesNothing)
{
    const TempDir dir;
    const std::string raw = dir.file("run.txt", smallExport());
    const std::string longName(32, 'x');
    const struct {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {{}, "no RAWFILE given"},
        {{"--bogus", raw}, "unknown option '--bogus'"},
        {{"-x", raw}, "unknown option '-x'"},
        {{"--plate", "100", raw}, "--plate: '100' is neither 96 nor 384"},
        {{"--program", "two", raw}, "--program: 'two' is not a whole number"},
        {{raw, "--program"}, "option '--program' needs a value"},
        {{"--table=yes", raw}, "option '--table' takes no value"},
        {{"--wells", "", raw}, "--wells: the well list is empty"},
        {{"--wells", "A1,,B2", raw}, "--wells: the well list holds an empty item"},
        {{"--wells", "1A", raw}, "--wells: '1A' is neither a well such as B3 nor a rectangle"},
        {{"--wells", "A1:B", raw}, "--wells: 'A1:B' is neither"},
        {{"--wells", "A1:B2:C3", raw}, "--wells: 'A1:B2:C3' is neither"},
        {{"--plate", "96", "--wells", "A1,I1", raw},
         "--wells: the wells 'I1' do not lie on the 96-well plate: Rows must lie within A to H and columns within 1 "
         "to 12."},
        {{"--plate", "384", "--wells", "D4:C1", raw}, "--wells: the wells 'D4:C1' select no well"},
        {{"--sheet", longName, raw}, "--sheet: '" + longName + "' has 32 characters; a sheet name has at most 31"},
        {{"--sheet", "a:b", raw}, "--sheet: "},
        {{"--table", "-o", dir / "x.xlsx", raw}, "--table writes no workbook"},
        {{"--decimal-separator", "ab", raw}, "--decimal-separator: 'ab' is not one character"},
        {{"--decimal-separator", "5", raw}, "--decimal-separator: '5'"},
        {{"--output=", raw}, "--output needs a file name"},
        {{"--check", "--table", raw}, "--check writes nothing; leave out --table and --output"},
        {{"--check", "-o", dir / "x.xlsx", raw}, "--check writes nothing"},
    };
    for (const auto& c : cases) {
        const Result r = run(c.args);
        SCOPED_TRACE(c.message);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_THAT(r.err, StartsWith("morvane-convert: " + c.message));
        EXPECT_THAT(r.err, HasSubstr("Try 'morvane-convert --help'"));
    }
    EXPECT_FALSE(fs::exists(dir / "run.xlsx"));
    EXPECT_FALSE(fs::exists(dir / "x.xlsx"));
}

TEST(ConvertUsage, HelpAndVersion)
{
    const Result help = run({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_THAT(help.out, StartsWith("Usage: morvane-convert [options] RAWFILE..."));
    EXPECT_THAT(help.out, HasSubstr("--decimal-separator C"));
    const Result version = run({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "morvane-convert 2014.1\n");
}

TEST(ConvertUsage, OptionSpellings)
{
    // --name=value, -oFILE and "--" before a file that starts with a dash.
    const TempDir dir;
    dir.file("-run.txt", smallExport());
    const fs::path previous = fs::current_path();
    fs::current_path(dir.path);
    const Result r = run({"--plate=96", "-obook.xlsx", "--sheet=S", "--", "-run.txt"});
    fs::current_path(previous);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(sheetNames(dir / "book.xlsx"), std::vector<std::string>{"S"});
}

TEST(ConvertTable, WholeTableOnStandardOutput)
{
    const TempDir dir;
    const std::string raw = dir.file("run.txt", smallExport());
    const Result r = run({"--table", "--plate", "96", "--wells", "b2,A1:A2", "--decimal-separator", ".", raw});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "well\tsample\t1\t2\t3\n"
                     "A1\t Std 1\t1.15\t1.25\t1.35\n"
                     "A2\t Std 2\t2.15\t2.25\t2.35\n"
                     "B2\t Std 3\t3.15\t3.25\t3.35\n");
    EXPECT_FALSE(fs::exists(dir / "run.xlsx"));
}

TEST(ConvertTable, CellsWithTabsLineBreaksAndBackslashesAreEscaped)
{
    const struct {
        const char* cell;
        const char* written;
    } cases[] = {
        {"plain", "plain"},   {"a\tb", "a\\tb"}, {"a\nb", "a\\nb"}, {"a\rb", "a\\rb"},
        {"C:\\x", "C:\\\\x"}, {"\\t", "\\\\t"},  {"", ""},          {"\x1b[2J\a", "\\x1b[2J\\x07"},
        {"\x7f", "\\x7f"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(morvane::escapeTableCell(c.cell), c.written);

    // A quoted sample name keeps its tab and backslash; the table shows them escaped.
    rawexport::Builder b;
    for (int cycle = 1; cycle <= 2; ++cycle)
        b.line("A1", "\"x\ty\\z\"", "2", std::to_string(cycle), "1.5");
    b.cycles("A2", "", 2, 1, 2);
    const TempDir dir;
    const Result r = run({"--table", "--plate", "96", "--wells", "A1", dir.file("q.txt", b.text())});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "well\tsample\t1\t2\nA1\t x\\ty\\\\z\t1.5\t1.5\n");
}

TEST(ConvertTable, SeparatorRepairedUnlessKept)
{
    const TempDir dir;
    const std::string raw = dir.file("comma.txt", smallExport(','));
    const Result repaired = run({"--table", "--plate", "96", "--wells", "A1", "--decimal-separator", ".", raw});
    EXPECT_EQ(repaired.out, "well\tsample\t1\t2\t3\nA1\t Std 1\t1.15\t1.25\t1.35\n");
    const Result kept =
        run({"--table", "--plate", "96", "--wells", "A1", "--decimal-separator", ".", "--keep-separator", raw});
    EXPECT_EQ(kept.out, "well\tsample\t1\t2\t3\nA1\t Std 1\t1,15\t1,25\t1,35\n");
    // With the comma as the user's separator there is nothing to repair.
    const Result comma = run({"--table", "--plate", "96", "--wells", "A1", "--decimal-separator", ",", raw});
    EXPECT_EQ(comma.out, kept.out);
}

TEST(ConvertPrograms, ListsOfferedProgramsWithTheFirstWellsCycles)
{
    rawexport::Builder b;
    for (const char* well : {"A1", "A2", "H12"}) {
        b.cycles(well, "s", 1, 1, 1); // one cycle: not offered
        b.cycles(well, "s", 2, 1, 40);
        b.melt(well, "s", 3, 5); // cycle 1 only: not offered
        b.cycles(well, "s", 4, 1, well == std::string("A1") ? 3 : 7);
    }
    const TempDir dir;
    const std::string raw = dir.file("progs.txt", b.text());
    const Result r = run({"--list-programs", raw});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "2\t40\n4\t3\n");

    // Several files: every line names its file; a failing one does not stop the list.
    const std::string missing = dir / "missing.txt";
    const Result several = run({"--list-programs", data("lc480_384_nrd1_calibration.txt"), missing,
                                data("lc480_96_example_excel_damaged.txt")});
    EXPECT_EQ(several.status, 1);
    EXPECT_EQ(several.out, data("lc480_384_nrd1_calibration.txt") + "\t2\t40\n" +
                               data("lc480_96_example_excel_damaged.txt") + "\t2\t45\n");
    EXPECT_THAT(several.err, StartsWith("morvane-convert: " + missing + ": cannot open"));

    // --program picks one of them; one not offered is a usage error for that file. The wells
    // read longer than the first widen the table.
    const Result four = run({"--table", "--program", "4", "--wells", "A2", "--keep-separator", raw});
    EXPECT_EQ(four.out, "well\tsample\t1\t2\t3\t4\t5\t6\t7\nA2\t s\tA2p4c1\tA2p4c2\tA2p4c3\tA2p4c4\tA2p4c5\t"
                        "A2p4c6\tA2p4c7\n");
    EXPECT_THAT(four.err, HasSubstr("warning: 2 wells have cycles beyond the first well's last"));
    const Result three = run({"--table", "--program", "3", raw});
    EXPECT_EQ(three.status, 2);
    EXPECT_EQ(three.out, "");
    EXPECT_EQ(three.err, "morvane-convert: " + raw +
                             ": program 3 is not offered; the programs of more than one cycle are: 2, 4\n");
}

TEST(ConvertWells, ListParsing)
{
    using morvane::WellRect;
    const auto wells = morvane::parseWellList(" A1, b3 ,C1:D4,AA12");
    ASSERT_TRUE(wells.ok());
    const std::vector<WellRect> expected = {
        {"A1", {1, 1}, {1, 1}},
        {"b3", {2, 3}, {2, 3}},
        {"C1:D4", {3, 1}, {4, 4}},
        {"AA12", {27, 12}, {27, 12}},
    };
    EXPECT_EQ(*wells, expected);
    for (const char* bad : {",", "A1,", "A", "7", "A-1", "A1:", ":A1", "A 1", "A1;B2", "Ä1"})
        EXPECT_FALSE(morvane::parseWellList(bad).ok()) << bad;
}

TEST(ConvertWells, TicksOnThePlate)
{
    using morvane::PlateFormat;
    const auto ticks = morvane::wellTicks(PlateFormat::Wells96, *morvane::parseWellList("C1:D4,H12,c2"));
    ASSERT_TRUE(ticks.ok());
    // Check-list indices, column by column: C1 2, D1 3, C2 10, D2 11, C3 18, D3 19, C4 26, D4 27, H12 95.
    std::vector<int> ticked;
    for (std::size_t i = 0; i < ticks->size(); ++i)
        if ((*ticks)[i])
            ticked.push_back(int(i));
    EXPECT_EQ(ticked, (std::vector<int>{2, 3, 10, 11, 18, 19, 26, 27, 95}));
    EXPECT_EQ(ticks->size(), 96u);

    const auto all = morvane::wellTicks(PlateFormat::Wells384, {});
    ASSERT_TRUE(all.ok());
    EXPECT_EQ(std::count(all->begin(), all->end(), true), 384);

    // Off the plate: the range reader's own message; P24 lies on the 384-well plate only.
    const auto off = morvane::wellTicks(PlateFormat::Wells96, *morvane::parseWellList("P24"));
    ASSERT_FALSE(off.ok());
    EXPECT_EQ(off.error().message, "the wells 'P24' do not lie on the 96-well plate: Rows must lie within A to H and "
                                   "columns within 1 to 12.");
    EXPECT_TRUE(morvane::wellTicks(PlateFormat::Wells384, *morvane::parseWellList("P24")).ok());
    // Column 0 and a column past any int are no wells; the others lie off the plate.
    for (const char* bad : {"A0", "A1:A99999999999"})
        EXPECT_FALSE(morvane::parseWellList(bad).ok()) << bad;
    for (const char* bad : {"A13", "AA1", "I1:A1"})
        EXPECT_FALSE(morvane::wellTicks(PlateFormat::Wells96, *morvane::parseWellList(bad)).ok()) << bad;
}

TEST(ConvertWells, WellsWithoutDataAreLeftOutWithAWarning)
{
    const TempDir dir;
    const std::string raw = dir.file("run.txt", smallExport());
    const Result r = run({"--table", "--plate", "96", "--wells", "A1:A3", raw});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "well\tsample\t1\t2\t3\nA1\t Std 1\t1.15\t1.25\t1.35\nA2\t Std 2\t2.15\t2.25\t2.35\n");
    EXPECT_EQ(r.err, "morvane-convert: " + raw + ": warning: 1 ticked well holds no data and was left out: A3.\n");

    // Off the recognised plate: an error of that file, not of the usage.
    const Result off = run({"--table", "--wells", "I1", data("lc480_96_example_excel_damaged.txt")});
    EXPECT_EQ(off.status, 1);
    EXPECT_THAT(off.err, HasSubstr("the wells 'I1' do not lie on the 96-well plate"));
}

TEST(ConvertSheets, ATakenNameGetsItsVariantAndNoNameTheExperiment)
{
    // The naming rules themselves are the sheet-name tests'; here the tool is seen to use them.
    const TempDir dir;
    const std::string raw = dir.file("run.txt", smallExport());
    const std::string book = dir / "book.xlsx";
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(run({"--plate", "96", "-o", book, "--sheet", "Run12", raw}).status, 0);
    EXPECT_EQ(run({"--plate", "96", "-o", book, raw}).status, 0);
    // Each new sheet goes before the active one, which it becomes.
    EXPECT_EQ(sheetNames(book), (std::vector<std::string>{"Test plate 7", "Run12_1", "Run12"}));
}

TEST(ConvertSheets, LongExperimentNameIsCutWithAWarning)
{
    const TempDir dir;
    const std::string name = "An experiment name of forty-one characters";
    rawexport::Builder b("Raw Data \t\tExperiment - " + name + " (Run on LCS480 1.5.0.39)");
    b.cycles("A1", "", 2, 1, 2).cycles("H12", "", 2, 1, 2);
    const std::string raw = dir.file("long.txt", b.text());
    const Result r = run({"--wells", "A1,H12", raw});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "morvane-convert: " + raw + ": warning: the experiment name '" + name + "' has " +
                         std::to_string(name.size()) +
                         " characters, more than a sheet name may have; the sheet is named '" + name.substr(0, 31) +
                         "'\n");
    EXPECT_EQ(sheetNames(dir / "long.xlsx"), std::vector<std::string>{name.substr(0, 31)});
}

// The arguments are UTF-8 (on Windows made so from the wide command line, as the ANSI code page
// has no room for these): a raw export and a workbook named in Greek and Japanese convert, and the
// workbook named after the raw file lands beside it.
TEST(ConvertFiles, NamesInGreekAndJapaneseConvert)
{
    const TempDir dir;
    const fs::path raw = dir.path / fs::path(u8"Δοκιμή 試験.txt");
    std::ofstream(raw, std::ios::binary) << smallExport();
    const fs::path book = dir.path / fs::path(u8"Αποτέλεσμα 結果.xlsx");
    Result r = run({"--plate", "96", "-o", book.string(), raw.string()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::exists(book));
    r = run({"--plate", "96", raw.string()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::exists(fs::path(raw).replace_extension(".xlsx")));
}

TEST(ConvertFiles, SeveralFilesIntoOneWorkbookAndAFailureStopsNoOther)
{
    const TempDir dir;
    const std::string good = dir.file("good.txt", smallExport());
    // Line 5 is the third data line: its cycle number is not a number.
    rawexport::Builder b;
    b.cycles("A1", "", 2, 1, 2).line("A1", "", "2", "three", "1.0").cycles("H12", "", 2, 1, 3);
    const std::string bad = dir.file("bad.txt", b.text());
    const std::string book = dir / "book.xlsx";

    const Result r =
        run({"--plate", "96", "--wells", "A1:A2,B2", "-o", book, "--sheet", "S", good, bad, dir / "none.txt", good});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(sheetNames(book), (std::vector<std::string>{"S_1", "S"}));
    EXPECT_EQ(r.err, "morvane-convert: " + bad +
                         ":5: 'three' is not a valid integer value (cycle number)\n"
                         "morvane-convert: " +
                         (dir / "none.txt") + ": cannot open '" + (dir / "none.txt") + "': there is no such file\n");
}

// Summary!B1 adds up Jan:Mar with Mar active: the sheet goes before Jan, and the tool says so.
TEST(ConvertFiles, ASheetKeptOutOfASpanOfSheetsIsReported)
{
    const TempDir dir;
    const std::string raw = dir.file("run.txt", smallExport());
    const std::string book = dir / "book.xlsx";
    fs::copy_file(data("export/three_d_span.xlsx"), book);
    const Result r = run({"--plate", "96", "--wells", "A1:A2,B2", "-o", book, "--sheet", "New", raw});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(sheetNames(book), (std::vector<std::string>{"Summary", "New", "Jan", "Feb", "Mar"}));
    EXPECT_EQ(r.err, "morvane-convert: " + book +
                         ": warning: 'book.xlsx': the sheet 'New' was put before 'Jan', not before the active sheet "
                         "'Mar' as Excel would put it: a formula of the sheet 'Summary' takes the sheets from 'Jan' "
                         "to 'Mar', and would have counted the new one in\n");
}

TEST(ConvertFiles, ALongBatchIsWrittenInPartsAndLosesNoSheet)
{
    const TempDir dir;
    const std::string good = dir.file("good.txt", smallExport());
    const std::string book = dir / "batch.xlsx";
    std::vector<std::string> args{"-q", "--plate", "96", "-o", book, "--sheet", "S"};
    for (int i = 0; i < 45; ++i)
        args.push_back(good);
    const Result r = run(args);
    EXPECT_EQ(r.status, 0) << r.err;
    const auto names = sheetNames(book);
    ASSERT_EQ(names.size(), 45u);
    EXPECT_EQ(names.front(), "S_44");
    EXPECT_EQ(names.back(), "S");
}

// An error stream that does `action` once `trigger` has been written to it: another program
// acting at a known moment of a run.
class Interrupting : public std::stringbuf {
public:
    Interrupting(std::string trigger, std::function<void()> action)
        : m_trigger(std::move(trigger)), m_action(std::move(action))
    {
    }

protected:
    int sync() override
    {
        if (m_action && str().find(m_trigger) != std::string::npos)
            std::exchange(m_action, nullptr)();
        return std::stringbuf::sync();
    }

private:
    std::string m_trigger;
    std::function<void()> m_action;
};

// The lines that are messages, without the progress shown before them.
std::vector<std::string> messages(const std::string& err)
{
    std::vector<std::string> lines;
    std::istringstream in(err);
    for (std::string line; std::getline(in, line);)
        if (const auto at = line.find("morvane-convert: "); at != std::string::npos)
            lines.push_back(line.substr(at));
    return lines;
}

TEST(ConvertFiles, AFailedWriteNamesTheFilesWhoseSheetsAreLost)
{
    const TempDir dir;
    const std::string book = dir / "book.xlsx";
    std::vector<std::string> files;
    std::vector<std::string> args{"--plate", "96", "--wells", "A1:A2,B2", "-o", book, "--sheet", "S"};
    for (int i = 1; i <= 25; ++i) {
        files.push_back(dir.file("f" + std::to_string(i) + ".txt", smallExport()));
        args.push_back(files.back());
    }
    // The first 20 sheets are written together; while the 23rd goes in, another program adds a
    // sheet to the workbook.
    Interrupting buffer("sheet 'S_22'", [&] {
        auto theirs = morvane::XlsxWorkbook::open(readFile(book), "book.xlsx");
        ASSERT_TRUE(theirs.ok() && theirs->addSheet("Theirs").ok());
        std::ofstream(book, std::ios::binary) << *theirs->save();
    });
    std::ostringstream out;
    std::ostream err(&buffer);
    EXPECT_EQ(runConvert(args, out, err, true), 1);
    std::vector<std::string> expected{"morvane-convert: " + book +
                                      ": 'book.xlsx' was changed by another program during the export; export again"};
    for (int i = 21; i <= 25; ++i)
        expected.push_back("morvane-convert: " + files[i - 1] + ": its sheet 'S_" + std::to_string(i - 1) +
                           "' was not written to " + book + "; convert this file again");
    EXPECT_EQ(messages(buffer.str()), expected);
    EXPECT_EQ(sheetNames(book).size(), 21u);

    // Converting exactly the files named again gives every file one sheet.
    std::vector<std::string> again{"-q", "--plate", "96", "-o", book, "--sheet", "S"};
    again.insert(again.end(), files.begin() + 20, files.end());
    const Result rerun = run(again);
    EXPECT_EQ(rerun.status, 0) << rerun.err;
    const auto names = sheetNames(book);
    EXPECT_EQ(names.size(), 26u);
    EXPECT_EQ(std::count_if(names.begin(), names.end(), [](const std::string& n) { return n[0] == 'S'; }), 25);
}

TEST(ConvertFiles, AnotherMorvaneExportIntoTheWorkbookIsWaitedFor)
{
    const TempDir dir;
    const std::string raw = dir.file("run.txt", smallExport());
    const std::string book = dir / "book.xlsx";
    auto other = morvane::WorkbookLock::acquire(book);
    ASSERT_TRUE(other.ok());
    Interrupting buffer("waiting", [&] { other->release(); });
    std::ostringstream out;
    std::ostream err(&buffer);
    EXPECT_EQ(runConvert({"--plate", "96", "--wells", "A1:A2,B2", "-o", book, "--sheet", "S", raw}, out, err, false),
              0);
    EXPECT_EQ(buffer.str(), "morvane-convert: " + book +
                                ": 'book.xlsx' is being written by another Morvane export; waiting up to 10 s for it "
                                "to finish\n");
    EXPECT_EQ(sheetNames(book), std::vector<std::string>{"S"});
}

TEST(ConvertFiles, NothingIsWrittenForAFailingFile)
{
    const TempDir dir;
    // Recognised from no last line: a partly filled plate.
    const std::string partial = dir.file("partial.txt", smallExport());
    const Result unrecognised = run({partial});
    EXPECT_EQ(unrecognised.status, 1);
    EXPECT_EQ(unrecognised.err,
              "morvane-convert: " + partial + ":17: plate format not recognised; give --plate 96 or --plate 384\n");
    EXPECT_FALSE(fs::exists(dir / "partial.xlsx"));

    // A workbook the export refuses stays as it was; so does one that was fine, for a bad file.
    const std::string book = dir / "book.xlsx";
    ASSERT_EQ(run({"--plate", "96", "-o", book, partial}).status, 0);
    const std::string before = readFile(book);
    const Result bad = run({"-o", book, partial, data("lc480_96_example_sample_info.txt")});
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(readFile(book), before);
    const std::string notABook = dir.file("text.xlsx", "not a workbook");
    const Result refused = run({"--plate", "96", "-o", notABook, partial});
    EXPECT_EQ(refused.status, 1);
    EXPECT_THAT(refused.err, StartsWith("morvane-convert: " + partial + ": "));
    EXPECT_EQ(readFile(notABook), "not a workbook");

    // A table that fails half way writes no part of itself.
    rawexport::Builder b;
    b.cycles("A1", "", 2, 1, 3).cycles("A2", "", 2, 1, 2).line("A2", "", "2", "x", "1").cycles("H12", "", 2, 1, 3);
    const Result table = run({"--table", dir.file("halfway.txt", b.text())});
    EXPECT_EQ(table.status, 1);
    EXPECT_EQ(table.out, "");
    EXPECT_THAT(table.err, HasSubstr("halfway.txt:8: 'x' is not a valid integer value (cycle number)"));
}

TEST(ConvertProgress, OnlyOnATerminalAndNotWhenQuiet)
{
    const TempDir dir;
    const std::string raw = dir.file("run.txt", smallExport());
    const std::string book = dir / "book.xlsx";
    const Result shown = run({"--plate", "96", "-o", book, "--sheet", "S", raw, raw}, true);
    EXPECT_EQ(shown.status, 0);
    EXPECT_THAT(shown.err,
                HasSubstr("[1/2] " + raw + ": 3 wells of program 2 (3 cycles) -> " + book + ", sheet 'S'\n"));
    EXPECT_THAT(shown.err,
                HasSubstr("[2/2] " + raw + ": 3 wells of program 2 (3 cycles) -> " + book + ", sheet 'S_1'\n"));
    EXPECT_THAT(shown.err, HasSubstr("ticked wells hold no data")); // warnings as well
    EXPECT_EQ(run({"--plate", "96", "-o", book, "-q", "--wells", "A1", raw}, true).err, "");
    EXPECT_EQ(run({"--plate", "96", "-o", book, "--wells", "A1", raw}, false).err, "");
}

TEST(ConvertFiles, RealExportsIntoTheirOwnWorkbooks)
{
    const TempDir dir;
    for (const char* name : {"lc480_384_nrd1_calibration.txt", "lc480_96_example_excel_damaged.txt"})
        fs::copy_file(data(name), dir.path / name);
    const Result r = run({"-q", dir / "lc480_384_nrd1_calibration.txt", dir / "lc480_96_example_excel_damaged.txt"});
    EXPECT_EQ(r.status, 0);
    // The damaged export is written as it is, with what the checks found said.
    EXPECT_THAT(r.err, HasSubstr("morvane-convert: " + dir / "lc480_96_example_excel_damaged.txt" +
                                 ":77: warning: 1,002 readings look like spreadsheet dates (first: A2 cycle 30: "
                                 "41350)\n"));
    EXPECT_EQ(sheetNames(dir / "lc480_384_nrd1_calibration.xlsx"),
              std::vector<std::string>{"Edward qPCR Nrd1 calibration 20"});
    EXPECT_EQ(sheetNames(dir / "lc480_96_example_excel_damaged.xlsx"),
              std::vector<std::string>{"HL60 _U937_Kokultur Bine _1_IL1"});
}

TEST(ConvertChannels, ListedChosenByNameAndOneSheetEach)
{
    const std::string dual = data("channels/lc480_96_dual_colour.txt");
    const std::string segments = data("channels/lc480_96_two_segments.txt");
    EXPECT_EQ(run({"--list-channels", dual}).out, "465-510\n533-580\n");
    EXPECT_EQ(run({"--list-programs", dual}).out, "2\t40\n");
    EXPECT_EQ(run({"--list-programs", segments}).out, "2/2\t40\n2/1\t40\n");

    // --table gives exactly the window's channel; the default is the first.
    const Result second = run({"--table", "--channel", "533-580", "--wells", "A2", "-q", dual});
    EXPECT_EQ(second.status, 0) << second.err;
    EXPECT_THAT(second.out, StartsWith("well\tsample\t1\t2\t3"));
    EXPECT_THAT(second.out, HasSubstr("\nA2\t Sample 2\t2.50011\t"));
    const Result first = run({"--table", "--wells", "A2", dual});
    EXPECT_THAT(first.out, HasSubstr("\nA2\t Sample 2\t1.50011\t"));
    const Result seg2 = run({"--table", "--program", "2/2", "--wells", "A1", segments});
    const Result seg1 = run({"--table", "--program", "2/1", "--wells", "A1", segments});
    EXPECT_EQ(seg2.status, 0) << seg2.err;
    EXPECT_NE(seg1.out, seg2.out);

    // Usage errors list what the file offers.
    const Result unknown = run({"--table", "--channel", "618-660", dual});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_THAT(unknown.err, HasSubstr("channel '618-660' is not in the file; its channels are: 465-510, 533-580"));
    const Result plain = run({"--table", "--program", "2", segments});
    EXPECT_EQ(plain.status, 2);
    EXPECT_THAT(plain.err, HasSubstr("program 2 is not offered; the runs are: 2/2, 2/1"));
    EXPECT_EQ(run({"--table", "--channel", "all", dual}).status, 2);

    // A workbook gets one sheet per channel, named after the experiment and the channel.
    const TempDir dir;
    const std::string book = dir / "dual.xlsx";
    const Result all = run({"-q", "-o", book, "--channel", "all", dual});
    EXPECT_EQ(all.status, 0) << all.err;
    EXPECT_EQ(sheetNames(book), (std::vector<std::string>{"Dual colour test 533-580", "Dual colour test 465-510"}));
}

// The XML inside an .rdml file.
std::string rdmlXml(const fs::path& file)
{
    const std::string bytes = readFile(file);
    auto archive = morvane::xlsx::ZipArchive::open(bytes, 4, 1u << 30);
    EXPECT_TRUE(archive.ok());
    if (!archive.ok())
        return "";
    const auto index = archive->find("rdml_data.xml");
    EXPECT_TRUE(index.has_value());
    auto xml = index ? archive->read(*index, 1u << 30) : morvane::Expected<std::string>(morvane::Error{"none"});
    return xml.ok() ? *xml : "";
}

std::vector<std::string> matches(const std::string& text, const std::string& pattern)
{
    std::vector<std::string> found;
    const std::regex re(pattern);
    for (auto it = std::sregex_iterator(text.begin(), text.end(), re); it != std::sregex_iterator(); ++it)
        found.push_back((*it)[1]);
    return found;
}

std::size_t count(const std::string& text, const std::string& needle)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1))
        ++n;
    return n;
}

TEST(ConvertRdml, TheFormatFollowsTheExtensionOrTheOption)
{
    const TempDir dir;
    const std::string raw = dir.file("run.txt", smallExport(','));
    const struct {
        std::vector<std::string> args;
        std::string file;
        bool rdml;
    } cases[] = {
        {{"-o", dir / "a.rdml"}, "a.rdml", true}, {{"-o", dir / "b.RDML"}, "b.RDML", true},
        {{"-o", dir / "c.tsv"}, "c.tsv", false},  {{"--format", "rdml"}, "run.rdml", true},
        {{"--format", "rdes"}, "run.tsv", false}, {{"--format=rdes", "-o", dir / "d.txt"}, "d.txt", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"-q", "--plate", "96", "--wells", "A1,A2,B2", raw});
        const Result r = run(args);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        if (c.rdml) {
            const std::string xml = rdmlXml(dir / c.file);
            EXPECT_EQ(matches(xml, "<react id=\"(\\d+)\">"), (std::vector<std::string>{"1", "2", "14"}));
            // Read with a comma, written with a point.
            EXPECT_EQ(matches(xml, "<fluor>([^<]*)</fluor>").front(), "1.15");
            EXPECT_EQ(matches(xml, "<sample id=\"([^\"]*)\">"), (std::vector<std::string>{"Std 1", "Std 2", "Std 3"}));
        } else {
            const std::string table = readFile(dir / c.file);
            EXPECT_THAT(table, StartsWith("Well\tSample\tSample Type\tTarget\tTarget Type\tDye\tCq\t1\t2\t3\n"
                                          "A1\tStd 1\tunkn\t465-510\ttoi\t465-510\t\t1.15\t1.25\t1.35\n"));
        }
    }
    EXPECT_FALSE(fs::exists(dir / "run.xlsx"));
}

TEST(ConvertRdml, AnExistingFileIsRefusedUnlessOverwrittenAndOnlyOneOfItsKind)
{
#ifdef _WIN32
    GTEST_SKIP() << "needs symbolic links, which MinGW's C++ library cannot make (and Windows lets only "
                    "administrators or developer mode make)";
#endif
    const TempDir dir;
    const std::string raw = dir.file("run.txt", smallExport());
    for (const char* name : {"run.rdml", "run.tsv"}) {
        SCOPED_TRACE(name);
        const std::string existing = dir / name;
        ASSERT_EQ(run({"-q", "--plate", "96", "-o", existing, raw}).status, 0);
        const std::string first = readFile(existing);
        const Result refused = run({"--plate", "96", "-o", existing, raw});
        EXPECT_EQ(refused.status, 1);
        EXPECT_THAT(refused.err,
                    HasSubstr(std::string("'") + name + "' already exists; give --overwrite to replace it"));
        const Result replaced = run({"-q", "--plate", "96", "--wells", "A1", "--overwrite", "-o", existing, raw});
        EXPECT_EQ(replaced.status, 0) << replaced.err;
        EXPECT_NE(readFile(existing), first);
    }
    // --overwrite never replaces a file of another kind, nor the file a link leads to.
    const std::string notes = dir.file("notes.txt", "keep me");
    fs::create_symlink(notes, dir.path / "link.rdml");
    const std::string text = dir.file("text.tsv", "keep me too");
    const struct {
        std::string target;
        const char* format;
        std::string message;
    } kept[] = {
        {dir / "link.rdml", "rdml", "'link.rdml' is a symbolic link to '" + notes + "', a text file, not an RDML file"},
        {text, "rdes", "'text.tsv' is a text file, not an RDES table"},
        {dir / "run.tsv", "rdml", "'run.tsv' is an RDES table, not an RDML file"},
    };
    for (const auto& c : kept) {
        const std::string before = readFile(c.target);
        const Result r = run({"--plate", "96", "--overwrite", "--format", c.format, "-o", c.target, raw});
        EXPECT_EQ(r.status, 1);
        EXPECT_THAT(r.err, HasSubstr(c.message + "; it is left as it is: choose another name"));
        EXPECT_EQ(readFile(c.target), before);
    }
    EXPECT_TRUE(fs::is_symlink(dir.path / "link.rdml"));
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(dir.path))
        files.push_back(entry.path().filename().string());
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{"link.rdml", "notes.txt", "run.rdml", "run.tsv", "run.txt",
                                               "text.tsv"})); // no temporary file
}

TEST(ConvertRdml, WellsAndChannelsAsForSheets)
{
    const TempDir dir;
    const std::string dual = data("channels/lc480_96_dual_colour.txt");
    // Every channel by default, with the melt curve.
    const Result all = run({"-o", dir / "all.rdml", "--wells", "A1:B2,H12", dual});
    ASSERT_EQ(all.status, 0) << all.err;
    const std::string xml = rdmlXml(dir / "all.rdml");
    EXPECT_EQ(matches(xml, "<react id=\"(\\d+)\">"), (std::vector<std::string>{"1", "2", "13", "14", "96"}));
    EXPECT_EQ(matches(xml, "<target id=\"([^\"]*)\">"), (std::vector<std::string>{"465-510", "533-580"}));
    EXPECT_EQ(count(xml, "<mdp>"), 5u * 2 * 6);
    EXPECT_EQ(count(xml, "<adp>"), 5u * 2 * 40);

    const Result one = run({"-q", "-o", dir / "one.tsv", "--channel", "533-580", "--wells", "A2", dual});
    ASSERT_EQ(one.status, 0) << one.err;
    EXPECT_THAT(readFile(dir / "one.tsv"), HasSubstr("\nA2\tSample 2\tunkn\t533-580\ttoi\t533-580\t\t2.50011\t"));
    EXPECT_THAT(readFile(dir / "one.tsv"), Not(HasSubstr("465-510")));

    // Usage errors.
    const TempDir other;
    const std::string raw = other.file("run.txt", smallExport());
    const struct {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {{"--format", "pdf", raw}, "--format: 'pdf' is none of xlsx, rdml, rdes"},
        {{"-o", other / "x.rdml", raw, raw}, "--output: an RDML file holds one RAWFILE"},
        {{"-o", other / "x.tsv", "--sheet", "S", raw}, "--sheet names a workbook sheet"},
        {{"--overwrite", raw}, "--overwrite replaces RDML and RDES files"},
        {{"--table", "--format", "rdml", raw}, "--table writes no file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        const Result r = run(c.args);
        EXPECT_EQ(r.status, 2);
        EXPECT_THAT(r.err, StartsWith("morvane-convert: " + c.message));
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(other.path), fs::directory_iterator()), 1);
}

TEST(ConvertRdml, RealExportsGiveOneReactPerWell)
{
    const TempDir dir;
    const struct {
        const char* name;
        std::size_t reacts;
        std::size_t melt;
    } cases[] = {
        {"lc480_384_nrd1_calibration.txt", 384, 384u * 176},
        {"lc480_96_example_excel_damaged.txt", 96, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Result r = run({"-o", dir / "run.rdml", "--overwrite", data(c.name)});
        ASSERT_EQ(r.status, 0) << r.err;
        const std::string xml = rdmlXml(dir / "run.rdml");
        EXPECT_EQ(count(xml, "<react "), c.reacts);
        EXPECT_EQ(count(xml, "<mdp>"), c.melt);
    }
}

TEST(ConvertLayout, TheLayoutNamesTheSamplesOfEveryOutput)
{
    const TempDir dir;
    const std::string raw = dir.file("run.txt", smallExport());
    const std::string plan = dir.file("plan.csv", "Well,Sample,Sample Type,Target,Quantity\n"
                                                  "A1,Std 1x,std,GAPDH,\"1,5\"\nA2,NTC,ntc,GAPDH\nH12,Blank\n");
    const Result table = run({"--table", "--plate", "96", "--layout", plan, raw}, true);
    ASSERT_EQ(table.status, 0) << table.err;
    EXPECT_THAT(table.out, HasSubstr("\nA1\t Std 1x\t1.15\t"));
    EXPECT_THAT(table.out, HasSubstr("\nA2\t NTC\t2.15\t"));
    EXPECT_THAT(table.out, HasSubstr("\nB2\t Std 3\t")) << "a well the layout leaves out keeps its name";
    EXPECT_THAT(table.err, HasSubstr("warning: the layout describes 1 well without data: H12"));
    EXPECT_THAT(table.err, HasSubstr("2 sample names from the layout"));

    const Result rdml =
        run({"-q", "--plate", "96", "--layout", plan, "--rdml-version", "1.4", "-o", dir / "run.rdml", raw});
    ASSERT_EQ(rdml.status, 0) << rdml.err;
    const std::string xml = rdmlXml(dir / "run.rdml");
    EXPECT_THAT(xml, HasSubstr("<rdml xmlns=\"http://www.rdml.org\" version=\"1.4\">"));
    EXPECT_THAT(xml, HasSubstr("<sample id=\"Std 1x\"><type>std</type><quantity><value>1.5</value><unit>cop</unit>"));
    EXPECT_THAT(xml, HasSubstr("<sample id=\"NTC\"><type>ntc</type></sample>"));
    EXPECT_EQ(matches(xml, "<target id=\"([^\"]*)\">"), (std::vector<std::string>{"GAPDH", "465-510"}));
    const Result rdes = run({"-q", "--plate", "96", "--layout", plan, "-o", dir / "run.tsv", raw});
    ASSERT_EQ(rdes.status, 0) << rdes.err;
    EXPECT_THAT(readFile(dir / "run.tsv"), HasSubstr("\nA2\tNTC\tntc\tGAPDH\ttoi\t465-510\t\t2.15\t"));

    // A bad code on line 4: refused with its place, nothing written.
    const std::string bad =
        dir.file("bad.tsv", "Well\tSample\tSample Type\nA1\tS\tunkn\nA2\tS\tunkn\nB2\tT\tcontrol\n");
    const Result refused = run({"--plate", "96", "--layout", bad, "-o", dir / "bad.rdml", raw});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err, "morvane-convert: bad.tsv, line 4: the sample type 'control' is none of unkn, ntc, nac, "
                           "std, ntp, nrt, pos, opt\n");
    EXPECT_FALSE(fs::exists(dir / "bad.rdml"));
    // A well off the file's plate is that file's failure.
    const std::string off = dir.file("off.tsv", "Well\tSample\nP24\tS\n");
    const Result offPlate = run({"--plate", "96", "--layout", off, "-o", dir / "off.rdml", raw});
    EXPECT_EQ(offPlate.status, 1);
    EXPECT_THAT(offPlate.err, HasSubstr("off.tsv, line 2: the well 'P24' is not on the 96-well plate"));
    EXPECT_FALSE(fs::exists(dir / "off.rdml"));
    EXPECT_EQ(run({"--rdml-version", "1.4", "--table", raw}).status, 2);
}

TEST(ConvertLayout, TheCalibrationPlanAsTextAndAsWorkbookGivesTheSameReactions)
{
    const TempDir dir;
    const std::string plan = data("layout/lc480_384_nrd1_calibration_layout.tsv");
    morvane::Grid grid(385, 8);
    std::istringstream lines(readFile(plan));
    std::string line;
    for (int row = 0; std::getline(lines, line); ++row) {
        std::istringstream fields(line);
        std::string field;
        for (int col = 0; std::getline(fields, field, '\t'); ++col)
            grid.cell(row, col) = field;
    }
    auto book = morvane::XlsxWorkbook::create("plan.xlsx");
    ASSERT_TRUE(book.ok());
    ASSERT_TRUE(book->addSheet("Plan").ok());
    ASSERT_TRUE(book->writeRange(1, 9, 1, 386, morvane::makeValueBlock(grid, '.')).ok());
    dir.file("plan.xlsx", *book->save());

    const std::string raw = data("lc480_384_nrd1_calibration.txt");
    for (const char* layout : {"text", "workbook"}) {
        const std::string given = std::string(layout) == "text" ? plan : dir / "plan.xlsx";
        const Result r = run({"-q", "--layout", given, "-o", dir / (std::string(layout) + ".rdml"), raw});
        ASSERT_EQ(r.status, 0) << r.err;
    }
    const auto withoutDate = [](std::string xml) { return std::regex_replace(xml, std::regex("<dateMade>[^<]*"), ""); };
    const std::string text = withoutDate(rdmlXml(dir / "text.rdml"));
    EXPECT_EQ(withoutDate(rdmlXml(dir / "workbook.rdml")), text);
    EXPECT_EQ(count(text, "<target id="), 16u);
    EXPECT_EQ(count(text, "<sample id=\"NT\"/>"), 64u);
}

TEST(ConvertLayout, ATwoSegmentExportOffersItsAmplificationReadAndKeepsBoth)
{
    const TempDir dir;
    const std::string segments = data("channels/lc480_96_two_segments.txt");
    const Result both = run({"-q", "-o", dir / "both.rdml", segments});
    ASSERT_EQ(both.status, 0) << both.err;
    EXPECT_EQ(matches(rdmlXml(dir / "both.rdml"), "<run id=\"([^\"]*)\">"),
              (std::vector<std::string>{"program 2 segment 2", "program 2 segment 1"}));
    const Result one = run({"-q", "--program", "2/1", "-o", dir / "one.rdml", segments});
    ASSERT_EQ(one.status, 0) << one.err;
    EXPECT_EQ(matches(rdmlXml(dir / "one.rdml"), "<run id=\"([^\"]*)\">"),
              (std::vector<std::string>{"program 2 segment 1"}));
    // The sheet of a segment says which.
    const Result sheet = run({"-q", "-o", dir / "seg.xlsx", segments});
    ASSERT_EQ(sheet.status, 0) << sheet.err;
    EXPECT_EQ(sheetNames(dir / "seg.xlsx"), (std::vector<std::string>{"Two segment run seg 2"}));
}

TEST(ConvertFiles, AResultsExportIsRefusedBeforeThePlateFormat)
{
    const Result r = run({"--table", data("lc480_96_example_sample_info.txt")});
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, HasSubstr("this is not a LightCycler 480 raw data export"));
    EXPECT_THAT(r.err, Not(HasSubstr("plate format")));
}

TEST(ConvertMessages, AHugeFieldOrNameIsQuotedCutShort)
{
    // Each source quotes a megabyte of text from its input; the message keeps 80 characters of it.
    const TempDir dir;
    const std::string huge(1 << 20, 'q');
    rawexport::Builder badCycle;
    badCycle.cycles("A1", "", 2, 1, 2).line("A1", "", "2", huge, "1.0");
    const std::string badCycleFile = dir.file("cycle.txt", badCycle.text());
    rawexport::Builder longTitle("Raw Data \t\tExperiment - " + huge + " (Run on LCS480 1.5.0.39)");
    longTitle.cycles("A1", "", 2, 1, 2).cycles("H12", "", 2, 1, 2);
    const std::string longTitleFile = dir.file("title.txt", longTitle.text());
    morvane::Grid offPlate(2, 3, 1, 1);
    offPlate.setCell(1, 0, huge);
    pugi::xml_document doc;

    const struct {
        const char* source;
        std::string message;
    } cases[] = {
        {"raw file field", run({"--table", badCycleFile}).err},
        {"experiment name", run({"--wells", "A1", longTitleFile}).err},
        {"unknown option", run({"--" + huge, badCycleFile}).err},
        {"option value", run({"--plate", huge, badCycleFile}).err},
        {"--sheet", run({"--sheet", huge, badCycleFile}).err},
        {"sheet name", morvane::checkSheetName(huge + ":").error().message},
        {"plate range", morvane::readRange(morvane::PlateFormat::Wells96, huge + "1", "A", "1", "2").error().message},
        {"wells off the plate", morvane::plateWellsWarning(offPlate, {}, morvane::PlateFormat::Wells96)},
        {"workbook part", morvane::xlsx::parsePart(doc, "<x", "xl/" + huge + ".xml").error().message},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source);
        std::string message = c.message;
        for (const std::string& file : {badCycleFile, longTitleFile})
            for (std::size_t at; (at = message.find(file)) != std::string::npos;)
                message.erase(at, file.size());
        EXPECT_LT(message.size(), 250u) << message.substr(0, 300);
        EXPECT_NE(message.find(std::string(70, 'q') + "..."), std::string::npos) << message.substr(0, 300);
    }
}

// The warnings of the checks and the RDML refusal of a name quote 80 characters of a reading of
// 10 MB and of a sample name of 32,000 characters; a file name's control characters are escaped.
TEST(ConvertMessages, ReadingsAndNamesAreQuotedCutShortAndEscaped)
{
    const TempDir dir;
    rawexport::Builder reading;
    reading.cycles("A1", "S", 2, 1, 2).line("A1", "S", "2", "3", "-1" + std::string(10 << 20, '5'));
    const std::string readingFile = dir.file("reading.txt", reading.text());
    rawexport::Builder sample;
    const std::string name = "Q\uFFFE" + std::string(32000, 'q'); // a character XML cannot hold
    sample.line("A1", "S", "2", "1", "1.5").line("A1", name, "2", "2", "1.6").line("A1", name, "2", "3", "1.7");
    const std::string sampleFile = dir.file("sample.txt", sample.text());
    rawexport::Builder named;
    named.cycles("A1", name, 2, 1, 3);
    const std::string namedFile = dir.file("named.txt", named.text());
    const std::string steering = dir.file("run\x1B]0;owned\x07.txt", sample.text());
    const struct {
        const char* source;
        Result result;
        const char* quoted;
    } cases[] = {
        {"reading", run({"--check", "--plate", "96", "--wells", "A1", readingFile}), "-155555"},
        {"sample name", run({"--check", "--plate", "96", "--wells", "A1", sampleFile}), "Q\uFFFEqqq"},
        {"sample name in RDML", run({"--plate", "96", "--wells", "A1", "-o", dir / "s.rdml", namedFile}),
         "holds a character XML cannot hold"},
        {"file name", run({"--check", "--plate", "96", "--wells", "A1", steering}), "run\\x1B]0;owned\\x07.txt"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source);
        EXPECT_EQ(c.result.status, 1);
        EXPECT_LT(c.result.err.size(), 2 * dir.path.string().size() + 400) << c.result.err.substr(0, 400);
        EXPECT_THAT(c.result.err, HasSubstr(c.quoted));
        EXPECT_EQ(c.result.err.find_first_of("\x01\x07\x1B"), std::string::npos);
    }
}

#ifndef _WIN32
TEST(ConvertFiles, AWorkbookThatCannotBeWrittenIsReportedBeforeAnyConversion)
{
    const TempDir dir;
    // Not even read: the workbook's message comes first and alone.
    const std::string raw = dir / "missing.txt";
    fs::create_symlink(dir.path / "gone" / "book.xlsx", dir / "link.xlsx");
    ASSERT_EQ(::mkfifo((dir.path / "pipe.xlsx").c_str(), 0600), 0);
    const struct {
        std::string output;
        std::string message;
    } cases[] = {
        {dir / "link.xlsx", "it is a symbolic link to '" + (dir.path / "gone" / "book.xlsx").string() +
                                "', which does not exist; give the workbook itself"},
        {(dir.path / "gone" / "book.xlsx").string(), "the folder '" + (dir / "gone") + "' does not exist"},
        {dir / "pipe.xlsx", "it is a named pipe (FIFO), not a workbook"},
        {dir.path.string(), "it is a folder, not a workbook"},
    };
    for (const auto& c : cases) {
        const Result r = run({"--plate", "96", "-o", c.output, raw});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "morvane-convert: " + c.output + ": " + c.message + "\n");
    }

    // A link to a workbook that exists is that workbook.
    const std::string good = dir.file("good.txt", smallExport());
    ASSERT_EQ(run({"--plate", "96", "-o", dir / "book.xlsx", "--sheet", "S", good}).status, 0);
    fs::create_symlink(dir / "book.xlsx", dir / "alias.xlsx");
    const Result viaLink = run({"--plate", "96", "-o", dir / "alias.xlsx", "--sheet", "S", good});
    EXPECT_EQ(viaLink.status, 0) << viaLink.err;
    // Listing programs writes no workbook, so the output is not looked at.
    EXPECT_EQ(run({"--list-programs", "-o", dir / "link.xlsx", good}).status, 0);
}
#endif

} // namespace

namespace {

TEST(ConvertChecks, CheckReportsEachKindOnceAndWritesNothing)
{
    const TempDir dir;
    const std::string damaged = dir / "damaged.txt";
    fs::copy_file(data("lc480_96_example_excel_damaged.txt"), damaged);
    const Result r = run({"--check", damaged});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "morvane-convert: " + damaged +
                         ":77: warning: 1,002 readings look like spreadsheet dates (first: A2 cycle 30: 41350)\n");
    EXPECT_FALSE(fs::exists(dir / "damaged.xlsx"));

    // Several kinds in one file: each once, at its first place's line.
    rawexport::Builder b;
    b.line("A1", "S", "2", "1", "1.5").line("A1", "S", "2", "1", "1.6").line("A1", "S", "2", "2", "-1.5");
    b.line("A1", "S", "2", "3", "-1.7").line("A2", "S", "2", "1", "2.5").line("A2", "T", "2", "3", "2.7");
    const std::string written = dir.file("written.txt", b.text());
    const Result kinds = run({"--check", "--plate", "96", "--wells", "A1:A2", written});
    EXPECT_EQ(kinds.status, 1);
    const std::string lead = "morvane-convert: " + written;
    EXPECT_EQ(kinds.err, lead + ":5: warning: 2 readings are negative (first: A1 cycle 2: -1.5)\n" + lead +
                             ":7: warning: 1 cycle has no reading (first: A2 cycle 2)\n" + lead +
                             ":4: warning: 1 reading repeats a cycle of its well (the table holds the later one) "
                             "(first: A1 cycle 1: 1.6)\n" +
                             lead +
                             ":8: warning: 1 well changes its sample name within the run (first: A2 cycle 3: "
                             "'T')\n");
    EXPECT_FALSE(fs::exists(dir / "written.xlsx"));
}

TEST(ConvertChecks, CleanRealExportsPassTheCheck)
{
    for (const char* name : {"lc480_384_nrd1_calibration.txt", "channels/lc480_96_dual_colour.txt",
                             "channels/lc480_384_three_colour.txt", "channels/lc480_96_two_segments.txt"}) {
        const Result r = run({"--check", "--channel", "all", data(name)});
        EXPECT_EQ(r.status, 0) << name << r.err;
        EXPECT_EQ(r.err, "") << name;
        EXPECT_EQ(r.out, "") << name;
    }
}

TEST(ConvertChecks, EachChannelSaysItsOwnFindings)
{
    const TempDir dir;
    std::string text = "Raw Data \t\tExperiment - Two (Run on LCS480 1.5.0.39)\r\n"
                       "SamplePos\tSampleName\tProg#\tSeg#\tCycle#\tTime\tTemp\t465-510\t533-580\r\n";
    for (int cycle = 1; cycle <= 3; ++cycle)
        text += "A1\tS\t2\t1\t" + std::to_string(cycle) + "\t100\t60.0\t1.5\t" + (cycle == 2 ? "-2.5" : "2.5") + "\r\n";
    const std::string raw = dir.file("two.txt", text);
    const Result r = run({"--check", "--plate", "96", "--wells", "A1", "--channel", "all", raw});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "morvane-convert: " + raw +
                         ":4: warning: channel 533-580: 1 reading is negative (first: A1 cycle 2: -2.5)\n");
}

TEST(ConvertChecks, StrictFailsTheDamagedFileOnly)
{
    const TempDir dir;
    fs::copy_file(data("lc480_96_example_excel_damaged.txt"), dir.path / "damaged.txt");
    const std::string clean = dir.file("clean.txt", smallExport());
    const Result r = run({"--strict", "--plate", "96", dir / "damaged.txt", clean});
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, HasSubstr("damaged.txt:77: warning: 1,002 readings look like spreadsheet dates"));
    EXPECT_THAT(r.err, HasSubstr("damaged.txt: the checks found readings that look damaged (--strict); nothing is "
                                 "written\n"));
    EXPECT_FALSE(fs::exists(dir / "damaged.xlsx"));
    EXPECT_EQ(sheetNames(dir / "clean.xlsx"), std::vector<std::string>{"Test plate 7"});
}

} // namespace

namespace {

// The lines of a clean two-channel 96-well export (40 cycles of program 2 a well), to damage.
std::vector<std::string> dualColourLines()
{
    std::vector<std::string> lines;
    std::istringstream in(readFile(data("channels/lc480_96_dual_colour.txt")));
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::string joined(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    return text;
}

// The readings of a --table output: its cells after the well and sample, header row aside.
std::size_t readingsOf(const std::string& table)
{
    std::size_t count = 0;
    std::istringstream rows(table);
    std::string row;
    std::getline(rows, row);
    while (std::getline(rows, row)) {
        std::istringstream cells(row);
        std::string cell;
        for (int col = 0; std::getline(cells, cell, '\t'); ++col)
            count += col >= 2 && !cell.empty();
    }
    return count;
}

} // namespace

// The damaged lines the checks once passed in silence: each is converted with every reading in
// its well's row and a finding, or refused with its line; --check and --strict see both.
TEST(ConvertChecks, NoReadingIsMisplacedOrDroppedInSilence)
{
    const TempDir dir;
    const std::vector<std::string> clean = dualColourLines();
    ASSERT_EQ(clean[52].substr(0, 17), "A2\tSample 2\t2\t2\t3"); // line 53: A2's cycle 3
    const auto relabelled = [&](const std::string& well) {
        std::vector<std::string> lines = clean;
        lines[52] = well + "\tSample 2\t2\t2\t3\t123400\t59.97\t777.5\t2.5";
        return joined(lines);
    };
    std::vector<std::string> longer = clean; // A2 reads five cycles more
    for (int cycle = 45; cycle > 40; --cycle)
        longer.insert(longer.begin() + 90, "A2\tSample 2\t2\t2\t" + std::to_string(cycle) + "\t1\t60\t9.5\t9.6");
    std::vector<std::string> split = clean; // A1's cycles 21 to 40 after every other well
    split.insert(split.end(), clean.begin() + 23, clean.begin() + 43);
    split.erase(split.begin() + 23, split.begin() + 43);

    const struct {
        const char* name;
        std::string text;
        std::string said;     // in the warning or the refusal
        std::size_t readings; // in the table; 0: refused
    } cases[] = {
        {"B7", relabelled("B7"),
         ":53: well 'B7' breaks into the run of well 'A2': its cycle 3 follows that well's cycle 2", 0},
        {"Q25", relabelled("Q25"), ":53: well 'Q25' breaks into the run of well 'A2'", 0},
        {"ZZ", relabelled("ZZ"), ":53: well 'ZZ' breaks into the run of well 'A2'", 0},
        {"longer", joined(longer), ":91: warning: channel 465-510: 1 well has cycles beyond the first well's last",
         96 * 40 + 5},
        {"split", joined(split),
         ":4495: warning: channel 465-510: 1 run of a well comes back after other wells or programs", 96 * 40},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string raw = dir.file(std::string(c.name) + ".txt", c.text);
        const Result checked = run({"--check", "--plate", "96", raw});
        EXPECT_EQ(checked.status, 1);
        EXPECT_THAT(checked.err, HasSubstr(raw + c.said));
        EXPECT_EQ(run({"--strict", "--plate", "96", raw}).status, 1);
        EXPECT_FALSE(fs::exists(dir / (std::string(c.name) + ".xlsx")));
        const Result table = run({"--table", "--plate", "96", raw});
        EXPECT_EQ(readingsOf(table.out), c.readings);
        EXPECT_THAT(table.err, Not(HasSubstr("beyond the 96-well plate")));
    }
}

TEST(ConvertMeltPeaks, OneLinePerWellOfTheChosenChannel)
{
    const Result real = run({"--melt-peaks", data("lc480_384_nrd1_calibration.txt")});
    ASSERT_EQ(real.status, 0) << real.err;
    EXPECT_EQ(real.err, "");
    std::istringstream lines(real.out);
    std::vector<std::string> rows;
    for (std::string line; std::getline(lines, line);)
        rows.push_back(line);
    ASSERT_EQ(rows.size(), 384u);
    EXPECT_EQ(rows[0], "A1\tSample 1\t78.63");
    EXPECT_EQ(rows[4], "A5\tSample 5\t"); // a no-template control without a peak
    const std::regex form("[A-P]\\d+\tSample \\d+\t(\\d+\\.\\d\\d(;\\d+\\.\\d\\d)*)?");
    for (const std::string& row : rows)
        EXPECT_TRUE(std::regex_match(row, form)) << row;

    // A melt curve of six readings has no peak; the wells and channel as chosen.
    const Result dual =
        run({"--melt-peaks", "--channel", "533-580", "--wells", "A1,B2", data("channels/lc480_96_dual_colour.txt")});
    EXPECT_EQ(dual.status, 0) << dual.err;
    EXPECT_EQ(dual.out, "A1\t\t\nB2\tSample 14\t\n");
    EXPECT_FALSE(fs::exists(data("lc480_384_nrd1_calibration.xlsx"))); // nothing else written
}

TEST(ConvertMeltPeaks, ARepeatedTemperatureKeepsTheFirstReadingWithAWarning)
{
    const TempDir dir;
    rawexport::Builder b;
    b.cycles("A1", "S", 2, 1, 3);
    // A product melting at 70 °C, read every 0.25 °C; a second reading at 65.00 far off the curve
    // would make a peak of its own.
    for (int k = 0; k < 80; ++k) {
        const double t = 60 + 0.25 * k;
        char line[96];
        std::snprintf(line, sizeof line, "A1\tS\t3\t1\t1\t1000\t%.2f\t%.2f", t, 1 + 4 / (1 + std::exp((t - 70) / 0.5)));
        b.raw(line);
        if (k == 20)
            b.raw("A1\tS\t3\t1\t1\t1000\t65.00\t9.00");
    }
    const Result r = run({"--melt-peaks", "--plate", "96", dir.file("run.txt", b.text())});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "A1\tS\t70.00\n");
    EXPECT_THAT(r.err, HasSubstr("1 melt readings repeat a temperature their well was already read at; the first "
                                 "reading at each temperature is kept"));
}

TEST(ConvertMeltPeaks, WithoutAMeltProgramOrWithOtherOutputs)
{
    const Result none = run({"--melt-peaks", data("lc480_96_example_excel_damaged.txt")});
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.out, "");
    EXPECT_THAT(none.err, HasSubstr("the file has no melt program, so no melt peaks"));
    const std::string dual = data("channels/lc480_96_dual_colour.txt");
    for (const auto& args : std::vector<std::vector<std::string>>{{"--melt-peaks", "--table", dual},
                                                                  {"--melt-peaks", "-o", "x.rdml", dual},
                                                                  {"--melt-peaks", "--check", dual},
                                                                  {"--melt-peaks", "--channel", "all", dual}}) {
        const Result wrong = run(args);
        EXPECT_EQ(wrong.status, 2) << args[1];
        EXPECT_EQ(wrong.out, "");
    }
}

TEST(ConvertMeltPeaks, RdesWritesTheMeltingTableBesideTheAmplificationTable)
{
    const TempDir dir;
    const std::string dual = data("channels/lc480_96_dual_colour.txt");
    const Result written = run({"-q", "-o", dir / "dual.tsv", "--wells", "A1:A3", dual});
    ASSERT_EQ(written.status, 0) << written.err;
    const std::string melting = readFile(dir / "dual_melting.tsv");
    EXPECT_THAT(melting, StartsWith("Well\tSample\tSample Type\tTarget\tTarget Type\tDye\tTm\t"));
    EXPECT_EQ(count(melting, "\n"), 1u + 3 * 2); // three wells, two channels
    EXPECT_EQ(count(melting, "\nA2\tSample 2\tunkn\t533-580\ttoi\t533-580\t\t"), 1u);

    // Both tables or neither: an existing melting table is refused and the other is not left.
    const std::string kept = dir.file("again_melting.tsv", "keep me");
    const Result refused = run({"-q", "-o", dir / "again.tsv", dual});
    EXPECT_EQ(refused.status, 1);
    EXPECT_THAT(refused.err, HasSubstr("already exists; give --overwrite to replace it"));
    EXPECT_FALSE(fs::exists(dir / "again.tsv"));
    EXPECT_EQ(readFile(kept), "keep me");
    // Without a melt program there is no second table.
    ASSERT_EQ(run({"-q", "-o", dir / "damaged.tsv", data("lc480_96_example_excel_damaged.txt")}).status, 0);
    EXPECT_FALSE(fs::exists(dir / "damaged_melting.tsv"));
}

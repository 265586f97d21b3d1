#include "conversion/rawtext.h"

#include "common/text.h"
#include "conversion/programs.h"
#include "conversion/splitline.h"
#include "conversion/welltable.h"
#include "rawexport_builder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>

#ifndef _WIN32
#include <sys/stat.h>
#endif

using morvane::RawText;
using namespace std::string_literals;
using morvane::TextEncoding;

namespace {
std::vector<std::string> linesOf(const RawText& t)
{
    std::vector<std::string> out;
    for (std::size_t i = 0; i < t.lineCount(); ++i)
        out.emplace_back(t.line(i));
    return out;
}
RawText load(std::string bytes)
{
    auto t = RawText::fromBytes(std::move(bytes));
    EXPECT_TRUE(t.ok());
    return t.ok() ? std::move(t).value() : RawText();
}
} // namespace

TEST(RawText, LinesEndAtCrLfLfOrCr)
{
    EXPECT_EQ(linesOf(load("a\r\nb\nc\rd")), (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_EQ(linesOf(load("a\r\n\r\nb")), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_EQ(linesOf(load("a\r\r\nb")), (std::vector<std::string>{"a", "", "b"}));
}

TEST(RawText, FinalLineBreakAndTrailingBlankLinesMakeNoLines)
{
    EXPECT_EQ(load("x\ny").lineCount(), 2u);
    EXPECT_EQ(load("x\ny\n").lineCount(), 2u);
    EXPECT_EQ(load("x\ny\r\n\r\n").lineCount(), 2u);
    EXPECT_EQ(load("x\ny\n \t\n\n").lineCount(), 2u);
    EXPECT_EQ(load("").lineCount(), 0u);
    EXPECT_EQ(load("\r\n\r\n").lineCount(), 0u);
}

TEST(RawText, ByteOrderMarkIsDropped)
{
    auto t = load("\xEF\xBB\xBFRaw Data\nx");
    EXPECT_EQ(t.line(0), "Raw Data");
    EXPECT_EQ(t.encoding(), TextEncoding::Utf8);
}

TEST(RawText, NulBytesAreRefusedWithTheNameAndTheFirstLineHoldingOne)
{
    const struct {
        std::string bytes;
        std::size_t line;
    } cases[] = {
        {"ab\0cd"s, 1},
        {"\0"s, 1},
        {"Raw Data\r\nSamplePos\r\nA1 x\0y 2\r\nA2 \0\r\n"s, 3},
        {"\xEF\xBB\xBF"
         "a\rb\rc\r\0"s,
         4},
        // Lines of NULs at the end would pass for blank lines; they are no text either.
        {"a\nb\n\0\0\0\n\n"s, 3},
        {"a\n\n\n\xFF\x00\x13"s, 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        auto t = RawText::fromBytes(c.bytes, "plate.txt");
        ASSERT_FALSE(t.ok());
        EXPECT_EQ(t.error().message, "'plate.txt' is not a text file (this line holds a NUL byte)");
        EXPECT_EQ(t.error().line, c.line);
    }
    // UTF-16 without its byte-order mark is told apart by its message.
    auto bare = RawText::fromBytes("R\0a\0w\0"s, "plate.txt");
    ASSERT_FALSE(bare.ok());
    EXPECT_EQ(bare.error().line, 1u);
    EXPECT_NE(bare.error().message.find("UTF-16 text needs its byte-order mark"), std::string::npos);
}

namespace {
// `utf8` as UTF-16 behind its byte-order mark, as Windows editors save "Unicode" text.
std::string asUtf16(std::string_view utf8, bool bigEndian)
{
    std::string out;
    const auto put = [&](char32_t unit) {
        const char high = static_cast<char>(unit >> 8);
        const char low = static_cast<char>(unit & 0xFF);
        out += bigEndian ? high : low;
        out += bigEndian ? low : high;
    };
    put(0xFEFF);
    for (std::size_t pos = 0; pos < utf8.size();) {
        const char32_t cp = morvane::decodeUtf8(utf8, pos).value();
        if (cp >= 0x10000) {
            put(0xD800 + ((cp - 0x10000) >> 10));
            put(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            put(cp);
        }
    }
    return out;
}
} // namespace

TEST(RawText, Utf16WithAByteOrderMarkReadsAsTheSameText)
{
    const std::string text = "Raw Data \xC2\xB5g \xE2\x82\xAC\r\nA1 M\xC3\xBCller \xF0\x9F\x98\x80\nlast\r\n\r\n";
    for (const bool bigEndian : {false, true}) {
        SCOPED_TRACE(bigEndian ? "big endian" : "little endian");
        const RawText t = load(asUtf16(text, bigEndian));
        EXPECT_EQ(linesOf(t), (std::vector<std::string>{"Raw Data \xC2\xB5g \xE2\x82\xAC",
                                                        "A1 M\xC3\xBCller \xF0\x9F\x98\x80", "last"}));
        EXPECT_EQ(t.encoding(), TextEncoding::Utf8);
    }
    // A surrogate without its partner or a lone last byte spoils one character, not the file.
    const std::string broken = "\xFF\xFE"
                               "a\0\x00\xD8"
                               "b\0\x00\xDC"
                               "c\0\x3D\xD8\x3D\xD8\x00\xDE"
                               "d"s;
    EXPECT_EQ(linesOf(load(broken)), std::vector<std::string>{"a\xEF\xBF\xBD"
                                                              "b\xEF\xBF\xBD"
                                                              "c\xEF\xBF\xBD\xF0\x9F\x98\x80\xEF\xBF\xBD"});
    // A NUL character in UTF-16 is a NUL all the same, named with its line.
    auto nul = RawText::fromBytes(asUtf16(std::string("a\nb\0", 4), false), "u.txt");
    ASSERT_FALSE(nul.ok());
    EXPECT_EQ(nul.error().line, 2u);
}

TEST(RawText, AUtf16CopyOfARealExportConvertsToTheSameTable)
{
    std::ifstream in(MORVANE_TESTDATA_DIR "/lc480_96_example_excel_damaged.txt", std::ios::binary);
    const std::string original((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(original.size(), 100000u);
    const auto convert = [](const RawText& text) {
        const auto programs = morvane::detectPrograms(text);
        EXPECT_TRUE(programs.ok());
        if (!programs.ok())
            return std::string();
        const auto table =
            morvane::convertRun(text, *programs, morvane::RunChoice{programs->numbers.front(), std::nullopt, 0},
                                morvane::PlateFormat::Wells96);
        EXPECT_TRUE(table.ok());
        return table.ok() ? rawexport::render(table->grid) + morvane::experimentName(text) : std::string();
    };
    const RawText plain = load(original);
    const std::string expected = convert(plain);
    EXPECT_NE(expected.find("HL60"), std::string::npos);
    for (const bool bigEndian : {false, true}) {
        SCOPED_TRACE(bigEndian ? "big endian" : "little endian");
        const RawText utf16 = load(asUtf16(original, bigEndian));
        EXPECT_EQ(utf16.allAsUtf8(), plain.allAsUtf8());
        EXPECT_EQ(convert(utf16), expected);
    }
}

TEST(RawText, DecodesUtf8AsItIsAndWindows1252Otherwise)
{
    auto utf8 = load("A1 Probe \xC2\xB5g M\xC3\xBCller\n");
    EXPECT_EQ(utf8.encoding(), TextEncoding::Utf8);
    EXPECT_EQ(utf8.toUtf8(utf8.line(0)), "A1 Probe \xC2\xB5g M\xC3\xBCller");

    auto ansi = load("A1 Probe \xB5g M\xFCller \x80 \x81\n");
    EXPECT_EQ(ansi.encoding(), TextEncoding::Windows1252);
    EXPECT_EQ(ansi.line(0), "A1 Probe \xB5g M\xFCller \x80 \x81") << "the line keeps its bytes";
    EXPECT_EQ(ansi.toUtf8(ansi.line(0)), "A1 Probe \xC2\xB5g M\xC3\xBCller \xE2\x82\xAC \xC2\x81");
    EXPECT_EQ(ansi.allAsUtf8(), "A1 Probe \xC2\xB5g M\xC3\xBCller \xE2\x82\xAC \xC2\x81\n");
}

TEST(RawText, LoadsRealExportsWithTheirLineCounts)
{
    auto big = morvane::loadRawFile(MORVANE_TESTDATA_DIR "/lc480_384_nrd1_calibration.txt");
    ASSERT_TRUE(big.ok()) << big.error().message;
    EXPECT_EQ(big->lineCount(), 82946u);
    EXPECT_EQ(big->line(1).substr(0, 9), "SamplePos");
    EXPECT_EQ(big->line(big->lineCount() - 1).substr(0, 3), "P24");

    auto small = morvane::loadRawFile(MORVANE_TESTDATA_DIR "/lc480_96_example_excel_damaged.txt");
    ASSERT_TRUE(small.ok());
    EXPECT_EQ(small->lineCount(), 4322u);
}

namespace {
// A file of the test's own in the temporary folder, named at random: two builds that test at
// once do not share it.
std::filesystem::path tempFile(const std::string& name)
{
    static const std::string tag = std::to_string(std::random_device{}());
    return std::filesystem::temp_directory_path() / ("morvane-rawtext-" + tag + "-" + name);
}
} // namespace

// The text is scanned 64 bytes at a time: line breaks, a CR LF, a NUL or a non-ASCII byte on
// each side of every block edge, read from memory and from a file alike.
TEST(RawText, BlockEdgesChangeNothingInMemoryOrFromAFile)
{
    const std::filesystem::path file = tempFile("edges.txt");
    const auto fromFile = [&](const std::string& bytes) {
        std::ofstream(file, std::ios::binary) << bytes;
        return morvane::loadRawFile(file);
    };
    for (std::size_t k = 0; k < 80; ++k) {
        SCOPED_TRACE("line of " + std::to_string(k) + " bytes");
        const std::string lead(k, 'a');
        const std::vector<std::string> expected{lead, "b", "", "c\xC3\xA9"};
        const std::string bytes = lead + "\r\nb\r\rc\xC3\xA9\r";
        for (auto text : {RawText::fromBytes(bytes), fromFile(bytes), fromFile("\xEF\xBB\xBF" + bytes)}) {
            ASSERT_TRUE(text.ok()) << text.error().message;
            EXPECT_EQ(linesOf(*text), expected);
            EXPECT_EQ(text->encoding(), TextEncoding::Utf8);
        }
        auto ansi = fromFile(lead + "\n\xE9");
        ASSERT_TRUE(ansi.ok());
        EXPECT_EQ(ansi->encoding(), TextEncoding::Windows1252);
        auto nul = fromFile("x\n" + lead + "\n\n" + std::string(1, '\0') + "y");
        ASSERT_FALSE(nul.ok());
        EXPECT_EQ(nul.error().line, 4u);
    }
    std::filesystem::remove(file);
}

// The text is the file as it was read: a change after the read does not reach it, and a change
// during the read is refused with a message that names it, never blamed on the file's content.
TEST(RawText, AFileChangedDuringTheReadIsRefusedAndOneChangedAfterItIsNotMixedIn)
{
    namespace fs = std::filesystem;
    const fs::path file = tempFile("changed.txt");
    std::string bytes;
    for (int i = 0; i < 1000; ++i)
        bytes += std::string(99, 'x') + "\n";
    const auto writeOlder = [&] {
        std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
        // An older time, so that a change shows in it whatever the clock's steps.
        fs::last_write_time(file, fs::last_write_time(file) - std::chrono::hours(1));
    };
    const struct {
        const char* change;
        std::function<void()> apply;
    } changes[] = {
        {"shortened", [&] { fs::resize_file(file, 4096); }},
        {"grown", [&] { std::ofstream(file, std::ios::binary | std::ios::app) << "more\n"; }},
        {"rewritten in place", [&] { std::fstream(file, std::ios::binary | std::ios::in | std::ios::out) << "y"; }},
    };
    for (const auto& c : changes) {
        SCOPED_TRACE(c.change);
        writeOlder();
        auto during = morvane::detail::loadRawFile(file, c.apply);
        ASSERT_FALSE(during.ok());
        EXPECT_EQ(during.error().message,
                  "cannot read '" + file.string() +
                      "': the file changed while it was read; read it again when the program that writes it has "
                      "finished");

        writeOlder();
        auto read = morvane::loadRawFile(file);
        ASSERT_TRUE(read.ok()) << read.error().message;
        c.apply();
        ASSERT_EQ(read->lineCount(), 1000u);
        EXPECT_EQ(read->line(0), std::string(99, 'x'));
        EXPECT_EQ(read->line(999), std::string(99, 'x'));
    }
    fs::remove(file);
}

TEST(RawText, FileErrorsNameTheFile)
{
    auto missing = morvane::loadRawFile("/nonexistent/dir/run.txt");
    ASSERT_FALSE(missing.ok());
    EXPECT_NE(missing.error().message.find("/nonexistent/dir/run.txt"), std::string::npos);

    auto folder = morvane::loadRawFile(MORVANE_TESTDATA_DIR);
    ASSERT_FALSE(folder.ok());
    EXPECT_NE(folder.error().message.find("folder"), std::string::npos);
}

#ifndef _WIN32
TEST(RawText, OnlyARegularFileIsOpened)
{
    // A FIFO would block the open until something writes to it; a device has no size.
    const std::filesystem::path dir = tempFile("fifo");
    std::filesystem::create_directories(dir);
    const std::filesystem::path fifo = dir / "pipe.txt";
    std::filesystem::remove(fifo);
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const struct {
        std::filesystem::path path;
        const char* what;
    } cases[] = {{fifo, "it is a named pipe (FIFO), not a regular file"},
                 {"/dev/null", "it is a device, not a regular file"},
                 {dir, "it is a folder"}};
    for (const auto& c : cases) {
        auto t = morvane::loadRawFile(c.path);
        ASSERT_FALSE(t.ok()) << c.path;
        EXPECT_EQ(t.error().message, "cannot open '" + c.path.string() + "': " + c.what);
    }
    std::filesystem::remove_all(dir);
}
#endif

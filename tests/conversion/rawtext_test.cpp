#include "conversion/rawtext.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using morvane::RawText;
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

TEST(RawText, NulBytesAreRefusedWithTheName)
{
    auto t = RawText::fromBytes(std::string("ab\0cd", 5), "plate.txt");
    ASSERT_FALSE(t.ok());
    EXPECT_EQ(t.error().message, "'plate.txt' is not a text file (it holds NUL bytes)");
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

TEST(RawText, FileErrorsNameTheFile)
{
    auto missing = morvane::loadRawFile("/nonexistent/dir/run.txt");
    ASSERT_FALSE(missing.ok());
    EXPECT_NE(missing.error().message.find("/nonexistent/dir/run.txt"), std::string::npos);

    auto folder = morvane::loadRawFile(MORVANE_TESTDATA_DIR);
    ASSERT_FALSE(folder.ok());
    EXPECT_NE(folder.error().message.find("folder"), std::string::npos);
}

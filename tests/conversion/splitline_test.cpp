#include "conversion/splitline.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

using morvane::FieldList;
using morvane::splitline;
using Fields = std::vector<std::string>;

struct SplitCase {
    std::string line;
    Fields fields;
};

class SplitlineTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitlineTest, CutsAsTheRawExportNeeds)
{
    const auto& c = GetParam();
    EXPECT_EQ(splitline(c.line), c.fields);
}

namespace {

// The shortcut on `line` followed by bytes that would be a quote and a field, as the next line's
// may be; `field` views a copy that lives until the next call.
bool fieldOfLine(const std::string& line, std::size_t fromEnd, std::size_t& count, std::string_view& field)
{
    static std::string padded;
    padded = line + "\"x" + std::string(64, 'y');
    return morvane::fieldOfPaddedLine(std::string_view(padded).substr(0, line.size()), fromEnd, count, field);
}

} // namespace

// The shortcut for a line of another program tells each field from the end, and the count, as
// the whole cut does, and declines exactly the long and the quoted lines.
TEST_P(SplitlineTest, ShortLineFieldFromTheEndAsTheWholeCutGivesIt)
{
    const std::string& line = GetParam().line;
    FieldList whole;
    splitline(' ', line, whole);
    const bool taken = line.size() < 64 && line.find('"') == std::string::npos;
    for (std::size_t fromEnd = 0; fromEnd <= whole.size() + 1; ++fromEnd) {
        SCOPED_TRACE(fromEnd);
        std::size_t count = 99;
        std::string_view field = "unset";
        ASSERT_EQ(fieldOfLine(line, fromEnd, count, field), taken);
        if (taken) {
            EXPECT_EQ(count, whole.size());
            EXPECT_EQ(field, whole.fromEnd(fromEnd));
        }
    }
}

// Random lines of fields, separators, quotes and bytes beside the separators' range, short and
// across several 64-byte chunks: the fast cut gives the fields the byte-by-byte cut gives, and
// the shortcut finds a field from the end as the whole cut does.
TEST(Splitline, RandomLinesAsTheBytewiseCut)
{
    std::mt19937 random(7);
    const std::string bytes = std::string("ab1.\t \x01\x1f\x20\x21\"\x7f\x80\xff", 14) + std::string(1, '\0');
    for (int round = 0; round < 20000; ++round) {
        std::string line(static_cast<std::size_t>(random() % 150), 'x');
        for (char& c : line)
            c = bytes[random() % (round % 2 ? bytes.size() : bytes.size() - 5)]; // every other line without a quote
        FieldList fast;
        FieldList bytewise;
        splitline(' ', line, fast);
        morvane::splitlineBytewise(line, bytewise);
        ASSERT_EQ(Fields(fast.begin(), fast.end()), Fields(bytewise.begin(), bytewise.end())) << round;
        const std::size_t fromEnd = random() % (fast.size() + 2);
        std::size_t count = 0;
        std::string_view field;
        const bool taken = fieldOfLine(line, fromEnd, count, field);
        ASSERT_EQ(taken, line.size() < 64 && line.find('"') == std::string::npos) << round;
        if (taken) {
            ASSERT_EQ(count, bytewise.size()) << round;
            ASSERT_EQ(field, bytewise.fromEnd(fromEnd)) << round;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SplitlineTest,
    ::testing::Values(SplitCase{"A1\tSample 1\t2\t2\t1\t234700\t59.9\t0.59",
                                {"A1", "Sample", "1", "2", "2", "1", "234700", "59.9", "0.59"}},
                      SplitCase{"A1\t\t2\t2\t1\t234700\t59.9\t0.59", {"A1", "2", "2", "1", "234700", "59.9", "0.59"}},
                      SplitCase{"  \t lead and trail \t\r", {"lead", "and", "trail"}}, SplitCase{"", {}},
                      SplitCase{" \t \x01\x1f", {}},
                      SplitCase{"a\x01"
                                "b\x1f"
                                "c d",
                                {"a", "b", "c", "d"}},
                      SplitCase{"A1 \"Std 1\" 2", {"A1", "Std 1", "2"}},
                      SplitCase{"\"say \"\"hi\"\"\" x", {"say \"hi\"", "x"}}, SplitCase{"a \"\" b", {"a", "", "b"}},
                      SplitCase{"\"unterminated field", {"unterminated field"}}, SplitCase{"\"ab\"cd", {"ab", "cd"}},
                      SplitCase{"ab\"cd ef", {"ab\"cd", "ef"}},
                      SplitCase{"Probe \xb5g \xc3\xa4", {"Probe", "\xb5g", "\xc3\xa4"}},
                      SplitCase{"SamplePos\tSampleName\tProg#\tSeg#\tCycle#\tTime\tTemp\t483-533\t",
                                {"SamplePos", "SampleName", "Prog#", "Seg#", "Cycle#", "Time", "Temp", "483-533"}}));

// Lines are cut in words of eight bytes and chunks of 64: fields and runs of separators that
// cross those edges, lines that end on them, and bytes next to the separators' range.
INSTANTIATE_TEST_SUITE_P(
    WordEdges, SplitlineTest,
    ::testing::Values(SplitCase{"abcdefgh", {"abcdefgh"}}, SplitCase{"abcdefg h", {"abcdefg", "h"}},
                      SplitCase{"abcdefgh ", {"abcdefgh"}}, SplitCase{"a      \tb", {"a", "b"}},
                      SplitCase{"1234567 \t      9", {"1234567", "9"}},
                      SplitCase{std::string(61, 'x') + " y", {std::string(61, 'x'), "y"}},
                      SplitCase{std::string(63, 'x') + " y", {std::string(63, 'x'), "y"}},
                      SplitCase{std::string(64, 'x'), {std::string(64, 'x')}},
                      SplitCase{std::string(63, ' ') + "ab c", {"ab", "c"}},
                      SplitCase{std::string(70, 'x') + "\t" + std::string(60, ' ') + "z", {std::string(70, 'x'), "z"}},
                      SplitCase{std::string("a\0b !c\x7f\x80\xff", 9), {std::string("a\0b", 3), "!c\x7f\x80\xff"}},
                      SplitCase{"w " + std::string(66, 'x') + " \"q r\"", {"w", std::string(66, 'x'), "q r"}},
                      SplitCase{"\"", {""}}, SplitCase{"x \"", {"x", ""}}));

TEST(Splitline, ReusedListDropsTheFieldsOfTheLineBefore)
{
    FieldList f;
    splitline(' ', "one two three \"q\"\"uoted\"", f);
    ASSERT_EQ(f.size(), 4u);
    EXPECT_EQ(f[3], "q\"uoted");
    splitline(' ', "four", f);
    ASSERT_EQ(f.size(), 1u);
    EXPECT_EQ(f[0], "four");
}

TEST(Splitline, FieldsCountedFromTheEnd)
{
    FieldList f;
    // A sample name of three words: ten fields; program, cycle and reading still found from the end.
    splitline(' ', "C4 My long sample 2 2 17 1000 60.1 3.25", f);
    ASSERT_EQ(f.size(), 10u);
    EXPECT_EQ(f.fromEnd(1), "3.25");
    EXPECT_EQ(f.fromEnd(4), "17");
    EXPECT_EQ(f.fromEnd(6), "2");
    EXPECT_EQ(f.fromEnd(11), "") << "past the first field there is nothing";
    EXPECT_EQ(f.fromEnd(0), "");
}

TEST(Splitline, ManyDoubledQuotesKeepEarlierFieldsIntact)
{
    FieldList f;
    splitline(' ', "\"a\"\"b\" \"c\"\"d\" \"e\"\"f\"", f);
    ASSERT_EQ(f.size(), 3u);
    EXPECT_EQ(f[0], "a\"b");
    EXPECT_EQ(f[1], "c\"d");
    EXPECT_EQ(f[2], "e\"f");
}

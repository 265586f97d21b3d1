#include "plate/plate.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <optional>
#include <string>
#include <vector>

using namespace morvane;

namespace {

std::vector<int> rangeOf(PlateFormat format, const char* r1, const char* r2, const char* c1, const char* c2)
{
    const auto range = readRange(format, r1, r2, c1, c2);
    EXPECT_TRUE(range.ok()) << describe(range.error());
    return range.ok() ? rangeIndices(format, *range) : std::vector<int>{};
}

std::vector<int> allIndices(PlateFormat format)
{
    std::vector<int> all;
    for (int row = 1; row <= plateRows(format); ++row)
        for (int col = 1; col <= plateCols(format); ++col)
            all.push_back(checkListIndex(format, row, col));
    std::sort(all.begin(), all.end());
    return all;
}

} // namespace

TEST(Plate, CheckListIndexAndWellName)
{
    struct Case {
        PlateFormat format;
        int index;
        const char* name;
    };
    const Case cases[] = {
        {PlateFormat::Wells96, 0, "A1"},     {PlateFormat::Wells384, 0, "A1"},  {PlateFormat::Wells96, 8, "A2"},
        {PlateFormat::Wells384, 8, "I1"},    {PlateFormat::Wells96, 7, "H1"},   {PlateFormat::Wells96, 95, "H12"},
        {PlateFormat::Wells384, 383, "P24"}, {PlateFormat::Wells384, 16, "A2"}, {PlateFormat::Wells96, 17, "B3"},
    };
    for (const auto& c : cases) {
        const auto items = checkListItems(c.format);
        ASSERT_EQ(items.size(), static_cast<std::size_t>(wellCount(c.format)));
        EXPECT_EQ(items[static_cast<std::size_t>(c.index)], c.name) << c.index;
        const WellPos pos = wellAtIndex(c.format, c.index);
        EXPECT_EQ(wellName(pos.row, pos.col), c.name);
        EXPECT_EQ(checkListIndex(c.format, pos.row, pos.col), c.index);
    }
}

TEST(Plate, ChangeOfPlateFormat)
{
    const PlateChange to96 = plateChange(PlateFormat::Wells96, 3);
    EXPECT_TRUE(to96.show96);
    EXPECT_FALSE(to96.show384);
    EXPECT_TRUE(to96.showNextButton);
    EXPECT_EQ(to96.stopRow, "H");
    EXPECT_EQ(to96.stopCol, "12");

    const PlateChange none = plateChange(std::nullopt, 3);
    EXPECT_FALSE(none.show96 || none.show384) << "no plate chosen shows neither map";
    EXPECT_EQ(none.stopRow, "P");
    const PlateChange to384 = plateChange(PlateFormat::Wells384, 2);
    EXPECT_FALSE(to384.show96);
    EXPECT_TRUE(to384.show384);
    EXPECT_FALSE(to384.showNextButton) << "header and a single well";
    EXPECT_EQ(to384.stopRow, "P");
    EXPECT_EQ(to384.stopCol, "24");
}

TEST(Plate, RowLettersToNumber)
{
    const std::pair<const char*, int> cases[] = {{"A", 1},   {"a", 1},   {"H", 8},   {"P", 16},   {"Z", 26},
                                                 {"AA", 27}, {"aa", 27}, {"AF", 32}, {"AFZ", 32}, {"", 0}};
    for (const auto& [label, number] : cases)
        EXPECT_EQ(rowletterstonumber(label), number) << label;
}

TEST(Plate, WellNames)
{
    using morvane::WellPos;
    const std::pair<const char*, std::optional<WellPos>> cases[] = {
        {"A1", WellPos{1, 1}}, {"p24", WellPos{16, 24}}, {"B03", WellPos{2, 3}}, {"AA1", WellPos{27, 1}},
        {"A0", std::nullopt},  {"A-1", std::nullopt},    {"A+1", std::nullopt},  {"ABC1", std::nullopt},
        {"1A", std::nullopt},  {"A", std::nullopt},      {"A1 ", std::nullopt},  {"", std::nullopt},
    };
    for (const auto& [name, pos] : cases)
        EXPECT_EQ(morvane::parseWellName(name), pos) << name;
}

TEST(Plate, FilterOfTheRangeEdits)
{
    struct Case {
        const char* text;
        bool letter;
        const char* settled;
    };
    const Case cases[] = {
        {"b", true, "B"},      {"Bx", true, "B"},   {"B7", true, "B"},    {"", true, ""},
        {"b7x", true, "B"},    {"7b", true, "7B"},  {"x7b", true, "X7B"}, {"ab", true, "AB"},
        {"12x", false, "12"},  {"3ab", false, "3"}, {"x", false, ""},     {"", false, ""},
        {"1x2", false, "1x2"}, {"24", false, "24"}, {"x", true, ""},      {"P", true, "P"},
    };
    for (const auto& c : cases) {
        const std::string settled = filterRangeEdit(c.text, c.letter);
        EXPECT_EQ(settled, c.settled) << '"' << c.text << '"' << (c.letter ? " letter" : " number");
        EXPECT_EQ(filterRangeEdit(settled, c.letter), settled) << "a settled text is left alone";
    }
}

TEST(Plate, RangeIndices)
{
    EXPECT_EQ(rangeOf(PlateFormat::Wells96, "B", "C", "3", "4"), (std::vector<int>{17, 25, 18, 26}));
    EXPECT_EQ(rangeOf(PlateFormat::Wells384, "B", "C", "3", "4"), (std::vector<int>{33, 49, 34, 50}));
    EXPECT_EQ(rangeOf(PlateFormat::Wells96, "D", "D", "7", "7"),
              (std::vector<int>{checkListIndex(PlateFormat::Wells96, 4, 7)}));
    EXPECT_EQ(rangeOf(PlateFormat::Wells96, "d", "d", "07", "+7"), rangeOf(PlateFormat::Wells96, "D", "D", "7", "7"));

    for (PlateFormat format : {PlateFormat::Wells96, PlateFormat::Wells384}) {
        const std::string stopRow(1, lastRowLetter(format));
        const std::string stopCol = std::to_string(plateCols(format));
        auto whole = rangeOf(format, "A", stopRow.c_str(), "1", stopCol.c_str());
        std::sort(whole.begin(), whole.end());
        EXPECT_EQ(whole, allIndices(format));
    }
}

TEST(Plate, ReversedRangeIsValidAndHoldsNoWell)
{
    const auto rows = readRange(PlateFormat::Wells96, "C", "B", "1", "2");
    ASSERT_TRUE(rows.ok());
    EXPECT_EQ(*rows, (WellRange{3, 2, 1, 2}));
    EXPECT_TRUE(rangeIndices(PlateFormat::Wells96, *rows).empty());
    EXPECT_TRUE(rangeOf(PlateFormat::Wells96, "A", "B", "5", "4").empty());
}

TEST(Plate, RangeOutsideThePlateIsRefusedWithItsBounds)
{
    const std::string bounds96 = "Rows must lie within A to H and columns within 1 to 12.";
    const std::string bounds384 = "Rows must lie within A to P and columns within 1 to 24.";
    struct Case {
        PlateFormat format;
        const char *r1, *r2, *c1, *c2;
        std::string message;
    };
    const Case cases[] = {
        {PlateFormat::Wells96, "A", "J", "1", "1", bounds96}, // would wrap into column 2
        {PlateFormat::Wells96, "A", "P", "1", "12", bounds96},
        {PlateFormat::Wells96, "A", "H", "0", "3", bounds96},
        {PlateFormat::Wells96, "A", "H", "1", "13", bounds96},
        {PlateFormat::Wells96, "C", "B", "1", "13", bounds96}, // reversed, but still off the plate
        {PlateFormat::Wells384, "A", "Q", "1", "1", bounds384},
        {PlateFormat::Wells384, "A", "AA", "1", "1", bounds384},
        {PlateFormat::Wells384, "A", "P", "1", "25", bounds384},
        {PlateFormat::Wells384, "A", "P", "-1", "3", bounds384},
        {PlateFormat::Wells384, "A", "P", "1", "99999999999999999999", bounds384},
        {PlateFormat::Wells96, "", "H", "1", "12", "The \"from\" row is empty. " + bounds96},
        {PlateFormat::Wells96, "A", "@H", "1", "12", "The \"thru\" row \"@H\" is not a row letter. " + bounds96},
        {PlateFormat::Wells96, "A", "H", "1x2", "12", "The \"from\" column \"1x2\" is not a whole number. " + bounds96},
        {PlateFormat::Wells96, "A", "H", "1", "", "The \"thru\" column is empty. " + bounds96},
        {PlateFormat::Wells384, "A", "P", "1", "$18",
         "The \"thru\" column \"$18\" is not a whole number. " + bounds384},
        {PlateFormat::Wells384, "A", "P", "-", "3", "The \"from\" column \"-\" is not a whole number. " + bounds384},
    };
    for (const auto& c : cases) {
        const auto range = readRange(c.format, c.r1, c.r2, c.c1, c.c2);
        ASSERT_FALSE(range.ok()) << c.r1 << ' ' << c.r2 << ' ' << c.c1 << ' ' << c.c2;
        EXPECT_EQ(range.error().message, c.message);
        EXPECT_EQ(range.error().line, 0u);
    }
}

namespace {
// An edit's text and the bound it stands for.
struct BoundText {
    std::string text;
    int value;
};
} // namespace

// rangeIndices does not clip: it relies on readRange accepting only ranges whose every bound
// lies on the plate. Around each edge of both plates, a range is accepted exactly then, and its
// wells are the rectangle's, none wrapped in from elsewhere.
TEST(Plate, ReadRangeAcceptsOnlyBoundsOnThePlate)
{
    for (PlateFormat format : {PlateFormat::Wells96, PlateFormat::Wells384}) {
        const int rows = plateRows(format);
        const int cols = plateCols(format);
        const char last = lastRowLetter(format);
        const std::vector<BoundText> rowTexts = {{"A", 1},
                                                 {"b", 2},
                                                 {std::string(1, last), rows},
                                                 {std::string(1, static_cast<char>(last + 1)), rows + 1},
                                                 {"AA", 27}};
        const std::vector<BoundText> colTexts = {{"-1", -1},
                                                 {"0", 0},
                                                 {"1", 1},
                                                 {std::to_string(cols), cols},
                                                 {std::to_string(cols + 1), cols + 1},
                                                 {"99999999999999999999", INT_MAX}};
        const auto onPlate = [&](const WellRange& r) {
            const auto within = [](int v, int lastOne) { return v >= 1 && v <= lastOne; };
            return within(r.firstRow, rows) && within(r.lastRow, rows) && within(r.firstCol, cols) &&
                   within(r.lastCol, cols);
        };
        for (const BoundText& r1 : rowTexts)
            for (const BoundText& r2 : rowTexts)
                for (const BoundText& c1 : colTexts)
                    for (const BoundText& c2 : colTexts) {
                        const WellRange wanted{r1.value, r2.value, c1.value, c2.value};
                        const auto range = readRange(format, r1.text, r2.text, c1.text, c2.text);
                        ASSERT_EQ(range.ok(), onPlate(wanted))
                            << r1.text << ' ' << r2.text << ' ' << c1.text << ' ' << c2.text;
                        if (!range)
                            continue;
                        ASSERT_EQ(*range, wanted);
                        std::vector<int> expected;
                        for (int row = wanted.firstRow; row <= wanted.lastRow; ++row)
                            for (int col = wanted.firstCol; col <= wanted.lastCol; ++col)
                                expected.push_back((col - 1) * rows + row - 1);
                        EXPECT_EQ(rangeIndices(format, *range), expected);
                    }
    }
}

TEST(PlateDeathTest, RangeIndicesRefuseARangeOffThePlate)
{
    // Before, these were clipped (G1:J1 gave G1 and H1); readRange never yields them.
    EXPECT_DEATH((void)rangeIndices(PlateFormat::Wells96, WellRange{7, 10, 1, 1}), "precondition failed");
    EXPECT_DEATH((void)rangeIndices(PlateFormat::Wells96, WellRange{1, 1, 0, 13}), "precondition failed");
    EXPECT_DEATH((void)rangeIndices(PlateFormat::Wells96, WellRange{3, 2, 1, 13}), "precondition failed")
        << "reversed, yet off the plate";
    // A range read for the larger plate, used on the smaller one.
    EXPECT_DEATH((void)rangeIndices(PlateFormat::Wells96, WellRange{1, 16, 1, 24}), "precondition failed");
}

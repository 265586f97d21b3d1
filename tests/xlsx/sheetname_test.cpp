#include "export/exportcommand.h"
#include "xlsx/sheetname.h"

#include <gtest/gtest.h>

using namespace morvane;

namespace {
std::string repeat(const std::string& s, int n)
{
    std::string out;
    for (int i = 0; i < n; ++i)
        out += s;
    return out;
}
} // namespace

TEST(SheetName, LengthCountsUtf16Units)
{
    EXPECT_EQ(sheetNameLength(""), 0);
    EXPECT_EQ(sheetNameLength("Run12"), 5);
    EXPECT_EQ(sheetNameLength("Ergebnisse \xC3\x84\xC3\x96\xC3\x9C"), 14);
    EXPECT_EQ(sheetNameLength("\xF0\x9F\x98\x80"), 2); // an emoji is a surrogate pair
    EXPECT_FALSE(sheetNameTooLong(repeat("a", 31)));
    EXPECT_TRUE(sheetNameTooLong(repeat("a", 32)));
    EXPECT_FALSE(sheetNameTooLong(repeat("\xC3\xA4", 31)));
    EXPECT_TRUE(sheetNameTooLong(repeat("\xF0\x9F\x98\x80", 16)));
}

TEST(SheetName, ComparesWithoutRegardToLetterCase)
{
    EXPECT_TRUE(sameSheetName("Run12", "run12"));
    EXPECT_TRUE(sameSheetName("\xC3\x84rger", "\xC3\xA4RGER"));           // Ärger / äRGER
    EXPECT_TRUE(sameSheetName("\xD0\x9F\xD0\xA0\xD0\x9E\xD0\x91\xD0\x90", // ПРОБА / проба
                              "\xD0\xBF\xD1\x80\xD0\xBE\xD0\xB1\xD0\xB0"));
    EXPECT_TRUE(sameSheetName("\xC5\x81\xC3\xB3"
                              "d\xC5\xBA",
                              "\xC5\x82\xC3\x93"
                              "D\xC5\xB9")); // Łódź / łÓDŹ
    EXPECT_FALSE(sameSheetName("Run12", "Run12 "));
    EXPECT_FALSE(sameSheetName("Run1", "Run12"));
}

TEST(SheetName, ExcelRulesRefuseInvalidNamesEachWithItsReason)
{
    const struct {
        std::string name;
        const char* reason; // part of the message; nullptr: valid
    } cases[] = {
        {"Run12", nullptr},
        {repeat("a", 31), nullptr},
        {"O'Brien", nullptr},
        {" padded ", nullptr},
        {"Ergebnisse \xC3\x84\xC3\x96\xC3\x9C", nullptr},
        {"", "blank"},
        {repeat("a", 32), "longer than 31 characters"},
        {repeat("\xF0\x9F\x98\x80", 16), "longer than 31 characters"},
        {"a:b", "contains ':'"},
        {"a\\b", "contains '\\'"},
        {"a/b", "contains '/'"},
        {"a?b", "contains '?'"},
        {"a*b", "contains '*'"},
        {"a[b", "contains '['"},
        {"a]b", "contains ']'"},
        {"'quoted", "apostrophe"},
        {"quoted'", "apostrophe"},
        {"History", "reserved"},
        {"HISTORY", "reserved"},
        {"a\x01"
         "b",
         "control character"},
        {"tab\there", "control character"},
        {"bad \xC3", "not valid UTF-8"},
        {"\xED\xA0\x80", "not valid UTF-8"}, // an unpaired surrogate
    };
    for (const auto& c : cases) {
        const Status status = checkSheetName(c.name);
        if (!c.reason) {
            EXPECT_TRUE(status.ok()) << c.name;
            continue;
        }
        ASSERT_FALSE(status.ok()) << c.name;
        EXPECT_NE(status.error().message.find(c.reason), std::string::npos) << status.error().message;
    }
}

TEST(SheetName, ATakenNameGetsTheFirstFreeNumberedVariant)
{
    const std::vector<std::string> taken = {"Run12", "Chart1", "x_1", "x_2", "x_3", "x_4", "x"};
    EXPECT_EQ(uniqueSheetName("Run13", taken), "Run13");
    EXPECT_EQ(uniqueSheetName("run12", taken), "run12_1");
    EXPECT_EQ(uniqueSheetName("CHART1", taken), "CHART1_1"); // chart sheets count too
    EXPECT_EQ(uniqueSheetName("x", taken), "x_5");
    EXPECT_EQ(uniqueSheetName("", taken), "");
    // A repeated export takes the name just used: Run12, then Run12_1, then Run12_1_1.
    EXPECT_EQ(uniqueSheetName("Run12_1", {"Run12", "Run12_1"}), "Run12_1_1");
}

TEST(SheetName, ANumberedVariantIsCutToFitIn31Characters)
{
    const std::string n28 = repeat("b", 28), n29 = repeat("c", 29), n30 = repeat("d", 30), n31 = repeat("e", 31);
    EXPECT_EQ(uniqueSheetName(n28, {n28}), n28 + "_1"); // 30 characters, not cut
    EXPECT_EQ(uniqueSheetName(n29, {n29}), n29 + "_1");
    EXPECT_EQ(uniqueSheetName(n30, {n30}), repeat("d", 29) + "_1");
    EXPECT_EQ(uniqueSheetName(n31, {n31}), repeat("e", 29) + "_1");

    // From n = 10 on the base is cut further, so the name never grows past 31 characters.
    std::vector<std::string> taken = {n30};
    for (int n = 1; n <= 9; ++n)
        taken.push_back(repeat("d", 29) + "_" + std::to_string(n));
    const std::string tenth = uniqueSheetName(n30, taken);
    EXPECT_EQ(tenth, repeat("d", 28) + "_10");
    EXPECT_EQ(sheetNameLength(tenth), 31);

    // A cut never splits a character: 15 emoji are 30 units; 29 units would split the 15th.
    const std::string emoji = repeat("\xF0\x9F\x98\x80", 15);
    EXPECT_EQ(uniqueSheetName(emoji, {emoji}), repeat("\xF0\x9F\x98\x80", 14) + "_1");
}

TEST(SheetName, TheCommandRefusesMoreThan31CharactersBeforeAnythingElse)
{
    const SheetNameList sheets{{"Run12"}, 0};
    const SheetNameChoice ok = chooseSheetName(repeat("a", 31), sheets);
    EXPECT_FALSE(ok.tooLong);
    EXPECT_EQ(ok.name, repeat("a", 31));
    const SheetNameChoice refused = chooseSheetName(repeat("a", 32), sheets);
    EXPECT_TRUE(refused.tooLong);
    EXPECT_EQ(refused.length, 32);
    EXPECT_EQ(chooseSheetName("RUN12", sheets).name, "RUN12_1");
    EXPECT_EQ(chooseSheetName("", sheets).name, "");
}

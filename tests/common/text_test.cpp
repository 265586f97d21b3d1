#include "common/text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <optional>
#include <string>
#include <vector>

using namespace morvane;

TEST(Text, AsciiCaseTouchesOnlyLettersAToZ)
{
    // The neighbours of the letter ranges and the bytes of a UTF-8 'Ä' stay as they are.
    EXPECT_EQ(foldAscii("Sheet1.XML @[`{ \xC3\x84"), "sheet1.xml @[`{ \xC3\x84");
    EXPECT_EQ(upperAscii('z'), 'Z');
    EXPECT_EQ(upperAscii('{'), '{');
    for (char c : std::string("@[`{/:\xC3"))
        EXPECT_FALSE(isAsciiLetter(c) || isAsciiDigit(c)) << c;
    for (char c : std::string("AZaz"))
        EXPECT_TRUE(isAsciiLetter(c)) << c;
    EXPECT_TRUE(isAsciiDigit('0') && isAsciiDigit('9'));

    struct Case {
        const char* a;
        const char* b;
        bool equal;
        bool endsWith;
    };
    for (const Case& c : std::vector<Case>{{"Prog#", "PROG#", true, true},
                                           {"General:Pos", ":pos", false, true},
                                           {"Pos", "General:Pos", false, false},
                                           {"\xC3\xA4", "\xC3\x84", false, false}, // ä and Ä: ASCII only
                                           {"", "", true, true}}) {
        EXPECT_EQ(equalsIgnoringAsciiCase(c.a, c.b), c.equal) << c.a << " / " << c.b;
        EXPECT_EQ(endsWithIgnoringAsciiCase(c.a, c.b), c.endsWith) << c.a << " / " << c.b;
    }
}

TEST(Text, Utf8DecodingStepsOverEachBadByteAlone)
{
    constexpr char32_t bad = 0xFFFFFFFF;
    const auto decodeAll = [&](std::string_view text) {
        std::vector<char32_t> out;
        for (std::size_t pos = 0; pos < text.size();)
            out.push_back(decodeUtf8(text, pos).value_or(bad));
        return out;
    };
    struct Case {
        const char* text;
        std::vector<char32_t> decoded;
    };
    for (const Case& c : std::vector<Case>{{"a\xC2\xB5 \xE2\x82\xAC", {'a', 0xB5, ' ', 0x20AC}},
                                           {"\xEF\xBF\xBF\xF0\x9F\x99\x82", {0xFFFF, 0x1F642}},
                                           {"\xF4\x8F\xBF\xBF", {0x10FFFF}},
                                           {"\xC3", {bad}},                             // cut short
                                           {"\xE2\x82 x", {bad, bad, ' ', 'x'}},        // bad continuation
                                           {"\xC0\xAF", {bad, bad}},                    // overlong
                                           {"\xE0\x9F\xBF", {bad, bad, bad}},           // overlong
                                           {"\xED\xA0\x80", {bad, bad, bad}},           // surrogate
                                           {"\xF4\x90\x80\x80", {bad, bad, bad, bad}},  // beyond U+10FFFF
                                           {"\xF5\x80\x80\x80", {bad, bad, bad, bad}}}) // no lead byte
    {
        EXPECT_EQ(decodeAll(c.text), c.decoded) << c.text;
        EXPECT_EQ(isValidUtf8(c.text), std::count(c.decoded.begin(), c.decoded.end(), bad) == 0) << c.text;
    }
}

TEST(Text, Utf8ValidationFindsABadByteAfterAnyRunOfAscii)
{
    // A sequence cut off by the end of the view is not completed from the bytes behind it.
    EXPECT_FALSE(isValidUtf8(std::string_view("ab\xE2\x82\xAC").substr(0, 4)));

    // The ASCII run is passed over eight bytes at a time; the bad byte may sit anywhere in a block.
    for (std::size_t run = 0; run < 20; ++run) {
        EXPECT_FALSE(isValidUtf8(std::string(run, 'a') + "\xFF" + "abcdefgh")) << run;
        EXPECT_FALSE(isValidUtf8(std::string(run, 'a') + "\xC3")) << run;
        EXPECT_TRUE(isValidUtf8(std::string(run, 'a') + "\xC3\xA4" + std::string(run, 'b'))) << run;
    }
}

TEST(Text, Utf8EncodingAtEachLengthBoundary)
{
    struct Case {
        char32_t cp;
        const char* bytes;
    };
    for (const Case& c : std::vector<Case>{{0x7F, "\x7F"},
                                           {0x80, "\xC2\x80"},
                                           {0x7FF, "\xDF\xBF"},
                                           {0x800, "\xE0\xA0\x80"},
                                           {0x20AC, "\xE2\x82\xAC"},
                                           {0xFFFF, "\xEF\xBF\xBF"},
                                           {0x10000, "\xF0\x90\x80\x80"},
                                           {0x10FFFF, "\xF4\x8F\xBF\xBF"}}) {
        std::string out = "x";
        appendUtf8(out, c.cp);
        EXPECT_EQ(out, std::string("x") + c.bytes) << std::hex << static_cast<unsigned>(c.cp);
    }
}

TEST(Text, WholeNumbers)
{
    using N = std::optional<int>;
    struct Case {
        const char* text;
        N value;  // plus accepted
        N noPlus; // plus refused
        N clamped;
    };
    for (const Case& c : std::vector<Case>{{"12", 12, 12, 12},
                                           {"+3", 3, {}, 3},
                                           {"-1", -1, -1, -1},
                                           {"-0", 0, 0, 0},
                                           {"007", 7, 7, 7},
                                           {"2147483647", INT_MAX, INT_MAX, INT_MAX},
                                           {"-2147483648", INT_MIN, INT_MIN, INT_MIN},
                                           {"2147483648", {}, {}, INT_MAX},
                                           {"+99999999999999999999", {}, {}, INT_MAX},
                                           {"-2147483649", {}, {}, INT_MIN},
                                           {"99999999999999999999x", {}, {}, {}},
                                           {"", {}, {}, {}},
                                           {"+", {}, {}, {}},
                                           {"-", {}, {}, {}},
                                           {"+-1", {}, {}, {}},
                                           {"-+1", {}, {}, {}},
                                           {" 1", {}, {}, {}},
                                           {"1 ", {}, {}, {}},
                                           {"1.0", {}, {}, {}},
                                           {"0x10", {}, {}, {}}}) {
        EXPECT_EQ(parseWholeNumber(c.text), c.value) << c.text;
        EXPECT_EQ(parseWholeNumber(c.text, PlusSign::Refused), c.noPlus) << c.text;
        EXPECT_EQ(parseWholeNumberClamped(c.text), c.clamped) << c.text;
    }
    EXPECT_EQ(parseWholeNumber<long>(std::to_string(LONG_MAX), PlusSign::Refused), LONG_MAX);
    EXPECT_EQ(parseWholeNumber<long>(std::to_string(LONG_MIN)), LONG_MIN);
    EXPECT_EQ(parseWholeNumber<long>("+1", PlusSign::Refused), std::nullopt);
}

TEST(Text, QuotedFileNameLeavesOutTheFolder)
{
    EXPECT_EQ(quotedFileName("results/run 12.xlsx"), "'run 12.xlsx'");
    EXPECT_EQ(quotedFileName("book.xlsx"), "'book.xlsx'");
}

TEST(Text, MessagesQuoteAtMostEightyCharactersAndNeverHalfACharacter)
{
    const auto repeat = [](std::string_view piece, std::size_t times) {
        std::string out;
        for (std::size_t i = 0; i < times; ++i)
            out += piece;
        return out;
    };
    const std::string e = "\xC3\xA9";             // é: two bytes
    const std::string emoji = "\xF0\x9F\x98\x80"; // four bytes
    struct Case {
        std::string text;
        std::string shown;
    };
    const std::vector<Case> cases{
        {"", ""},
        {"abc", "abc"},
        {std::string(80, 'x'), std::string(80, 'x')},
        {std::string(81, 'x'), std::string(80, 'x') + "..."},
        {std::string(1 << 20, 'x'), std::string(80, 'x') + "..."},
        // The cut counts characters, not bytes.
        {repeat(e, 80), repeat(e, 80)},
        {repeat(e, 200), repeat(e, 80) + "..."},
        {"a" + repeat(emoji, 100), "a" + repeat(emoji, 79) + "..."},
        // Nothing from a file reaches the terminal as a control character.
        {"a\tb\nc\rd", "a\\tb\\nc\\rd"},
        {"\x1B[31mred", "\\x1B[31mred"},
        {"\x7F \xC2\x9B", "\\x7F \\x9B"},
        // A byte that is no UTF-8 (a cut-off or Windows-1252 character) shows as its value.
        {"M\xFCller \xC3", "M\\xFCller \\xC3"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 100));
        EXPECT_EQ(cutForMessage(c.text), c.shown);
        EXPECT_EQ(quoteForMessage(c.text), "'" + c.shown + "'");
        EXPECT_TRUE(isValidUtf8(cutForMessage(c.text)));
    }
    EXPECT_EQ(cutForMessage("abcdef", 3), "abc...");
}

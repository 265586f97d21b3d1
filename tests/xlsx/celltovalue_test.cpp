#include "common/grid.h"
#include "xlsx/celltovalue.h"
#include "xlsx/sheetxml.h"
#include "xlsx/valueblock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

using morvane::celltovalue;
using morvane::CellValue;

namespace {
CellValue text(const char* s)
{
    return std::string(s);
}
CellValue whole(std::int32_t v)
{
    return v;
}
CellValue real(double v)
{
    return v;
}

struct Case {
    const char* input;
    char separator;
    CellValue expected;
};
} // namespace

TEST(CellToValue, ReadsWholeNumbersInDecimalFloatsInTheUsersNotationAndKeepsTheRestAsText)
{
    const Case cases[] = {
        {"12", '.', whole(12)},
        {"12.5", '.', real(12.5)},
        {"12,5", '.', text("12,5")},
        {"12,5", ',', real(12.5)},
        {"12.5", ',', text("12.5")},
        {" 7", '.', whole(7)},
        {"   -7", '.', whole(-7)},
        {"+7", '.', whole(7)},
        {"7 ", '.', real(7)}, // a trailing blank is no whole number, but a float
        {" 7 ", '.', real(7)},
        {"\t7", '.', text("\t7")}, // blanks are spaces only
        {"7\t", '.', text("7\t")},
        {"1E3", '.', real(1000)},
        {"1e-3", '.', real(0.001)},
        {"-2.5E+2", '.', real(-250)},
        {"1E", '.', text("1E")},
        {".5", '.', real(0.5)},
        {"5.", '.', real(5)},
        {".", '.', text(".")},
        {"1.2.3", '.', text("1.2.3")},
        {"1,000.5", '.', text("1,000.5")}, // no thousands separators
        {"- 7", '.', text("- 7")},
        {"", '.', text("")},
        {" ", '.', text(" ")},
        {"-", '.', text("-")},
        // Hexadecimal forms stay text: a sample called x12 must not become 18.
        {"x1A", '.', text("x1A")},
        {" x1A", '.', text(" x1A")},
        {"$10", '.', text("$10")},
        {" $10", '.', text(" $10")},
        {"0x10", '.', text("0x10")},
        {"X12", '.', text("X12")},
        {"2147483647", '.', whole(2147483647)},
        {"-2147483648", '.', whole(std::numeric_limits<std::int32_t>::min())},
        {"2147483648", '.', real(2147483648.0)},
        {"-2147483649", '.', real(-2147483649.0)},
        {"007", '.', whole(7)},
        {"99999999999999999999", '.', real(1e20)},
        {"1e308", '.', real(1e308)},
        {"1e309", '.', text("1e309")},   // beyond a double
        {"1e-400", '.', text("1e-400")}, // underflows to nothing
        {"4.9e-324", '.', real(4.9e-324)},
        {"inf", '.', text("inf")},
        {"nan", '.', text("nan")},
        {"B7", '.', text("B7")},
    };
    for (const Case& c : cases)
        EXPECT_EQ(celltovalue(c.input, c.separator), c.expected) << '"' << c.input << "\" with '" << c.separator << "'";
}

TEST(CellToValue, ReadsFloatsToTheNearestDouble)
{
    EXPECT_EQ(celltovalue("0.1", '.'), real(0.1));
    EXPECT_EQ(celltovalue("1234,5678", ','), real(1234.5678));
    EXPECT_EQ(celltovalue("1.7976931348623157e308", '.'), real(1.7976931348623157e308));
    // Short decimals take a quicker way than longer ones: both give what std::from_chars gives.
    std::mt19937_64 random(1480);
    for (int i = 0; i < 100000; ++i) {
        std::string digits = std::to_string(random() % 100000000000000000ull);
        const std::size_t places = random() % (digits.size() + 1);
        std::string text = (random() % 2 ? "-" : "") + digits.insert(digits.size() - places, ".");
        double expected = 0;
        std::from_chars(text.data(), text.data() + text.size(), expected);
        SCOPED_TRACE(text);
        ASSERT_EQ(celltovalue(text, '.'), real(expected));
        std::replace(text.begin(), text.end(), '.', ',');
        ASSERT_EQ(celltovalue(text, ','), real(expected));
    }
}

TEST(ValueBlock, HoldsTheGridWithOneEmptyRowAndColumnMore)
{
    morvane::Grid grid(2, 3, 1, 0);
    grid.setCell(0, 0, "well");
    grid.setCell(0, 1, "sample");
    grid.setCell(0, 2, "1");
    grid.setCell(1, 0, "A1");
    grid.setCell(1, 1, "x12");
    grid.setCell(1, 2, "3,25");
    const morvane::ValueBlock block = morvane::makeValueBlock(grid, ',');
    ASSERT_EQ(block.rows(), 3);
    ASSERT_EQ(block.cols(), 4);
    const CellValue empty;
    const CellValue expected[3][4] = {
        {text("well"), text("sample"), whole(1), empty},
        {text("A1"), text("x12"), real(3.25), empty},
        {empty, empty, empty, empty},
    };
    for (int i = 1; i <= 3; ++i)
        for (int j = 1; j <= 4; ++j)
            EXPECT_EQ(block.at(i, j), expected[i - 1][j - 1]) << i << "," << j;
}

TEST(ValueBlockDeathTest, AnElementOutsideTheBlockStopsTheProgram)
{
    const morvane::ValueBlock block = morvane::makeValueBlock(morvane::Grid(2, 3), '.');
    ASSERT_EQ(block.rows(), 3);
    ASSERT_EQ(block.cols(), 4);
    EXPECT_DEATH((void)block.at(0, 1), "precondition failed");
    EXPECT_DEATH((void)block.at(4, 1), "precondition failed");
    EXPECT_DEATH((void)block.at(1, 5), "precondition failed");
    EXPECT_DEATH((void)block.at(1, 0), "precondition failed");
}

TEST(ValueBlock, AGridWithoutWellsGivesTheHeaderAnEmptyRowAndTheExtraRow)
{
    morvane::Grid grid(2, 2, 1, 0);
    grid.setCell(0, 0, "well");
    grid.setCell(0, 1, "sample");
    const morvane::ValueBlock block = morvane::makeValueBlock(grid, '.');
    ASSERT_EQ(block.rows(), 3);
    EXPECT_EQ(block.at(2, 1), text(""));
    EXPECT_EQ(block.at(2, 2), text(""));
    EXPECT_EQ(block.at(3, 1), CellValue());
}

// The sheet writes a number as std::to_chars would, whatever way it takes to the text: short
// decimals (most readings), whole numbers on both sides of where the exponent form starts, the
// smallest and largest magnitudes taken the short way and their neighbours, and doubles of any
// bits.
TEST(SheetNumber, IsTheShortestTextThatReadsBack)
{
    const auto expected = [](double value) {
        char buffer[32];
        return std::string(buffer, std::to_chars(buffer, buffer + sizeof buffer, value == 0 ? 0.0 : value).ptr);
    };
    std::vector<double> values = {0.0,
                                  -0.0,
                                  0.59,
                                  -0.59,
                                  0.001,
                                  0.00099999,
                                  0.0001,
                                  0.0015,
                                  1.0,
                                  99999,
                                  1e5,
                                  123456,
                                  1e15,
                                  1e15 - 1,
                                  999999999999999.9,
                                  0.1 + 0.2,
                                  1e-300,
                                  5e-324,
                                  1.7976931348623157e308,
                                  12.5,
                                  1234.5678,
                                  3.14159265358979};
    std::mt19937_64 random(480);
    for (int i = 0; i < 200000; ++i) {
        // A decimal of up to 16 digits with up to 11 places, and a double of any bits.
        const auto digits = static_cast<double>(random() % 10000000000000000ull);
        values.push_back(digits / std::pow(10.0, static_cast<double>(random() % 12)));
        const std::uint64_t bits = random();
        double any = 0;
        std::memcpy(&any, &bits, sizeof any);
        if (std::isfinite(any))
            values.push_back(any);
    }
    for (const double value : values) {
        std::string written;
        morvane::xlsx::appendNumber(written, value);
        ASSERT_EQ(written, expected(value)) << std::hexfloat << value;
    }
}

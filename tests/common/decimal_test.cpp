#include "common/decimal.h"

#include <gtest/gtest.h>

#include <optional>

using morvane::parseDecimal;
using morvane::parseDecimalEitherSeparator;

TEST(Decimal, WholeTextsOfEitherSeparatorWithinADouble)
{
    struct Case {
        const char* text;
        char separator;
        std::optional<double> value;
    };
    const Case cases[] = {
        {"59.9", '.', 59.9},
        {"59,9", ',', 59.9},
        {"-0.5", '.', -0.5},
        {".5", '.', 0.5},
        {"5.", '.', 5.0},
        {"1.5e3", '.', 1500.0},
        {"1,5E-1", ',', 0.15},
        {"0", '.', 0.0},
        {"0.000e5", '.', 0.0},
        {"4.9e-324", '.', 4.9e-324},
        // No blanks, no plus sign, one separator of the kind asked for, a double's range.
        {"", '.', std::nullopt},
        {" 1", '.', std::nullopt},
        {"1 ", '.', std::nullopt},
        {"+1", '.', std::nullopt},
        {"1,5", '.', std::nullopt},
        {"1.5", ',', std::nullopt},
        {"1.2.3", '.', std::nullopt},
        {"1e", '.', std::nullopt},
        {"inf", '.', std::nullopt},
        {"nan", '.', std::nullopt},
        {"1e999", '.', std::nullopt},
        {"1e-999", '.', std::nullopt},
        {"0x10", '.', std::nullopt},
        {"-", '.', std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(parseDecimal(c.text, c.separator), c.value) << '"' << c.text << "\" with '" << c.separator << "'";

    EXPECT_EQ(parseDecimalEitherSeparator("12,25"), 12.25);
    EXPECT_EQ(parseDecimalEitherSeparator("12.25"), 12.25);
    EXPECT_EQ(parseDecimalEitherSeparator("1,000.5"), std::nullopt) << "a thousands separator is no decimal";
}

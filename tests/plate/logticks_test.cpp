#include "plate/logticks.h"

#include <gtest/gtest.h>

#include <vector>

using namespace morvane;

namespace {

struct TicksCase {
    const char* what;
    double lower;
    double upper;
    std::vector<double> ticks;
};

} // namespace

TEST(LogAxisTicks, EnoughLabelsToReadAValueOff)
{
    const TicksCase cases[] = {
        {"readings between 0.15 and 4.7: 1-2-5 steps", 0.125, 5.64, {0.2, 0.5, 1, 2, 5}},
        {"a plate's curves, 0.3 to 15", 0.3, 15, {0.5, 1, 2, 5, 10}},
        {"five powers of ten: those alone", 0.5, 2e4, {1, 10, 100, 1000, 10000}},
        {"three powers of ten, ends included", 1, 100, {1, 10, 100}},
        {"under two: every whole multiple", 1.5, 4.5, {2, 3, 4}},
        {"flat readings: linear steps", 1.3, 1.8, {1.4, 1.6, 1.8}},
        {"dates a spreadsheet wrote: linear steps", 40000, 42000, {40000, 41000, 42000}},
        {"one well's flat curve in its margins: steps of 2, not 5", 12.8, 18.9, {14, 16, 18}},
    };
    for (const TicksCase& c : cases) {
        const auto ticks = logAxisTicks(c.lower, c.upper);
        ASSERT_EQ(ticks.size(), c.ticks.size()) << c.what;
        for (std::size_t i = 0; i < ticks.size(); ++i)
            EXPECT_NEAR(ticks[i], c.ticks[i], c.ticks[i] * 1e-9) << c.what;
    }
}

TEST(LogAxisTicks, NoTicksForARangeALogAxisCannotShow)
{
    EXPECT_TRUE(logAxisTicks(0, 10).empty());
    EXPECT_TRUE(logAxisTicks(-1, 10).empty());
    EXPECT_TRUE(logAxisTicks(5, 5).empty());
    EXPECT_TRUE(logAxisTicks(10, 1).empty());
}

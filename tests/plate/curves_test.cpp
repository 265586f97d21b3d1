#include "plate/curves.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>
#include <vector>

using namespace morvane;

namespace {

// A well table as the conversion builds it: heading row, well, sample with its leading blank,
// then one reading per cycle.
Grid table(const std::vector<std::vector<std::string>>& rows)
{
    Grid grid(int(rows.size()), int(rows.front().size()), 1, 1);
    for (int r = 0; r < grid.rowCount(); ++r)
        for (int c = 0; c < grid.colCount(); ++c)
            grid.setCell(r, c, rows[std::size_t(r)][std::size_t(c)]);
    return grid;
}

const Grid kTable = table({
    {"well", "sample", "1", "2", "3"},
    {"A1", " Sample_1", "15.5", "16,25", "41594"},
    {"A2", " Sample_2", "-0.5", "0", "2.5"},
    {"B1", " Sample_1", "1", "", "3"},
    {"B2", "", "x", "2", "3"},
});

std::vector<std::string> wellsOf(const std::vector<Curve>& curves)
{
    std::vector<std::string> wells;
    for (const Curve& c : curves)
        wells.push_back(c.well);
    return wells;
}

} // namespace

TEST(ParseReading, EitherSeparatorAndWhatIsNoNumber)
{
    const struct {
        const char* text;
        std::optional<double> value;
    } cases[] = {
        {"15.53", 15.53},        {"15,53", 15.53},        {" 16 ", 16.0},
        {"41594", 41594.0},      {"-0.25", -0.25},        {"+2", 2.0},
        {"1e3", 1000.0},         {"", std::nullopt},      {"  ", std::nullopt},
        {"1,2,3", std::nullopt}, {"1.2.3", std::nullopt}, {"abc", std::nullopt},
        {"12abc", std::nullopt}, {"inf", std::nullopt},   {"nan", std::nullopt},
        {"1e999", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parseReading(c.text), c.value) << '"' << c.text << '"';
}

TEST(Curves, AllWellsWhenNoneAskedForInTableOrder)
{
    const auto curves = curvesOf(kTable);
    EXPECT_EQ(wellsOf(curves), (std::vector<std::string>{"A1", "A2", "B1", "B2"}));
    EXPECT_EQ(curves[0].sample, "Sample_1");
    EXPECT_EQ(curves[0].tableRow, 1);
    EXPECT_EQ(curves[0].cycles, (std::vector<double>{1, 2, 3}));
    EXPECT_EQ(curves[0].readings, (std::vector<double>{15.5, 16.25, 41594}));
    // Cells that are no number leave out their cycle, nothing else.
    EXPECT_EQ(curves[2].cycles, (std::vector<double>{1, 3}));
    EXPECT_EQ(curves[3].cycles, (std::vector<double>{2, 3}));
}

TEST(Curves, OnlyTheWellsAskedForAnyCaseAndUnknownOnesPassedOver)
{
    EXPECT_EQ(wellsOf(curvesOf(kTable, {"b1", "A1", "H12"})), (std::vector<std::string>{"A1", "B1"}));
    EXPECT_TRUE(curvesOf(kTable, {"H12"}).empty());
}

TEST(Curves, ReplicatesShareAColourThatDoesNotDependOnTheWellsShown)
{
    const auto all = curvesOf(kTable);
    EXPECT_EQ(all[0].colour, 0);
    EXPECT_EQ(all[1].colour, 1);
    EXPECT_EQ(all[2].colour, 0); // Sample_1 again
    EXPECT_EQ(all[3].colour, 2); // the blank sample name is a sample of its own
    const auto some = curvesOf(kTable, {"B2", "B1"});
    EXPECT_EQ(some[0].colour, 0);
    EXPECT_EQ(some[1].colour, 2);
}

TEST(Curves, CycleNumbersComeFromTheHeading)
{
    const Grid late = table({{"well", "sample", "5", "6", "x"}, {"A1", " s", "1", "2", "3"}});
    EXPECT_EQ(curvesOf(late)[0].cycles, (std::vector<double>{5, 6, 3}));
}

TEST(Curves, TablesWithoutWells)
{
    EXPECT_TRUE(curvesOf(Grid(2, 2, 1, 1)).empty()); // the empty table the window starts with
    EXPECT_TRUE(curvesOf(Grid()).empty());
    EXPECT_TRUE(curvesOf(table({{"well", "sample", "1"}})).empty());
}

TEST(VisiblePoints, LogLeavesOutReadingsUpToZeroLinearKeepsAll)
{
    const Curve curve = curvesOf(kTable, {"A2"}).front();
    const auto linear = visiblePoints(curve, CurveScale::Linear);
    EXPECT_EQ(linear.x, (std::vector<double>{1, 2, 3}));
    EXPECT_EQ(linear.y, (std::vector<double>{-0.5, 0, 2.5}));
    const auto log = visiblePoints(curve, CurveScale::Log);
    EXPECT_EQ(log.x, std::vector<double>{3});
    EXPECT_EQ(log.y, std::vector<double>{2.5});
}

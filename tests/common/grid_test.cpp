#include "common/grid.h"

#include <gtest/gtest.h>

using morvane::Grid;

TEST(Grid, ResizeKeepsTheCellsThatRemain)
{
    Grid g(2, 3, 1, 1);
    g.setCell(0, 0, "well");
    g.setCell(1, 2, "0.59");
    g.resize(3, 5);
    EXPECT_EQ(g.cell(0, 0), "well");
    EXPECT_EQ(g.cell(1, 2), "0.59");
    EXPECT_EQ(g.cell(2, 4), "");
    g.resize(2, 2);
    EXPECT_EQ(g.cell(0, 0), "well");
    g.resize(2, 3);
    EXPECT_EQ(g.cell(1, 2), "") << "a cell cut off by shrinking comes back empty";
}

TEST(Grid, ClearEmptiesEveryCellAndKeepsTheSize)
{
    Grid g(2, 2, 1, 2);
    g.setCell(0, 0, "a");
    g.setCell(1, 1, "b");
    g.clear();
    EXPECT_EQ(g.rowCount(), 2);
    EXPECT_EQ(g.colCount(), 2);
    EXPECT_EQ(g.fixedCols(), 2);
    EXPECT_EQ(g.cell(0, 0), "");
    EXPECT_EQ(g.cell(1, 1), "");
}

TEST(GridDeathTest, CellOutsideTheGridStopsTheProgram)
{
    Grid g(2, 2);
    const Grid& constant = g;
    EXPECT_DEATH((void)g.cell(2, 0), "precondition failed");
    EXPECT_DEATH((void)g.cell(0, -1), "precondition failed");
    EXPECT_DEATH((void)constant.cell(0, 2), "precondition failed");
    EXPECT_DEATH(g.setCell(-1, 0, "x"), "precondition failed");
    EXPECT_EQ(g.cell(1, 1), "") << "the last cell is inside";
}

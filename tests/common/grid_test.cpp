#include "common/grid.h"

#include <gtest/gtest.h>

#include <stdexcept>

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

TEST(Grid, CellOutsideTheGridThrows)
{
    Grid g(2, 2);
    EXPECT_THROW((void)g.cell(2, 0), std::out_of_range);
    EXPECT_THROW((void)g.cell(0, -1), std::out_of_range);
}

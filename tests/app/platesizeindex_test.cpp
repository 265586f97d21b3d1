#include "app/platesizeindex.h"

#include <gtest/gtest.h>

using morvane::PlateFormat;

TEST(PlateSizeIndex, MapsTheRadioGroupToPlates)
{
    EXPECT_EQ(chosenPlate(0), PlateFormat::Wells96);
    EXPECT_EQ(chosenPlate(1), PlateFormat::Wells384);
    EXPECT_EQ(chosenPlate(-1), std::nullopt);
    EXPECT_EQ(plateMapFor(-1), PlateFormat::Wells384) << "no plate known picks the 384-well map";
    EXPECT_EQ(plateSizeIndexOf(PlateFormat::Wells96), 0);
}

TEST(PlateSizeIndex, GridSizeWarning)
{
    EXPECT_EQ(gridSizeWarning(1280), "");
    EXPECT_EQ(gridSizeWarning(1292), "");
    EXPECT_EQ(gridSizeWarning(1279), "Window has been resized; some wells be not be shown in grid");
}

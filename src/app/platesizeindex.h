#pragma once
// What the window's controls mean in the core's terms: the plate size index of PlateSizeRG and
// the width the 384-well map needs.

#include "plate/plate.h"

#include <optional>
#include <string>

// The plate size index: 0 = 96 wells, 1 = 384 wells, -1 = none chosen.
inline std::optional<morvane::PlateFormat> chosenPlate(int plateSizeIndex)
{
    if (plateSizeIndex == 0)
        return morvane::PlateFormat::Wells96;
    if (plateSizeIndex == 1)
        return morvane::PlateFormat::Wells384;
    return std::nullopt;
}

// The plate map a handler works on: 0 is the 96-well map, every other index, -1 (no plate
// chosen) included, the 384-well map; a conversion without a chosen plate is held to 384 wells.
inline morvane::PlateFormat plateMapFor(int plateSizeIndex)
{
    return plateSizeIndex == 0 ? morvane::PlateFormat::Wells96 : morvane::PlateFormat::Wells384;
}

inline int plateSizeIndexOf(morvane::PlateFormat format)
{
    return format == morvane::PlateFormat::Wells96 ? 0 : 1;
}

// Fixed width of the 384-well map in pixels; a narrower window cuts off its right-hand columns.
inline constexpr int kWells384MapWidth = 1280;

// FormResize: the warning shown on page 2 when the window is narrower than the 384-well map,
// else the empty text.
inline std::string gridSizeWarning(int windowOuterWidth)
{
    return windowOuterWidth < kWells384MapWidth ? "Window has been resized; some wells be not be shown in grid" : "";
}

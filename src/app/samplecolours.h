#pragma once
// The colour of a sample, shared by its curves and its marks on the plate map.

#include <QColor>

#include <array>

inline QColor sampleColour(int index)
{
    // Ten colours told apart also by most colour-blind eyes (Tableau 10); more samples repeat
    // them, which the well named on hover settles.
    static constexpr std::array<QRgb, 10> kColours{0x4e79a7, 0xf28e2b, 0xe15759, 0x76b7b2, 0x59a14f,
                                                   0xedc948, 0xb07aa1, 0xff9da7, 0x9c755f, 0xbab0ac};
    return QColor(kColours[std::size_t(index < 0 ? 0 : index) % kColours.size()]);
}

#pragma once
// The colour of a sample, shared by its curves and its marks on the plate map.

#include <QColor>

#include <array>

inline QColor sampleColour(int index)
{
    // Twelve colours of high contrast to each other (after Kelly), so that a plate's first twelve
    // samples are told apart; more samples repeat them, which the well named on hover settles.
    static constexpr std::array<QRgb, 12> kColours{0x0067a5, 0xf38400, 0xbe0032, 0x008856, 0x875692, 0xf3c300,
                                                   0x882d17, 0xa1caf1, 0xe68fac, 0x848482, 0x8db600, 0x222222};
    return QColor(kColours[std::size_t(index < 0 ? 0 : index) % kColours.size()]);
}

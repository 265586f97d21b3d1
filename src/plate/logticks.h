#pragma once
// Where a log axis puts its labelled ticks. Powers of ten alone leave a plot of readings between
// 0.15 and 4.7 with the single label "1"; below three powers of ten in view the steps get finer,
// so that a value can always be read off.

#include <vector>

namespace morvane {

// The labelled ticks within [lower, upper] (0 < lower < upper), ascending: the powers of ten when
// at least `wanted` of them are in view; otherwise 1, 2 and 5 times a power of ten; otherwise
// every whole multiple of a power of ten; otherwise even steps of 1, 2 or 5 times a power of
// ten, as a linear axis has them. Empty for a range that is not positive.
std::vector<double> logAxisTicks(double lower, double upper, int wanted = 3);

} // namespace morvane

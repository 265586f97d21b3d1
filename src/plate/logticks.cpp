#include "plate/logticks.h"

#include <array>
#include <cmath>
#include <span>

namespace morvane {

namespace {

// m x 10^k for each mantissa m and every power k that puts one in [lower, upper].
std::vector<double> mantissaTicks(double lower, double upper, std::span<const double> mantissas)
{
    std::vector<double> ticks;
    const int first = int(std::floor(std::log10(lower)));
    const int last = int(std::ceil(std::log10(upper)));
    for (int power = first; power <= last; ++power)
        for (const double mantissa : mantissas) {
            // A power of ten built by pow, not by repeated multiplication, so 0.1 x 3 is 0.3.
            const double tick = mantissa * std::pow(10.0, power);
            // Half a part in a million of slack: the view's own ends are often such values.
            if (tick >= lower * (1 - 5e-7) && tick <= upper * (1 + 5e-7))
                ticks.push_back(tick);
        }
    return ticks;
}

// Even steps of 1, 2 or 5 times a power of ten, about `wanted` + 1 of them; a finer step where
// the coarse one leaves fewer than `wanted` in view (14.8 to 18.9 in steps of 5 holds 15 alone).
std::vector<double> linearTicks(double lower, double upper, int wanted)
{
    const double rough = (upper - lower) / wanted;
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    int chosen = 0;
    const std::array<double, 4> steps{power, 2 * power, 5 * power, 10 * power};
    while (chosen < 3 && steps[std::size_t(chosen)] < rough)
        ++chosen;
    std::vector<double> ticks;
    for (int at = chosen; at >= 0; --at) {
        const double step = steps[std::size_t(at)];
        ticks.clear();
        for (double n = std::ceil(lower / step); n * step <= upper * (1 + 1e-12); ++n)
            ticks.push_back(n * step);
        if (int(ticks.size()) >= wanted)
            break;
    }
    return ticks;
}

} // namespace

std::vector<double> logAxisTicks(double lower, double upper, int wanted)
{
    if (!(lower > 0) || !(upper > lower) || !std::isfinite(upper))
        return {};
    static constexpr std::array<double, 1> kDecades{1};
    static constexpr std::array<double, 3> kOneTwoFive{1, 2, 5};
    static constexpr std::array<double, 9> kEvery{1, 2, 3, 4, 5, 6, 7, 8, 9};
    for (const std::span<const double> mantissas :
         {std::span<const double>(kDecades), std::span<const double>(kOneTwoFive), std::span<const double>(kEvery)}) {
        auto ticks = mantissaTicks(lower, upper, mantissas);
        if (int(ticks.size()) >= wanted)
            return ticks;
    }
    return linearTicks(lower, upper, wanted);
}

} // namespace morvane

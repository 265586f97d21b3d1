#include "conversion/meltpeaks.h"

#include "common/text.h"
#include "conversion/dataline.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <numeric>
#include <unordered_map>

namespace morvane {

namespace {

struct Point {
    double temperature;
    double reading;
};

// The points by rising temperature, the first of each temperature, without the settling degrees.
std::vector<Point> orderedPoints(std::span<const double> temperatures, std::span<const double> readings,
                                 double settleDegrees)
{
    std::vector<Point> points;
    const std::size_t n = std::min(temperatures.size(), readings.size());
    points.reserve(n);
    for (std::size_t k = 0; k < n; ++k)
        if (std::isfinite(temperatures[k]) && std::isfinite(readings[k]))
            points.push_back({temperatures[k], readings[k]});
    // Stable: of equal temperatures the one read first stays in front and is the one kept.
    std::stable_sort(points.begin(), points.end(),
                     [](const Point& a, const Point& b) { return a.temperature < b.temperature; });
    points.erase(std::unique(points.begin(), points.end(),
                             [](const Point& a, const Point& b) { return a.temperature == b.temperature; }),
                 points.end());
    if (points.empty())
        return points;
    const double low = points.front().temperature + settleDegrees;
    const double high = points.back().temperature - settleDegrees;
    std::erase_if(points, [&](const Point& p) { return p.temperature < low || p.temperature > high; });
    return points;
}

double median(std::vector<double> values)
{
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

// The scatter of one reading, from each reading's deviation from the line through its neighbours
// (which a melt's smooth bends hardly move), and never below what the readings' resolution hides.
double readingNoise(const std::vector<Point>& points)
{
    std::vector<double> residuals;
    double step = INFINITY;
    for (std::size_t i = 1; i + 1 < points.size(); ++i) {
        const Point& a = points[i - 1];
        const Point& b = points[i];
        const Point& c = points[i + 1];
        const double share = (b.temperature - a.temperature) / (c.temperature - a.temperature);
        residuals.push_back(b.reading - (a.reading + share * (c.reading - a.reading)));
    }
    for (std::size_t i = 1; i < points.size(); ++i)
        if (const double d = std::abs(points[i].reading - points[i - 1].reading); d > 0)
            step = std::min(step, d);
    // The mean of the smaller 80% of the deviations from the median: robust against the few large
    // ones where a product melts, and, unlike their median, not stuck to the steps of readings
    // written with two decimals. 0.5586 is that mean for a standard normal scatter.
    const double centre = median(residuals);
    for (double& r : residuals)
        r = std::abs(r - centre);
    std::sort(residuals.begin(), residuals.end());
    const std::size_t kept = std::max<std::size_t>(1, residuals.size() * 4 / 5);
    const double trimmedMean =
        std::accumulate(residuals.begin(), residuals.begin() + static_cast<std::ptrdiff_t>(kept), 0.0) /
        static_cast<double>(kept);
    // A residual against two neighbours carries about 1.5 times a reading's variance.
    const double scatter = trimmedMean / 0.5586 / std::sqrt(1.5);
    const double resolution = std::isfinite(step) ? step / std::sqrt(12.0) : 0.0;
    return std::max(scatter, resolution);
}

// -dF/dT at every point: minus the slope of the least-squares line over the point's window. Also
// gives each window's spread of temperatures (sum of squares), which scales the slope's noise.
void fallPerDegree(const std::vector<Point>& points, double halfWindow, std::size_t minSideReadings,
                   std::vector<double>& derivative, std::vector<double>& spread)
{
    const std::size_t n = points.size();
    derivative.assign(n, 0.0);
    spread.assign(n, 0.0);
    std::size_t low = 0;
    std::size_t high = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double t = points[i].temperature;
        while (points[low].temperature < t - halfWindow)
            ++low;
        while (high + 1 < n && points[high + 1].temperature <= t + halfWindow)
            ++high;
        const std::size_t first = std::min(low, i >= minSideReadings ? i - minSideReadings : 0);
        const std::size_t last = std::max(high, std::min(n - 1, i + minSideReadings));
        const double count = static_cast<double>(last - first + 1);
        double meanT = 0;
        double meanF = 0;
        for (std::size_t k = first; k <= last; ++k) {
            meanT += points[k].temperature;
            meanF += points[k].reading;
        }
        meanT /= count;
        meanF /= count;
        double sxx = 0;
        double sxy = 0;
        for (std::size_t k = first; k <= last; ++k) {
            const double dt = points[k].temperature - meanT;
            sxx += dt * dt;
            sxy += dt * (points[k].reading - meanF);
        }
        derivative[i] = sxx > 0 ? -sxy / sxx : 0.0;
        spread[i] = sxx;
    }
}

// How far the local maximum at `top` rises above the higher of the lowest points on either side
// before the curve climbs above it (or ends).
double prominence(const std::vector<double>& d, std::size_t top)
{
    double leftLow = d[top];
    for (std::size_t k = top; k > 0 && d[k - 1] <= d[top]; --k)
        leftLow = std::min(leftLow, d[k - 1]);
    double rightLow = d[top];
    for (std::size_t k = top + 1; k < d.size() && d[k] <= d[top]; ++k)
        rightLow = std::min(rightLow, d[k]);
    return d[top] - std::max(leftLow, rightLow);
}

// The width of the peak at `top` where it has fallen by half its prominence: twice that of its
// steeper side, as a small peak on the dye's sloping fall keeps only that side clean.
double peakWidth(const std::vector<double>& d, const std::vector<Point>& points, std::size_t top, double height)
{
    const double half = d[top] - height / 2;
    std::size_t left = top;
    while (left > 0 && d[left - 1] > half)
        --left;
    std::size_t right = top;
    while (right + 1 < d.size() && d[right + 1] > half)
        ++right;
    const double t = points[top].temperature;
    return 2 * std::min(t - points[left].temperature, points[right].temperature - t);
}

// The top of the parabola through three points, kept between the outer two.
double parabolaTop(const Point& a, const Point& b, const Point& c, double ya, double yb, double yc)
{
    const double left = (yb - ya) / (b.temperature - a.temperature);
    const double right = (yc - yb) / (c.temperature - b.temperature);
    const double curvature = (right - left) / (c.temperature - a.temperature);
    if (!(curvature < 0))
        return b.temperature;
    const double top = (a.temperature + b.temperature) / 2 - left / (2 * curvature);
    return std::clamp(top, a.temperature, c.temperature);
}

// -dF/dT of `points` with slopes over `halfWindow` degrees either side, and the noise of it.
double derivativeAndNoise(const std::vector<Point>& points, double halfWindow, const MeltPeakSettings& settings,
                          std::vector<double>& derivative)
{
    std::vector<double> spread;
    fallPerDegree(points, halfWindow, settings.minSideReadings, derivative, spread);
    return readingNoise(points) / std::sqrt(median(spread));
}

// The local maxima of `d` that stand out by `noiseFactor` times `noise` and are at most
// `maxWidth` degrees wide, highest first, without those below the share of the highest.
std::vector<MeltPeak> peaksOf(const std::vector<Point>& points, const std::vector<double>& d, double noise,
                              double noiseFactor, double maxWidth, double minShare)
{
    std::vector<MeltPeak> peaks;
    if (!(noise > 0)) // readings that never change
        return peaks;
    for (std::size_t i = 1; i + 1 < d.size(); ++i) {
        if (!(d[i] > d[i - 1] && d[i] >= d[i + 1] && d[i] > 0))
            continue;
        const double height = prominence(d, i);
        if (height >= noiseFactor * noise && peakWidth(d, points, i, height) <= maxWidth)
            peaks.push_back({parabolaTop(points[i - 1], points[i], points[i + 1], d[i - 1], d[i], d[i + 1]), height});
    }
    std::stable_sort(peaks.begin(), peaks.end(),
                     [](const MeltPeak& a, const MeltPeak& b) { return a.height > b.height; });
    if (!peaks.empty()) {
        const double least = minShare * peaks.front().height;
        std::erase_if(peaks, [&](const MeltPeak& p) { return p.height < least; });
    }
    return peaks;
}

} // namespace

MeltAnalysis analyseMelt(std::span<const double> temperatures, std::span<const double> readings,
                         const MeltPeakSettings& settings)
{
    MeltAnalysis result;
    const std::vector<Point> points = orderedPoints(temperatures, readings, settings.settleDegrees);
    if (points.size() < std::max<std::size_t>(settings.minReadings, 3))
        return result;
    result.temperatures.reserve(points.size());
    for (const Point& p : points)
        result.temperatures.push_back(p.temperature);

    const double noise = derivativeAndNoise(points, settings.halfWindow, settings, result.derivative);
    result.peaks = peaksOf(points, result.derivative, noise, settings.noiseFactor, INFINITY, settings.minShare);
    if (!result.peaks.empty() || !(noise > 0))
        return result;
    std::vector<double> wide;
    const double wideNoise = derivativeAndNoise(points, settings.wideHalfWindow, settings, wide);
    result.peaks = peaksOf(points, wide, wideNoise, settings.wideNoiseFactor, settings.wideMaxWidth, settings.minShare);
    if (!result.peaks.empty())
        result.derivative = std::move(wide);
    return result;
}

MeltAnalysis analyseMeltWell(const MeltCurves& curves, const MeltWell& well, std::size_t channel,
                             const MeltPeakSettings& settings)
{
    const std::size_t channels = curves.channels.size();
    std::vector<double> temperatures;
    std::vector<double> readings;
    if (channel < channels) {
        temperatures.reserve(well.temperatures.size());
        readings.reserve(well.temperatures.size());
        for (std::size_t point = 0; point < well.temperatures.size(); ++point) {
            const auto t = parseTemperature(well.temperatures[point]);
            const auto f = parseTemperature(well.readings[point * channels + channel]);
            if (t && f) {
                temperatures.push_back(*t);
                readings.push_back(*f);
            }
        }
    }
    return analyseMelt(temperatures, readings, settings);
}

std::vector<WellMelt> analyseMeltCurves(const MeltCurves& curves, std::size_t channel, const MeltPeakSettings& settings)
{
    std::vector<WellMelt> wells;
    wells.reserve(curves.wells.size());
    for (const MeltWell& well : curves.wells)
        wells.push_back({well.name, analyseMeltWell(curves, well, channel, settings)});
    return wells;
}

std::vector<Curve> meltPeakCurves(const Grid& table, const std::vector<WellMelt>& melt,
                                  const std::vector<std::string>& wells, const SampleColours* colours)
{
    std::unordered_map<std::string, const MeltAnalysis*> byWell;
    for (const WellMelt& well : melt)
        byWell.try_emplace(foldAscii(well.well), &well.analysis);
    std::vector<Curve> curves = curvesOf(table, wells, colours);
    std::erase_if(curves, [&](Curve& curve) {
        const auto found = byWell.find(foldAscii(curve.well));
        if (found == byWell.end() || found->second->temperatures.empty())
            return true;
        curve.cycles = found->second->temperatures;
        curve.readings = found->second->derivative;
        curve.peaks.clear();
        for (const MeltPeak& peak : found->second->peaks)
            curve.peaks.push_back(peak.temperature);
        return false;
    });
    return curves;
}

std::string meltTemperatureText(double celsius, int decimals)
{
    char buffer[32];
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, celsius, std::chars_format::fixed, decimals);
    return written.ec == std::errc() ? std::string(buffer, written.ptr) : std::string();
}

std::string meltPeaksText(const std::vector<MeltPeak>& peaks)
{
    std::string text;
    for (const MeltPeak& peak : peaks) {
        if (!text.empty())
            text += ';';
        text += meltTemperatureText(peak.temperature);
    }
    return text;
}

} // namespace morvane

#include "layout/controlmelt.h"

#include "common/text.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace morvane {

namespace {

// How a control's sample type reads in a note.
std::string controlLabel(std::string_view sampleType)
{
    if (sampleType == "ntc")
        return "NTC";
    if (sampleType == "nrt")
        return "-RT";
    std::string label(sampleType);
    for (char& c : label)
        c = upperAscii(c);
    return label;
}

// Each well's layout entry for `channel`, by its folded name.
std::map<std::string, const LayoutEntry*> entriesByWell(const PlateLayout& layout, std::string_view channel)
{
    std::map<std::string, const LayoutEntry*> byWell;
    for (const LayoutEntry& entry : layout.entries)
        if (entry.channel.empty() || entry.channel == channel)
            byWell.try_emplace(foldAscii(entry.well()),
                               entry.channel.empty() ? layout.find(entry.row, entry.col, channel) : &entry);
    return byWell;
}

// The median main peak of each target's wells that are not negative controls.
std::map<std::string, double> productTemperatures(const std::map<std::string, const LayoutEntry*>& entries,
                                                  const std::vector<WellMelt>& melt)
{
    std::map<std::string, std::vector<double>> peaks;
    for (const WellMelt& well : melt) {
        const auto found = entries.find(foldAscii(well.well));
        if (found != entries.end() && !isNegativeControl(found->second->sampleType) && !well.analysis.peaks.empty())
            peaks[found->second->target].push_back(well.analysis.peaks.front().temperature);
    }
    std::map<std::string, double> products;
    for (auto& [target, tms] : peaks) {
        const auto middle = tms.begin() + static_cast<std::ptrdiff_t>(tms.size() / 2);
        std::nth_element(tms.begin(), middle, tms.end());
        products[target] = *middle;
    }
    return products;
}

std::string meaning(double peak, const double* product, const ControlMeltSettings& settings, std::string_view type)
{
    const std::string tm = meltTemperatureText(peak, 1) + " °C";
    if (product && std::abs(peak - *product) <= settings.productTolerance)
        return "product at " + tm + (type == "nrt" ? ", likely genomic DNA" : ", likely contamination");
    if (product && peak <= *product - settings.dimerGap)
        return "peak at " + tm + ", likely primer dimers";
    return "peak at " + tm;
}

} // namespace

bool isNegativeControl(std::string_view sampleType)
{
    return sampleType == "ntc" || sampleType == "nrt" || sampleType == "nac" || sampleType == "ntp";
}

std::vector<ControlMelt> controlMeltPeaks(const PlateLayout& layout, std::string_view channel,
                                          const std::vector<WellMelt>& melt, const ControlMeltSettings& settings)
{
    const auto entries = entriesByWell(layout, channel);
    const auto products = productTemperatures(entries, melt);
    std::vector<ControlMelt> controls;
    for (const WellMelt& well : melt) {
        const auto found = entries.find(foldAscii(well.well));
        if (found == entries.end() || !isNegativeControl(found->second->sampleType) || well.analysis.peaks.empty())
            continue;
        const LayoutEntry& entry = *found->second;
        const auto product = products.find(entry.target);
        controls.push_back({well.well, controlLabel(entry.sampleType) + ": " +
                                           meaning(well.analysis.peaks.front().temperature,
                                                   product == products.end() ? nullptr : &product->second, settings,
                                                   entry.sampleType)});
    }
    return controls;
}

} // namespace morvane

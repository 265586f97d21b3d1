#pragma once
// What a melt peak in a negative control means. A no-template or no-RT well should melt nothing;
// a peak well below its target's product is most likely primer dimers, one at the product's
// temperature the product itself (genomic DNA in a -RT well, contamination in the others).

#include "conversion/meltpeaks.h"
#include "layout/platelayout.h"

#include <string>
#include <string_view>
#include <vector>

namespace morvane {

struct ControlMeltSettings {
    // A peak within this many degrees of the target's product is the product.
    double productTolerance = 1.5;
    // A peak at least this many degrees below it is taken for primer dimers.
    double dimerGap = 3.0;
};

struct ControlMelt {
    std::string well;
    std::string note; // "NTC: peak at 70.9 °C, likely primer dimers"
};

// The sample types of negative controls, as RDML names them: no template, no amplification, no
// target present, no reverse transcription.
bool isNegativeControl(std::string_view sampleType);

// The negative controls of `layout` (fitted to the plate) that have a melt peak in `channel`, in
// the order of `melt`, each with what its main peak means. A target's product is the median main
// peak of its other wells; a target without one leaves its controls' peaks unexplained.
std::vector<ControlMelt> controlMeltPeaks(const PlateLayout& layout, std::string_view channel,
                                          const std::vector<WellMelt>& melt, const ControlMeltSettings& settings = {});

} // namespace morvane

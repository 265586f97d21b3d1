#pragma once
// RDES, the table form of RDML: tab-separated UTF-8 with LF.

#include "common/expected.h"
#include "rdml/rdml.h"

#include <string>

namespace morvane {

// The RDES amplification table: header Well, Sample, Sample Type, Target, Target Type, Dye, Cq
// and the cycles, one row per well and channel, Cq empty. Melt points are not part of it (RDES
// keeps them in a second table).
Expected<std::string> rdesTable(const RdmlContent& content, RdmlSummary* summary = nullptr);

} // namespace morvane

#pragma once
// RDES, the table form of RDML: tab-separated UTF-8 with LF.

#include "common/expected.h"
#include "rdml/rdml.h"

#include <filesystem>
#include <string>

namespace morvane {

// The RDES amplification table: header Well, Sample, Sample Type, Target, Target Type, Dye, Cq
// and the cycles, one row per well and channel, Cq empty. Melt points are not part of it (RDES
// keeps them in a second table).
Expected<std::string> rdesTable(const RdmlContent& content, RdmlSummary* summary = nullptr);

// The RDES melting table of the content's melt curve: header Well, Sample, Sample Type, Target,
// Target Type, Dye, Tm and every temperature any well was read at, rising; one row per well and
// channel with melt readings, Tm the melt peaks (highest first, joined by ';'), a reading under
// its temperature and an empty cell where the well has none. Only the header without a melt curve.
Expected<std::string> rdesMeltTable(const RdmlContent& content, RdmlSummary* summary = nullptr);

// Where the melting table of the amplification table `table` goes: "run.tsv" -> "run_melting.tsv".
std::filesystem::path meltingTablePath(const std::filesystem::path& table);

} // namespace morvane

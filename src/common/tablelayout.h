#pragma once
// The columns of the well table and of the export table, one row per well below a header row:
// the well name, the sample name, then the reading of cycle k in column k + 1.

namespace morvane {

inline constexpr int kWellColumn = 0;
inline constexpr int kSampleColumn = 1;
inline constexpr int kFirstReadingColumn = 2;

} // namespace morvane

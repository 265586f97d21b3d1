#pragma once
// What reading a layout and editing one share: the columns of a layout table and the checks of a
// row's codes and numbers. Internal to the layout library.

#include "common/expected.h"
#include "layout/platelayout.h"

#include <cstddef>
#include <iterator>
#include <string>
#include <string_view>

namespace morvane::layout {

enum Column { ColWell, ColSample, ColSampleType, ColTarget, ColTargetType, ColDye, ColQuantity, ColUnit, ColChannel };
constexpr std::string_view kColumnNames[] = {"Well", "Sample",   "Sample Type",   "Target", "Target Type",
                                             "Dye",  "Quantity", "Quantity Unit", "Channel"};
constexpr std::size_t kColumnCount = std::size(kColumnNames);

// "PLACE: message", as every error of a layout reads.
Error at(const std::string& place, const std::string& message);

// The value of a quantity as the entries keep it (text with a point).
double numberValue(const std::string& pointed);

// Sets the checked codes and numbers of an entry from the cells of a row; an error names the
// entry's place and the value.
Status readFields(LayoutEntry& entry, const std::string (&cells)[kColumnCount]);

} // namespace morvane::layout

#pragma once
// The plate size, recognised from the raw export's last line: a file that covers a whole plate
// ends with a reading of the plate's last well, "H12" (96 wells) or "P24" (384 wells).

#include "common/expected.h"
#include "conversion/rawtext.h"
#include "plate/plate.h"

#include <optional>

namespace morvane {

// The plate, or none when it is not recognised (a partly filled plate, or the last well written
// otherwise, such as "h12"). The comparison is exact. A text without lines, or a last line
// without a field, is an error.
Expected<std::optional<PlateFormat>> recognisePlateSize(const RawText& text);

} // namespace morvane

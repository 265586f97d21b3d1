#pragma once
// The plate size, recognised from the raw export's last line: a file that covers a whole plate
// ends with a reading of the plate's last well, "H12" (96 wells) or "P24" (384 wells).

#include "common/expected.h"
#include "conversion/rawtext.h"

namespace morvane {

// The plate size index of the window: 0 = 96 wells, 1 = 384 wells, -1 = not recognised (a
// partly filled plate, or the last well written otherwise, such as "h12"). The comparison is
// exact. A text without lines, or a last line without a field, is an error.
Expected<int> recognisePlateSize(const RawText& text);

} // namespace morvane

// Any bytes taken as the workbook to export into (see exportcheck.h). Mutations mostly break the
// archive or a checksum; fuzz_xlsxparts reaches the XML behind them.

#include "exportcheck.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::exportAndCheck(std::string(reinterpret_cast<const char*>(data), size));
    return 0;
}

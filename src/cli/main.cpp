// morvane-convert: see cli/convertcli.h.

#include "cli/convertcli.h"
#include "common/platform.h"

#include <cstdio>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
#if defined(__GLIBC__)
    // A short-lived process: keep freed memory for the next file instead of returning it to the
    // system and faulting it in again (the file, the tables and the workbook are megabytes each).
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
#endif
    std::ios::sync_with_stdio(false);
    const std::vector<std::string> args(argv + 1, argv + argc);
    const bool errIsTerminal = morvane::platform::isTerminal(stderr);
    int status = morvane::runConvert(args, std::cout, std::cerr, errIsTerminal);
    std::cout.flush();
    if (!std::cout) {
        // A full disk or a closed pipe: the table did not arrive.
        std::cerr << morvane::kConvertProgram << ": cannot write to standard output\n";
        if (status == morvane::kExitOk)
            status = morvane::kExitFileFailed;
    }
    return status;
}

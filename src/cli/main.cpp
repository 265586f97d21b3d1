// morvane-convert: see cli/convertcli.h.

#include "cli/convertcli.h"
#include "common/platform.h"

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
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

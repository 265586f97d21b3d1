// morvane-convert: see cli/convertcli.h.

#include "cli/convertcli.h"

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <io.h>
#define morvane_isatty(fd) _isatty(fd)
#define morvane_fileno(f) _fileno(f)
#else
#include <unistd.h>
#define morvane_isatty(fd) isatty(fd)
#define morvane_fileno(f) fileno(f)
#endif

int main(int argc, char** argv)
{
    std::ios::sync_with_stdio(false);
    const std::vector<std::string> args(argv + 1, argv + argc);
    const bool errIsTerminal = morvane_isatty(morvane_fileno(stderr)) != 0;
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

// morvane-convert: see cli/convertcli.h.

#include "cli/convertcli.h"
#include "common/platform.h"

#include <cstdio>
#if defined(__GLIBC__)
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#endif
#include <iostream>
#include <string>
#include <vector>

#if defined(__GLIBC__)
namespace {

// The heap grown by 32 MiB at once, and that memory backed by 2 MiB pages where Linux has them:
// the tables and the workbook of a file are thousands of small pages otherwise, each a fault.
// Only whole 2 MiB pages within the heap can be huge: the heap up to the first boundary is held
// by a block never used, which costs no memory while nothing writes to it.
void useHugePagesForHeap()
{
    constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;
    // Kept for the life of the process (volatile: a block nobody reads would not be allocated).
    [[maybe_unused]] static void* volatile beforeBoundary = nullptr;
    mallopt(M_TOP_PAD, 32 << 20);
    void* grown = std::malloc(std::size_t{1} << 20);
    if (!grown)
        return;
    char* const start = static_cast<char*>(grown);
    char* const from = start + ((kHugePage - reinterpret_cast<std::uintptr_t>(start) % kHugePage) % kHugePage);
    char* const top = static_cast<char*>(sbrk(0));
    char* const to = top - reinterpret_cast<std::uintptr_t>(top) % kHugePage;
    const bool huge = to > from && madvise(from, static_cast<std::size_t>(to - from), MADV_HUGEPAGE) == 0;
    const auto beforeFrom = static_cast<std::size_t>(from - start);
    std::free(grown);
    // The block freed is the top of the heap again: one as long up to the boundary (less the
    // bookkeeping in front of the next block) puts what comes after on huge pages. Without them
    // the small pages serve as before.
    if (huge && beforeFrom > 64)
        beforeBoundary = std::malloc(beforeFrom - 32);
}

} // namespace
#endif

int main(int argc, char** argv)
{
#if defined(__GLIBC__)
    // A short-lived process: keep freed memory for the next file instead of returning it to the
    // system and faulting it in again (the file, the tables and the workbook are megabytes each).
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    useHugePagesForHeap();
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

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
    const auto start = reinterpret_cast<std::uintptr_t>(grown);
    const auto from = (start + kHugePage - 1) & ~(kHugePage - 1);
    const auto to = reinterpret_cast<std::uintptr_t>(sbrk(0)) & ~(kHugePage - 1);
    std::free(grown);
    if (to <= from || madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE) != 0)
        return; // the small pages serve as before
    // The block freed is the top of the heap again: one as long up to the boundary (less the
    // bookkeeping in front of the next block) puts what comes after on huge pages.
    if (from - start > 64)
        beforeBoundary = std::malloc(from - start - 32);
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

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
// A 2 MiB stretch is given a huge page only if nothing in it was written before: the heap is
// grown by a block that ends just below a 2 MiB boundary and is kept unused (it costs no memory
// while nothing writes to it), so that everything above the boundary comes after the request.
void useHugePagesForHeap()
{
    constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;
    constexpr std::uintptr_t kRoom = std::uintptr_t{256} << 10; // more than the heap has free at start
    constexpr std::uintptr_t kSmallPage = 4096;
    mallopt(M_TOP_PAD, 32 << 20);
    char* const end = static_cast<char*>(sbrk(0));
    std::uintptr_t toBoundary = (kHugePage - reinterpret_cast<std::uintptr_t>(end) % kHugePage) % kHugePage;
    if (toBoundary < kRoom)
        toBoundary += kHugePage;
    char* const boundary = end + toBoundary;
    // Kept for the life of the process (volatile: a block nobody reads would not be allocated).
    [[maybe_unused]] static void* volatile belowBoundary = std::malloc(toBoundary - kSmallPage);
    char* const top = static_cast<char*>(sbrk(0));
    // The heap did not grow from where it ended (another allocator, or memory it had free): the
    // small pages serve as before.
    if (top < boundary + kHugePage)
        return;
    madvise(boundary, static_cast<std::size_t>(top - boundary) / kHugePage * kHugePage, MADV_HUGEPAGE);
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
    const std::vector<std::string> args = morvane::platform::arguments(argc, argv);
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

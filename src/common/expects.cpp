#include "common/expects.h"

#include <cstdio>
#include <cstdlib>

namespace morvane::detail {

void expectsFailed(const char* condition, const char* file, int line)
{
    std::fprintf(stderr, "morvane: precondition failed: %s (%s:%d)\n", condition, file, line);
    std::fflush(stderr);
    std::abort();
}

} // namespace morvane::detail

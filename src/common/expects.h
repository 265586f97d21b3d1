#pragma once
// Checked preconditions. A broken one is a fault of the calling code, never of the data: data
// errors come back as an Error (expected.h), and whatever index or value is computed from a
// file is checked by the code that computed it. So a broken precondition is not something to
// recover from; it stops the program with the condition and its place.
//
// Unlike assert it is on in every build type: the program ships as an optimised build with
// NDEBUG, and there a bad cell index would otherwise read or write outside a table.

namespace morvane::detail {
[[noreturn]] void expectsFailed(const char* condition, const char* file, int line);
} // namespace morvane::detail

#define MORVANE_EXPECTS(condition)                                                                                     \
    do {                                                                                                               \
        if (!(condition)) [[unlikely]]                                                                                 \
            ::morvane::detail::expectsFailed(#condition, __FILE__, __LINE__);                                          \
    } while (false)

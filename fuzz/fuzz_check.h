#pragma once

#include <cstdio>
#include <cstdlib>
#include <string_view>

// An invariant of a fuzz target: when it does not hold, the target prints what was
// expected and aborts, so that libFuzzer keeps the input as a crash.
#define FUZZ_CHECK(condition, what)                                                      \
    do {                                                                                 \
        if (!(condition)) ::fuzzing::fail(#condition, what, __FILE__, __LINE__);        \
    } while (false)

namespace fuzzing {

[[noreturn]] inline void fail(const char* condition, std::string_view what, const char* file,
                              int line) {
    std::fprintf(stderr, "%s:%d: invariant broken: %s\n  %.*s\n", file, line, condition,
                 static_cast<int>(what.size()), what.data());
    std::abort();
}

}  // namespace fuzzing

#pragma once

#include <cstdio>
#include <cstdlib>

// A broken property stops the run in every build (assert() would vanish with NDEBUG); under
// libFuzzer the abort saves the input as a crash.
#define FUZZ_CHECK(condition)                                                          \
    do {                                                                                \
        if (!(condition)) {                                                             \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                               \
        }                                                                               \
    } while (0)

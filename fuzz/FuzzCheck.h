#pragma once

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <string_view>

// A broken property stops the run in every build (assert() would vanish with NDEBUG); under
// libFuzzer the abort saves the input as a crash.
#define FUZZ_CHECK(condition)                                                                  \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                      \
        }                                                                                      \
    } while (0)

// A parser of one message over "the bytes received so far" must not depend on how the bytes
// arrive: every strict prefix of a message it reads asks for more, and the message alone is
// read with the same length. `parse(bytes, used)` returns the parser's outcome; `needMore`
// and `done` are its values for those outcomes. Returns the outcome for all of `bytes`.
template <typename Outcome, typename Parse>
Outcome CheckPrefixes(std::string_view bytes, Outcome needMore, Outcome done, Parse parse,
                      size_t& used) {
    used = 0;
    const Outcome outcome = parse(bytes, used);
    if (outcome != done) return outcome;
    FUZZ_CHECK(used > 0 && used <= bytes.size());
    for (size_t length = 0; length < used; ++length) {
        size_t ignored = 0;
        FUZZ_CHECK(parse(bytes.substr(0, length), ignored) == needMore);
    }
    size_t again = 0;
    FUZZ_CHECK(parse(bytes.substr(0, used), again) == done && again == used);
    return outcome;
}

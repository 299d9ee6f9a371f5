#pragma once
// A failed property in a fuzz target: say which, then abort so that libFuzzer
// keeps the input as a crash reproducer.
#include <cstdio>
#include <cstdlib>

#define FUZZ_REQUIRE(condition)                                                                   \
    do {                                                                                          \
        if (!(condition)) {                                                                       \
            std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                         \
        }                                                                                         \
    } while (0)

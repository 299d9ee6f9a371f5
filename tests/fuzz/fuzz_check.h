#pragma once
// A failed property in a fuzz target: say which, then abort so that libFuzzer keeps the input as a crash reproducer.
#include <cstdio>
#include <cstdlib>

#define FUZZ_REQUIRE(condition) \
    ((condition) ? void() : (std::fprintf(stderr, "%s:%d: failed: %s\n", __FILE__, __LINE__, #condition), std::abort()))

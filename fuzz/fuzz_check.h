#pragma once

#include <cstdio>
#include <cstdlib>

// A failed check in a fuzz target: print where and what, then abort, which libFuzzer
// reports as a crash and saves the input for. Checks stay on in every build type.
#define FUZZ_CHECK(condition)                                                            \
  do {                                                                                   \
    if (!(condition)) {                                                                  \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                      \
    }                                                                                    \
  } while (false)

// SPDX-License-Identifier: Apache-2.0
// The fuzz targets' one assertion: a broken invariant prints what broke and aborts, so that
// libFuzzer keeps the input that broke it. Unlike assert() it stays on in optimised builds.
#pragma once

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                                                \
  do {                                                                                       \
    if (!(condition)) {                                                                      \
      std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                          \
    }                                                                                        \
  } while (false)

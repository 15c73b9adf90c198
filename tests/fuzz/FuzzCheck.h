// What the fuzz targets share: a check that stops the run with a message libFuzzer keeps.
#pragma once

#include <cstdio>
#include <cstdlib>

// A broken invariant is a finding like a crash: abort, so that libFuzzer saves the input.
inline void Check(bool Holds, const char* What) {
  if (Holds) return;
  std::fprintf(stderr, "broken invariant: %s\n", What);
  std::abort();
}

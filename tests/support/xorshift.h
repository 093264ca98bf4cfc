// xorshift.h - a tiny, fixed pseudo-random source for test and benchmark
// data, so generated inputs are the same on every machine and every run.
#pragma once

#include <cstdint>

struct XorShift32 {
  uint32_t state;
  uint32_t Next() {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
  }
  uint32_t Below(uint32_t n) { return Next() % n; }
};

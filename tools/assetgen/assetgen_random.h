// assetgen_random - the one noise source of the sound and music parts: a
// 32-bit xorshift from a fixed seed, so every build makes the same bytes.
//
// Header-only. Depends on: nothing.
#pragma once

#include <cstdint>

class AssetGenRandom {
 public:
  explicit AssetGenRandom(uint32_t seed) : state(seed) {}
  uint32_t Next() {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
  }
  double Uniform() { return Next() / 4294967296.0; }  // 0 .. 1
  double Signed() { return Uniform() * 2 - 1; }       // -1 .. 1

 private:
  uint32_t state;  // never 0: a zero state stays zero
};

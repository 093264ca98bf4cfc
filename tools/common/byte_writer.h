// byte_writer.h - little-endian values appended to a byte vector: the one
// set the file writers of the tools and the tests' fixture builders share.
//
// Header-only. Depends on: nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace bytewriter {

using Bytes = std::vector<uint8_t>;

inline void Put8(Bytes& out, uint32_t v) { out.push_back(uint8_t(v)); }
inline void Put16(Bytes& out, uint32_t v) {
  Put8(out, v);
  Put8(out, v >> 8);
}
inline void Put32(Bytes& out, uint32_t v) {
  Put16(out, v);
  Put16(out, v >> 16);
}
// Overwrites four bytes at an offset already written (a size known later).
inline void Poke32(Bytes& out, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + i] = uint8_t(v >> (8 * i));
}

}  // namespace bytewriter

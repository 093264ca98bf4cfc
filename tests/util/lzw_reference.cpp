// lzw_reference.cpp - the plain dictionary coder: entries are (offset, length)
// references into the input and every extension searches them in index order.
#include "tests/util/lzw_reference.h"

#include <cstring>
#include <vector>

namespace {

class ReferenceCoder {
 public:
  ReferenceCoder(uint8_t* out, uint32_t capacity, const uint8_t* in, uint32_t size)
      : out(out), capacity(capacity), in(in), size(size), offsets(4096), lengths(4096) {}

  int Run(uint32_t& blockSize, LZWREFERENCE_STATS& stats) {
    // Step 2: S is the first byte.
    uint32_t start = 0, length = 1, code = in[0], next = 1;
    for (;;) {
      // Step 3: extend S while S plus the next byte has a code.
      bool ended = false;
      for (;;) {
        if (next == size) {
          ended = true;
          break;
        }
        if (length == 191) {
          ++stats.splits;
          break;
        }
        const int32_t found = CodeOf(start, length + 1);
        if (found < 0) break;
        code = uint32_t(found);
        ++length;
        ++next;
      }
      if (ended) break;
      // Step 4: add S plus the failing byte, emit S, reset or widen, give up
      // when the output does not stay below the input.
      if (count + 256 <= 4000) {
        offsets[count] = start;
        lengths[count] = length + 1;
        ++count;
      }
      if (!Emit(code)) return 0;
      ++stats.codes;
      if (count + 255 >= 4000) {
        count = 0;
        width = 9;
        limit = 512;
        ++stats.resets;
      }
      if (count + 255 >= limit) {
        limit *= 2;
        ++width;
      }
      if (pos + 6 >= size) return 0;
      // Step 5: S is the failing byte.
      start = next;
      length = 1;
      code = in[start];
      ++next;
    }
    // Step 6: emit the last S and pad the last byte with zeros.
    if (!Emit(code)) return 0;
    ++stats.codes;
    if (pending != 0 && !Put(uint8_t(bits << (8 - pending)))) return 0;
    std::memset(out, 0, 8);
    WriteLe32(out + 8, pos);
    WriteLe32(out + 12, size);
    blockSize = pos;
    return 1;
  }

 private:
  // A string of length 1 is its byte; a longer one needs an equal entry.
  int32_t CodeOf(uint32_t start, uint32_t length) const {
    if (length == 1) return in[start];
    for (uint32_t k = 0; k < count; ++k) {
      if (lengths[k] == length && std::memcmp(in + offsets[k], in + start, length) == 0) return int32_t(256 + k);
    }
    return -1;
  }

  bool Emit(uint32_t code) {
    for (uint32_t bit = width; bit-- > 0;) {
      bits = bits << 1 | (code >> bit & 1);
      if (++pending == 8) {
        if (!Put(uint8_t(bits))) return false;
        pending = 0;
        bits = 0;
      }
    }
    return true;
  }

  bool Put(uint8_t byte) {
    if (pos >= capacity) return false;
    out[pos++] = byte;
    return true;
  }

  static void WriteLe32(uint8_t* p, uint32_t value) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(value >> (8 * i));
  }

  uint8_t* out;
  uint32_t capacity;
  const uint8_t* in;
  uint32_t size;
  std::vector<uint32_t> offsets;
  std::vector<uint32_t> lengths;
  uint32_t count = 0;
  uint32_t width = 9;
  uint32_t limit = 512;
  uint32_t pos = 16;
  uint32_t bits = 0;
  uint32_t pending = 0;
};

}  // namespace

int LzwReference_Compress(void* dst, uint32_t& dstSize, const void* src, uint32_t srcSize, LZWREFERENCE_STATS* stats) {
  if (!dst || !src || srcSize == 0 || dstSize < 16) return 0;
  LZWREFERENCE_STATS local;
  ReferenceCoder coder(static_cast<uint8_t*>(dst), dstSize, static_cast<const uint8_t*>(src), srcSize);
  return coder.Run(dstSize, stats ? *stats : local);
}

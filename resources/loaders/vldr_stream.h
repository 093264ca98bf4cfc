// vldr_stream.h - what the model loaders share: handing items to a model
// callback in batches, saturating 64-bit results to the record's words, and
// colour channels from floats.
//
// Header-only (a template over the item maker). Depends on: the loader base,
// the model surface, the math module.
#pragma once

#include <cstdint>

#include "render/vsurf_3d.h"
#include "resources/loaders/vldr_base.h"
#include "util/vmod_math.h"

constexpr uint32_t VLDR_BATCHBYTES = 1024;  // largest batch handed to a callback
constexpr uint32_t VLDR_ITEMWORDS = 9;      // widest item: a joint's properties

using VLdrStreamCallback = int (V3DSurface::*)(VLDR_3DCALLBACKINFO*);

inline int32_t VLdr_Saturate(int64_t v) { return v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : int32_t(v); }

// A colour channel of 0.0 .. 1.0 (an IEEE single) to 0 .. 255, rounded.
inline uint32_t VLdr_FloatChannel(uint32_t floatbits) {
  constexpr int64_t one = 0x10000;
  int64_t v = ClassVMath::FloatToFixed(floatbits, 16);
  v = v < 0 ? 0 : v > one ? one : v;
  return uint32_t((v * 255 + one / 2) >> 16);
}

inline void VLdr_PutWord(uint8_t* at, uint32_t v) {
  for (int i = 0; i < 4; ++i) at[i] = uint8_t(v >> (8 * i));
}

// Hands `count` items of `words` little-endian words to callback, item i made
// by make(i, item), in batches of at most `batch` items (fewer when they
// would not fit VLDR_BATCHBYTES). `start`, a start field of the record, gets
// first + the index of each batch's first item, so every batch lands where it
// belongs whatever the model did with the one before. The first non-zero
// callback result ends the stream and is returned.
template <class Make>
int VLdr_StreamBatches(V3DSurface* surface, VLdrStreamCallback callback, VLDR_3DCALLBACKINFO& info, uint32_t& start,
                       uint32_t first, uint32_t count, uint32_t words, uint32_t batch, Make make) {
  if (words == 0 || words > VLDR_ITEMWORDS) return VLDR_CORRUPT;
  const uint32_t fitting = VLDR_BATCHBYTES / (words * 4);
  if (batch > fitting) batch = fitting;
  uint8_t buffer[VLDR_BATCHBYTES];
  uint32_t item[VLDR_ITEMWORDS];
  for (uint32_t done = 0; done < count;) {
    const uint32_t n = count - done < batch ? count - done : batch;
    for (uint32_t i = 0; i < n; ++i) {
      make(done + i, item);
      for (uint32_t w = 0; w < words; ++w) VLdr_PutWord(buffer + (i * words + w) * 4, item[w]);
    }
    info.data = buffer;
    info.length = n * words * 4;
    start = first + done;
    if (int result = (surface->*callback)(&info)) return result;
    done += n;
  }
  return VLDR_LOADED;
}

// vsurf_2d_pixel.h - native pixel access shared by the surface sources: the
// ordered dither thresholds, loads and stores of 1-, 2-, 3- and 4-byte pixels
// at any alignment, and a row walker that rewrites every pixel of a physical
// rectangle.
//
// Internal to render/; the loads go through memcpy so no pixel pointer is
// ever read as a wider type than the memory was written as.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace vsurf {

// Ordered dither thresholds: row = phase, bit i set = low bits i gain one step.
constexpr uint8_t DITHER4[4] = {0xC, 0x8, 0x6, 0x8};
constexpr uint8_t DITHER8[8] = {0xF0, 0xC8, 0xF0, 0xA4, 0xD8, 0x62, 0xF0, 0x8C};
constexpr uint16_t DITHER16[16] = {0xFB40, 0xEC90, 0xF720, 0xB8C4, 0xFF00, 0xCC98, 0xF360, 0x7C82,
                                   0xFB40, 0xE630, 0xDD88, 0xBA44, 0xF5A0, 0xEE10, 0xF9C0, 0xD628};

// One component kept to the bits of a field of (256 / step) levels, one step
// up where the threshold row says so; components at the top stay.
inline uint32_t DitherComponent(uint32_t c, uint32_t step, uint32_t limit, uint32_t row) {
  if (c >= limit) return c;
  uint32_t low = c & (step - 1);
  return (c - low) + (((row >> low) & 1) ? step : 0);
}

template <int Bytes>
inline uint32_t LoadPixel(const uint8_t* p) {
  if constexpr (Bytes == 1) {
    return *p;
  } else if constexpr (Bytes == 2) {
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
  } else if constexpr (Bytes == 3) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16);
  } else {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
  }
}

template <int Bytes>
inline void StorePixel(uint8_t* p, uint32_t v) {
  if constexpr (Bytes == 1) {
    *p = uint8_t(v);
  } else if constexpr (Bytes == 2) {
    uint16_t w = uint16_t(v);
    std::memcpy(p, &w, 2);
  } else if constexpr (Bytes == 3) {
    p[0] = uint8_t(v), p[1] = uint8_t(v >> 8), p[2] = uint8_t(v >> 16);
  } else {
    std::memcpy(p, &v, 4);
  }
}

inline uint32_t LoadPixel(const uint8_t* p, uint32_t bytes) {
  switch (bytes) {
    case 1: return LoadPixel<1>(p);
    case 2: return LoadPixel<2>(p);
    case 3: return LoadPixel<3>(p);
    default: return LoadPixel<4>(p);
  }
}

inline void StorePixel(uint8_t* p, uint32_t bytes, uint32_t v) {
  switch (bytes) {
    case 1: StorePixel<1>(p, v); break;
    case 2: StorePixel<2>(p, v); break;
    case 3: StorePixel<3>(p, v); break;
    default: StorePixel<4>(p, v); break;
  }
}

// Every pixel of width x height from first (rows rowbytes apart) becomes op(pixel).
template <int Bytes, typename Op>
void RewriteRows(uint8_t* first, size_t rowbytes, int32_t width, int32_t height, Op op) {
  for (int32_t y = 0; y < height; y++) {
    uint8_t* p = first + size_t(y) * rowbytes;
    for (int32_t x = 0; x < width; x++, p += Bytes) StorePixel<Bytes>(p, op(LoadPixel<Bytes>(p)));
  }
}

template <typename Op>
void RewriteRect(uint8_t* first, size_t rowbytes, uint32_t bytes, int32_t width, int32_t height, Op op) {
  switch (bytes) {
    case 1: RewriteRows<1>(first, rowbytes, width, height, op); break;
    case 2: RewriteRows<2>(first, rowbytes, width, height, op); break;
    case 3: RewriteRows<3>(first, rowbytes, width, height, op); break;
    default: RewriteRows<4>(first, rowbytes, width, height, op); break;
  }
}

}  // namespace vsurf

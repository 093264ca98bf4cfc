// vsurf_2d_scan.cpp - the scan-line tables of the polygon and rotate/scale
// paths: resetting a band of rows and scanning one polygon side into each
// row's span ends, optionally with interpolated values at those ends.
//
// Coordinates are 22.10 fixed point (1024 = one pixel). A side covers row r
// when the row's sample line (r + 1) * 1024 lies in (y_upper, y_lower]; where
// it crosses that line at x, column floor(x / 1024) is a candidate left end
// and the column before it a candidate right end, so a span holds the
// columns whose right edge lies inside the polygon. Every product is exact in
// 64 bits, only the rows of the last reset are written, and stored x values
// are clamped to -1 ... the table width so any 32-bit input fits the 16-bit
// tables. Depends on: render/vsurf_2d.h.
#include <cstdint>

#include "render/vsurf_2d.h"

namespace {

constexpr int64_t kOne = 1024;      // one pixel in 22.10
constexpr int kValuesPerPair = 2;   // an interpolated pair: two values (u, v or two colour components)

// floor(v / 1024) without shifting a negative value; v & 1023 is v mod 1024 for any sign.
int64_t FloorPixel(int64_t v) { return (v - (v & (kOne - 1))) / kOne; }

// floor(a * t / d) exactly, for |a| < 2^32 and 0 <= t <= d < 2^32: the
// product's magnitude fits 64 unsigned bits.
int64_t MulDivFloor(int64_t a, int64_t t, int64_t d) {
  uint64_t magnitude = uint64_t(a < 0 ? -a : a) * uint64_t(t);
  uint64_t q = magnitude / uint64_t(d);
  if (a >= 0) return int64_t(q);
  if (magnitude % uint64_t(d)) q++;
  return -int64_t(q);
}

int16_t ClampColumn(int64_t column, int32_t width) {
  if (column < -1) return -1;
  if (column > width) return int16_t(width);
  return int16_t(column);
}

// The tables one scan writes, with the band of rows the last reset covered.
struct SCANTABLES {
  int16_t* leftx;
  int16_t* rightx;
  V2DSCANVALUES* leftvalues;
  V2DSCANVALUES* rightvalues;
  int32_t first;  // first reset row
  int32_t end;    // row after the last reset row
  int32_t width;  // x bound of the stored columns
};

// One polygon side with the values interpolated along it (count of them per end).
struct SCANSIDE {
  int32_t x1, y1, x2, y2;
  int32_t values1[VSURF_SCANVALUES];
  int32_t values2[VSURF_SCANVALUES];
  int count;
};

void CopyPair(int32_t* to, const int32_t* from) {
  for (int i = 0; i < kValuesPerPair; i++) to[i] = from[i];
}

// Stored x values are bounded by the longer side of the storage, so the same
// tables serve scans over physical rows and over virtual rows (a swapped
// display's virtual rows are its physical columns); spans are cut to the
// clipper afterwards.
int32_t ScanWidth(uint32_t physwidth, uint32_t physheight) {
  return int32_t(physwidth > physheight ? physwidth : physheight);
}

void ScanSide(const SCANTABLES& t, const SCANSIDE& side) {
  if (side.y1 == side.y2 || !t.leftx || t.first >= t.end) return;
  const bool down = side.y1 < side.y2;  // upper end point first
  const int64_t xu = down ? side.x1 : side.x2, yu = down ? side.y1 : side.y2;
  const int64_t xl = down ? side.x2 : side.x1, yl = down ? side.y2 : side.y1;
  const int32_t* vu = down ? side.values1 : side.values2;
  const int32_t* vl = down ? side.values2 : side.values1;
  const int64_t dx = xl - xu, dy = yl - yu;
  // Rows whose sample line (r + 1) * 1024 lies in (yu, yl], cut to the reset band.
  int64_t row = FloorPixel(yu), last = FloorPixel(yl) - 1;
  if (row < t.first) row = t.first;
  if (last >= t.end) last = t.end - 1;
  for (; row <= last; row++) {
    const int64_t along = (row + 1) * kOne - yu;  // 1 .. dy: how far down the side the sample line lies
    const int64_t column = FloorPixel(xu + MulDivFloor(dx, along, dy));
    const int16_t left = ClampColumn(column, t.width), right = ClampColumn(column - 1, t.width);
    V2DSCANVALUES values;
    for (int i = 0; i < side.count; i++)
      values.value[i] = int32_t(vu[i] + MulDivFloor(int64_t(vl[i]) - vu[i], along, dy));
    if (left < t.leftx[row]) {
      t.leftx[row] = left;
      for (int i = 0; i < side.count; i++) t.leftvalues[row].value[i] = values.value[i];
    }
    if (right > t.rightx[row]) {
      t.rightx[row] = right;
      for (int i = 0; i < side.count; i++) t.rightvalues[row].value[i] = values.value[i];
    }
  }
}

}  // namespace

void V2DSurface::ResetScanLines(int32_t top, int32_t bottom) {
  if (top < 0) top = 0;
  if (bottom > scanrows) bottom = scanrows;
  if (!scanleftx || bottom <= top) {
    scanfirst = scanend = 0;
    return;
  }
  scanfirst = top;
  scanend = bottom;
  const int16_t width = int16_t(ScanWidth(physwidth, physheight));
  for (int32_t row = top; row < bottom; row++) {
    scanleftx[row] = width;
    scanrightx[row] = -1;
  }
}

void V2DSurface::ScanPolyLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  ScanPolyLine(x1, y1, x2, y2, nullptr, nullptr, nullptr, nullptr);
}

void V2DSurface::ScanPolyLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2, const int32_t* a1,
                              const int32_t* a2) {
  ScanPolyLine(x1, y1, x2, y2, a1, a2, nullptr, nullptr);
}

void V2DSurface::ScanPolyLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2, const int32_t* a1,
                              const int32_t* a2, const int32_t* b1, const int32_t* b2) {
  SCANTABLES tables = {scanleftx, scanrightx, scanleftvalues, scanrightvalues, scanfirst, scanend,
                       ScanWidth(physwidth, physheight)};
  SCANSIDE side = {x1, y1, x2, y2, {}, {}, 0};
  if (a1 && a2) {
    CopyPair(side.values1, a1);
    CopyPair(side.values2, a2);
    side.count = kValuesPerPair;
    if (b1 && b2) {
      CopyPair(side.values1 + kValuesPerPair, b1);
      CopyPair(side.values2 + kValuesPerPair, b2);
      side.count = 2 * kValuesPerPair;
    }
  }
  ScanSide(tables, side);
}

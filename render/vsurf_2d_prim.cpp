// vsurf_2d_prim.cpp - lines, rectangle outlines and ovals, drawn with the
// draw flags through the single-pixel path and the rectangle fills.
//
// Callers may pass any 32-bit coordinates: lengths and offsets are computed
// in 64 bits, a line's steps outside the clipper are skipped arithmetically
// (the pixels drawn are those a full walk would draw), and every rectangle
// handed on is clamped to 32 bits far outside any surface. Nothing is drawn
// twice, so blending flags see every pixel once. Ovals need the math
// module's sines; without one they draw nothing.
// Depends on: render/vsurf_2d.h, the math module.
#include <cstdint>

#include "render/vsurf_2d.h"
#include "util/vmod_math.h"

namespace {

constexpr uint32_t OVAL_QUARTER = 1024;  // angles of a quarter turn

int64_t Smaller(int64_t a, int64_t b) { return a < b ? a : b; }
int64_t Larger(int64_t a, int64_t b) { return a > b ? a : b; }
int64_t Magnitude(int64_t v) { return v < 0 ? -v : v; }

int32_t Clamp32(int64_t v) { return int32_t(Smaller(Larger(v, INT32_MIN), INT32_MAX)); }

// A rectangle of 64-bit edges (right and bottom exclusive), clamped to 32 bits.
tagRECT Rect64(int64_t left, int64_t top, int64_t right, int64_t bottom) {
  return {Clamp32(left), Clamp32(top), Clamp32(right), Clamp32(bottom)};
}

// --- lines -------------------------------------------------------------------------

// One axis of a line: where it starts, which way it goes, and the clipper's
// inclusive range on it.
struct LINEAXIS {
  int64_t start, dir, lo, hi;
};

// The offsets k in [0, limit] with start + dir * k inside the axis' range: [first, last].
bool OffsetsInside(const LINEAXIS& a, int64_t limit, int64_t& first, int64_t& last) {
  first = a.dir > 0 ? a.lo - a.start : a.start - a.hi;
  last = a.dir > 0 ? a.hi - a.start : a.start - a.lo;
  first = Larger(first, 0);
  last = Smaller(last, limit);
  return first <= last;
}

// The stepping of a line along its longer axis: after step i the shorter
// axis has moved floor((half + i * shorter) / longer) times. Every product
// is below 2^64: i and the moves are at most the 32-bit lengths.
struct LINESTEPS {
  uint64_t longer, shorter, half;
  uint64_t MovesAt(uint64_t i) const { return (half + i * shorter) / longer; }
  // The first step after which the shorter axis has moved at least m times (m <= shorter).
  uint64_t FirstWithMoves(uint64_t m) const {
    if (m == 0) return 0;
    return (m * longer - half + shorter - 1) / shorter;
  }
};

// --- ovals ---------------------------------------------------------------------------

// The rows of an oval as bands of row offsets [near, far] from the centre
// row, each with its half width, from the outermost band to the centre row.
// Offsets are |ry| cos(i) >> 16 for the angles of a quarter turn; when the
// offset falls, the band just left (and any rows the fall skipped) takes the
// previous angle's half width |rx| sin(i) >> 16, so each row gets its widest.
template <typename Band>
void ForEachOvalBand(const ClassVMath& math, int64_t rx, int64_t ry, Band band) {
  int64_t dy = (ry * math.Cos(0)) >> 16, dx = (rx * math.Sin(0)) >> 16;
  for (uint32_t i = 1; i < OVAL_QUARTER; i++) {
    const int64_t nextdy = (ry * math.Cos(i)) >> 16, nextdx = (rx * math.Sin(i)) >> 16;
    if (nextdy < dy) band(nextdy + 1, dy, dx);
    dy = nextdy, dx = nextdx;
  }
  band(0, dy, dx);
}

}  // namespace

// --- lines -------------------------------------------------------------------------

void V2DSurface::DrawLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour, uint32_t flags,
                          uint32_t value) {
  if (!IsCreated() || !pixels) return;
  if (y1 == y2) {
    if (y1 == INT32_MAX) return;  // no surface reaches that row
    const tagRECT row = Rect64(Larger(Smaller(x1, x2), 0), y1, int64_t(Larger(x1, x2)) + 1, int64_t(y1) + 1);
    FillRect(&row, colour, flags, value);
    return;
  }
  tagRECT clip;
  GetClipper(&clip);
  const int64_t dx = int64_t(x2) - x1, dy = int64_t(y2) - y1;
  const bool xlonger = Magnitude(dx) >= Magnitude(dy);
  const LINEAXIS xaxis = {x1, dx < 0 ? -1 : 1, clip.left, int64_t(clip.right) - 1};
  const LINEAXIS yaxis = {y1, dy < 0 ? -1 : 1, clip.top, int64_t(clip.bottom) - 1};
  const LINEAXIS& along = xlonger ? xaxis : yaxis;
  const LINEAXIS& across = xlonger ? yaxis : xaxis;
  const LINESTEPS steps = {uint64_t(Magnitude(xlonger ? dx : dy)), uint64_t(Magnitude(xlonger ? dy : dx)),
                           uint64_t(Magnitude(xlonger ? dx : dy)) / 2};

  // The steps whose pixel is inside the clipper on both axes.
  int64_t first, last, fewest, most;
  if (!OffsetsInside(along, int64_t(steps.longer), first, last)) return;
  if (!OffsetsInside(across, int64_t(steps.shorter), fewest, most)) return;
  first = Larger(first, int64_t(steps.FirstWithMoves(uint64_t(fewest))));
  if (uint64_t(most) < steps.shorter) last = Smaller(last, int64_t(steps.FirstWithMoves(uint64_t(most) + 1)) - 1);

  uint64_t moves = steps.MovesAt(uint64_t(first));
  uint64_t error = (steps.half + uint64_t(first) * steps.shorter) % steps.longer;
  for (int64_t i = first; i <= last; i++) {
    const int64_t a = along.start + along.dir * i, b = across.start + across.dir * int64_t(moves);
    PutPixel(int32_t(xlonger ? a : b), int32_t(xlonger ? b : a), colour, flags, value);
    error += steps.shorter;
    if (error >= steps.longer) error -= steps.longer, moves++;
  }
}

// --- rectangles ----------------------------------------------------------------------

void V2DSurface::DrawRect(const tagRECT* rect, uint32_t colour, uint32_t flags, uint32_t value) {
  if (!IsCreated() || !pixels) return;
  tagRECT r;
  if (rect) r = *rect;
  else GetClipper(&r);
  const int64_t width = int64_t(r.right) - r.left, height = int64_t(r.bottom) - r.top;
  if (width <= 0 || height <= 0) return;
  const tagRECT top = {r.left, r.top, r.right, r.top + 1};
  FillRect(&top, colour, flags, value);
  if (height == 1) return;
  const tagRECT bottom = {r.left, r.bottom - 1, r.right, r.bottom};
  FillRect(&bottom, colour, flags, value);
  if (height < 3) return;
  const tagRECT left = {r.left, r.top + 1, r.left + 1, r.bottom - 1};
  FillRect(&left, colour, flags, value);
  if (width < 2) return;
  const tagRECT right = {r.right - 1, r.top + 1, r.right, r.bottom - 1};
  FillRect(&right, colour, flags, value);
}

// --- ovals ---------------------------------------------------------------------------

void V2DSurface::FillOval(int32_t x, int32_t y, int32_t rx, int32_t ry, uint32_t colour, uint32_t flags,
                          uint32_t value) {
  const ClassVMath* math = ecd ? ecd->math : nullptr;
  if (!IsCreated() || !pixels || !math) return;
  const int64_t ax = Magnitude(rx), ay = Magnitude(ry), cx = x + ax, cy = y + ay;
  ForEachOvalBand(*math, ax, ay, [&](int64_t near, int64_t far, int64_t dx) {
    const tagRECT above = Rect64(cx - dx, cy - far, cx + dx + 1, cy - near + 1);
    FillRect(&above, colour, flags, value);
    const int64_t below = Larger(near, 1);  // the centre row belongs to the upper half
    if (below > far) return;
    const tagRECT under = Rect64(cx - dx, cy + below, cx + dx + 1, cy + far + 1);
    FillRect(&under, colour, flags, value);
  });
}

void V2DSurface::DrawOval(int32_t x, int32_t y, int32_t rx, int32_t ry, uint32_t colour, uint32_t flags,
                          uint32_t value) {
  const ClassVMath* math = ecd ? ecd->math : nullptr;
  if (!IsCreated() || !pixels || !math) return;
  const int64_t ax = Magnitude(rx), ay = Magnitude(ry), cx = x + ax, cy = y + ay;
  // The outermost row of a band runs from +-dx back to one pixel outside the
  // previous band's +-dx (the whole row for the first band); its other rows
  // only hold the two outline pixels.
  auto row = [&](int64_t ry64, int64_t inner, int64_t dx) {
    if (inner == 0) {
      const tagRECT whole = Rect64(cx - dx, ry64, cx + dx + 1, ry64 + 1);
      FillRect(&whole, colour, flags, value);
      return;
    }
    const tagRECT left = Rect64(cx - dx, ry64, cx - inner + 1, ry64 + 1);
    const tagRECT right = Rect64(cx + inner, ry64, cx + dx + 1, ry64 + 1);
    FillRect(&left, colour, flags, value);
    FillRect(&right, colour, flags, value);
  };
  auto sides = [&](int64_t top, int64_t bottom, int64_t dx) {  // rows top .. bottom - 1
    if (bottom <= top) return;
    const tagRECT left = Rect64(cx - dx, top, cx - dx + 1, bottom);
    FillRect(&left, colour, flags, value);
    if (dx == 0) return;
    const tagRECT right = Rect64(cx + dx, top, cx + dx + 1, bottom);
    FillRect(&right, colour, flags, value);
  };
  int64_t previous = -1;
  ForEachOvalBand(*math, ax, ay, [&](int64_t near, int64_t far, int64_t dx) {
    const int64_t inner = Smaller(previous + 1, dx);
    previous = dx;
    row(cy - far, inner, dx);
    sides(cy - far + 1, cy - near + 1, dx);
    if (far == 0) return;  // the centre row has no mirror
    row(cy + far, inner, dx);
    sides(cy + Larger(near, 1), cy + far, dx);
  });
}

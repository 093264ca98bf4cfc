// vsurf_2d_poly.cpp - filled, shaded and textured triangles, four-colour
// gradient rectangles, and a textured ground plane seen in perspective.
//
// Triangles are scanned into the surface's scan-line tables in virtual rows
// (22.10 fixed point) and every span is then filled along its virtual row,
// whose pixels are one x step apart in memory whatever the display's
// orientation. Coverage and interpolated values therefore come from the same
// arithmetic on every display, and a rotated display shows exactly the
// picture of an unrotated one. The scan keeps the pixels whose sample point
// lies inside; the corners are moved by just under half a pixel first, so
// the sample is the pixel's centre, as in the rotate/scale blit: a shape
// with whole-pixel corners covers exactly the pixels inside it, and values
// are taken where each pixel really is. Corners that 22.10 cannot hold draw
// nothing.
//
// Gradients and texture coordinates are interpolated along the sides (with
// each side's x, so a span knows where its ends really lie) and across each
// span at its pixels' sample points, 16 fractional bits per pixel step; the
// gradient's components are truncated to the format, optionally after an
// ordered dither whose phase is the row plus the pixel's place in its span.
// An indexed surface takes the display palette's nearest entry.
//
// Textures are read at their own virtual coordinates, wrapped to their size
// (16.16 positions stepped per pixel); a texture that is missing, has no
// pixels or another video type draws nothing. Spans are filled plainly,
// colour-keyed, or through the destination depth's blit routines for the
// other flags, as the rotate/scale blit does.
//
// Depends on: render/vsurf_2d.h, render/vmod_dsp.h (palette lookup),
// render/vrdr_blt.h, render/vsurf_2d_pixel.h, the math module.
#include <cstddef>
#include <cstdint>

#include "render/vmod_dsp.h"
#include "render/vrdr_blt.h"
#include "render/vsurf_2d.h"
#include "render/vsurf_2d_pixel.h"
#include "render/vsurf_2d_span.h"
#include "util/vmod_math.h"

namespace {

constexpr int64_t ONE_PIXEL = 1024;                  // 1.0 in 22.10
constexpr int64_t SAMPLE_SHIFT = ONE_PIXEL / 2 - 1;  // moves the sample from a pixel's corner to its centre
constexpr int SIDE_X = 3;                            // the scan value that carries the side's x
constexpr int64_t ONE_TEXEL = 65536;                 // 1.0 in 16.16
constexpr int64_t TO_16_16 = 64;                     // 22.10 -> 16.16
constexpr int32_t MAX_PIXEL = 1 << 21;               // pixel coordinates below this in magnitude fit 22.10
constexpr int64_t MAX_LANDSCAPE = 1 << 24;           // landscape rectangles stay inside +-2^24

// Ordered dither thresholds: row = phase, bit i set = low bits i gain one step.

int64_t Smaller(int64_t a, int64_t b) { return a < b ? a : b; }
int64_t Larger(int64_t a, int64_t b) { return a > b ? a : b; }

int64_t FloorDiv(int64_t v, int64_t d) {
  const int64_t q = v / d;
  return (v % d != 0 && (v < 0) != (d < 0)) ? q - 1 : q;
}

int64_t Wrap(int64_t v, int64_t m) {
  const int64_t r = v % m;
  return r < 0 ? r + m : r;
}

bool FitsFixed(int32_t v) { return v > -MAX_PIXEL && v < MAX_PIXEL; }

// Pixel coordinates in 22.10; false when one does not fit.
bool ToFixed(const int32_t* in, int32_t* out, int count) {
  for (int i = 0; i < count; i++) {
    if (!FitsFixed(in[i])) return false;
    out[i] = int32_t(int64_t(in[i]) * ONE_PIXEL);
  }
  return true;
}

// --- spans ----------------------------------------------------------------------------

// What the scan left in the tables, for the span loops.
struct SCANVIEW {
  const int16_t* leftx;
  const int16_t* rightx;
  const V2DSCANVALUES* leftvalues;
  const V2DSCANVALUES* rightvalues;
  int32_t first, end;
};

// One row's span: its ends in the tables and the part inside the clipper.
struct SPAN {
  int32_t left, right;  // as scanned (inclusive)
  int32_t from, to;     // cut to the clipper (inclusive)
};

bool SpanOf(const SCANVIEW& scan, int32_t row, const tagRECT& clip, SPAN& s) {
  s.left = scan.leftx[row], s.right = scan.rightx[row];
  s.from = s.left > clip.left ? s.left : clip.left;
  s.to = s.right < clip.right - 1 ? s.right : clip.right - 1;
  return s.to >= s.from;
}

// floor(a * t / d) exactly, for |a| < 2^32 and 0 <= t <= d < 2^32: the
// product's magnitude fits 64 unsigned bits.
int64_t MulDivFloor(int64_t a, int64_t t, int64_t d) {
  const uint64_t magnitude = uint64_t(a < 0 ? -a : a) * uint64_t(t);
  uint64_t q = magnitude / uint64_t(d);
  if (a >= 0) return int64_t(q);
  if (magnitude % uint64_t(d)) q++;
  return -int64_t(q);
}

// Value `index` of a span in 16.16, at the sample point of its first drawn
// pixel and per pixel. Drawn samples lie between the ends' x, so the start
// is an exact interpolation; the step is cut towards zero, so the walk
// never leaves the range of the ends' values.
void SpanValue(const SCANVIEW& scan, int32_t row, const SPAN& s, int index, int64_t& start, int64_t& step) {
  const V2DSCANVALUES& l = scan.leftvalues[row];
  const V2DSCANVALUES& r = scan.rightvalues[row];
  const int64_t a = int64_t(r.value[index]) - l.value[index], d = int64_t(r.value[SIDE_X]) - l.value[SIDE_X];
  if (d <= 0) {
    start = int64_t(l.value[index]) * TO_16_16, step = 0;
    return;
  }
  const int64_t t = (int64_t(s.from) + 1) * ONE_PIXEL - l.value[SIDE_X];
  start = (l.value[index] + MulDivFloor(a, t, d)) * TO_16_16;
  step = a * ONE_TEXEL / d;
}

// A locked surface addressed in virtual coordinates.
struct VIEW {
  uint8_t* pixels = nullptr;
  V2DSURFACEINFO info{};
  uint8_t* At(int64_t x, int64_t y) const {
    return pixels + (ptrdiff_t(info.origin) + ptrdiff_t(x) * info.xstep + ptrdiff_t(y) * info.ystep);
  }
  uint32_t Bytes() const { return info.bitsperpixel / 8u; }
};

class Locked {
 public:
  explicit Locked(V2DSurface* s) : surface(s) { view.pixels = s->Lock(&view.info); }
  ~Locked() {
    if (view.pixels) surface->Unlock();
  }
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;
  VIEW view;

 private:
  V2DSurface* surface;
};

// --- gradient pixels ----------------------------------------------------------------

// The dithered field of every component at every phase, the threshold rows
// folded with the truncation once, so a pixel costs a lookup per component.
struct DITHERFIELDS {
  uint8_t four[16][256];  // 4-bit fields: 16 x 16 table, step 16, below 0xF0
  uint8_t five[8][256];   // 5-bit fields: 8 x 8 table, step 8, below 0xF8
  uint8_t six[4][256];    // Rgb565 green: 4 x 4 table, step 4, below 0xFB
  DITHERFIELDS() {
    for (uint32_t c = 0; c < 256; c++) {
      for (uint32_t p = 0; p < 16; p++) four[p][c] = uint8_t(vsurf::DitherComponent(c, 16, 0xF0, vsurf::DITHER16[p]) >> 4);
      for (uint32_t p = 0; p < 8; p++) five[p][c] = uint8_t(vsurf::DitherComponent(c, 8, 0xF8, vsurf::DITHER8[p]) >> 3);
      for (uint32_t p = 0; p < 4; p++) six[p][c] = uint8_t(vsurf::DitherComponent(c, 4, 0xFB, vsurf::DITHER4[p]) >> 2);
    }
  }
};

const DITHERFIELDS& DitherFields() {
  static const DITHERFIELDS fields;
  return fields;
}

struct Pack444 {
  static constexpr int Bytes = 2;
  uint32_t operator()(uint32_t r, uint32_t g, uint32_t b, uint32_t) const {
    return ((r >> 4) << 8) | (g & 0xF0) | (b >> 4);
  }
};

struct Pack555 {
  static constexpr int Bytes = 2;
  uint32_t operator()(uint32_t r, uint32_t g, uint32_t b, uint32_t) const {
    return ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3);
  }
};

struct Pack565 {
  static constexpr int Bytes = 2;
  uint32_t operator()(uint32_t r, uint32_t g, uint32_t b, uint32_t) const {
    return ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3);
  }
};

struct Dither444 {
  static constexpr int Bytes = 2;
  const DITHERFIELDS* f;
  uint32_t operator()(uint32_t r, uint32_t g, uint32_t b, uint32_t p) const {
    const uint8_t* row = f->four[p & 15];
    return (uint32_t(row[r]) << 8) | (uint32_t(row[g]) << 4) | row[b];
  }
};

struct Dither555 {
  static constexpr int Bytes = 2;
  const DITHERFIELDS* f;
  uint32_t operator()(uint32_t r, uint32_t g, uint32_t b, uint32_t p) const {
    const uint8_t* row = f->five[p & 7];
    return (uint32_t(row[r]) << 10) | (uint32_t(row[g]) << 5) | row[b];
  }
};

struct Dither565 {
  static constexpr int Bytes = 2;
  const DITHERFIELDS* f;
  uint32_t operator()(uint32_t r, uint32_t g, uint32_t b, uint32_t p) const {
    const uint8_t* row = f->five[p & 7];
    return (uint32_t(row[r]) << 11) | (uint32_t(f->six[p & 3][g]) << 5) | row[b];
  }
};

template <int B>
struct PackTrue {
  static constexpr int Bytes = B;
  uint32_t operator()(uint32_t r, uint32_t g, uint32_t b, uint32_t) const { return (r << 16) | (g << 8) | b; }
};

struct PackIndex {
  static constexpr int Bytes = 1;
  const uint8_t* lookup;
  uint32_t operator()(uint32_t r, uint32_t g, uint32_t b, uint32_t) const {
    return lookup[((b >> 3) << 10) | ((g >> 3) << 5) | (r >> 3)];
  }
};

// Red, green and blue of a span in 16.16, at its first drawn pixel and per pixel.
struct SHADE {
  int64_t c[3], step[3];
};

template <typename Pack>
void GradientSpan(uint8_t* d, ptrdiff_t dstep, int32_t count, uint32_t phase, const SHADE& s, Pack pack) {
  int32_t r = int32_t(s.c[0]), g = int32_t(s.c[1]), b = int32_t(s.c[2]);
  const int32_t dr = int32_t(s.step[0]), dg = int32_t(s.step[1]), db = int32_t(s.step[2]);
  for (int32_t n = 0; n < count; n++, d += dstep, phase++, r += dr, g += dg, b += db)
    vsurf::StorePixel<Pack::Bytes>(d, pack(uint32_t(r) >> 16, uint32_t(g) >> 16, uint32_t(b) >> 16, phase));
}

// Components 0..255 scaled to 22.10: red, green, blue (the side's x follows).
V2DSCANVALUES ShadeValues(uint32_t colour) {
  return {{int32_t(colour & 0xFF) * int32_t(ONE_PIXEL), int32_t((colour >> 8) & 0xFF) * int32_t(ONE_PIXEL),
           int32_t((colour >> 16) & 0xFF) * int32_t(ONE_PIXEL), 0}};
}

template <typename Pack>
void GradientRows(const VIEW& dst, const SCANVIEW& scan, const tagRECT& clip, Pack pack) {
  const ptrdiff_t dstep = dst.info.xstep;
  for (int32_t row = scan.first; row < scan.end; row++) {
    SPAN s;
    if (!SpanOf(scan, row, clip, s)) continue;
    SHADE shade;
    for (int i = 0; i < 3; i++) SpanValue(scan, row, s, i, shade.c[i], shade.step[i]);
    GradientSpan(dst.At(s.from, row), dstep, s.to - s.from + 1, uint32_t(row + (s.from - s.left)), shade, pack);
  }
}

// The 12-, 15- and 16-bit formats dither on request; the others truncate
// nothing (24 and 32 bits) or take the palette's nearest entry.
void GradientRowsOf(uint8_t videotype, bool dither, const uint8_t* lookup, const VIEW& dst, const SCANVIEW& scan,
                    const tagRECT& clip) {
  const DITHERFIELDS* fields = dither ? &DitherFields() : nullptr;
  switch (videotype) {
    case VideoType::Indexed8: GradientRows(dst, scan, clip, PackIndex{lookup}); break;
    case VideoType::Rgb444:
      if (fields) GradientRows(dst, scan, clip, Dither444{fields});
      else GradientRows(dst, scan, clip, Pack444{});
      break;
    case VideoType::Rgb555:
      if (fields) GradientRows(dst, scan, clip, Dither555{fields});
      else GradientRows(dst, scan, clip, Pack555{});
      break;
    case VideoType::Rgb565:
      if (fields) GradientRows(dst, scan, clip, Dither565{fields});
      else GradientRows(dst, scan, clip, Pack565{});
      break;
    case VideoType::Rgb888: GradientRows(dst, scan, clip, PackTrue<3>{}); break;
    default: GradientRows(dst, scan, clip, PackTrue<4>{}); break;
  }
}

// --- texture spans ----------------------------------------------------------------

// Walks a texture along one span: positions in 16.16 texels kept in
// [0, size) so every read lies inside the texture.
struct WRAPSAMPLER {
  const VIEW* texture;
  int64_t u, v, du, dv, width, height;  // width and height in 16.16

  void Start(int64_t u0, int64_t v0, int64_t ustep, int64_t vstep) {
    u = Wrap(u0, width), v = Wrap(v0, height), du = Wrap(ustep, width), dv = Wrap(vstep, height);
  }
  const uint8_t* At() const { return texture->At(u >> 16, v >> 16); }  // u, v are never negative
  void Next() {
    u += du, v += dv;
    if (u >= width) u -= width;
    if (v >= height) v -= height;
  }
};

using vsurf::EFFECT;

// The flag, opacity and fill-colour rules of the blits, with their shift
// blends; false when the opacity reduces to nothing.
bool ResolveEffect(uint8_t videotype, uint32_t flags, uint32_t value, uint32_t key, EFFECT& e) {
  vsurf::BLITOP op;
  if (!vsurf::ResolveBlit(videotype, flags, value, op)) return false;
  e = {vsurf::FastDispatcher(videotype), key, vsurf::RoutineFill(videotype, op), op.opacity,
       vsurf::WithShiftBlend(op.flags, op.opacity)};
  return !(e.flags & ~BlitFlags::ColorKey) || e.dispatch;
}

void TextureSpan(const VIEW& dst, int64_t x, int64_t row, int32_t count, WRAPSAMPLER& s, const EFFECT& e) {
  uint8_t* d = dst.At(x, row);
  const ptrdiff_t dstep = dst.info.xstep;
  vsurf::FillSpan(dst.Bytes(), d, dstep, count, s, e);
}

// A texture fit to be drawn onto a surface of `videotype`.
bool UsableTexture(V2DSurface* texture, uint8_t videotype) {
  return texture && texture->IsCreated() && texture->GetVideoType() == videotype && texture->GetWidth() > 0 &&
         texture->GetHeight() > 0;
}

WRAPSAMPLER SamplerOf(const VIEW& texture, const V2DSurface* surface) {
  return {&texture, 0, 0, 0, 0, int64_t(surface->GetWidth()) * ONE_TEXEL, int64_t(surface->GetHeight()) * ONE_TEXEL};
}

// --- the ground plane ------------------------------------------------------------------

// The camera stands at ground position (x, y) (16.16 texels) at height z
// (16.16 texels) and looks along the angle (0 = towards smaller y, turning
// clockwise with the angle; 4096 to the full turn) at a horizon `horizon`
// rows below the rectangle's top, with a focal length of `focal` pixels.
// A row d rows below the horizon shows the ground at distance z * focal / d
// ahead of the camera, and each column away from the rectangle's centre
// moves z / d sideways: the ground's perspective through a pinhole `focal`
// pixels from the screen. Rows at or above the horizon show sky: nothing.
// The view lives in virtual coordinates, so a turned display needs no
// correction of the angle; each row is one span along its virtual row,
// walked straight on an upright display and sideways on a turned one.
struct GROUNDVIEW {
  int64_t x, y, z, focal;
  int64_t sinv, cosv;       // 16.16 of the angle
  int64_t horizonrow;       // virtual row of the horizon
  int64_t centre;           // virtual column of the view's centre
  tagRECT area;             // the rectangle (virtual)
};

// The ground under a virtual row: the position at the centre column and the
// step per column, 16.16 texels; false at or above the horizon. Every
// product stays below 2^63: |z| < 2^31, focal and |sine| at most 2^16.
bool GroundRow(const GROUNDVIEW& g, int64_t row, int64_t& u0, int64_t& du, int64_t& v0, int64_t& dv) {
  const int64_t d = row - g.horizonrow;
  if (d <= 0) return false;
  const int64_t distance = g.z * g.focal / d;
  u0 = g.x + FloorDiv(distance * g.sinv, ONE_TEXEL);
  v0 = g.y - FloorDiv(distance * g.cosv, ONE_TEXEL);
  du = FloorDiv(g.z * g.cosv, d * ONE_TEXEL);
  dv = FloorDiv(g.z * g.sinv, d * ONE_TEXEL);
  return true;
}

// The ground k columns from the centre, the same modulo `size` as
// base + k * step: with the step wrapped first and |k| below 2^25 the
// product is exact.
int64_t GroundAt(int64_t base, int64_t k, int64_t step, int64_t size) { return base + k * Wrap(step, size); }

// The view for a rectangle (null: the whole surface); false for a
// rectangle that is empty or reaches past +-2^24.
bool GroundViewOf(const tagRECT* rect, int32_t w, int32_t h, int32_t x, int32_t y, int32_t z, uint16_t angle,
                  int16_t horizon, uint16_t focal, const ClassVMath& math, GROUNDVIEW& g) {
  g.area = rect ? *rect : tagRECT{0, 0, w, h};
  const tagRECT& a = g.area;
  if (a.right <= a.left || a.bottom <= a.top) return false;
  if (a.left < -MAX_LANDSCAPE || a.top < -MAX_LANDSCAPE || a.right > MAX_LANDSCAPE || a.bottom > MAX_LANDSCAPE)
    return false;
  g.x = x, g.y = y, g.z = z, g.focal = focal;
  g.sinv = math.Sin(angle), g.cosv = math.Cos(angle);
  g.horizonrow = int64_t(a.top) + horizon;
  g.centre = (int64_t(a.left) + a.right) / 2;
  return true;
}

}  // namespace

// --- triangles -------------------------------------------------------------------------

bool V2DSurface::ScanTriangle(const int32_t* x, const int32_t* y, const V2DSCANVALUES* values, tagRECT& clip) {
  GetClipper(&clip);
  int32_t sx[3], sy[3];
  V2DSCANVALUES v[3] = {};
  for (int i = 0; i < 3; i++) {
    const int64_t mx = int64_t(x[i]) + SAMPLE_SHIFT, my = int64_t(y[i]) + SAMPLE_SHIFT;
    if (mx > INT32_MAX || my > INT32_MAX) return false;
    sx[i] = int32_t(mx), sy[i] = int32_t(my);
    if (values) v[i] = values[i];
    v[i].value[SIDE_X] = sx[i];
  }
  int64_t xmin = sx[0], xmax = sx[0], ymin = sy[0], ymax = sy[0];
  for (int i = 1; i < 3; i++) {
    xmin = Smaller(xmin, sx[i]), xmax = Larger(xmax, sx[i]);
    ymin = Smaller(ymin, sy[i]), ymax = Larger(ymax, sy[i]);
  }
  // Rows and columns n whose sample (n + 1) * 1024 lies in (min, max].
  const int64_t top = Larger(FloorDiv(ymin, ONE_PIXEL), clip.top);
  const int64_t bottom = Smaller(FloorDiv(ymax, ONE_PIXEL), clip.bottom);
  if (bottom <= top || FloorDiv(xmax, ONE_PIXEL) <= clip.left || FloorDiv(xmin, ONE_PIXEL) >= clip.right)
    return false;
  ResetScanLines(int32_t(top), int32_t(bottom));
  for (int i = 0; i < 3; i++) {
    const int j = (i + 1) % 3;
    if (values)
      ScanPolyLine(sx[i], sy[i], sx[j], sy[j], v[i].value, v[j].value, v[i].value + 2, v[j].value + 2);
    else
      ScanPolyLine(sx[i], sy[i], sx[j], sy[j]);
  }
  return scanend > scanfirst;
}

void V2DSurface::FillPoly(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t x3, int32_t y3, uint32_t colour,
                          uint32_t flags, uint32_t value) {
  const int32_t in[6] = {x1, y1, x2, y2, x3, y3};
  int32_t f[6];
  if (ToFixed(in, f, 6)) FillPolyV(f[0], f[1], f[2], f[3], f[4], f[5], colour, flags, value);
}

void V2DSurface::FillPolyV(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t x3, int32_t y3, uint32_t colour,
                           uint32_t flags, uint32_t value) {
  if (!IsCreated() || !pixels) return;
  const int32_t x[3] = {x1, x2, x3}, y[3] = {y1, y2, y3};
  tagRECT clip;
  if (!ScanTriangle(x, y, nullptr, clip)) return;
  const SCANVIEW scan = {scanleftx, scanrightx, scanleftvalues, scanrightvalues, scanfirst, scanend};
  for (int32_t row = scan.first; row < scan.end; row++) {
    SPAN s;
    if (!SpanOf(scan, row, clip, s)) continue;
    const tagRECT line = {s.from, row, s.to + 1, row + 1};
    FillRect(&line, colour, flags, value);
  }
}

void V2DSurface::GradientPoly(int32_t x1, int32_t y1, uint32_t colour1, int32_t x2, int32_t y2, uint32_t colour2,
                              int32_t x3, int32_t y3, uint32_t colour3, uint32_t flags) {
  const int32_t in[6] = {x1, y1, x2, y2, x3, y3};
  int32_t f[6];
  if (ToFixed(in, f, 6)) GradientPolyV(f[0], f[1], colour1, f[2], f[3], colour2, f[4], f[5], colour3, flags);
}

void V2DSurface::GradientPolyV(int32_t x1, int32_t y1, uint32_t colour1, int32_t x2, int32_t y2, uint32_t colour2,
                               int32_t x3, int32_t y3, uint32_t colour3, uint32_t flags) {
  if (!IsCreated() || !pixels) return;
  const uint8_t* lookup = nullptr;
  if (videotype == VideoType::Indexed8) {
    ClassVDisplay* display = Display();
    if (!display || !display->BuildPaletteLookup()) return;
    lookup = display->GetPaletteLookup();
  }
  const int32_t x[3] = {x1, x2, x3}, y[3] = {y1, y2, y3};
  const V2DSCANVALUES shades[3] = {ShadeValues(colour1), ShadeValues(colour2), ShadeValues(colour3)};
  tagRECT clip;
  if (!ScanTriangle(x, y, shades, clip)) return;
  Locked dst(this);
  if (!dst.view.pixels) return;
  const SCANVIEW scan = {scanleftx, scanrightx, scanleftvalues, scanrightvalues, scanfirst, scanend};
  GradientRowsOf(videotype, (flags & V2DGRADIENT_DITHER) != 0, lookup, dst.view, scan, clip);
}

void V2DSurface::GradientRect(const tagRECT* rect, uint32_t topleft, uint32_t topright, uint32_t bottomleft,
                              uint32_t bottomright, uint32_t flags) {
  if (!IsCreated()) return;
  const tagRECT r = rect ? *rect : tagRECT{0, 0, GetWidth(), GetHeight()};
  const int32_t in[4] = {r.left, r.top, r.right, r.bottom};
  int32_t f[4];
  if (r.right <= r.left || r.bottom <= r.top || !ToFixed(in, f, 4)) return;
  const int32_t left = f[0], top = f[1], right = f[2], bottom = f[3];
  GradientPolyV(left, top, topleft, right, top, topright, left, bottom, bottomleft, flags);
  GradientPolyV(right, top, topright, right, bottom, bottomright, left, bottom, bottomleft, flags);
}

void V2DSurface::GradientRectV(const tagRECT* rect, uint32_t top, uint32_t bottom, uint32_t flags) {
  GradientRect(rect, top, top, bottom, bottom, flags);
}

void V2DSurface::GradientRectH(const tagRECT* rect, uint32_t left, uint32_t right, uint32_t flags) {
  GradientRect(rect, left, right, left, right, flags);
}

void V2DSurface::TexturePoly(int32_t x1, int32_t y1, int32_t u1, int32_t v1, int32_t x2, int32_t y2, int32_t u2,
                             int32_t v2, int32_t x3, int32_t y3, int32_t u3, int32_t v3, V2DSurface* texture,
                             uint32_t flags, uint32_t value) {
  if (!IsCreated() || !pixels || !UsableTexture(texture, videotype)) return;
  const int32_t in[12] = {x1, y1, x2, y2, x3, y3, u1, v1, u2, v2, u3, v3};
  int32_t f[12];
  if (!ToFixed(in, f, 12)) return;
  EFFECT effect;
  if (!ResolveEffect(videotype, flags, value, texture->GetNativeColorKey(), effect)) return;
  const int32_t x[3] = {f[0], f[2], f[4]}, y[3] = {f[1], f[3], f[5]};
  const V2DSCANVALUES texels[3] = {{{f[6], f[7], 0, 0}}, {{f[8], f[9], 0, 0}}, {{f[10], f[11], 0, 0}}};
  tagRECT clip;
  if (!ScanTriangle(x, y, texels, clip)) return;
  Locked dst(this);
  Locked src(texture);
  if (!dst.view.pixels || !src.view.pixels) return;
  const SCANVIEW scan = {scanleftx, scanrightx, scanleftvalues, scanrightvalues, scanfirst, scanend};
  WRAPSAMPLER sampler = SamplerOf(src.view, texture);
  for (int32_t row = scan.first; row < scan.end; row++) {
    SPAN s;
    if (!SpanOf(scan, row, clip, s)) continue;
    int64_t u, du, v, dv;
    SpanValue(scan, row, s, 0, u, du);
    SpanValue(scan, row, s, 1, v, dv);
    sampler.Start(u, v, du, dv);
    TextureSpan(dst.view, s.from, row, s.to - s.from + 1, sampler, effect);
  }
}

// --- the ground plane ------------------------------------------------------------------

void V2DSurface::Landscape(const tagRECT* rect, int32_t x, int32_t y, int32_t z, uint16_t angle, int16_t horizon,
                           uint16_t focal, V2DSurface* texture) {
  const ClassVMath* math = ecd ? ecd->math : nullptr;
  if (!IsCreated() || !pixels || !math || !UsableTexture(texture, videotype)) return;
  GROUNDVIEW g;
  if (!GroundViewOf(rect, GetWidth(), GetHeight(), x, y, z, angle, horizon, focal, *math, g)) return;
  tagRECT clip;
  GetClipper(&clip);
  const int64_t left = Larger(g.area.left, clip.left), right = Smaller(g.area.right, clip.right);
  const int64_t top = Larger(Larger(g.area.top, clip.top), g.horizonrow + 1);
  const int64_t bottom = Smaller(g.area.bottom, clip.bottom);
  if (right <= left || bottom <= top) return;
  Locked dst(this);
  Locked src(texture);
  if (!dst.view.pixels || !src.view.pixels) return;
  const EFFECT plain = {nullptr, 0, 0, 0, 0};
  WRAPSAMPLER sampler = SamplerOf(src.view, texture);
  for (int64_t row = top; row < bottom; row++) {
    int64_t u0, du, v0, dv;
    GroundRow(g, row, u0, du, v0, dv);
    const int64_t k = left - g.centre;
    sampler.Start(GroundAt(u0, k, du, sampler.width), GroundAt(v0, k, dv, sampler.height), du, dv);
    TextureSpan(dst.view, left, row, int32_t(right - left), sampler, plain);
  }
}

bool V2DSurface::GetLandscapePoint(const tagRECT* rect, int32_t x, int32_t y, int32_t z, uint16_t angle,
                                   int16_t horizon, uint16_t focal, const V2DSurface* texture, int32_t sx,
                                   int32_t sy, int32_t& u, int32_t& v) const {
  const ClassVMath* math = ecd ? ecd->math : nullptr;
  if (!IsCreated() || !math || !texture || texture->GetWidth() <= 0 || texture->GetHeight() <= 0) return false;
  GROUNDVIEW g;
  if (!GroundViewOf(rect, GetWidth(), GetHeight(), x, y, z, angle, horizon, focal, *math, g)) return false;
  if (sx < g.area.left || sx >= g.area.right || sy < g.area.top || sy >= g.area.bottom) return false;
  int64_t u0, du, v0, dv;
  if (!GroundRow(g, sy, u0, du, v0, dv)) return false;
  const int64_t width = int64_t(texture->GetWidth()) * ONE_TEXEL, height = int64_t(texture->GetHeight()) * ONE_TEXEL;
  const int64_t k = sx - g.centre;
  u = int32_t(Wrap(GroundAt(u0, k, du, width), width) / ONE_TEXEL);
  v = int32_t(Wrap(GroundAt(v0, k, dv, height), height) / ONE_TEXEL);
  return true;
}

// vsurf_3d_render.cpp - the software renderer: PrepareRender transforms,
// projects, culls, lights and depth-sorts a model's triangles into its
// render records, and V2DSurface::Render draws them with the triangle
// primitives as textured, colour-interpolated, wire-frame or flat triangles.
//
// All arithmetic is integer: 20.12 transforms, a perspective of
// 0x800000 / (0x8000 - z) (the eye 8.0 in front of the origin), points in
// 12.20 and then 22.10 pixels, colours lit in 16.16. Every product that can
// leave 32 bits is taken in 64 and saturated, so a vertex far off the screen
// stays far off instead of wrapping onto it, and far triangles keep the
// smallest sort key instead of jumping to the front. Triangles are drawn far
// to near in the order of a heap sort over key x 65536 + triangle index, so
// equal keys always draw in index order.
//
// Depends on: render/vsurf_3d.h, render/vsurf_2d.h (the primitives), the
// display (render size, lights, bound texture, world matrix).
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "render/vmod_dsp.h"
#include "render/vsurf_2d.h"
#include "render/vsurf_3d.h"
#include "util/vmod_math.h"

namespace {

constexpr int64_t EYE = 0x8000;              // 8.0: the eye's distance from the origin
constexpr int64_t FOCUS = 0x800000;          // perspective numerator: scale 256 at z = 0
constexpr int64_t GUARDED_DIVISOR = 65537;   // the divisor at z = -0x8000
constexpr int32_t AMBIENT = 13107;           // 0.2 in 16.16: the light every surface gets
constexpr int64_t ANGLE_LIMIT = 65535;       // most weight of the angle colour
constexpr int32_t CULL_SHIFT = 16;           // projected points are compared in 1/16 pixels
constexpr uint32_t DRAW_FLAGS = 0xFF;        // render flag bits the primitives take
constexpr uint32_t RGB = 0xFFFFFF;

int32_t Saturate(int64_t v) { return v > INT32_MAX ? INT32_MAX : (v < INT32_MIN ? INT32_MIN : int32_t(v)); }

int64_t MulSaturate(int64_t a, int64_t b) {
  int64_t product;
  if (!__builtin_mul_overflow(a, b, &product)) return product;
  return (a < 0) != (b < 0) ? INT64_MIN : INT64_MAX;
}

int64_t FloorDiv(int64_t v, int64_t d) { return v >= 0 ? v / d : -((-v + d - 1) / d); }

uint32_t Component(uint32_t colour, int k) { return (colour >> (8 * k)) & 0xFF; }

// What PrepareRender takes from the display, once per call.
struct RENDERSTATE {
  int32_t rendersize = 0;
  const VDSPLIGHT* lights[VDSP_LIGHTS] = {};
  int lightcount = 0;
  bool lit = false;           // lighting applies
  int64_t texwidth = 0;       // bound texture, texels (textured only)
  int64_t texheight = 0;
};

// The lit colour of one vertex: a fixed ambient share of its colour, plus
// per light its constant colour and, for a normal turned towards it, its
// angle colour weighted by the angle; alpha is kept.
uint32_t LightColor(uint32_t colour, const int32_t* n, const RENDERSTATE& st) {
  int64_t weight[VDSP_LIGHTS];
  for (int l = 0; l < st.lightcount; l++) {
    const VDSPLIGHT& light = *st.lights[l];
    const int64_t d = int64_t(n[0]) * light.x + int64_t(n[1]) * light.y - int64_t(n[2]) * light.z;
    weight[l] = d < 0 ? -1 : std::min<int64_t>(d >> 7, ANGLE_LIMIT);
  }
  uint32_t out = colour & 0xFF000000;
  for (int k = 0; k < 3; k++) {
    const int64_t c = Component(colour, k);
    int64_t sum = c * AMBIENT;
    for (int l = 0; l < st.lightcount; l++) {
      sum += int64_t(Component(st.lights[l]->constantcolor, k)) * c * 256;
      if (weight[l] >= 0) sum += weight[l] * Component(st.lights[l]->anglecolor, k) / 256 * c;
    }
    out |= uint32_t(std::min<int64_t>(255, sum >> 16)) << (8 * k);
  }
  return out;
}

// Texels in 22.10 of one 16.16 coordinate (1.0 = the whole texture),
// moved by whole textures so the first corner lies inside: the texture
// wraps, so the triangle is the same and no corner leaves the coordinate range.
void TexelsOf(const int32_t* coord, int64_t size, int32_t* out) {
  int64_t t[3];
  for (int k = 0; k < 3; k++) t[k] = (int64_t(coord[k]) * size) >> 6;
  const int64_t whole = size << 10;
  const int64_t shift = FloorDiv(t[0], whole) * whole;
  for (int k = 0; k < 3; k++) out[k] = Saturate(t[k] - shift);
}

RENDERSTATE StateOf(const ClassVDisplay* display, bool light, bool textured, bool normals, bool colours) {
  RENDERSTATE st;
  if (!display) return st;
  st.rendersize = display->GetRenderSize();
  const VDSPLIGHT* lights = display->GetLights();
  for (int l = 0; lights && l < VDSP_LIGHTS; l++)
    if (lights[l].on) st.lights[st.lightcount++] = &lights[l];
  st.lit = light && st.lightcount > 0 && normals && colours;
  const V2DSurface* texture = textured ? display->GetBoundTexture() : nullptr;
  if (texture && texture->IsCreated()) st.texwidth = texture->GetWidth(), st.texheight = texture->GetHeight();
  return st;
}

// How Render draws a model for its flags.
enum class DrawMode { Textured, Shaded, Wire, Flat };

DrawMode ModeOf(uint32_t flags, const V3DSurface& model) {
  if ((flags & V3D_RENDER_TEXTURED) && model.HasStream(V3D_STREAM_TEXCOORD)) return DrawMode::Textured;
  if (flags & V3D_RENDER_SHADED) return DrawMode::Shaded;
  if (flags & V3D_RENDER_WIRE) return DrawMode::Wire;
  return DrawMode::Flat;
}

int32_t Pixel(int32_t fixed) { return fixed >> 10; }

}  // namespace

void V3DSurface::Project(int32_t rendersize, int32_t x, int32_t y, int32_t z, int32_t& px, int32_t& py) {
  int64_t divisor = EYE - z;
  if (z == -EYE) divisor = GUARDED_DIVISOR;
  if (divisor == 0) divisor = 1;  // a vertex at the eye: the largest scale, not a division by zero
  const int64_t scale = int64_t(rendersize) * (FOCUS / divisor);
  px = Saturate(MulSaturate(scale, x) >> 1);
  py = Saturate(MulSaturate(scale, y) >> 1);
}

// The world matrix (a camera shared by all models) applies after the model's own.
void V3DSurface::ComposeRenderMatrix() {
  if (!worldmatrix) {
    std::memcpy(rendermatrix, modelmatrix, sizeof(rendermatrix));
    return;
  }
  std::memcpy(rendermatrix, worldmatrix, sizeof(rendermatrix));
  ClassVMath::MatrixMultiply(rendermatrix, modelmatrix);
}

uint8_t* V3DSurface::PosedBuffer() {
  if (!hasjoints) return vertexbuffer;
  if (animatedstale) RefreshAnimatedCopy();
  return animatedbuffer;
}

int32_t V3DSurface::PrepareRender(bool light, bool colour, bool shaded, bool textured, bool cull) {
  if (!IsCreated()) return 0;
  const RENDERSTATE st =
      StateOf(Display(), light, textured, HasStream(V3D_STREAM_NORMAL), HasStream(V3D_STREAM_COLOR));
  textured = textured && HasStream(V3D_STREAM_TEXCOORD);
  if (textured && (st.texwidth <= 0 || st.texheight <= 0)) return 0;
  ComposeRenderMatrix();
  uint8_t* buffer = PosedBuffer();
  auto cornercolour = [&](int32_t v) {
    uint32_t c = 0xFFFFFFFF;
    if (HasStream(V3D_STREAM_COLOR)) std::memcpy(&c, ItemIn(buffer, V3D_STREAM_COLOR, v), 4);
    if (!st.lit) return c;
    int32_t n[3];
    TransformNormal(rendermatrix, reinterpret_cast<const int8_t*>(ItemIn(buffer, V3D_STREAM_NORMAL, v)), n);
    return LightColor(c, n, st);
  };
  auto texcoords = [&](const int32_t* corner, V3DRENDERRECORD& r) {
    int32_t u[3], v[3];
    for (int i = 0; i < 3; i++) {
      const uint8_t* uv = ItemIn(buffer, V3D_STREAM_TEXCOORD, corner[i]);
      std::memcpy(&u[i], uv, 4);
      std::memcpy(&v[i], uv + 4, 4);
    }
    TexelsOf(u, st.texwidth, r.u);
    TexelsOf(v, st.texheight, r.v);
  };
  int32_t count = 0;
  for (int32_t t = 0; t < polygonsinuse; t++) {
    int32_t corner[3], z[3], px[3], py[3];
    GetPolygon(t, corner);
    for (int i = 0; i < 3; i++) {
      int32_t p[3], q[3];
      std::memcpy(p, ItemIn(buffer, V3D_STREAM_POSITION, corner[i]), sizeof(p));
      TransformPoint(rendermatrix, p, q);
      Project(st.rendersize, q[0], q[1], q[2], px[i], py[i]);
      z[i] = q[2];
    }
    if (cull) {
      int64_t cx[3], cy[3];
      for (int i = 0; i < 3; i++) cx[i] = px[i] >> CULL_SHIFT, cy[i] = py[i] >> CULL_SHIFT;
      if ((cx[0] - cx[2]) * (cy[1] - cy[2]) - (cy[0] - cy[2]) * (cx[1] - cx[2]) >= 0) continue;
    }
    V3DRENDERRECORD& r = records[t];
    for (int i = 0; i < 3; i++) r.x[i] = px[i] >> 10, r.y[i] = py[i] >> 10;
    if (colour) {
      // Flat drawing gives the whole triangle its first corner's colour.
      r.color[0] = cornercolour(corner[0]);
      r.color[1] = shaded ? cornercolour(corner[1]) : r.color[0];
      r.color[2] = shaded ? cornercolour(corner[2]) : r.color[0];
    }
    if (textured) texcoords(corner, r);
    const int64_t key = int64_t(z[0]) + z[1] + (int64_t(z[0]) + z[1] + z[2]) / 4;
    sortlist[count++] = int32_t(std::clamp<int64_t>(key, INT16_MIN, INT16_MAX) * 65536 + t);
  }
  std::make_heap(sortlist, sortlist + count);
  std::sort_heap(sortlist, sortlist + count);
  return count;
}

// --- drawing ---------------------------------------------------------------------------

int32_t V2DSurface::Render(int32_t x, int32_t y, V3DSurface* model, uint32_t flags, uint32_t value) {
  if (!IsCreated() || !pixels || !model || !model->IsCreated()) return 0;
  if (!model->GetECD()) model->LinkECD(ecd);
  const DrawMode mode = ModeOf(flags, *model);
  const bool light = (flags & (V3D_RENDER_LIGHT | V3D_RENDER_SHADED)) && model->HasStream(V3D_STREAM_NORMAL);
  const int32_t count = model->PrepareRender(light, mode != DrawMode::Textured, mode == DrawMode::Shaded,
                                             mode == DrawMode::Textured, mode != DrawMode::Wire);
  const ClassVDisplay* display = model->GetECD() ? model->GetECD()->display : nullptr;
  V2DSurface* texture = display ? display->GetBoundTexture() : nullptr;
  const int64_t cx = int64_t(GetWidth()) * 512 + int64_t(x) * 1024;
  const int64_t cy = int64_t(GetHeight()) * 512 + int64_t(y) * 1024;
  const uint32_t drawflags = flags & DRAW_FLAGS;
  const int32_t* order = model->GetSortList();
  for (int32_t i = 0; i < count; i++) {
    const V3DRENDERRECORD& r = model->GetRenderRecords()[order[i] & 0xFFFF];
    int32_t sx[3], sy[3];
    for (int k = 0; k < 3; k++) sx[k] = Saturate(cx + r.x[k]), sy[k] = Saturate(cy - r.y[k]);
    switch (mode) {
      case DrawMode::Textured:
        TexturePoly(Pixel(sx[0]), Pixel(sy[0]), Pixel(r.u[0]), Pixel(r.v[0]), Pixel(sx[1]), Pixel(sy[1]),
                    Pixel(r.u[1]), Pixel(r.v[1]), Pixel(sx[2]), Pixel(sy[2]), Pixel(r.u[2]), Pixel(r.v[2]), texture,
                    drawflags, value);
        break;
      case DrawMode::Shaded:
        GradientPolyV(sx[0], sy[0], r.color[0] & RGB, sx[1], sy[1], r.color[1] & RGB, sx[2], sy[2],
                      r.color[2] & RGB, drawflags);
        break;
      case DrawMode::Wire:
        for (int k = 0; k < 3; k++)
          DrawLine(Pixel(sx[k]), Pixel(sy[k]), Pixel(sx[(k + 1) % 3]), Pixel(sy[(k + 1) % 3]), r.color[0] & RGB,
                   drawflags, value);
        break;
      case DrawMode::Flat:
        FillPolyV(sx[0], sy[0], sx[1], sy[1], sx[2], sy[2], r.color[0] & RGB, drawflags, value);
        break;
    }
  }
  return count;
}

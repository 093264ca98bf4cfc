// assetgen_objects - the play field's object sprites and the menu sprites.
//
// objects.bmp: 8 columns of 24 x 24 animation frames; rows 0-7 the eight
// colours, row 8 frozen, row 9 shattering, row 10 treasure. Each colour has a
// shape of its own (circle, diamond, triangle, star, plus, framed square,
// heart, cross), so the colours are told apart without seeing colour. The
// colour objects breathe: frame f is drawn at a scale that shrinks from frame
// 0 to frame 4 and grows back, in small steps.
// menusprites.bmp: the cursor (32 x 32 at (0, 0)), the tumbling piece
// (32 x 32 at (48, 0)) and the particle (4 x 4 at (76, 76)).
// Shapes are polygons around their centre, filled as fans of triangles.
// Depends on: the display (surfaces), the math module (angles).
#include <cmath>
#include <cstdint>
#include <vector>

#include "render/vmod_dsp.h"
#include "render/vsurf_2d.h"
#include "tools/assetgen/assetgen.h"

namespace {

constexpr int32_t kCell = 24;
constexpr int32_t kFrames = 8;
constexpr int32_t kColours = 8;
constexpr int32_t kRows = 11;
constexpr double kRadius = 10.5;  // pixels of a shape's unit radius at frame 0
constexpr double kPi = 3.14159265358979323846;
constexpr int32_t kFixed = 1024;   // 22.10 polygon coordinates

constexpr uint32_t Rgb(uint32_t r, uint32_t g, uint32_t b) { return r | (g << 8) | (b << 16); }

struct POINTF {
  double x, y;
};
using OUTLINE = std::vector<POINTF>;

// Colour i of the play field: its body colour and its shape.
enum class SHAPE { Circle, Diamond, Triangle, Star, Plus, Frame, Heart, Cross };
struct OBJECTLOOK {
  SHAPE shape;
  uint32_t colour;
};
const OBJECTLOOK kLooks[kColours] = {
    {SHAPE::Circle, Rgb(235, 40, 40)},    {SHAPE::Diamond, Rgb(40, 110, 250)}, {SHAPE::Triangle, Rgb(40, 200, 60)},
    {SHAPE::Star, Rgb(250, 220, 30)},     {SHAPE::Plus, Rgb(180, 60, 230)},    {SHAPE::Frame, Rgb(250, 140, 20)},
    {SHAPE::Heart, Rgb(40, 220, 230)},    {SHAPE::Cross, Rgb(240, 240, 240)},
};

OUTLINE Regular(int32_t corners, double radius, double turn) {
  OUTLINE points;
  for (int32_t i = 0; i < corners; ++i) {
    const double a = turn + 2 * kPi * i / corners;
    points.push_back({radius * std::sin(a), -radius * std::cos(a)});
  }
  return points;
}

OUTLINE StarOutline(int32_t spikes, double outer, double inner) {
  OUTLINE points;
  for (int32_t i = 0; i < 2 * spikes; ++i) {
    const double a = kPi * i / spikes, r = i % 2 ? inner : outer;
    points.push_back({r * std::sin(a), -r * std::cos(a)});
  }
  return points;
}

// A plus of arms `half` wide on each side of the centre line, reaching `reach`.
OUTLINE PlusOutline(double half, double reach, double turn) {
  const POINTF corners[12] = {{-half, -reach}, {half, -reach}, {half, -half},  {reach, -half},
                              {reach, half},   {half, half},   {half, reach},  {-half, reach},
                              {-half, half},   {-reach, half}, {-reach, -half}, {-half, -half}};
  OUTLINE points;
  for (const POINTF& p : corners)
    points.push_back({p.x * std::cos(turn) - p.y * std::sin(turn), p.x * std::sin(turn) + p.y * std::cos(turn)});
  return points;
}

OUTLINE HeartOutline() {
  OUTLINE points;
  for (int32_t i = 0; i < 48; ++i) {
    const double t = 2 * kPi * i / 48, s = std::sin(t);
    points.push_back({s * s * s * 1.0, -(13 * std::cos(t) - 5 * std::cos(2 * t) - 2 * std::cos(3 * t) -
                                          std::cos(4 * t)) / 16.0 - 0.1});
  }
  return points;
}

OUTLINE ShapeOutline(SHAPE shape) {
  switch (shape) {
    case SHAPE::Circle: return Regular(40, 0.95, 0);
    case SHAPE::Diamond: return {{0, -1.15}, {0.52, 0}, {0, 1.15}, {-0.52, 0}};
    case SHAPE::Triangle: return {{0, -1.0}, {1.05, 0.85}, {-1.05, 0.85}};
    case SHAPE::Star: return StarOutline(5, 1.15, 0.55);
    case SHAPE::Plus: return PlusOutline(0.32, 1.0, 0);
    case SHAPE::Frame: return Regular(4, 0.9 * std::sqrt(2.0), kPi / 4);
    case SHAPE::Heart: return HeartOutline();
    case SHAPE::Cross: return PlusOutline(0.28, 1.1, kPi / 4);
  }
  return {};
}

// A colour moved towards white (amount > 0) or black (amount < 0), in 256ths.
uint32_t Shade(uint32_t colour, int32_t amount) {
  uint32_t out = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    const int32_t c = (colour >> shift) & 0xFF;
    const int32_t v = amount > 0 ? c + (255 - c) * amount / 256 : c * (256 + amount) / 256;
    out |= uint32_t(v) << shift;
  }
  return out;
}

// Fills the outline scaled by `scale` pixels and grown by `grow` pixels
// around (cx, cy), as a fan from the centre (every shape here is seen whole
// from its centre).
void FillOutline(V2DSurface& s, const OUTLINE& outline, double cx, double cy, double scale, double grow,
                 uint32_t colour, uint32_t flags = 0, uint32_t value = 0) {
  auto fx = [&](const POINTF& p) {
    const double length = std::sqrt(p.x * p.x + p.y * p.y), k = length > 0 ? (length * scale + grow) / length : 0;
    return POINTF{cx + p.x * k, cy + p.y * k};
  };
  const int32_t centrex = int32_t(cx * kFixed), centrey = int32_t(cy * kFixed);
  for (size_t i = 0; i < outline.size(); ++i) {
    const POINTF a = fx(outline[i]), b = fx(outline[(i + 1) % outline.size()]);
    s.FillPolyV(centrex, centrey, int32_t(a.x * kFixed), int32_t(a.y * kFixed), int32_t(b.x * kFixed),
                int32_t(b.y * kFixed), colour, flags, value);
  }
}

// A bevelled body: dark rim, body, a soft light patch up left, a glint.
void DrawBody(V2DSurface& s, const OUTLINE& outline, double cx, double cy, double scale, uint32_t colour) {
  FillOutline(s, outline, cx, cy, scale, 1.4, Shade(colour, -170));
  FillOutline(s, outline, cx, cy, scale, 0, colour);
  FillOutline(s, outline, cx - scale * 0.12, cy - scale * 0.15, scale * 0.6, 0, Shade(colour, 140),
              BlitFlags::Opacity, 150);
  FillOutline(s, Regular(12, 1.0, 0), cx - scale * 0.32, cy - scale * 0.38, 1.6, 0, 0xFFFFFF);
}

// Breathing: full size at frame 0, smallest at frame 4.
double FrameScale(int32_t frame) { return kRadius * (1 - 0.07 * (1 - std::cos(kPi * frame / 4))); }

void DrawColourObject(V2DSurface& s, const OBJECTLOOK& look, int32_t frame, double cx, double cy) {
  const double scale = FrameScale(frame);
  DrawBody(s, ShapeOutline(look.shape), cx, cy, scale, look.colour);
  if (look.shape != SHAPE::Frame) return;
  // The framed square's hole shows what lies beneath.
  const OUTLINE hole = Regular(4, 0.42 * std::sqrt(2.0), kPi / 4);
  FillOutline(s, hole, cx, cy, scale, 1.4, Shade(look.colour, -170));
  FillOutline(s, hole, cx, cy, scale, 0, ASSET_KEY);
}

// Frozen: a block of ice with a light band that sweeps across it.
void DrawFrozen(V2DSurface& s, int32_t frame, int32_t left, int32_t top) {
  const tagRECT rim = {left + 1, top + 1, left + 23, top + 23}, body = {left + 2, top + 2, left + 22, top + 22};
  s.FillRect(&rim, Rgb(40, 90, 150));
  s.GradientRectV(&body, Rgb(230, 250, 255), Rgb(130, 190, 235), 0);
  const int32_t sweep = left + 2 + frame * 3;
  for (int32_t i = 0; i < 4; ++i) s.DrawLine(sweep + i, top + 21, sweep + i + 8, top + 3, 0xFFFFFF, BlitFlags::Opacity, 150);
  s.DrawLine(left + 6, top + 7, left + 11, top + 12, Rgb(90, 150, 210), 0, 0);
  s.DrawLine(left + 11, top + 12, left + 9, top + 18, Rgb(90, 150, 210), 0, 0);
  s.DrawLine(left + 11, top + 12, left + 17, top + 14, Rgb(90, 150, 210), 0, 0);
}

// Shattering: eight shards of ice that fly apart and shrink.
void DrawShatter(V2DSurface& s, int32_t frame, double cx, double cy) {
  for (int32_t i = 0; i < 8; ++i) {
    const double a = 2 * kPi * (i + 0.5) / 8, d = 2.5 + 1.3 * frame, size = 5.0 - 0.45 * frame;
    const OUTLINE shard = {{0, -1.0}, {0.7, 0.6}, {-0.6, 0.8}};
    const double x = cx + d * std::sin(a), y = cy - d * std::cos(a);
    FillOutline(s, shard, x, y, size, 1.0, Rgb(40, 90, 150));
    FillOutline(s, shard, x, y, size, 0, i % 2 ? Rgb(200, 235, 255) : Rgb(150, 205, 245));
  }
}

// Treasure: a gold coin that turns about its upright axis.
void DrawTreasure(V2DSurface& s, int32_t frame, double cx, double cy) {
  const double width = 0.3 + 0.7 * std::fabs(std::cos(kPi * frame / 8));
  OUTLINE coin = Regular(40, 1.0, 0);
  for (POINTF& p : coin) p.x *= width;
  DrawBody(s, coin, cx, cy, 10.0, Rgb(250, 190, 30));
  OUTLINE mark = StarOutline(4, 0.5, 0.2);
  for (POINTF& p : mark) p.x *= width;
  FillOutline(s, mark, cx, cy, 10.0, 0, Rgb(255, 245, 170));
}

void DrawObjectCell(V2DSurface& s, int32_t row, int32_t frame) {
  const int32_t left = frame * kCell, top = row * kCell;
  const double cx = left + kCell / 2.0, cy = top + kCell / 2.0;
  if (row < kColours) {
    DrawColourObject(s, kLooks[row], frame, cx, cy);
  } else if (row == kColours) {
    DrawFrozen(s, frame, left, top);
  } else if (row == kColours + 1) {
    DrawShatter(s, frame, cx, cy);
  } else {
    DrawTreasure(s, frame, cx, cy);
  }
}

// The cursor: four thick corner brackets around a 24 x 24 cell; it is drawn
// as a silhouette in the pulsing cursor colour.
void DrawCursor(V2DSurface& s) {
  const tagRECT bars[8] = {{0, 0, 9, 3},    {0, 0, 3, 9},    {15, 0, 24, 3},  {21, 0, 24, 9},
                           {0, 21, 9, 24},  {0, 15, 3, 24},  {15, 21, 24, 24}, {21, 15, 24, 24}};
  for (const tagRECT& bar : bars) s.FillRect(&bar, 0xFFFFFF);
}

void DrawParticle(V2DSurface& s) {
  const tagRECT across = {76, 77, 80, 79}, down = {77, 76, 79, 80}, core = {77, 77, 79, 79};
  s.FillRect(&across, Rgb(255, 230, 120));
  s.FillRect(&down, Rgb(255, 230, 120));
  s.FillRect(&core, 0xFFFFFF);
}

}  // namespace

bool AssetGen_ObjectSheet(ClassVDisplay& display, V2DSurface& sheet) {
  if (!AssetGen_Canvas(display, sheet, kFrames * kCell, kRows * kCell, ASSET_KEY)) return false;
  for (int32_t row = 0; row < kRows; ++row)
    for (int32_t frame = 0; frame < kFrames; ++frame) DrawObjectCell(sheet, row, frame);
  return true;
}

bool AssetGen_MenuSprites(ClassVDisplay& display, V2DSurface& sheet) {
  if (!AssetGen_Canvas(display, sheet, 80, 80, ASSET_KEY)) return false;
  DrawCursor(sheet);
  DrawBody(sheet, StarOutline(5, 1.0, 0.5), 64, 16, 14.5, Rgb(250, 200, 40));
  DrawParticle(sheet);
  return true;
}

// A fixed scene on the 320 x 240 Rgb565 back buffer, compared with the MD5
// of its virtual pixels: a dithered gradient, a textured polygon with a
// wrapped texture, a ground plane, flat, blended and shaded triangles, ovals
// and outlines, rectangles and lines with the blending flags, text of the
// internal font in every alignment and a straight and a premultiplied RGBA
// sprite. Every display rotation must show the same virtual picture.
//
// To look at the scene, write the virtual pixels of SceneDigest's surface to
// an image once; the digest is only changed after doing so.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "display_rig.h"
#include "render/vmod_dsp.h"
#include "render/vsurf_2d.h"
#include "render/vsurf_2drgba.h"
#include "util/vmod_std.h"

namespace {

using namespace BlitFlags;

// The MD5 of the scene's virtual pixels: 32-bit interface colours, low byte
// first, in row order.
const char* const SCENE_MD5 = "068c35d4e4f31248c213459d92ecfe62";

uint32_t As(uint8_t type) { return 1u | (uint32_t(type) << 8); }

// A 16 x 16 texture: four coloured quarters with a light grid, the key in one corner.
void PaintTexture(V2DSurface& t) {
  const uint32_t quarters[4] = {0xE04020, 0x20C040, 0x3050E0, 0xE0D020};
  for (int32_t y = 0; y < 16; y++)
    for (int32_t x = 0; x < 16; x++) {
      uint32_t c = quarters[(x / 8) + 2 * (y / 8)];
      if (x % 4 == 0 || y % 4 == 0) c = 0xF0F0F0;
      t.PutPixel(x, y, c, 0, 0);
    }
  t.PutPixel(0, 0, 0xFF00FF, 0, 0);
  t.SetColorKey(0xFF00FF);
}

// A 40 x 40 disc whose alpha falls from the opaque centre to nothing at the
// rim, in a colour that turns with the angle. PutPixel stores what it is
// given, so the premultiplied sprite is handed premultiplied values.
void PaintSprite(V2DSurfaceRGBA& sprite) {
  for (int32_t y = 0; y < 40; y++)
    for (int32_t x = 0; x < 40; x++) {
      const int32_t dx = x - 20, dy = y - 20, d2 = dx * dx + dy * dy;
      if (d2 >= 400) continue;
      const uint32_t alpha = d2 < 100 ? 255u : uint32_t(255 * (400 - d2) / 300);
      const uint32_t red = uint32_t(x * 6), green = uint32_t(y * 6), blue = 0x80;
      if (!sprite.IsPremultiplied()) {
        sprite.PutPixel(x, y, red | (green << 8) | (blue << 16), alpha);
        continue;
      }
      const uint32_t scaled = ((red * alpha) >> 8) | (((green * alpha) >> 8) << 8) | (((blue * alpha) >> 8) << 16);
      sprite.PutPixel(x, y, scaled, 255 - alpha);
    }
}

// Two-line text in all nine placements around a marked point each, on a
// darkened panel, and a number.
void DrawText(V2DSurface& s, V2DSurface* font) {
  const tagRECT panel = {8, 146, 312, 226};
  s.FillRect(&panel, 0x000000, Opacity, 160);
  const uint32_t placements[9] = {0, VFONT_CENTER, VFONT_RIGHT, VFONT_MIDDLE, VFONT_MIDDLE | VFONT_CENTER,
                                  VFONT_MIDDLE | VFONT_RIGHT, VFONT_BOTTOM, VFONT_BOTTOM | VFONT_CENTER,
                                  VFONT_BOTTOM | VFONT_RIGHT};
  for (int32_t i = 0; i < 9; i++) {
    const int32_t x = 50 + 110 * (i % 3), y = 150 + 36 * (i / 3);
    s.DrawFont(x, y, font, "Ab\nwide", placements[i] | ColorKey, 0);
    s.DrawLine(x - 3, y, x + 3, y, 0xFF0000, 0, 0);
    s.DrawLine(x, y - 3, x, y + 3, 0xFF0000, 0, 0);
  }
  s.DrawFont(316, 8, font, -2147483647 - 1, VFONT_RIGHT | ColorKey | Opacity, 160);
}

void DrawSprites(V2DSurface& s, V2DSurfaceRGBA& straight, V2DSurfaceRGBA& premultiplied) {
  s.BltFast(200, 60, &straight, nullptr);
  s.BltFast(225, 75, &premultiplied, nullptr);
  const tagRECT half = {0, 0, 20, 40};
  s.BltFast(-10, 125, &straight, &half);  // clipped at the left edge
}

void DrawScene(V2DSurface& s, V2DSurface& texture) {
  s.GradientRect(nullptr, 0x401008, 0x602010, 0x100830, 0x301860, V2DGRADIENT_DITHER);

  // A ground plane in the lower third, seen from above the texture.
  const tagRECT ground = {0, 168, 320, 240};
  s.Landscape(&ground, 8 << 16, 40 << 16, 6 << 16, 300, 2, 120, &texture);

  // A turned quad with a wrapped texture, keyed, and one blended over it.
  s.TexturePoly(30, 20, 0, 0, 110, 40, 48, 0, 10, 100, 0, 48, &texture, ColorKey, 0);
  s.TexturePoly(110, 40, 48, 0, 90, 120, 48, 48, 10, 100, 0, 48, &texture, ColorKey, 0);
  s.TexturePoly(60, 60, 0, 0, 140, 70, 16, 0, 70, 140, 0, 16, &texture, Opacity, 100);

  // Triangles: flat, half transparent, shaded plain and dithered.
  s.FillPoly(150, 20, 210, 30, 170, 80, 0xD02030, 0, 0);
  s.FillPoly(180, 40, 240, 50, 190, 110, 0x20A0F0, Opacity, 128);
  s.GradientPoly(250, 10, 0x0000FF, 310, 60, 0x00FF00, 240, 110, 0xFF0000, 0);
  s.GradientPoly(200, 120, 0x000000, 300, 130, 0xFFFFFF, 230, 165, 0x808000, V2DGRADIENT_DITHER);

  // Ovals and outlines.
  s.FillOval(20, 120, 30, 20, 0xF0E020, 0, 0);
  s.DrawOval(18, 118, 32, 22, 0xFFFFFF, 0, 0);
  s.FillOval(60, 130, 25, 25, 0x3060F0, Additive, 0);
  s.DrawOval(120, 140, 40, 0, 0xFFFFFF, 0, 0);
  s.DrawOval(170, 125, 0, 18, 0x00FF80, 0, 0);

  // Rectangles: outlines, a one-row one, fills with the blends.
  const tagRECT frame = {4, 4, 316, 164}, row = {120, 150, 200, 151}, column = {205, 125, 206, 160};
  s.DrawRect(&frame, 0xC0C0C0, 0, 0);
  s.DrawRect(&row, 0xFF4040, 0, 0);
  s.DrawRect(&column, 0x40FF40, Opacity, 160);
  const tagRECT shade = {120, 100, 190, 130}, glow = {130, 90, 160, 140};
  s.FillRect(&shade, 0x000000, Opacity, 96);
  s.FillRect(&glow, 0x402000, Additive, 0);

  // Lines: a fan, then blended ones across it.
  for (int32_t i = 0; i <= 16; i++) {
    const uint32_t c = 0x101010u * uint32_t(i) | 0x0000F0;
    s.DrawLine(260, 200, 180 + 10 * i, 150, c, 0, 0);
  }
  s.DrawLine(0, 239, 319, 0, 0x808080, Opacity | Additive, 128);
  s.DrawLine(319, 239, 0, 0, 0x404040, Subtractive, 0);
  s.DrawLine(0, 160, 319, 160, 0xFFFFFF, Opacity, 64);
  s.DrawLine(300, 170, 300, 235, 0xFF8000, 0, 0);

}

std::string SceneDigest(uint8_t rotation) {
  DisplayRig rig;
  rig.math.Init();
  EXPECT_EQ(rig.Open(rotation, VideoType::DisplayDefault, 0), 0);
  // A display turned a quarter has an upright back buffer; the scene then
  // goes to a 320 x 240 surface of its own, stored sideways like the panel.
  V2DSurface* back = rig.display.GetBackBuffer();
  V2DSurface sideways, texture;
  V2DSurfaceRGBA straight, premultiplied;
  if (rig.display.AxesSwapped()) {
    EXPECT_EQ(rig.display.CreateSurface(&sideways, 320, 240, As(VideoType::Rgb565)), 0);
    back = &sideways;
  }
  EXPECT_EQ(back->GetWidth(), 320);
  EXPECT_EQ(back->GetHeight(), 240);
  EXPECT_EQ(rig.display.CreateSurface(&texture, 16, 16, As(VideoType::Rgb565)), 0);
  PaintTexture(texture);
  EXPECT_EQ(rig.display.CreateSurface(&straight, 40, 40, 0), 0);
  EXPECT_EQ(rig.display.CreateSurface(&premultiplied, 40, 40, V2DRGBA_PREMULTIPLIED), 0);
  PaintSprite(straight);
  PaintSprite(premultiplied);
  DrawScene(*back, texture);
  DrawText(*back, rig.display.GetInternalFont());
  DrawSprites(*back, straight, premultiplied);
  std::vector<uint8_t> bytes;
  for (int32_t y = 0; y < back->GetHeight(); y++)
    for (int32_t x = 0; x < back->GetWidth(); x++) {
      const uint32_t c = back->GetPixel(x, y);
      for (int i = 0; i < 4; i++) bytes.push_back(uint8_t(c >> (8 * i)));
    }
  char digest[VSTD_MD5LENGTH];
  ClassVStd::MD5Data(digest, bytes.data(), uint32_t(bytes.size()));
  return digest;
}

class ScenePicture : public ::testing::TestWithParam<uint8_t> {};

TEST_P(ScenePicture, MatchesTheCheckedInDigestOnEveryRotation) { EXPECT_EQ(SceneDigest(GetParam()), SCENE_MD5); }

INSTANTIATE_TEST_SUITE_P(Rotations, ScenePicture, ::testing::Range<uint8_t>(0, 4),
                         [](const auto& info) { return "Rotation" + std::to_string(int(info.param)); });

}  // namespace

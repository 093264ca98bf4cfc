// Tests of the built graphics package: every entry the loading screen loads
// comes back through the same framework calls into the surface types it
// uses, with the sizes, bands, cells and key colours the screens draw from;
// the fonts build complete glyph tables; the logo model loads and renders
// framed over the banner; the object sprites tell the colours apart by
// shape and grey level and animate in small steps.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "render/display_rig.h"
#include "render/vsurf_2d.h"
#include "render/vsurf_2drgba.h"
#include "render/vsurf_3d.h"
#include "resources/loaders/vldr_base.h"
#include "resources/vmod_file.h"
#include "util/vmod_memory.h"

namespace {

constexpr uint32_t kMagenta = 0xFF00FF;
constexpr int32_t kScreenWidth = 320, kScreenHeight = 240;

#ifdef VEXA_PACKAGE_FOLDER
const char* const kPackageFolder = VEXA_PACKAGE_FOLDER;
#else
const char* const kPackageFolder = nullptr;  // no packages in this build: the suite skips
#endif

std::string GraphicsPackage() { return std::string(kPackageFolder) + "/res/gfx.vpk"; }

// The display and the open graphics package, as the loading screen has them.
class AssetRig : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!kPackageFolder) GTEST_SKIP() << "this build makes no packages";
    rig.math.Init();
    ASSERT_EQ(RegisterDisplayLoaders(&rig.display), 1);
    ASSERT_EQ(rig.Open(0), 0);
    ASSERT_EQ(pack.Open(GraphicsPackage().c_str(), VFILE_MODE_READ), 1) << GraphicsPackage();
    ASSERT_TRUE(pack.PackValid());
  }
  std::vector<uint8_t> Fetch(const char* name) {
    uint8_t* data = nullptr;
    uint32_t size = 0;
    std::vector<uint8_t> bytes;
    if (pack.PackGetFileData(data, size, name) == VPK_OK) bytes.assign(data, data + size);
    ClassVMemory::DeAlloc(data);
    return bytes;
  }
  // LoadSurface for a keyed surface: created from the data, key magenta.
  void Load(V2DSurface& surface, const char* name) {
    const std::vector<uint8_t> bytes = Fetch(name);
    ASSERT_FALSE(bytes.empty()) << name << " is not in the package";
    ASSERT_EQ(rig.display.CreateSurface(&surface, bytes.data(), uint32_t(bytes.size()), 0), 0) << name;
    surface.SetColorKey(kMagenta);
  }
  void Load(V2DSurfaceRGBA& surface, const char* name) {
    const std::vector<uint8_t> bytes = Fetch(name);
    ASSERT_FALSE(bytes.empty()) << name << " is not in the package";
    ASSERT_EQ(rig.display.CreateSurface(&surface, bytes.data(), uint32_t(bytes.size()), 0), 0) << name;
  }

  DisplayRig rig;
  ClassVFile pack;
};

struct PICTURESIZE {
  const char* name;
  int32_t width, height;
};

// --- pictures -------------------------------------------------------------------

TEST_F(AssetRig, FullScreenAndFieldPicturesHaveTheirSizes) {
  const PICTURESIZE pictures[] = {{"splash.png", kScreenWidth, kScreenHeight},
                                  {"title.png", kScreenWidth, kScreenHeight},
                                  {"backdrop.png", kScreenWidth, kScreenHeight},
                                  {"advert.png", kScreenWidth, kScreenHeight},
                                  {"grid.png", 192, 192}};
  for (const PICTURESIZE& p : pictures) {
    V2DSurface s;
    Load(s, p.name);
    EXPECT_EQ(s.GetWidth(), p.width) << p.name;
    EXPECT_EQ(s.GetHeight(), p.height) << p.name;
  }
}

TEST_F(AssetRig, GridIsTheFieldOfTheBackdrop) {
  V2DSurface backdrop, grid;
  Load(backdrop, "backdrop.png");
  Load(grid, "grid.png");
  int32_t differing = 0;
  for (int32_t y = 0; y < grid.GetHeight(); ++y)
    for (int32_t x = 0; x < grid.GetWidth(); ++x) differing += grid.GetPixel(x, y) != backdrop.GetPixel(63 + x, 17 + y);
  EXPECT_EQ(differing, 0);
}

TEST_F(AssetRig, SpriteSheetsHoldTheirCells) {
  V2DSurface objects, menu;
  Load(objects, "objects.bmp");
  Load(menu, "menusprites.bmp");
  EXPECT_EQ(objects.GetWidth() / 8, 24);
  EXPECT_EQ(objects.GetWidth() % 8, 0);
  EXPECT_EQ(objects.GetHeight(), 11 * 24);
  ASSERT_GE(menu.GetWidth(), 80);
  ASSERT_GE(menu.GetHeight(), 80);
  const uint32_t key = menu.GetColorKey();
  auto inked = [&](int32_t left, int32_t top, int32_t right, int32_t bottom) {
    int32_t count = 0;
    for (int32_t y = top; y < bottom; ++y)
      for (int32_t x = left; x < right; ++x) count += menu.GetPixel(x, y) != key;
    return count;
  };
  EXPECT_GT(inked(0, 0, 32, 32), 0) << "cursor";
  EXPECT_GT(inked(48, 0, 80, 32), 0) << "tumbling piece";
  EXPECT_GT(inked(76, 76, 80, 80), 0) << "particle";
}

TEST_F(AssetRig, MessagesAreFourEqualBandsWithinTheField) {
  V2DSurface messages;
  Load(messages, "messages.png");
  EXPECT_EQ(messages.GetHeight() % 4, 0);
  EXPECT_LE(messages.GetWidth(), 192);
  const int32_t band = messages.GetHeight() / 4, key = int32_t(messages.GetColorKey());
  for (int32_t k = 0; k < 4; ++k) {
    int32_t inked = 0;
    for (int32_t y = k * band; y < (k + 1) * band; ++y)
      for (int32_t x = 0; x < messages.GetWidth(); ++x) inked += int32_t(messages.GetPixel(x, y)) != key;
    EXPECT_GT(inked, 0) << "band " << k;
  }
}

TEST_F(AssetRig, ProgressBarKeyComesFromItsCornerAndHoldsTheFill) {
  V2DSurface bar;
  Load(bar, "progressbar.png");
  const uint32_t key = bar.AutoSetColorKey(0, 0);
  EXPECT_EQ(key, bar.GetColorKey());
  EXPECT_EQ(bar.GetPixel(0, 0), bar.GetPixel(bar.GetWidth() - 1, 0)) << "both top corners are transparent";
  // Drawn at (83, 203), the bar is filled from (94, 208) to (224, 214).
  EXPECT_GE(bar.GetWidth(), 224 - 83);
  EXPECT_GE(bar.GetHeight(), 214 - 203);
  for (int32_t y = 208 - 203; y < 214 - 203; ++y)
    for (int32_t x = 94 - 83; x < 224 - 83; ++x) ASSERT_NE(bar.GetPixel(x, y), key) << x << "," << y;
}

// The overlay places a box centred above the bar, whose height comes from
// menubar.png; its key is the colour at the box's corner.
int32_t BoxTop(V2DSurfaceRGBA& menubar, const V2DSurface& box) {
  return (238 - menubar.GetHeight() / 8) / 2 - box.GetHeight() / 2;
}

TEST_F(AssetRig, InfoBoxesAreKeyedAtTheirCornerAndFitAboveTheBar) {
  V2DSurfaceRGBA menubar;
  Load(menubar, "menubar.png");
  for (const char* name : {"box_highscores.png", "box_about.png"}) {
    V2DSurface box;
    Load(box, name);
    EXPECT_EQ(box.GetPixel(0, 0), box.GetColorKey()) << name;
    EXPECT_GE(160 - box.GetWidth() / 2, 0) << name;
    EXPECT_GE(BoxTop(menubar, box), 0) << name;
    EXPECT_LE(BoxTop(menubar, box) + box.GetHeight(), 238 - menubar.GetHeight() / 8) << name;
  }
}

TEST_F(AssetRig, HighScoreBoxHoldsTheOverlayTexts) {
  V2DSurfaceRGBA menubar;
  V2DSurface box;
  Load(menubar, "menubar.png");
  Load(box, "box_highscores.png");
  const int32_t left = 160 - box.GetWidth() / 2, top = BoxTop(menubar, box);
  EXPECT_LE(left, 80) << "ranks";
  EXPECT_GE(left + box.GetWidth(), 240) << "scores end at 236";
  EXPECT_LE(top, 50 - 20) << "a heading above the first rank";
  EXPECT_GE(top + box.GetHeight(), 184 + 11) << "the last submit line";
}

TEST_F(AssetRig, AboutBoxHoldsLinesBelowItsHeading) {
  V2DSurface box;
  Load(box, "box_about.png");
  EXPECT_GE(box.GetHeight(), 38 + 8 * 11) << "eight lines of text from row 38";
}

TEST_F(AssetRig, OverlayStripsDivideEvenly) {
  const PICTURESIZE strips[] = {{"titleoption.png", 1, 2}, {"menubar.png", 1, 8}, {"menuoption.png", 2, 10}};
  for (const PICTURESIZE& p : strips) {
    V2DSurfaceRGBA s;
    Load(s, p.name);
    ASSERT_GT(s.GetWidth(), 0) << p.name;
    EXPECT_EQ(s.GetWidth() % p.width, 0) << p.name;
    EXPECT_EQ(s.GetHeight() % p.height, 0) << p.name;
  }
  V2DSurfaceRGBA option;
  Load(option, "titleoption.png");
  EXPECT_LE(161 + option.GetWidth(), 240) << "the two mode labels do not overlap";
  EXPECT_LE(240 + option.GetWidth(), kScreenWidth);
}

TEST_F(AssetRig, KeyAndBannerFitTheirPlaces) {
  V2DSurfaceRGBA key, banner;
  Load(key, "kbkey.png");
  Load(banner, "vexabanner.png");
  EXPECT_GE(key.GetWidth(), 24);
  EXPECT_EQ((key.GetWidth() - 24) % 2, 0) << "an equal border on each side of the face";
  EXPECT_GE(key.GetHeight(), 24);
  uint32_t colour, alpha;
  key.GetPixel(key.GetWidth() / 2, 12, colour, alpha);
  EXPECT_EQ(alpha, 255u) << "the face is opaque";
  EXPECT_LE(banner.GetWidth(), kScreenWidth);
  EXPECT_LE(200 + banner.GetHeight(), kScreenHeight);
}

// --- fonts ------------------------------------------------------------------------

struct FONTCASE {
  const char* name;
  uint16_t first;
  int32_t paddingx, paddingy;
};

TEST_F(AssetRig, FontsBuildEveryGlyphOfTheirRange) {
  const FONTCASE fonts[] = {{"font.png", 32, -1, -1}, {"fontscore.png", 32, -1, -1}, {"keyfont.bmp", 0, 1, 0}};
  for (const FONTCASE& f : fonts) {
    V2DSurface sheet;
    Load(sheet, f.name);
    sheet.SetFontPadding(f.paddingx, f.paddingy);
    sheet.SetFontCharacters(f.first, 127);
    ASSERT_EQ(sheet.BuildFont(true, kMagenta), 0) << f.name;
    const int16_t* table = sheet.GetFontTable();
    ASSERT_NE(table, nullptr) << f.name;
    ASSERT_EQ(table[3], 128 - f.first) << f.name;
    const int16_t* space = table + 4;
    for (int32_t i = 0; i < table[3]; ++i) {
      const int16_t* glyph = table + 4 * (i + 1);
      EXPECT_GT(glyph[2], glyph[0]) << f.name << " character " << (f.first + i);
      EXPECT_EQ(glyph[3] - glyph[1], space[3] - space[1]) << f.name << " character " << (f.first + i);
    }
  }
}

TEST_F(AssetRig, KeyboardLabelsAndLettersHaveInk) {
  V2DSurface sheet;
  Load(sheet, "keyfont.bmp");
  sheet.SetFontPadding(1, 0);
  sheet.SetFontCharacters(0, 127);
  ASSERT_EQ(sheet.BuildFont(true, kMagenta), 0);
  const int16_t* table = sheet.GetFontTable();
  ASSERT_NE(table, nullptr);
  const uint32_t key = sheet.GetColorKey();
  for (int32_t code = 24; code < 127; ++code) {
    if (code >= 32 && code != 'A' && code != 'z' && code != '0') continue;
    const int16_t* glyph = table + 4 * (code + 1);
    int32_t ink = 0;
    for (int32_t y = glyph[1]; y < glyph[3]; ++y)
      for (int32_t x = glyph[0]; x < glyph[2]; ++x) ink += sheet.GetPixel(x, y) != key;
    EXPECT_GT(ink, 0) << "character " << code;
  }
}

// --- the logo ---------------------------------------------------------------------

// The loading screen's logo placement at logo time t.
void PlaceLogo(V3DSurface& logo, int32_t t) {
  logo.Reset();
  const int32_t a = t % 4096, b = a - 2048;
  int32_t c = 0, offsetx = 0;
  if (std::abs(b) >= 512) {
    const int32_t turned = b < 0 ? a - 1536 : a - 2560;
    c = std::abs(turned);
    offsetx = 80 * turned / 32;
  }
  logo.Translate(offsetx, -c / 2, 0);
  const int32_t scale = (65536 - 42 * c) / 2;
  logo.Scale(scale, scale, scale);
  logo.Rotate(3312, 0, 0);
  logo.Rotate(0, 0, uint32_t(b * (c + 512) / 512 + 512));
}

TEST_F(AssetRig, LogoLoadsAndRendersFramedOverTheBanner) {
  const std::vector<uint8_t> bytes = Fetch("vexalogo.3ds");
  ASSERT_FALSE(bytes.empty());
  V3DSurface logo;
  ASSERT_EQ(rig.display.CreateSurface(&logo, bytes.data(), uint32_t(bytes.size()), -2, 0), 0);
  rig.display.SetLightSource(0, -2048, -4096, -4096, 0xFFFFFF, 0x202020);
  rig.display.SetLightSource(1, -2048, -4096, -4096, 0xC0C0C0, 0);
  rig.display.UseLight(0, true);
  rig.display.UseLight(1, true);
  V2DSurface screen;
  ASSERT_EQ(rig.display.CreateSurface(&screen, kScreenWidth, kScreenHeight, 0), 0);
  const uint32_t background = 0x000000;
  screen.Clear(background);
  PlaceLogo(logo, 2048);
  EXPECT_GT(screen.Render(0, -20, &logo, 0x80000200, 0), 0);
  int32_t left = kScreenWidth, right = -1, top = kScreenHeight, bottom = -1;
  for (int32_t y = 0; y < kScreenHeight; ++y)
    for (int32_t x = 0; x < kScreenWidth; ++x)
      if (screen.GetPixel(x, y) != background) {
        left = std::min(left, x), right = std::max(right, x);
        top = std::min(top, y), bottom = std::max(bottom, y);
      }
  ASSERT_GE(right, left) << "nothing drawn";
  EXPECT_NEAR((left + right) / 2, 160, 12);
  EXPECT_GE(right - left, 80) << "large enough to read";
  EXPECT_GE(bottom - top, 80) << "large enough to read";
  EXPECT_GT(top, 0) << "the whole logo is on the screen";
  EXPECT_LT(bottom, 200) << "above the banner";
}

// --- object sprites ---------------------------------------------------------------

constexpr int32_t kCell = 24;

struct CELLPICTURE {
  std::vector<bool> opaque;
  std::vector<int32_t> grey;
};

CELLPICTURE Cell(const V2DSurface& sheet, int32_t row, int32_t frame) {
  CELLPICTURE cell;
  const uint32_t key = sheet.GetColorKey();
  for (int32_t y = 0; y < kCell; ++y) {
    for (int32_t x = 0; x < kCell; ++x) {
      const uint32_t c = sheet.GetPixel(frame * kCell + x, row * kCell + y);
      const bool opaque = c != key;
      cell.opaque.push_back(opaque);
      const int32_t r = c & 0xFF, g = (c >> 8) & 0xFF, b = (c >> 16) & 0xFF;
      cell.grey.push_back(opaque ? (299 * r + 587 * g + 114 * b) / 1000 : 0);
    }
  }
  return cell;
}

int32_t SilhouetteDifference(const CELLPICTURE& a, const CELLPICTURE& b) {
  int32_t count = 0;
  for (size_t i = 0; i < a.opaque.size(); ++i) count += a.opaque[i] != b.opaque[i];
  return count;
}

int32_t GreyDifference(const CELLPICTURE& a, const CELLPICTURE& b) {
  int32_t count = 0;
  for (size_t i = 0; i < a.grey.size(); ++i) count += std::abs(a.grey[i] - b.grey[i]) > 32;
  return count;
}

int32_t PixelDifference(const V2DSurface& sheet, int32_t row, int32_t f1, int32_t f2) {
  int32_t count = 0;
  for (int32_t y = 0; y < kCell; ++y)
    for (int32_t x = 0; x < kCell; ++x)
      count += sheet.GetPixel(f1 * kCell + x, row * kCell + y) != sheet.GetPixel(f2 * kCell + x, row * kCell + y);
  return count;
}

TEST_F(AssetRig, ObjectColoursDifferInShapeAndGrey) {
  V2DSurface objects;
  Load(objects, "objects.bmp");
  const int32_t fifth = kCell * kCell / 5;
  for (int32_t i = 0; i < 8; ++i) {
    for (int32_t j = i + 1; j < 8; ++j) {
      const CELLPICTURE a = Cell(objects, i, 0), b = Cell(objects, j, 0);
      EXPECT_GE(SilhouetteDifference(a, b), fifth) << "colours " << i + 1 << " and " << j + 1;
      EXPECT_GE(GreyDifference(a, b), fifth) << "colours " << i + 1 << " and " << j + 1;
    }
  }
}

TEST_F(AssetRig, ObjectRowsAnimateInSmallSteps) {
  V2DSurface objects;
  Load(objects, "objects.bmp");
  for (int32_t row = 0; row < 11; ++row) {
    for (int32_t frame = 0; frame < 8; ++frame) {
      const CELLPICTURE cell = Cell(objects, row, frame);
      EXPECT_GT(std::count(cell.opaque.begin(), cell.opaque.end(), true), 0) << row << "/" << frame;
    }
    const int32_t far = PixelDifference(objects, row, 0, 4);
    EXPECT_GT(far, 0) << "row " << row << " moves";
    for (int32_t frame = 0; frame + 1 < 8; ++frame)
      EXPECT_LT(PixelDifference(objects, row, frame, frame + 1), far) << "row " << row << " frame " << frame;
  }
}

}  // namespace

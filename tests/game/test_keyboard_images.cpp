// The on-screen keyboard's drawing: keys framed from the nine parts of
// "kbkey.png" at any size, their labels found from any cell of the key, and
// the two images the loading screen builds from them.
#include <array>
#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "game/screen_run.h"
#include "game/shared.h"
#include "render/display_rig.h"
#include "resources/loaders/vldr_base.h"

namespace {

constexpr uint32_t PAPER = 0x336699;

class KeyboardDrawing : public ScreenRun {
 protected:
  void SetUp() override {
    ScreenRun::SetUp();
    if (IsSkipped()) return;
    ASSERT_EQ(rig.Open(5), 0);
    RegisterDisplayLoaders(&rig.display);
    ClassVFile pack;
    ASSERT_EQ(pack.Open(PACKAGE_GFX, VFILE_MODE_READ), 1);
    ASSERT_EQ(ClassLoader::LoadSurface(&keyimage, "kbkey.png", pack, &rig.display), 1);
    ASSERT_EQ(ClassLoader::LoadSurface(&shared.surface.keyfont, "keyfont.bmp", pack, &rig.display), 1);
    pack.Close();
    shared.surface.keyfont.SetFontPadding(1, 0);
    shared.surface.keyfont.SetFontCharacters(0, 127);
    shared.surface.keyfont.BuildFont(true, 0xFF00FF);
    for (V2DSurface* surface : {&drawn, &expected}) {
      ASSERT_EQ(rig.display.CreateSurface(surface, 320, 96, 0), 0);
      surface->FillRect(nullptr, PAPER);
    }
    border = (keyimage.GetWidth() - 24) / 2;
  }

  bool SameRegion(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    for (int32_t y = top; y < bottom; y++)
      for (int32_t x = left; x < right; x++)
        if (drawn.GetPixel(x, y) != expected.GetPixel(x, y)) return false;
    return true;
  }
  void Part(int32_t x, int32_t y, int32_t left, int32_t top, int32_t right, int32_t bottom) {
    const tagRECT part = {left, top, right, bottom};
    expected.BltFast(x, y, &keyimage, &part);
  }

  DisplayRig rig;
  ClassShared shared;
  V2DSurfaceRGBA keyimage;
  V2DSurface drawn, expected;
  int32_t border = 0;
};

TEST_F(KeyboardDrawing, WideKeyRepeatsTheSideAndCentreCells) {
  // 44 x 16: two corner cells, three side cells and a last one of 4 pixels.
  const tagRECT key = {40, 10, 84, 26};
  shared.DrawKBKey(&drawn, &keyimage, &key);
  const int32_t face = border + 8;
  Part(40 - border, 10, 0, 0, border + 8, 8);
  for (int32_t x = 48; x < 76; x += 8) Part(x, 10, face, 0, face + (76 - x < 8 ? 76 - x : 8), 8);
  EXPECT_TRUE(SameRegion(40 - border, 10, 76, 18)) << "top-left corner with its border, then the top side";
  // The bottom-right corner carries its border and the shadow below the key.
  const int32_t imageright = keyimage.GetWidth() & ~1;
  const int32_t shadow = keyimage.GetHeight() - 24;
  Part(76, 18, border + 16, 16, imageright, 24 + shadow);
  EXPECT_TRUE(SameRegion(76, 18, 76 + imageright - border - 16, 26 + shadow));
}

TEST_F(KeyboardDrawing, NarrowKeySplitsTheCornersInHalves) {
  // 10 x 16: the left corners take 5 columns, the right ones 5, nothing between.
  const tagRECT key = {100, 10, 110, 26};
  shared.DrawKBKey(&drawn, &keyimage, &key);
  const int32_t imageright = keyimage.GetWidth() & ~1;
  Part(100 - border, 10, 0, 0, border + 5, 8);
  Part(105, 10, border + 24 - 5, 0, imageright, 8);
  EXPECT_TRUE(SameRegion(100 - border, 10, 105 + imageright - (border + 19), 18));
}

TEST_F(KeyboardDrawing, NegativeSizesAndOutOfRangeCellsDrawNothing) {
  const tagRECT backwards = {50, 10, 40, 26};
  shared.DrawKBKey(&drawn, &keyimage, &backwards);
  for (const auto& cell : {std::array<int32_t, 3>{27, 0, 0}, {0, 5, 0}, {3, 0, 2}, {0, 4, 0}}) {
    shared.DrawKBChar(&drawn, cell[0], cell[1], uint8_t(cell[2]), 250, true, true);
  }
  EXPECT_TRUE(SameRegion(0, 0, 320, 96));
}

TEST_F(KeyboardDrawing, EveryCellOfAKeyDrawsTheSameLabel) {
  // Row 2 starts with caps lock over columns 0-3; column 5 is the second cell of "a".
  shared.DrawKBChar(&drawn, 0, 2, 0, 0, true, false);
  shared.DrawKBChar(&expected, 3, 2, 0, 0, true, false);
  EXPECT_TRUE(SameRegion(0, 0, 320, 96));
  shared.DrawKBChar(&drawn, 5, 2, 0, 0, true, false);
  EXPECT_FALSE(SameRegion(0, 0, 320, 96)) << "the a key is labelled";
  shared.DrawKBChar(&expected, 4, 2, 0, 0, true, false);
  EXPECT_TRUE(SameRegion(0, 0, 320, 96));
}

TEST_F(KeyboardDrawing, HighlightDarkensTheKeyUnderItsLabel) {
  shared.DrawKBChar(&drawn, 6, 1, 1, 0, true, true);
  const uint32_t shaded = drawn.GetPixel(KeyLeft(5) + 1, 16 + 7);
  EXPECT_LT(shaded & 0xFF, PAPER & 0xFF);
  EXPECT_EQ(drawn.GetPixel(KeyLeft(5) - 1, 16 + 7), expected.GetPixel(KeyLeft(5) - 1, 16 + 7));
}

TEST(KeyboardLayout, KeysAreRunsOfEqualCells) {
  EXPECT_EQ(KeyCell(0, 0, 0), KEY_ESCAPE);
  EXPECT_EQ(KeyRunLength(0, 0, 0), 2);
  EXPECT_EQ(KeyStart(0, 0, 25), 24) << "backspace fills the last three cells";
  EXPECT_EQ(KeyCell(1, 1, 3), 'Q');
  EXPECT_EQ(KeyRunLength(0, 4, 6), 16) << "the space bar";
  EXPECT_EQ(KeyCell(0, 4, 0), 0);
  EXPECT_EQ(KeyCell(2, 0, 0), 0);
}

}  // namespace

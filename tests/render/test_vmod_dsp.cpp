// Tests of the display: opening on the emulated framebuffer with every
// rotation and render mode, the flip and its rectangle, the copy engine, the
// virtual coordinate mappings, the palette and its lookup, loaders, the blit
// and light tables, the forwarding operations and the wipes.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include <sys/mman.h>

#include "display_rig.h"
#include "platform/host/host_devices.h"
#include "render/vmod_dsp.h"
#include "render/vsurf_3d.h"
#include "render/vrdr_blt.h"
#include "render/vsurf_2d.h"
#include "resources/loaders/vldr_base.h"

namespace {

using namespace BlitFlags;

constexpr int32_t FBW = int32_t(HOST_FB_WIDTH), FBH = int32_t(HOST_FB_HEIGHT);

uint16_t Screen(int32_t x, int32_t y) { return HostDevices_FrameBuffer()[y * FBW + x]; }

// The emulated framebuffer, writable, as a test sets up what is on screen.
uint16_t* WritableScreen() {
  int fd = Platform_Open("/dev/fb0", 2);
  void* p = Platform_Mmap(size_t(FBW) * FBH * 2, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  Platform_Close(fd);
  return p == MAP_FAILED ? nullptr : static_cast<uint16_t*>(p);
}

void CountPresent(const uint16_t*, void* user) { ++*static_cast<int*>(user); }

// --- opening -----------------------------------------------------------------------

struct ROTATION {
  uint8_t requested, resolved;
  bool swapped;
  int32_t xdir, ydir, width, height;
  int32_t originx, originy;  // physical position of virtual (0, 0)
};

class Rotation : public ::testing::TestWithParam<ROTATION> {};

TEST_P(Rotation, GivesTheOrientationAndBackBufferOfItsCode) {
  const ROTATION& r = GetParam();
  DisplayRig rig;
  ASSERT_EQ(rig.Open(r.requested), 0);
  ClassVDisplay& d = rig.display;
  EXPECT_TRUE(d.IsOpen());
  EXPECT_EQ(d.GetRotation(), r.resolved);
  EXPECT_EQ(rig.config.orientation, r.resolved);
  EXPECT_EQ(d.AxesSwapped(), r.swapped);
  EXPECT_EQ(d.GetXDirection(), r.xdir);
  EXPECT_EQ(d.GetYDirection(), r.ydir);
  EXPECT_EQ(d.GetWidth(), r.width);
  EXPECT_EQ(d.GetHeight(), r.height);
  V2DSURFACEINFO info;
  ASSERT_EQ(d.GetBackBuffer()->GetInfo(&info), 1);
  EXPECT_EQ(info.physwidth, HOST_FB_WIDTH);
  EXPECT_EQ(info.physheight, HOST_FB_HEIGHT);
  EXPECT_EQ(info.origin, uint32_t(r.originy) * info.rowbytes + uint32_t(r.originx) * 2);
  d.GetBackBuffer()->PutPixel(0, 0, 0xFFFFFF, 0, 0);
  d.Flip();
  EXPECT_EQ(Screen(r.originx, r.originy), 0xFFFF);
}

INSTANTIATE_TEST_SUITE_P(Codes, Rotation,
                         ::testing::Values(ROTATION{0, 0, false, 1, 1, 320, 240, 0, 0},
                                           ROTATION{1, 1, true, 1, -1, 240, 320, 0, 239},
                                           ROTATION{2, 2, false, -1, -1, 320, 240, 319, 239},
                                           ROTATION{3, 3, true, -1, 1, 240, 320, 319, 0},
                                           ROTATION{4, 3, true, -1, 1, 240, 320, 319, 0},
                                           ROTATION{5, 0, false, 1, 1, 320, 240, 0, 0},
                                           ROTATION{6, 0, false, 1, 1, 320, 240, 0, 0}));

struct RENDERMODE {
  uint8_t requested, rendermode;
};

class RenderMode : public ::testing::TestWithParam<RENDERMODE> {};

TEST_P(RenderMode, ComesFromTheRequestWith15And24BitsPromoted) {
  DisplayRig rig;
  ASSERT_EQ(rig.Open(0, GetParam().requested), 0);
  EXPECT_EQ(rig.display.GetDisplayMode(), VideoType::Rgb565);
  EXPECT_EQ(rig.display.GetRenderMode(), GetParam().rendermode);
  EXPECT_EQ(rig.display.GetBackBuffer()->GetVideoType(), GetParam().rendermode);
  // Whatever the render mode, the back buffer's colours reach the screen.
  const bool indexed = GetParam().rendermode == VideoType::Indexed8;
  const uint32_t white = 0xFFFFFF;
  rig.display.SetPalette(&white, 1, 1);
  rig.display.GetBackBuffer()->FillRect(nullptr, indexed ? 1 : 0xFFFFFF);
  const uint32_t shown = indexed ? white : rig.display.GetBackBuffer()->GetPixel(5, 7);
  rig.display.Flip();
  EXPECT_EQ(Screen(5, 7), V2DSurfaceBase::ColorToNative(VideoType::Rgb565, shown));
  EXPECT_EQ(Screen(FBW - 1, FBH - 1), V2DSurfaceBase::ColorToNative(VideoType::Rgb565, shown));
}

INSTANTIATE_TEST_SUITE_P(Requests, RenderMode,
                         ::testing::Values(RENDERMODE{VideoType::DisplayDefault, VideoType::Rgb565},
                                           RENDERMODE{VideoType::Rgb565, VideoType::Rgb565},
                                           RENDERMODE{VideoType::Rgb555, VideoType::Rgb565},
                                           RENDERMODE{VideoType::Rgb888, VideoType::Xrgb8888},
                                           RENDERMODE{VideoType::Xrgb8888, VideoType::Xrgb8888},
                                           RENDERMODE{VideoType::Rgb444, VideoType::Rgb444},
                                           RENDERMODE{VideoType::Indexed8, VideoType::Indexed8}));

TEST(Open, FailsCleanlyOnBadRequests) {
  DisplayRig rig;
  EXPECT_EQ(rig.Open(7), 4);
  EXPECT_FALSE(rig.display.IsOpen());
  EXPECT_EQ(rig.Open(0, 7), 1);
  EXPECT_FALSE(rig.display.IsOpen());
  // Without display flag 8 the internal font is built as well.
  EXPECT_EQ(rig.Open(0, VideoType::DisplayDefault, 0), 0);
  EXPECT_TRUE(rig.display.IsOpen());
  EXPECT_EQ(rig.display.Open(nullptr, nullptr, 4, 320, 240, true), 4);
  ClassVDisplay other;
  rig.vcd.display = &other;
  EXPECT_EQ(rig.display.Open(nullptr, &rig.vcd, 4, 320, 240, true), 4);
  rig.vcd.display = &rig.display;
  ASSERT_EQ(rig.Open(0), 0);
  const int fb = vdeviceptr[VEXA_DEVICE_FB];
  vdeviceptr[VEXA_DEVICE_FB] = 0;
  EXPECT_EQ(rig.Open(0), 1);
  EXPECT_FALSE(rig.display.IsOpen());
  vdeviceptr[VEXA_DEVICE_FB] = fb;
}

TEST(Open, SetsTheTablesAndStateItPromises) {
  DisplayRig rig;
  rig.config.surfacetype = 0x21;
  ASSERT_EQ(rig.Open(0), 0);
  ClassVDisplay& d = rig.display;
  EXPECT_EQ(rig.config.surfacetype, 1);
  EXPECT_EQ(d.GetRenderSize(), 240);
  const int32_t* m = d.GetWorldMatrix();
  for (int i = 0; i < 16; i++) EXPECT_EQ(m[i], i % 5 == 0 ? 4096 : 0) << i;
  const VDSPLIGHT* lights = d.GetLights();
  ASSERT_NE(lights, nullptr);
  for (int i = 0; i < VDSP_LIGHTS; i++) {
    EXPECT_EQ(lights[i].on, 0);
    EXPECT_EQ(lights[i].x, 0);
    EXPECT_EQ(lights[i].z, -65536);
    EXPECT_EQ(lights[i].constantcolor, 0u);
    EXPECT_EQ(lights[i].anglecolor, i == 0 ? 0xFFFFFFu : 0u);
  }
  uint32_t total = 9, free = 9;
  EXPECT_EQ(d.GetVideoMemory(total, free), 3);
  EXPECT_EQ(total + free, 0u);
  EXPECT_EQ(d.QueryTextureHandle(d.GetBackBuffer()), -1);
}

struct DEPTH {
  uint8_t mode;
  void (*fast)(VRDR_BLTFAST*);
  void (*flip)(VRDR_BLTFLIP*);
};

class BltTable : public ::testing::TestWithParam<DEPTH> {};

TEST_P(BltTable, HoldsJustTheRenderDepthsFamilyEntries) {
  DisplayRig rig;
  ASSERT_EQ(rig.Open(0, GetParam().mode), 0);
  const VDSPBLTTABLE* table = rig.display.GetBltTable();
  ASSERT_NE(table, nullptr);
  VRDR_BLTFAST fast[VRDR_BLTFAST_ENTRIES] = {};
  VRDR_BLTFLIP flip[VRDR_BLTFLIP_ENTRIES] = {};
  GetParam().fast(fast);
  GetParam().flip(flip);
  for (int i = 0; i < 256; i++) {
    EXPECT_EQ(table->fast[i], i < VRDR_BLTFAST_ENTRIES ? fast[i] : nullptr) << i;
    EXPECT_EQ(table->flip[i], i < VRDR_BLTFLIP_ENTRIES ? flip[i] : nullptr) << i;
  }
  EXPECT_NE(table->fast[1], nullptr);
  EXPECT_NE(table->flip[0], nullptr);
  rig.display.Close();
  EXPECT_EQ(rig.display.GetBltTable(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Depths, BltTable,
                         ::testing::Values(DEPTH{VideoType::Indexed8, VRender_Get_BltFast8, VRender_Get_BltFlip8},
                                           DEPTH{VideoType::Rgb444, VRender_Get_BltFast12, VRender_Get_BltFlip12},
                                           DEPTH{VideoType::Rgb565, VRender_Get_BltFast16, VRender_Get_BltFlip16},
                                           DEPTH{VideoType::Xrgb8888, VRender_Get_BltFast32, VRender_Get_BltFlip32}));

// --- flip --------------------------------------------------------------------------

TEST(Flip, CopiesTheBackBufferAndPresentsIt) {
  DisplayRig rig;
  ASSERT_EQ(rig.Open(0, VideoType::DisplayDefault, VEXA_DSPFLAG_NOFONT | VEXA_DSPFLAG_WAITVBLANK), 0);
  int presents = 0;
  HostDevices_SetPresentHook(CountPresent, &presents);
  V2DSurface* back = rig.display.GetBackBuffer();
  tagRECT r = {10, 20, 30, 25};
  back->FillRect(&r, 0x0000FF);
  back->PutPixel(319, 239, 0x00FF00, 0, 0);
  rig.display.Flip();
  EXPECT_EQ(presents, 1);
  for (int32_t y = 0; y < FBH; y++) {
    for (int32_t x = 0; x < FBW; x++)
      ASSERT_EQ(Screen(x, y), V2DSurfaceBase::ColorToNative(VideoType::Rgb565, back->GetPixel(x, y)));
  }
  EXPECT_EQ(Screen(10, 20), 0xF800);
  EXPECT_EQ(Screen(29, 24), 0xF800);
  EXPECT_EQ(Screen(30, 24), 0);
  EXPECT_EQ(Screen(319, 239), 0x07E0);
  HostDevices_SetPresentHook(nullptr, nullptr);
}

TEST(Flip, CopiesOnlyTheFlipRectangle) {
  DisplayRig rig;
  ASSERT_EQ(rig.Open(DisplayRotation::Quarter), 0);
  V2DSurface* back = rig.display.GetBackBuffer();
  back->FillRect(nullptr, 0xFFFFFF);
  tagRECT r = {0, 0, 10, 20};  // virtual: the top-left 10 x 20 of a 240 x 320 screen
  rig.display.SetFlipRect(&r);
  rig.display.Flip();
  for (int32_t y = 0; y < FBH; y++) {
    for (int32_t x = 0; x < FBW; x++) ASSERT_EQ(Screen(x, y) != 0, x < 20 && y >= 230) << x << "," << y;
  }
}

struct FLIPRECT {
  uint8_t rotation;
  tagRECT in, out;
};

class FlipRect : public ::testing::TestWithParam<FLIPRECT> {};

TEST_P(FlipRect, IsMappedAndClampedOnAllFourEdges) {
  DisplayRig rig;
  ASSERT_EQ(rig.Open(GetParam().rotation), 0);
  rig.display.SetFlipRect(&GetParam().in);
  tagRECT r;
  rig.display.GetFlipRect(&r);
  const tagRECT& e = GetParam().out;
  EXPECT_EQ(r.left, e.left);
  EXPECT_EQ(r.top, e.top);
  EXPECT_EQ(r.right, e.right);
  EXPECT_EQ(r.bottom, e.bottom);
  rig.display.GetBackBuffer()->FillRect(nullptr, 0xFFFFFF);
  rig.display.Flip();
  int32_t drawn = 0;
  for (int32_t i = 0; i < FBW * FBH; i++) drawn += HostDevices_FrameBuffer()[i] != 0;
  EXPECT_EQ(drawn, (e.right - e.left) * (e.bottom - e.top));
  rig.display.SetFlipRect(nullptr);
  rig.display.GetFlipRect(&r);
  EXPECT_EQ(r.right * r.bottom, FBW * FBH);
}

INSTANTIATE_TEST_SUITE_P(Cases, FlipRect,
                         ::testing::Values(FLIPRECT{0, {10, 20, 30, 40}, {10, 20, 30, 40}},
                                           FLIPRECT{0, {-10, -10, 500, 500}, {0, 0, 320, 240}},
                                           FLIPRECT{0, {30, 30, 10, 10}, {30, 30, 30, 30}},
                                           FLIPRECT{0, {400, 300, 500, 400}, {320, 240, 320, 240}},
                                           FLIPRECT{2, {0, 0, 10, 20}, {310, 220, 320, 240}},
                                           FLIPRECT{1, {0, 0, 10, 20}, {0, 230, 20, 240}},
                                           FLIPRECT{3, {-5, 300, 10, 400}, {0, 0, 20, 10}},
                                           FLIPRECT{1, {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}, {0, 0, 320, 240}}));

TEST(Flip, DoesNothingWhileSuspendedOrClosed) {
  DisplayRig rig;
  ASSERT_EQ(rig.Open(0), 0);
  rig.display.GetBackBuffer()->FillRect(nullptr, 0xFFFFFF);
  rig.display.Suspend();
  EXPECT_TRUE(rig.display.IsSuspended());
  rig.display.Flip();
  EXPECT_EQ(Screen(1, 1), 0);
  EXPECT_EQ(rig.display.FillRect(nullptr, 0xFF00FF00), 1);
  rig.display.Resume();
  rig.display.Flip();
  EXPECT_EQ(Screen(1, 1), 0xFFFF);
  rig.display.GetBackBuffer()->FillRect(nullptr, 0);
  rig.display.Close();
  rig.display.Close();
  EXPECT_FALSE(rig.display.IsOpen());
  rig.display.Flip();
  EXPECT_EQ(Screen(1, 1), 0xFFFF);
  rig.display.Suspend();
  EXPECT_FALSE(rig.display.IsSuspended());
  EXPECT_EQ(rig.display.BltFast(0, 0, rig.display.GetBackBuffer(), nullptr), 1);
  EXPECT_EQ(rig.display.FillRect(nullptr, 0xFF00FF00), 1);
}

TEST(BackFlip, StartsTheBackBufferFromTheScreen) {
  uint16_t* screen = WritableScreen();
  ASSERT_NE(screen, nullptr);
  screen[3 * FBW + 5] = 0xF800;
  DisplayRig rig;
  ASSERT_EQ(rig.Open(0, VideoType::Xrgb8888, VEXA_DSPFLAG_NOFONT | VEXA_DSPFLAG_BACKFLIP), 0);
  EXPECT_EQ(rig.display.GetBackBuffer()->GetPixel(5, 3), 0x0000F8u);
  EXPECT_EQ(rig.display.GetBackBuffer()->GetPixel(6, 3), 0u);
  screen[0] = 0x001F;
  tagRECT top = {0, 0, 320, 1};
  rig.display.SetFlipRect(&top);
  rig.display.BackFlip();
  EXPECT_EQ(rig.display.GetBackBuffer()->GetPixel(0, 0), 0xF80000u);
}

struct LINE {
  uint32_t xres, mapped;
  bool queried;
  uint32_t xresvirtual, line;
};

class LinePixels : public ::testing::TestWithParam<LINE> {};

TEST_P(LinePixels, NeverAddressPastTheMapping) {
  const LINE& l = GetParam();
  EXPECT_EQ(ClassVDisplay::LinePixels(l.xres, l.mapped, l.queried, l.xresvirtual), l.line);
}

INSTANTIATE_TEST_SUITE_P(Queries, LinePixels,
                         ::testing::Values(LINE{320, 320, true, 320, 320}, LINE{320, 512, true, 512, 512},
                                           LINE{320, 320, true, 1024, 320}, LINE{320, 512, false, 0, 512},
                                           LINE{320, 512, true, 400, 400}, LINE{320, 512, true, 100, 512}));

TEST(FlipCopy, CopiesRowsTransposesWalksBackwardsAndClears) {
  const uint16_t src[6] = {1, 2, 3, 4, 5, 6};  // 3 x 2
  uint16_t dst[6] = {};
  ClassVDisplay::FlipCopy(reinterpret_cast<uint8_t*>(dst), reinterpret_cast<const uint8_t*>(src), 2, 6, 2, 6, 3, 2, 2);
  EXPECT_EQ(std::vector<uint16_t>(dst, dst + 6), (std::vector<uint16_t>{1, 2, 3, 4, 5, 6}));
  // Transposed: destination 2 x 3, source read down its columns.
  ClassVDisplay::FlipCopy(reinterpret_cast<uint8_t*>(dst), reinterpret_cast<const uint8_t*>(src), 2, 4, 6, 2, 2, 3, 2);
  EXPECT_EQ(std::vector<uint16_t>(dst, dst + 6), (std::vector<uint16_t>{1, 4, 2, 5, 3, 6}));
  // Negative steps from the far end mirror both ways.
  ClassVDisplay::FlipCopy(reinterpret_cast<uint8_t*>(dst), reinterpret_cast<const uint8_t*>(src + 5), 2, 6, -2, -6, 3,
                          2, 2);
  EXPECT_EQ(std::vector<uint16_t>(dst, dst + 6), (std::vector<uint16_t>{6, 5, 4, 3, 2, 1}));
  ClassVDisplay::FlipCopy(reinterpret_cast<uint8_t*>(dst + 1), nullptr, 2, 6, 0, 0, 2, 2, 2);
  EXPECT_EQ(std::vector<uint16_t>(dst, dst + 6), (std::vector<uint16_t>{6, 0, 0, 3, 0, 0}));
  uint8_t rgb[6] = {1, 2, 3, 4, 5, 6}, out[6] = {};
  ClassVDisplay::FlipCopy(out, rgb + 3, 3, 3, -3, 3, 2, 1, 3);
  EXPECT_EQ(std::vector<uint8_t>(out, out + 6), (std::vector<uint8_t>{4, 5, 6, 1, 2, 3}));
}

// --- virtual coordinates ----------------------------------------------------------

TEST(Virtual, PositionsRectanglesAndBlocksFollowTheRotation) {
  struct CASE {
    uint8_t rotation;
    int32_t px, py;          // VirtualPos of (10, 20) in 320 x 240 storage
    tagRECT rect;            // VirtualRect of (1, 2, 4, 8) in 320 x 240 storage
    int32_t bx, by;          // VirtualRectPos of (10, 20) with source (0, 0, 5, 7) of a 5 x 7 source
    int32_t tx, ty;          // the same for a quarter-turn BltFlip
  };
  const CASE cases[] = {
      {0, 10, 20, {1, 2, 4, 8}, 10, 20, 10, 20},
      {1, 20, 229, {2, 236, 8, 239}, 20, 229 - 4, 20, 229 - 6},
      {2, 309, 219, {316, 232, 319, 238}, 305, 213, 303, 215},
      {3, 299, 10, {312, 1, 318, 4}, 299 - 6, 10, 299 - 4, 10},
  };
  for (const CASE& c : cases) {
    DisplayRig rig;
    ASSERT_EQ(rig.Open(c.rotation), 0);
    const ClassVDisplay& d = rig.display;
    int32_t x = 10, y = 20;
    d.VirtualPos(x, y, 320, 240);
    EXPECT_EQ(x, c.px);
    EXPECT_EQ(y, c.py);
    tagRECT r = {1, 2, 4, 8};
    d.VirtualRect(r, 320, 240);
    EXPECT_EQ(r.left, c.rect.left);
    EXPECT_EQ(r.top, c.rect.top);
    EXPECT_EQ(r.right, c.rect.right);
    EXPECT_EQ(r.bottom, c.rect.bottom);
    d.ReVirtualRect(r, 320, 240);
    EXPECT_EQ(r.left, 1);
    EXPECT_EQ(r.bottom, 8);
    // Block positions: the rectangle is mapped inside its 5 x 7 source
    // (7 x 5 storage when the axes are swapped).
    const int32_t rw = c.rotation & 1 ? 7 : 5, rh = c.rotation & 1 ? 5 : 7;
    x = 10, y = 20;
    tagRECT block = {0, 0, 5, 7};
    d.VirtualRectPos(x, y, block, 320, 240, rw, rh);
    EXPECT_EQ(x, c.bx) << int(c.rotation);
    EXPECT_EQ(y, c.by) << int(c.rotation);
    x = 10, y = 20;
    block = {0, 0, 5, 7};
    d.VirtualRectPos(x, y, block, 320, 240, rw, rh, 1024);
    EXPECT_EQ(x, c.tx) << int(c.rotation);
    EXPECT_EQ(y, c.ty) << int(c.rotation);
  }
}

TEST(Virtual, RotationMouseTiltAndDPadTurnWithTheScreen) {
  struct CASE {
    uint8_t rotation;
    uint32_t angle0, angle1024, angle100;
    int32_t mx, my, tx, ty;
    uint32_t up, right, down, left;
  };
  // Mouse (30, 40), tilt (3, 4); button codes up 1, right 7, down 5, left 3.
  const CASE cases[] = {
      {0, 0, 1024, 100, 30, 40, 3, 4, 1, 7, 5, 3},
      {1, 3072, 0, 3172, 200, 30, -4, 3, 7, 5, 3, 1},
      {2, 2048, 3072, 2148, 290, 200, -3, -4, 5, 3, 1, 7},
      {3, 1024, 2048, 1124, 40, 290, 4, -3, 3, 1, 7, 5},
  };
  VBUTTONLIST buttons{};
  buttons.dirup = 1, buttons.dirright = 7, buttons.dirdown = 5, buttons.dirleft = 3, buttons.buttona = 13;
  for (const CASE& c : cases) {
    DisplayRig rig;
    ASSERT_EQ(rig.Open(c.rotation), 0);
    const ClassVDisplay& d = rig.display;
    EXPECT_EQ(d.VirtualRotation(0), c.angle0) << int(c.rotation);
    EXPECT_EQ(d.VirtualRotation(1024), c.angle1024) << int(c.rotation);
    EXPECT_EQ(d.VirtualRotation(100 + 4096), c.angle100) << int(c.rotation);
    int32_t x = 30, y = 40;
    d.VirtualMouse(x, y);
    EXPECT_EQ(x, c.mx);
    EXPECT_EQ(y, c.my);
    x = 3, y = 4;
    d.VirtualTilt(x, y);
    EXPECT_EQ(x, c.tx);
    EXPECT_EQ(y, c.ty);
    EXPECT_EQ(d.VirtualDPad(1, &buttons), c.up);
    EXPECT_EQ(d.VirtualDPad(7, &buttons), c.right);
    EXPECT_EQ(d.VirtualDPad(5, &buttons), c.down);
    EXPECT_EQ(d.VirtualDPad(3, &buttons), c.left);
    EXPECT_EQ(d.VirtualDPad(13, &buttons), 13u);
    EXPECT_EQ(d.VirtualDPad(1, nullptr), 1u);
  }
}

// --- palette -------------------------------------------------------------------------

TEST(Palette, SetChangesOnlyItsRangeAndGetMasksAlpha) {
  DisplayRig rig;
  std::vector<uint32_t> colours(10);
  for (uint32_t i = 0; i < 10; i++) colours[i] = 0xAA000000u | (i + 1);
  const uint32_t version = rig.display.GetPaletteVersion();
  rig.display.SetPalette(colours.data(), 250, 10);
  EXPECT_NE(rig.display.GetPaletteVersion(), version);
  uint32_t got[8];
  rig.display.GetPalette(got, 248, 8);
  EXPECT_EQ(got[0], 0u);
  EXPECT_EQ(got[1], 0u);
  for (int i = 2; i < 8; i++) EXPECT_EQ(got[i], uint32_t(i - 1)) << i;
  rig.display.SetPalette(colours.data(), 256, 1);
  rig.display.SetPalette(colours.data(), -1, 3);
  rig.display.GetPalette(got, 0, 1);
  EXPECT_EQ(got[0], 0u);
}

TEST(Palette, ConversionFollowsEveryPaletteChange) {
  DisplayRig rig;
  const uint32_t red = 0x0000FF, blue = 0xFF0000;
  rig.display.SetPalette(&red, 1, 1);
  EXPECT_EQ(rig.display.GetPaletteConversion(VideoType::Rgb565)[1], 0xF800u);
  EXPECT_EQ(rig.display.GetPaletteConversion(VideoType::Xrgb8888)[1], 0xFF0000u);
  rig.display.SetPalette(&blue, 1, 1);
  EXPECT_EQ(rig.display.GetPaletteConversion(VideoType::Xrgb8888)[1], 0x0000FFu);
  EXPECT_EQ(rig.display.GetPaletteConversion(VideoType::Rgb565)[1], 0x001Fu);
}

uint32_t Key15(uint32_t red, uint32_t green, uint32_t blue) { return (blue << 10) | (green << 5) | red; }

TEST(Palette, LookupTakesTheNearestCandidateSkippingEntryZero) {
  DisplayRig rig;
  std::vector<uint32_t> palette(256, 0);
  palette[0] = 0x0000FF;   // never a candidate
  palette[1] = 0x0000F8;   // red
  palette[2] = 0x00F800;   // green
  palette[3] = 0xF80000;   // blue
  palette[5] = 0x0000F8;   // the same red again: never taken
  rig.display.SetPalette(palette.data(), 0, 256);
  ASSERT_EQ(rig.display.BuildPaletteLookup(), 1);
  const uint8_t* lookup = rig.display.GetPaletteLookup();
  ASSERT_NE(lookup, nullptr);
  EXPECT_EQ(lookup[Key15(31, 0, 0)], 1);
  EXPECT_EQ(lookup[Key15(28, 2, 1)], 1);
  EXPECT_EQ(lookup[Key15(0, 30, 0)], 2);
  EXPECT_EQ(lookup[Key15(0, 0, 31)], 3);
  EXPECT_EQ(lookup[Key15(0, 0, 0)], 4);  // entry 4 is the first black
  uint8_t index[256];
  std::vector<uint32_t> foreign(256, 0x00F000);
  foreign[7] = 0x000001;
  rig.display.BuildPaletteLookupIndex(index, foreign.data());
  EXPECT_EQ(index[0], 0);
  EXPECT_EQ(index[1], 2);
  EXPECT_EQ(index[7], 4);
  // A palette change rebuilds the lookup.
  const uint32_t white = 0xFFFFFF;
  rig.display.SetPalette(&white, 2, 1);
  ASSERT_EQ(rig.display.BuildPaletteLookup(), 1);
  EXPECT_EQ(lookup[Key15(0, 30, 0)], 4);
  EXPECT_EQ(lookup[Key15(31, 31, 31)], 2);
}

TEST(Palette, TiesGoToTheCandidateFirstAfterOneBrightnessPass) {
  // Red 0x10 (5-bit 2) and 0x30 (5-bit 6) are equally near to 5-bit 4; the
  // brighter one moves behind the darker one, so the darker one wins.
  for (bool darkfirst : {true, false}) {
    DisplayRig rig;
    const uint32_t pair[2] = {darkfirst ? 0x10u : 0x30u, darkfirst ? 0x30u : 0x10u};
    rig.display.SetPalette(pair, 1, 2);
    ASSERT_EQ(rig.display.BuildPaletteLookup(), 1);
    EXPECT_EQ(rig.display.GetPaletteLookup()[Key15(4, 0, 0)], darkfirst ? 1 : 2);
  }
}

// --- loaders and surfaces -----------------------------------------------------------

TEST(Loaders, SixteenSlotsThenRefusal) {
  DisplayRig rig;
  ClassVLoaderBase loaders[17];
  EXPECT_EQ(rig.display.RegisterLoader(nullptr), 0);
  for (int i = 0; i < 16; i++) ASSERT_EQ(rig.display.RegisterLoader(&loaders[i]), 1);
  EXPECT_EQ(rig.display.RegisterLoader(&loaders[16]), 0);
  for (int i = 0; i < 16; i++) EXPECT_EQ(rig.display.GetLoader(i), &loaders[i]);
  EXPECT_EQ(rig.display.GetLoader(16), nullptr);
  EXPECT_EQ(rig.display.UnRegisterLoader(&loaders[16]), 0);
  EXPECT_EQ(rig.display.UnRegisterLoader(&loaders[3]), 1);
  EXPECT_EQ(rig.display.GetLoader(3), nullptr);
  EXPECT_EQ(rig.display.RegisterLoader(&loaders[16]), 1);
  EXPECT_EQ(rig.display.GetLoader(3), &loaders[16]);
}

TEST(CreateSurface, CreatesInRenderModeLinkedToTheDisplay) {
  DisplayRig rig;
  ASSERT_EQ(rig.Open(0, VideoType::Xrgb8888), 0);
  V2DSurface s;
  ASSERT_EQ(rig.display.CreateSurface(&s, 12, 5, 0), 0);
  EXPECT_EQ(s.GetVideoType(), VideoType::Xrgb8888);
  EXPECT_EQ(s.GetECD(), &rig.vcd);
  EXPECT_EQ(rig.display.CreateSurface(static_cast<V2DSurface*>(nullptr), 12, 5, 0), 4);
  EXPECT_EQ(rig.display.CreateSurface(&s, static_cast<const char*>(nullptr), 0), 1);
  EXPECT_EQ(rig.display.CreateSurface(static_cast<V2DSurfaceRGBA*>(nullptr), 12, 5, 0), 4);
  EXPECT_EQ(rig.display.CreateSurface(static_cast<V3DSurface*>(nullptr), 12, 5, 0), 4);
  V3DSurface model;
  ASSERT_EQ(rig.display.CreateSurface(&model, 12, 5, 0), 0);
  EXPECT_TRUE(model.IsCreated());
}

TEST(FillRect, TakesTheOpacityFromTheColoursTopByte) {
  DisplayRig rig;
  ASSERT_EQ(rig.Open(0), 0);
  V2DSurface* back = rig.display.GetBackBuffer();
  tagRECT a = {0, 0, 1, 1}, b = {1, 0, 2, 1}, c = {2, 0, 3, 1};
  EXPECT_EQ(rig.display.FillRect(&a, 0xFF0000FF), 0);
  rig.display.FillRect(&b, 0x000000FF);
  rig.display.FillRect(&c, 0x800000FF);
  EXPECT_EQ(back->GetPixel(0, 0), 0x0000F8u);
  EXPECT_EQ(back->GetPixel(1, 0), 0u);
  EXPECT_EQ(back->GetPixel(2, 0), 0x000078u);  // weight 16 of 32: 31 * 16 >> 5 = 15
}

// --- wipes ---------------------------------------------------------------------------

struct WIPERIG {
  DisplayRig rig;
  V2DSurface dest, old, fresh;
  explicit WIPERIG(int32_t w, int32_t h) {
    EXPECT_EQ(rig.Open(0, VideoType::Xrgb8888), 0);
    rig.display.CreateSurface(&dest, w, h, 0);
    rig.display.CreateSurface(&old, w, h, 0);
    rig.display.CreateSurface(&fresh, w, h, 0);
    dest.FillRect(nullptr, 0x111111);
    old.FillRect(nullptr, 0x0000FF);
    fresh.FillRect(nullptr, 0xFF0000);
  }
};

TEST(Wipe, SlideFromTheRightCoversByPosition) {
  WIPERIG w(8, 4);
  EXPECT_EQ(w.rig.display.Wipe(&w.dest, &w.old, &w.fresh, 32768, 0, nullptr, 0), 0);
  for (int32_t x = 0; x < 8; x++) EXPECT_EQ(w.dest.GetPixel(x, 2), x < 4 ? 0x0000FFu : 0xFF0000u) << x;
}

TEST(Wipe, BlockDissolveOnATinySurfaceFinishesAndClearsToBlack) {
  WIPERIG w(10, 10);
  EXPECT_EQ(w.rig.display.Wipe(&w.dest, &w.dest, nullptr, 65536, 4, nullptr, 0), 0);
  for (int32_t y = 0; y < 10; y++) {
    for (int32_t x = 0; x < 10; x++) ASSERT_EQ(w.dest.GetPixel(x, y), 0u);
  }
}

TEST(Wipe, BlockDissolveDrawsSpiralCellsInOrder) {
  WIPERIG w(32, 32);
  w.rig.display.StartWipe(4, nullptr);
  w.rig.display.Wipe(&w.dest, &w.dest, &w.fresh, 0, 4, nullptr, 2);
  EXPECT_EQ(w.dest.GetPixel(1, 1), 0xFF0000u);
  EXPECT_EQ(w.dest.GetPixel(2, 0), 0x111111u);
  w.rig.display.Wipe(&w.dest, &w.dest, &w.fresh, 0x1FF, 4, nullptr, 2);
  EXPECT_EQ(w.dest.GetPixel(3, 1), 0xFF0000u);
  EXPECT_EQ(w.dest.GetPixel(4, 0), 0x111111u);
  // Cell 16 is the second cell of the right column (spiral down the right).
  w.rig.display.Wipe(&w.dest, &w.dest, &w.fresh, 16 << 8, 4, nullptr, 2);
  EXPECT_EQ(w.dest.GetPixel(30, 2), 0xFF0000u);
  EXPECT_EQ(w.dest.GetPixel(30, 4), 0x111111u);
}

TEST(Wipe, MosaicBelowBlockSizeTwoLeavesDestUntouched) {
  WIPERIG w(10, 10);
  w.rig.display.Wipe(&w.dest, &w.old, &w.fresh, 13107, 5, nullptr, 0);
  EXPECT_EQ(w.dest.GetPixel(0, 0), 0x111111u);
  w.old.PutPixel(5, 5, 0x00FF00, 0, 0);
  w.rig.display.Wipe(&w.dest, &w.old, &w.fresh, 65536, 5, nullptr, 0);
  EXPECT_EQ(w.dest.GetPixel(0, 0), 0x00FF00u);
  EXPECT_EQ(w.dest.GetPixel(9, 9), 0x00FF00u);
}

TEST(Wipe, MapDissolveNeedsItsMap) {
  WIPERIG w(10, 10);
  EXPECT_EQ(w.rig.display.Wipe(&w.dest, &w.old, &w.fresh, 65536, 7, nullptr, 0), 1);
  EXPECT_EQ(w.dest.GetPixel(3, 3), 0x111111u);
  std::vector<uint8_t> map(100);
  for (int i = 0; i < 100; i++) map[i] = uint8_t(i);
  w.rig.display.StartWipe(7, nullptr);
  EXPECT_EQ(w.rig.display.Wipe(&w.dest, &w.old, &w.fresh, 50 << 8, 7, map.data(), 0), 0);
  EXPECT_EQ(w.dest.GetPixel(0, 5), 0xFF0000u);  // map value 50
  EXPECT_EQ(w.dest.GetPixel(1, 5), 0x111111u);  // 51: not yet
  w.rig.display.Wipe(&w.dest, &w.old, nullptr, 99 << 8, 7, map.data(), 0);
  EXPECT_EQ(w.dest.GetPixel(0, 5), 0xFF0000u);  // drawn before, not again
  EXPECT_EQ(w.dest.GetPixel(1, 5), 0u);         // no new surface: black
  EXPECT_EQ(w.rig.display.Wipe(nullptr, &w.old, &w.fresh, 0, 0, nullptr, 0), 1);
}

TEST(Wipe, MapScreenWipeFillsOnlyForMapTypeZero) {
  DisplayRig rig;
  ASSERT_EQ(rig.Open(0), 0);
  std::vector<uint8_t> map(64, 7);
  rig.display.MapScreenWipe(map.data(), 8, 8, 1);
  EXPECT_EQ(map, std::vector<uint8_t>(64, 7));
  rig.display.MapScreenWipe(map.data(), 8, 8, 0);
  int changed = 0;
  for (uint8_t v : map) changed += v != 7;
  EXPECT_GT(changed, 48);
  rig.display.MapScreenWipe(nullptr, 8, 8, 0);
}

}  // namespace

// Loader framework: the byte reader's bounds (every read stays inside the
// linked block wherever a seek left the position), the registration order of
// the image loaders, and refused formats passing on to the next loader.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <typeinfo>

#include "render/display_rig.h"
#include "render/vsurf_2d.h"
#include "resources/loaders/vldr_3ds.h"
#include "resources/loaders/vldr_base.h"
#include "resources/loaders/vldr_bmp.h"
#include "resources/loaders/vldr_gif.h"
#include "resources/loaders/vldr_jpg.h"
#include "resources/loaders/vldr_ms3d.h"
#include "resources/loaders/vldr_png.h"
#include "resources/loaders/vldr_tga.h"
#include "resources/image_fixtures.h"

namespace {

// The reader with its protected state opened up for the checks.
class Reader : public ClassVLoaderBase {};

const uint8_t BLOCK[6] = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66};

TEST(ByteReader, ReadsInEitherByteOrder) {
  Reader r;
  r.LinkData(BLOCK, sizeof BLOCK);
  uint16_t v16 = 0;
  uint32_t v32 = 0;
  ASSERT_EQ(r.Read16(v16), 1);
  EXPECT_EQ(v16, 0x2211);
  r.SetByteOrder(true);
  ASSERT_EQ(r.Read32(v32), 1);
  EXPECT_EQ(v32, 0x33445566u);
  EXPECT_EQ(r.Tell(), 6u);
  EXPECT_FALSE(r.HaveData());
}

// Each read at the last positions that hold it and the first that do not,
// and after seeks to the top of the 32-bit range, beyond it, and before 0.
TEST(ByteReader, ReadsNeverPassTheBlockWhereverTheySeek) {
  struct Case {
    int64_t position;
    int width;
    int expected;
  };
  const Case cases[] = {
      {5, 1, 1},          {6, 1, 0},          {4, 2, 1},          {5, 2, 0},
      {2, 4, 1},          {3, 4, 0},          {0xFFFFFFFF, 2, 0}, {0xFFFFFFFE, 4, 0},
      {0xFFFFFFFD, 4, 0}, {0x100000002, 1, 0}, {-1, 2, 0},         {-4, 4, 0},
  };
  for (const Case& c : cases) {
    Reader r;
    r.LinkData(BLOCK, sizeof BLOCK);
    if (c.position >= 0) r.SeekSet(uint64_t(c.position));
    else r.SeekRelative(c.position);
    uint8_t v8 = 0xAA;
    uint16_t v16 = 0xAAAA;
    uint32_t v32 = 0xAAAAAAAA;
    int got = c.width == 1 ? r.Read8(v8) : c.width == 2 ? r.Read16(v16) : r.Read32(v32);
    EXPECT_EQ(got, c.expected) << "position " << c.position << " width " << c.width;
    if (!got) {
      EXPECT_EQ(v8, 0xAA);
      EXPECT_EQ(v16, 0xAAAA);
      EXPECT_EQ(v32, 0xAAAAAAAAu);
    }
  }
}

TEST(ByteReader, StreamsCopyWhatRemainsAndPaddedReadsZeroTheRest) {
  Reader r;
  r.LinkData(BLOCK, sizeof BLOCK);
  r.SeekSet(4);
  uint8_t out[4] = {9, 9, 9, 9};
  ASSERT_EQ(r.ReadStream(out, 4), 1);
  EXPECT_EQ(out[0], 0x55);
  EXPECT_EQ(out[1], 0x66);
  EXPECT_EQ(out[2], 9);
  EXPECT_EQ(r.ReadStream(out, 4), 0);
  r.SeekSet(5);
  ASSERT_EQ(r.ReadPadded(out, 4), 1);
  const uint8_t padded[4] = {0x66, 0, 0, 0};
  EXPECT_EQ(std::memcmp(out, padded, 4), 0);
  EXPECT_EQ(r.ReadPadded(out, 4), 0);
}

TEST(ByteReader, AnUnlinkedBlockHoldsNothing) {
  Reader r;
  r.LinkData(nullptr, 100);
  uint8_t v = 0;
  EXPECT_EQ(r.Read8(v), 0);
  EXPECT_FALSE(r.HaveData());
}

TEST(LoaderRegistration, RegistersTheImageAndModelLoadersInOrder) {
  ClassVDisplay display;
  ASSERT_EQ(RegisterDisplayLoaders(&display), 1);
  const std::type_info* expected[] = {&typeid(VLoader_BMP), &typeid(VLoader_GIF), &typeid(VLoader_PNG),
                                      &typeid(VLoader_JPG), &typeid(VLoader_TGA), &typeid(VLoader_3DS),
                                      &typeid(VLoader_MS3D)};
  for (int slot = 0; slot < 7; ++slot) {
    ClassVLoaderBase* loader = display.GetLoader(slot);
    ASSERT_NE(loader, nullptr);
    EXPECT_EQ(typeid(*loader), *expected[slot]) << "slot " << slot;
  }
  EXPECT_EQ(display.GetLoader(7), nullptr);
  EXPECT_EQ(RegisterDisplayLoaders(nullptr), 0);
}

// Counts the blocks offered to it after every registered loader refused them.
class LastResort : public ClassVLoaderBase {
 public:
  int Start(V2DSurfaceBase*, const void*, uint32_t, uint8_t, uint32_t) override {
    ++offers;
    return VLDR_NOTMYFORMAT;
  }
  using ClassVLoaderBase::Start;
  int offers = 0;
};

TEST(LoaderRegistration, RefusedVariantsPassToTheNextLoader) {
  DisplayRig rig;
  ASSERT_EQ(RegisterDisplayLoaders(&rig.display), 1);
  LastResort last;
  ASSERT_EQ(rig.display.RegisterLoader(&last), 1);
  V2DSurface surface;
  surface.LinkECD(&rig.vcd);

  fixtures::BMPFIXTURE bmp;
  bmp.width = 1;
  bmp.height = 1;
  bmp.pixels = {fixtures::Rgb(1, 2, 3)};
  fixtures::Bytes bits16 = fixtures::MakeBmp(bmp), rle = bits16;
  bits16[28] = 16;
  rle[30] = 1;
  fixtures::TGAFIXTURE tga;
  tga.width = 1;
  tga.height = 1;
  tga.pixels = {fixtures::Rgb(1, 2, 3)};
  fixtures::Bytes runlength = fixtures::MakeTga(tga);
  runlength[2] = 10;
  fixtures::Bytes gif86 = fixtures::MakeGif("86a", 1, 1, {fixtures::Rgb(0, 0, 0), fixtures::Rgb(9, 9, 9)}, {});

  int expectedoffers = 0;
  for (const fixtures::Bytes* refused : {&bits16, &rle, &runlength, &gif86}) {
    EXPECT_EQ(surface.LoadImage(refused->data(), uint32_t(refused->size()), VideoType::Rgb565, 1), VSURF_NOLOADER);
    EXPECT_EQ(last.offers, ++expectedoffers);
  }
  // The same files unaltered are taken by their own loader.
  fixtures::Bytes plain = fixtures::MakeBmp(bmp);
  EXPECT_EQ(surface.LoadImage(plain.data(), uint32_t(plain.size()), VideoType::Rgb565, 1), VLDR_LOADED);
  EXPECT_EQ(last.offers, expectedoffers);
  EXPECT_EQ(rig.display.UnRegisterLoader(&last), 1);
}

}  // namespace

// Tests of the backdrop load that starts a level: a picture fetched by name
// from the graphics package "res/gfx.vpk" of the working folder, a level
// that starts with it, and one that goes back to the title without it.
#include <cstdint>
#include <string>
#include <vector>

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "game/game_folder.h"
#include "game/level.h"
#include "game/loader.h"
#include "game/shared.h"
#include "platform/host/host_screenshot.h"
#include "render/display_rig.h"
#include "resources/loaders/vldr_base.h"
#include "resources/vmod_file.h"

namespace {

constexpr uint8_t LANDSCAPE = 5;

// res/gfx.vpk holding one 320 x 240 picture under the given name.
bool WriteGraphicsPackage(const char* entry) {
  const std::vector<uint16_t> pixels(320 * 240, 0x07E0);
  std::string error;
  if (!HostScreenshot_Write("picture.png", pixels.data(), &error)) return false;
  const std::vector<uint8_t> png = ReadWholeFile("picture.png");
  if (mkdir("res", 0700) != 0) return false;
  ClassVFile pack;
  if (pack.PackNew("res/gfx.vpk") != VPK_OK) return false;
  const bool added = pack.PackAddFileData(entry, png.data(), static_cast<uint32_t>(png.size()), false,
                                          VPK_METHOD_ZLIB, 0) == VPK_OK;
  pack.Close();
  return added;
}

class LevelBackdrop : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder.Entered());
    ASSERT_EQ(display.Open(LANDSCAPE), 0);
    RegisterDisplayLoaders(&display.display);
  }

  GameFolder folder;
  DisplayRig display;
};

TEST_F(LevelBackdrop, QuickLoadFetchesAPictureFromTheGraphicsPackage) {
  ASSERT_TRUE(WriteGraphicsPackage("backdrop.png"));
  V2DSurface surface;
  EXPECT_EQ(ClassLoader::QuickLoadSurface(&surface, "backdrop.png", &display.display), 1);
  EXPECT_EQ(surface.GetWidth(), 320);
  V2DSurface missing;
  EXPECT_EQ(ClassLoader::QuickLoadSurface(&missing, "title.png", &display.display), 0);
  EXPECT_FALSE(missing.IsCreated());
}

TEST_F(LevelBackdrop, QuickLoadWithoutThePackageFails) {
  V2DSurface surface;
  EXPECT_EQ(ClassLoader::QuickLoadSurface(&surface, "backdrop.png", &display.display), 0);
}

struct StartCase {
  const char* name;
  const char* entry;      // what the package holds
  uint32_t activemodule;  // after the first frame
  uint32_t modulestatus;
  uint32_t phase;
};

const StartCase STARTS[] = {
    {"WithTheBackdrop", "backdrop.png", MODULE_LEVEL, MODULESTATUS_RUNNING, LEVELPHASE_INTRO},
    {"WithoutIt", "other.png", MODULE_TITLE, MODULESTATUS_ENTER, LEVELPHASE_PLAYING},
};

class LevelBackdropStart : public LevelBackdrop, public ::testing::WithParamInterface<StartCase> {};

TEST_P(LevelBackdropStart, DecidesWhetherTheLevelStarts) {
  ASSERT_TRUE(WriteGraphicsPackage(GetParam().entry));
  ClassShared shared;
  shared.vcd = &display.vcd;
  shared.player = &shared.playerrecord;
  shared.activemodule = MODULE_LEVEL;
  shared.modulestatus = MODULESTATUS_ENTER;
  ClassLevel level;
  level.LinkShared(&shared);
  level.OnNextFrame(nullptr, &shared.activemodule, &shared.modulestatus, 0);
  EXPECT_EQ(shared.activemodule, GetParam().activemodule);
  EXPECT_EQ(shared.modulestatus, GetParam().modulestatus);
  EXPECT_EQ(level.LevelPhase, GetParam().phase);
  EXPECT_EQ(shared.surface.background.IsCreated(), GetParam().activemodule == MODULE_LEVEL);
}

INSTANTIATE_TEST_SUITE_P(Packages, LevelBackdropStart, ::testing::ValuesIn(STARTS),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace

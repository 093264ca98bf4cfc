// The loading screen over the built packages: its steps, the two-second
// minimum with a full bar, the frame-time cap, the fatal path for missing
// or spoiled pictures, a game without sounds or music, the logo's flight,
// and the three forms of LoadSurface.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "audio/vmod_sound.h"
#include "game/screen_run.h"
#include "game/shared.h"
#include "render/display_rig.h"
#include "resources/loaders/vldr_base.h"

namespace {

constexpr const char* FATAL_TEXT = "Not enough memory to load game data";
constexpr int32_t BAR_RIGHT_INSIDE = 301;   // inside the white frame, reached by the fill only when full
constexpr int32_t BAR_ROW = 222;

// What the loading screen showed and held after each frame.
struct LoaderFrame {
  uint32_t item;
  uint32_t elapsed;
  uint32_t module;
  uint32_t barpixel;      // back buffer at the bar's right end
  uint32_t splashpixel;   // the splash picture at the same place
};

std::vector<LoaderFrame>* WatchLoader(ObservedGame& app) {
  auto* frames = new std::vector<LoaderFrame>;
  app.after = [frames](ObservedGame& game) {
    ClassLoader& loader = game.Loader();
    ClassShared& shared = game.Shared();
    frames->push_back({loader.item, loader.elapsed, shared.activemodule,
                       game.BackBuffer()->GetPixel(BAR_RIGHT_INSIDE, BAR_ROW),
                       shared.surface.background.GetPixel(BAR_RIGHT_INSIDE, BAR_ROW)});
    if (loader.item == LOADER_STEPS / 2) SaveScreenshot("loading_bar.png", PicturePixels(*game.BackBuffer()));
    if (shared.activemodule == MODULE_TITLE) game.End();
  };
  return frames;
}

using LoaderRun = ScreenRun;

TEST_F(LoaderRun, FastMachineStillShowsTheFullBarForTwoSeconds) {
  auto app = MakeGame();
  std::unique_ptr<std::vector<LoaderFrame>> frames(WatchLoader(*app));
  Run(*app);
  ASSERT_GT(frames->size(), LOADER_STEPS + 1);
  EXPECT_EQ((*frames)[LOADER_STEPS].item, LOADER_STEPS) << "one step a frame after the entering frame";
  size_t logoframe = 0;
  while (logoframe < frames->size() && (*frames)[logoframe].item != LOADER_LOGOPHASE) logoframe++;
  ASSERT_LT(logoframe, frames->size());
  ASSERT_GT(logoframe, LOADER_STEPS + 1) << "the steps took less than two seconds here";
  const LoaderFrame& lastloading = (*frames)[logoframe - 1];
  EXPECT_EQ(lastloading.item, LOADER_STEPS);
  EXPECT_LT(lastloading.elapsed, 2000u);
  EXPECT_GE((*frames)[logoframe].elapsed, 2000u);
  EXPECT_NE(lastloading.barpixel, lastloading.splashpixel) << "the bar is full to its right end";
  const LoaderFrame& halfway = (*frames)[8];
  EXPECT_EQ(halfway.barpixel, halfway.splashpixel) << "half a bar leaves the right end to the splash";
  EXPECT_EQ(frames->back().module, MODULE_TITLE);
  EXPECT_EQ(app->Shared().modulestatus, MODULESTATUS_ENTER);
  EXPECT_EQ(app->Loader().logotime, 4096u);
}

TEST_F(LoaderRun, SlowFramesCountAsAHundredMilliseconds) {
  auto app = MakeGame();
  app->stepmicroseconds = 300000;
  std::unique_ptr<std::vector<LoaderFrame>> frames(WatchLoader(*app));
  Run(*app);
  // The entering frame counts nothing, the seventeen steps 100 ms each: 2000 ms three frames later.
  ASSERT_GT(frames->size(), 21u);
  EXPECT_EQ((*frames)[LOADER_STEPS].elapsed, 1700u);
  EXPECT_EQ((*frames)[19].item, LOADER_STEPS);
  EXPECT_EQ((*frames)[20].item, LOADER_LOGOPHASE);
  EXPECT_EQ((*frames)[20].elapsed, 2000u);
}

struct SpoiledEntry {
  const char* name;
  const char* entry;
  bool corrupt;          // false: the entry is missing
  uint32_t step;         // the step that fails
};

const SpoiledEntry SPOILED[] = {
    {"MissingSplash", "splash.png", false, 1},     {"CorruptSplash", "splash.png", true, 1},
    {"MissingKeyFont", "keyfont.bmp", false, 2},   {"MissingMenuBar", "menubar.png", false, 5},
    {"MissingKeyPicture", "kbkey.png", false, 6},  {"CorruptProgressBar", "progressbar.png", true, 7},
    {"MissingObjects", "objects.bmp", false, 8},   {"MissingLogo", "vexalogo.3ds", false, 10},
    {"CorruptLogo", "vexalogo.3ds", true, 10},
};

class LoaderSpoiledPackage : public ScreenRun, public ::testing::WithParamInterface<SpoiledEntry> {};

TEST_P(LoaderSpoiledPackage, StopsAtItsStepWithTheFatalText) {
  const SpoiledEntry& c = GetParam();
  const std::vector<uint8_t> junk(333, 0x5A);
  ASSERT_TRUE(RewritePackage(PACKAGE_GFX, c.entry, c.corrupt ? junk : std::vector<uint8_t>()));
  auto app = MakeGame();
  Run(*app);
  EXPECT_EQ(app->Loader().item, c.step);
  EXPECT_STREQ(app->Shared().errortext, FATAL_TEXT);
  EXPECT_EQ(app->frame, c.step + 2) << "the failing step's frame ends the program";
  EXPECT_FALSE(app->Loader().gfxpack.IsOpen());
}

INSTANTIATE_TEST_SUITE_P(Cases, LoaderSpoiledPackage, ::testing::ValuesIn(SPOILED),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(LoaderRun, MissingGraphicsPackageStopsAtTheFirstStep) {
  ASSERT_EQ(std::remove(PACKAGE_GFX), 0);
  auto app = MakeGame();
  Run(*app);
  EXPECT_EQ(app->Loader().item, 0u);
  EXPECT_STREQ(app->Shared().errortext, FATAL_TEXT);
}

// Sound effect and tune availability once the title screen runs.
struct Audible {
  bool open;             // the sound device works
  bool effect;           // an effect of the sound package plays
  int32_t music;         // the tune playing
};

struct AudioCase {
  const char* name;
  const char* removed;
  bool effect;
  bool music;
};

const AudioCase AUDIO[] = {
    {"WithEverything", nullptr, true, true},
    {"WithoutSoundPackage", PACKAGE_SOUND, false, true},
    {"WithoutMusicPackage", PACKAGE_MUSIC, true, false},
};

class LoaderAudio : public ScreenRun, public ::testing::WithParamInterface<AudioCase> {};

TEST_P(LoaderAudio, GameStartsWithWhatThePackagesHold) {
  const AudioCase& c = GetParam();
  if (c.removed != nullptr) {
    ASSERT_EQ(std::remove(c.removed), 0);
  }
  auto app = MakeGame();
  Audible heard{false, false, -2};
  app->after = [&heard](ObservedGame& game) {
    // The title screen's first running frame has started its tune.
    if (game.Shared().activemodule == MODULE_TITLE && game.Shared().modulestatus == MODULESTATUS_RUNNING) {
      heard.open = game.Sound().IsOpen();
      heard.music = game.Sound().MusicPlaying();
      heard.effect = game.Sound().PlaySound(0) >= 0;
      game.End();
    }
  };
  Run(*app);
  ASSERT_TRUE(heard.open);
  EXPECT_EQ(app->Shared().errortext[0], '\0');
  EXPECT_EQ(heard.effect, c.effect);
  EXPECT_EQ(heard.music, c.music ? 1 : -1);
}

INSTANTIATE_TEST_SUITE_P(Cases, LoaderAudio, ::testing::ValuesIn(AUDIO),
                         [](const auto& info) { return std::string(info.param.name); });

// --- the logo -----------------------------------------------------------------------------

// Columns of a picture that differ from a reference, as their mean and count.
void DifferingColumns(V2DSurface& picture, V2DSurface& reference, int32_t bottom, double& mean, int32_t& count) {
  double sum = 0;
  count = 0;
  for (int32_t y = 0; y < bottom; y++) {
    for (int32_t x = 0; x < 320; x++) {
      if (picture.GetPixel(x, y) == reference.GetPixel(x, y)) continue;
      sum += x;
      count++;
    }
  }
  mean = count > 0 ? sum / count : 0;
}

TEST_F(LoaderRun, LogoHalfwayIsCentredAtHalfSizeTurnedAnEighth) {
  auto app = MakeGame();
  bool checked = false;
  app->after = [&checked](ObservedGame& game) {
    ClassLoader& loader = game.Loader();
    if (loader.item != LOADER_LOGOPHASE || checked) return;
    checked = true;
    game.End();
    V2DSurface picture, gradient;
    ASSERT_EQ(game.Display().CreateSurface(&picture, 320, 240, 0), 0);
    ASSERT_EQ(game.Display().CreateSurface(&gradient, 320, 240, 0), 0);
    gradient.BltFast(0, 0, &game.Shared().surface.background, nullptr);
    loader.logotime = 2048;
    loader.RenderAll(&picture);
    // Half size, the fixed tilt and an eighth of a turn, with nothing moved.
    int32_t expected[16] = {4096, 0, 0, 0, 0, 4096, 0, 0, 0, 0, 4096, 0, 0, 0, 0, 4096};
    V3DSurface::ScaleMatrix(expected, 32768, 32768, 32768);
    V3DSurface::RotateMatrix(expected, &game.Math(), 3312, 0, 0);
    V3DSurface::RotateMatrix(expected, &game.Math(), 0, 0, 512);
    const int32_t* matrix = game.Shared().surface.logo.GetMatrix();
    for (int i = 0; i < 16; i++) EXPECT_EQ(matrix[i], expected[i]) << "matrix element " << i;
    double mean = 0;
    int32_t count = 0;
    DifferingColumns(picture, gradient, 200, mean, count);
    EXPECT_GT(count, 2000) << "the logo covers a good part of the screen";
    EXPECT_NEAR(mean, 160.0, 12.0) << "centred";
    SaveScreenshot("loading_logo.png", PicturePixels(picture));
  };
  Run(*app);
  EXPECT_TRUE(checked);
}

TEST_F(LoaderRun, LogoFliesInFromTheLeftSmallAndOutToTheRight) {
  auto app = MakeGame();
  std::vector<double> means;
  app->after = [&means](ObservedGame& game) {
    ClassLoader& loader = game.Loader();
    if (loader.item != LOADER_LOGOPHASE || !means.empty()) return;
    game.End();
    V2DSurface picture, gradient;
    ASSERT_EQ(game.Display().CreateSurface(&picture, 320, 240, 0), 0);
    ASSERT_EQ(game.Display().CreateSurface(&gradient, 320, 240, 0), 0);
    gradient.BltFast(0, 0, &game.Shared().surface.background, nullptr);
    for (uint32_t t : {1000u, 2048u, 3096u}) {
      loader.logotime = t;
      loader.RenderAll(&picture);
      double mean = 0;
      int32_t count = 0;
      DifferingColumns(picture, gradient, 200, mean, count);
      means.push_back(mean);
    }
  };
  Run(*app);
  ASSERT_EQ(means.size(), 3u);
  EXPECT_LT(means[0], means[1] - 20);
  EXPECT_GT(means[2], means[1] + 20);
}

// --- LoadSurface ----------------------------------------------------------------------------

class LoadSurfaceForms : public ScreenRun {
 protected:
  void SetUp() override {
    ScreenRun::SetUp();
    if (IsSkipped()) return;
    ASSERT_EQ(rig.Open(5), 0);
    RegisterDisplayLoaders(&rig.display);
    ASSERT_EQ(pack.Open(PACKAGE_GFX, VFILE_MODE_READ), 1);
  }
  void TearDown() override {
    pack.Close();
    ScreenRun::TearDown();
  }
  DisplayRig rig;
  ClassVFile pack;
};

TEST_F(LoadSurfaceForms, PlainPicturesGetTheMagentaKey) {
  V2DSurface surface;
  ASSERT_EQ(ClassLoader::LoadSurface(&surface, "objects.bmp", pack, &rig.display), 1);
  EXPECT_EQ(surface.GetColorKey() & 0xF8F8F8u, 0xF800F8u) << "magenta in the surface format";
  EXPECT_GT(surface.GetWidth(), 0);
}

TEST_F(LoadSurfaceForms, RgbaPicturesLoadWithTheirAlpha) {
  V2DSurfaceRGBA surface;
  ASSERT_EQ(ClassLoader::LoadSurface(&surface, "kbkey.png", pack, &rig.display), 1);
  EXPECT_GT(surface.GetWidth(), 24);
  EXPECT_GT(surface.GetHeight(), 24);
}

TEST_F(LoadSurfaceForms, ModelSwitchesOnTheTwoLights) {
  V3DSurface model;
  ASSERT_EQ(ClassLoader::LoadSurface(&model, "vexalogo.3ds", pack, &rig.display), 1);
  EXPECT_GT(model.GetPolygonCount(), 0);
  const VDSPLIGHT* lights = rig.display.GetLights();
  ASSERT_NE(lights, nullptr);
  EXPECT_EQ(lights[0].on, 1);
  EXPECT_EQ(lights[1].on, 1);
  EXPECT_EQ(lights[0].anglecolor, 0xFFFFFFu);
  EXPECT_EQ(lights[0].constantcolor, 0x202020u);
  EXPECT_EQ(lights[1].anglecolor, 0xC0C0C0u);
  EXPECT_EQ(lights[1].constantcolor, 0u);
  EXPECT_EQ(lights[0].x, lights[1].x);
  EXPECT_LT(lights[0].x, 0);
}

TEST_F(LoadSurfaceForms, MissingOrWrongEntriesGiveZeroAndNoLights) {
  V2DSurface plain;
  V2DSurfaceRGBA rgba;
  V3DSurface model;
  EXPECT_EQ(ClassLoader::LoadSurface(&plain, "nothing.png", pack, &rig.display), 0);
  EXPECT_EQ(ClassLoader::LoadSurface(&rgba, "nothing.png", pack, &rig.display), 0);
  EXPECT_EQ(ClassLoader::LoadSurface(&model, "splash.png", pack, &rig.display), 0) << "a picture is no model";
  EXPECT_EQ(ClassLoader::LoadSurface(&plain, "vexalogo.3ds", pack, &rig.display), 0) << "a model is no picture";
  EXPECT_EQ(rig.display.GetLights()[0].on, 0);
}

TEST_F(LoadSurfaceForms, QuickLoadOpensTheGraphicsPackageItself) {
  V2DSurface surface;
  EXPECT_EQ(ClassLoader::QuickLoadSurface(&surface, "advert.png", &rig.display), 1);
  EXPECT_EQ(surface.GetWidth(), 320);
  ASSERT_EQ(std::remove(PACKAGE_GFX), 0);
  V2DSurface missing;
  EXPECT_EQ(ClassLoader::QuickLoadSurface(&missing, "advert.png", &rig.display), 0);
}

}  // namespace

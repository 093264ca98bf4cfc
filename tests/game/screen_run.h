// screen_run.h - the game with its real screens over the packages the build
// made, on the emulated handheld: each test gets copies of the packages in
// its working folder (which it may replace or spoil), a look at the game
// after every frame, the pictures the display showed, and a clock that can
// be driven by a fixed step per frame.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "game/game_probe.h"
#include "game/loader.h"
#include "game/title.h"
#include "platform/host/host_screenshot.h"
#include "resources/vmod_file.h"

#ifndef VEXA_PACKAGE_FOLDER
// A build that makes no packages (the ARM suites) skips the screen suites.
#define VEXA_PACKAGE_FOLDER ""
#endif

constexpr const char* PACKAGE_GFX = "res/gfx.vpk";
constexpr const char* PACKAGE_SOUND = "res/sound.vpk";
constexpr const char* PACKAGE_MUSIC = "res/music.vpk";

// The game with a hook after each frame.
class ObservedGame : public GameProbe {
 public:
  explicit ObservedGame(const VEXADATA* data) : GameProbe(data, false) { maxframes = 3000; }

  std::function<void(ObservedGame&)> after;   // after every frame
  uint32_t stepmicroseconds = 0;              // added to the clock before each frame

  int OnNextFrame(ClassVDisplay* screen, unsigned long time) override {
    const int result = GameProbe::OnNextFrame(screen, time);
    if (after) after(*this);
    if (stepmicroseconds != 0) HostClock_Advance(stepmicroseconds);
    return result;
  }

  ClassLoader& Loader() { return *static_cast<ClassLoader*>(Module(MODULE_LOADER)); }
  ClassTitle& Title() { return *static_cast<ClassTitle*>(Module(MODULE_TITLE)); }
  V2DSurface* BackBuffer() { return Display().GetBackBuffer(); }
  void End() { Quit(); }
};

// One package entry's bytes, empty when missing.
inline std::vector<uint8_t> PackageEntry(const char* package, const char* name) {
  std::vector<uint8_t> bytes;
  ClassVFile pack;
  if (pack.Open(package, VFILE_MODE_READ) != 1) return bytes;
  uint8_t* data = nullptr;
  uint32_t size = 0;
  if (pack.PackGetFileData(data, size, name) == VPK_OK && data != nullptr) bytes.assign(data, data + size);
  ClassVMemory::DeAlloc(data);
  pack.Close();
  return bytes;
}

// Rewrites a package of the working folder without the entry named, or with
// its data replaced by replacement when that is not empty.
inline bool RewritePackage(const char* package, const char* name, const std::vector<uint8_t>& replacement) {
  struct Entry {
    std::string name;
    std::vector<uint8_t> data;
  };
  std::vector<Entry> entries;
  ClassVFile source;
  if (source.Open(package, VFILE_MODE_READ) != 1) return false;
  for (uint32_t index = 0; index < source.PackContainFiles(); index++) {
    VPK_FILEINFO info{};
    uint8_t* data = nullptr;
    uint32_t size = 0;
    if (source.PackGetFileInfo(info, int32_t(index), false) != 1 ||
        source.PackGetFileData(data, size, int32_t(index)) != VPK_OK) {
      source.Close();
      return false;
    }
    entries.push_back({info.name, std::vector<uint8_t>(data, data + size)});
    ClassVMemory::DeAlloc(data);
  }
  source.Close();
  ClassVFile target;
  if (std::remove(package) != 0 || target.PackNew(package) != VPK_OK) return false;
  bool written = true;
  for (Entry& entry : entries) {
    if (entry.name == name) {
      if (replacement.empty()) continue;
      entry.data = replacement;
    }
    written &= target.PackAddFileData(entry.name.c_str(), entry.data.data(), uint32_t(entry.data.size()), false,
                                      VPK_METHOD_ZLIB, 0) == VPK_OK;
  }
  target.Close();
  return written;
}

// The pictures presented, by frame.
struct PresentLog {
  ObservedGame* app = nullptr;
  std::map<uint32_t, std::vector<uint16_t>> frames;
  std::vector<uint32_t> wanted;              // frames to keep; empty keeps the last only
};

inline void KeepPresented(const uint16_t* pixels, void* user) {
  PresentLog& log = *static_cast<PresentLog*>(user);
  const uint32_t frame = log.app->frame;
  bool keep = log.wanted.empty();
  for (uint32_t wanted : log.wanted) keep |= wanted == frame;
  if (!keep) return;
  if (log.wanted.empty()) log.frames.clear();
  log.frames[frame].assign(pixels, pixels + 320 * 240);
}

// FNV-1a over a picture: a short name for a deterministic scene.
inline uint64_t PictureHash(const std::vector<uint16_t>& pixels) {
  uint64_t hash = 1469598103934665603ull;
  for (uint16_t pixel : pixels) {
    hash = (hash ^ (pixel & 0xFF)) * 1099511628211ull;
    hash = (hash ^ (pixel >> 8)) * 1099511628211ull;
  }
  return hash;
}

// A surface as the screen's RGB565 pixels.
inline std::vector<uint16_t> PicturePixels(const V2DSurface& picture) {
  std::vector<uint16_t> pixels(320 * 240);
  for (int32_t y = 0; y < 240; y++) {
    for (int32_t x = 0; x < 320; x++) {
      const uint32_t c = picture.GetPixel(x, y);
      pixels[y * 320 + x] = uint16_t(((c >> 8) & 0xF800) | ((c >> 5) & 0x07E0) | ((c >> 3) & 0x1F));
    }
  }
  return pixels;
}

// Pictures for the documentation go to VEXA_SCREENSHOT_FOLDER when it is set.
inline void SaveScreenshot(const char* name, const std::vector<uint16_t>& pixels) {
  const char* folder = std::getenv("VEXA_SCREENSHOT_FOLDER");
  if (folder == nullptr || pixels.size() != 320 * 240) return;
  std::string error;
  EXPECT_TRUE(HostScreenshot_Write((std::string(folder) + "/" + name).c_str(), pixels.data(), &error)) << error;
}

// The real screens over fresh copies of the built packages.
class ScreenRun : public GameRun {
 protected:
  void SetUp() override {
    GameRun::SetUp();
    if (std::string(VEXA_PACKAGE_FOLDER).empty()) GTEST_SKIP() << "this build makes no packages";
    ASSERT_EQ(mkdir("res", 0700), 0);
    for (const char* package : {PACKAGE_GFX, PACKAGE_SOUND, PACKAGE_MUSIC}) {
      const std::string built = std::string(VEXA_PACKAGE_FOLDER) + "/" + package;
      const std::vector<uint8_t> bytes = ReadWholeFile(built);
      ASSERT_FALSE(bytes.empty()) << built;
      ASSERT_TRUE(WriteWholeFile(package, bytes));
    }
  }
  void TearDown() override {
    HostDevices_SetPresentHook(nullptr, nullptr);
    GameRun::TearDown();
  }

  std::unique_ptr<ObservedGame> MakeGame() { return std::make_unique<ObservedGame>(&data); }
  void Run(ObservedGame& app, PresentLog* log = nullptr) {
    if (log != nullptr) {
      log->app = &app;
      HostDevices_SetPresentHook(KeepPresented, log);
    }
    GameRun::Run(app);
  }
};

// probe_application.h - a tiny application for the front ends' suites.
//
// It is configured as the game is (320 x 240 landscape at 60 frames per
// second, suspended while inactive), seeds its generator as the game does,
// and draws a picture that depends on the frame number, the frame time and
// the generator. What the framework calls is counted in g_probe, which the
// suites read from their own thread while the front end runs.
// A suite defines VexaCreateApplication to return a ClassProbe; the
// pictures the front ends write are read back with ProbeReadPicture.
#pragma once

#include <atomic>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "support/whole_file.h"
#include "framework/vexa.h"
#include "platform/host/host_devices.h"
#include "platform/platform.h"
#include "resources/loaders/vldr_png.h"
#include "tools/common/image_capture.h"

// Backgrounds the frames cycle through: channels of 0 or 255 pass through
// RGB565 and back unchanged, so pictures can be compared exactly.
constexpr uint32_t PROBE_BACKGROUNDS[] = {0x000000, 0x0000FF, 0x00FF00, 0x00FFFF, 0xFF0000, 0xFF00FF, 0xFFFF00};
constexpr uint32_t PROBE_BACKGROUNDCOUNT = sizeof(PROBE_BACKGROUNDS) / sizeof(PROBE_BACKGROUNDS[0]);
constexpr uint32_t PROBE_MARKCOLOUR = 0xFFFFFF;
constexpr tagRECT PROBE_MARK = {40, 30, 120, 90};  // a white block at a fixed place
constexpr int32_t PROBE_SPOTSIZE = 8;              // a grey block placed by the generator and the frame time

inline uint32_t ProbeBackground(uint32_t frame) { return PROBE_BACKGROUNDS[frame % PROBE_BACKGROUNDCOUNT]; }

struct PROBE {
  // What the application is asked to do.
  bool opensound = false;
  uint32_t quitframe = 0;    // calls Quit in this frame (0: never)
  uint32_t signalframe = 0;  // raises SIGINT in this frame (0: never)

  // What happened, readable from any thread.
  std::atomic<uint32_t> frames{0};
  std::atomic<uint32_t> exits{0};
  std::atomic<uint32_t> minimizes{0};
  std::atomic<uint32_t> restores{0};
  std::atomic<uint32_t> pressed{0};   // bit code - 1 of every button that went down
  std::atomic<uint32_t> released{0};  // ... and of every one that came up after being down
  std::atomic<uint32_t> held{0};      // the buttons down now

  // Read once the run is over.
  uint64_t elapsed = 0;                    // sum of the frame times (ms)
  uint64_t firstclock = 0, lastclock = 0;  // platform clock (us) in the first and the last frame
  std::vector<uint64_t> hashes;            // each shown frame's framebuffer, in order
  PLATFORM_OPTIONS options{};              // what the application found in OnInit
  std::string record, replay;

  void Reset() {
    opensound = false;
    quitframe = signalframe = 0;
    for (std::atomic<uint32_t>* count : {&frames, &exits, &minimizes, &restores, &pressed, &released, &held})
      count->store(0);
    elapsed = firstclock = lastclock = 0;
    hashes.clear();
    options = PLATFORM_OPTIONS{};
    record.clear();
    replay.clear();
  }
};

inline PROBE g_probe;

inline uint64_t ProbeClock() {
  timeval now{};
  Platform_GetTimeOfDay(&now);
  return uint64_t(now.tv_sec) * 1000000u + uint64_t(now.tv_usec);
}

// FNV-1a over the framebuffer's pixels.
inline uint64_t ProbeHash(const uint16_t* pixels) {
  uint64_t hash = 14695981039346656037ull;
  for (size_t i = 0; i < size_t(HOST_FB_WIDTH) * HOST_FB_HEIGHT; i++) {
    hash = (hash ^ (pixels[i] & 0xFF)) * 1099511628211ull;
    hash = (hash ^ (pixels[i] >> 8)) * 1099511628211ull;
  }
  return hash;
}

class ClassProbe : public ClassVexa {
 public:
  explicit ClassProbe(const VEXADATA* data) : ClassVexa(data) {}

  int OnCreate(VEXACONFIG* config, VEXADATA*) override {
    config->width = HOST_FB_WIDTH;
    config->height = HOST_FB_HEIGHT;
    config->drivervideotype = VideoType::Rgb565;
    config->orientation = DisplayRotation::Landscape;
    config->dspflags = VEXA_DSPFLAG_NOFONT;
    config->maxfps = 60;
    config->numconnections = 0;
    config->idlesleep = 0;
    config->suspendinactive = 1;
    return 0;
  }

  int OnInit(int) override {
    const PLATFORM_OPTIONS* options = Platform_GetOptions();
    g_probe.options = *options;
    g_probe.record = options->record ? options->record : "";
    g_probe.replay = options->replay ? options->replay : "";
    math.SetRandSeed(options->hasseed ? options->seed : 1);
    if (g_probe.opensound) sound.Open();
    return 0;
  }

  int OnNextFrame(ClassVDisplay* display, unsigned long elapsed) override {
    uint32_t frame = g_probe.frames.load() + 1;
    // Until the first flip the framebuffer holds whatever was there before.
    if (frame > 1) g_probe.hashes.push_back(ProbeHash(HostDevices_FrameBuffer()));
    g_probe.elapsed += elapsed;
    g_probe.lastclock = ProbeClock();
    if (frame == 1) g_probe.firstclock = g_probe.lastclock;
    Draw(display->GetBackBuffer(), frame);
    if (frame == g_probe.quitframe) Quit();
    if (frame == g_probe.signalframe) std::raise(SIGINT);
    g_probe.frames.store(frame);
    return 0;
  }

  int OnExit(int launchparam) override {
    g_probe.hashes.push_back(ProbeHash(HostDevices_FrameBuffer()));  // the last frame's flip is done
    g_probe.exits.fetch_add(1);
    return ClassVexa::OnExit(launchparam);
  }

  int OnMinimize() override {
    g_probe.minimizes.fetch_add(1);
    return 0;
  }

  int OnRestore() override {
    g_probe.restores.fetch_add(1);
    return 0;
  }

  void OnButtonDown(unsigned long button, VBUTTONLIST*) override {
    g_probe.pressed.fetch_or(Bit(button));
    g_probe.held.fetch_or(Bit(button));
  }

  void OnButtonUp(unsigned long button, VBUTTONLIST*) override {
    // The first poll reports every idle button as released; only real
    // releases count.
    if (g_probe.held.fetch_and(~Bit(button)) & Bit(button)) g_probe.released.fetch_or(Bit(button));
  }

 private:
  static uint32_t Bit(unsigned long code) { return code >= 1 && code <= 32 ? 1u << (code - 1) : 0; }

  void Draw(V2DSurface* back, uint32_t frame) {
    back->FillRect(nullptr, ProbeBackground(frame));
    back->FillRect(&PROBE_MARK, PROBE_MARKCOLOUR);
    int32_t x = int32_t((math.Rand(0, 1000) + g_probe.elapsed) % (HOST_FB_WIDTH - PROBE_SPOTSIZE));
    // Below the mark, so the rows above it show the background alone.
    int32_t y = int32_t(math.Rand(uint32_t(PROBE_MARK.bottom), HOST_FB_HEIGHT - PROBE_SPOTSIZE));
    tagRECT spot = {x, y, x + PROBE_SPOTSIZE, y + PROBE_SPOTSIZE};
    back->FillRect(&spot, 0x808080);
  }
};


// Decodes a screen picture with the framework's PNG loader; false unless it
// reads as a whole 320 x 240 picture.
inline bool ProbeReadPicture(const std::string& path, VImageCapture* picture) {
  std::vector<uint8_t> png = ReadWholeFile(path);
  VLoader_PNG loader;
  return !png.empty() && picture->Load(loader, png.data(), uint32_t(png.size())) == 0 &&
         picture->width == int32_t(HOST_FB_WIDTH) && picture->height == HOST_FB_HEIGHT;
}

// bench_frame.cpp - the cost of one empty framework frame on the headless
// front end: the button poll (through the poll hook), the dispatch of the
// frame to an application whose frame handler does nothing, the flip of the
// 320 x 240 back buffer to the emulated framebuffer and the present hook
// (frame counting, the sound pump).
//
// Each iteration is one headless run of kFrames frames, unlocked (maxfps 0)
// so no frame waits. The time taken is the thread's CPU time from the first
// to the last frame, so start-up and the exit steps are not counted, nor
// other processes on a shared machine.
// Reported: frame, the CPU time of one frame.
#include <cstdint>
#include <ctime>

#include <benchmark/benchmark.h>

#include "framework/vexa.h"
#include "platform/host/host_headless.h"
#include "platform/host/host_options.h"

namespace {

constexpr uint32_t kFrames = 5000;

double ThreadSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

double g_firstframe = 0, g_lastframe = 0;  // thread CPU time in the first and the last frame

class ClassEmpty : public ClassVexa {
 public:
  using ClassVexa::ClassVexa;

  int OnCreate(VEXACONFIG* config, VEXADATA*) override {
    config->width = 320;
    config->height = 240;
    config->orientation = DisplayRotation::Landscape;
    config->dspflags = VEXA_DSPFLAG_NOFONT;
    config->maxfps = 0;
    config->idlesleep = 0;
    config->numconnections = 0;
    return 0;
  }

  int OnNextFrame(ClassVDisplay*, unsigned long) override {
    g_lastframe = ThreadSeconds();
    if (++frames == 1) g_firstframe = g_lastframe;
    return 0;
  }

 private:
  uint32_t frames = 0;
};

void BM_EmptyFrame(benchmark::State& state) {
  HOSTOPTIONS options;
  options.frontend = HostFrontEnd::Headless;
  options.frames = kFrames;
  for (auto _ : state) {
    if (HostHeadless_Run(options) != 0) state.SkipWithError("the headless run failed");
    state.SetIterationTime(g_lastframe - g_firstframe);
  }
  // kFrames - 1 whole frames lie between the first frame handler and the last.
  state.counters["frame"] = benchmark::Counter(
      double(kFrames - 1), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_EmptyFrame)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

ClassVexa* VexaCreateApplication(const VEXADATA* data) { return new ClassEmpty(data); }

BENCHMARK_MAIN();

// bench_font.cpp - DrawFont of one 40-character line with the display's
// internal font on the 320 x 240 Rgb565 back buffer, per call: keyed (as the
// display draws text), keyed at opacity 128 (the shift blend), and the same
// line measured with GetFontWidth and wrapped with DrawFontWrap.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "render/vmod_dsp.h"
#include "render/vsurf_2d.h"
#include "tests/render/display_rig.h"

namespace {

constexpr char kLine[] = "Level 12  Score 0048213  Links 37 / 120!";
static_assert(sizeof kLine == 41, "a 40-character line");

// Times draw(screen, font) on the open display's back buffer with its
// internal font, counting 40 characters a call.
template <typename Draw>
void TimeText(benchmark::State& state, Draw draw) {
  DisplayRig rig;
  if (rig.Open(0, VideoType::DisplayDefault, 0) != 0) {
    state.SkipWithError("the display did not open");
    return;
  }
  V2DSurface* screen = rig.display.GetBackBuffer();
  V2DSurface* font = rig.display.GetInternalFont();
  for (auto _ : state) benchmark::DoNotOptimize(draw(screen, font));
  state.SetItemsProcessed(state.iterations() * 40);
}

void DrawLine(benchmark::State& state, uint32_t flags, uint32_t value) {
  TimeText(state,
           [&](V2DSurface* screen, V2DSurface* font) { return screen->DrawFont(8, 100, font, kLine, flags, value); });
}

void BM_DrawFontKeyed(benchmark::State& state) { DrawLine(state, BlitFlags::ColorKey, 0); }
void BM_DrawFontKeyedOpacity128(benchmark::State& state) {
  DrawLine(state, BlitFlags::ColorKey | BlitFlags::Opacity, 128);
}

void BM_DrawFontWrapKeyed(benchmark::State& state) {
  TimeText(state, [](V2DSurface* screen, V2DSurface* font) {
    return screen->DrawFontWrap(8, 100, font, kLine, 120, BlitFlags::ColorKey, 0);
  });
}

}  // namespace

BENCHMARK(BM_DrawFontKeyed);
BENCHMARK(BM_DrawFontKeyedOpacity128);
BENCHMARK(BM_DrawFontWrapKeyed);
BENCHMARK_MAIN();

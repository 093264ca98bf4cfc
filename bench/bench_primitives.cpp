// bench_primitives.cpp - the drawing primitives on the 320 x 240 Rgb565 back
// buffer, per call: a full-screen GradientRect with and without the ordered
// dither, a large FillPoly triangle (plain and at opacity 100), a textured
// quad of the same size, a fan of lines, and as the yardstick a plain
// full-screen FillRect (whole-row memory fills). Items are pixels, so the
// rates compare directly.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "render/vmod_dsp.h"
#include "render/vsurf_2d.h"
#include "tests/render/display_rig.h"

namespace {

using namespace BlitFlags;

constexpr int64_t kScreenPixels = 320 * 240;
constexpr int64_t kTrianglePixels = 320 * 240 / 2;  // the triangle below halves the screen

// The display, opened once, with a 64 x 64 texture.
struct BENCHRIG {
  DisplayRig rig;
  V2DSurface texture;
  BENCHRIG() {
    rig.math.Init();
    rig.Open(0);
    rig.display.CreateSurface(&texture, 64, 64, 1u | (uint32_t(VideoType::Rgb565) << 8));
    for (int32_t y = 0; y < 64; y++)
      for (int32_t x = 0; x < 64; x++)
        texture.PutPixel(x, y, uint32_t(x * 4) | (uint32_t(y * 4) << 8) | 0x400000, 0, 0);
  }
  V2DSurface& Screen() { return *rig.display.GetBackBuffer(); }
};

BENCHRIG& Rig() {
  static BENCHRIG rig;
  return rig;
}

void BM_FillRectScreen(benchmark::State& state) {
  V2DSurface& s = Rig().Screen();
  for (auto _ : state) s.FillRect(nullptr, 0x204060, 0, 0);
  state.SetItemsProcessed(state.iterations() * kScreenPixels);
}
BENCHMARK(BM_FillRectScreen);

void BM_GradientRectScreen(benchmark::State& state) {
  V2DSurface& s = Rig().Screen();
  const uint32_t flags = state.range(0) ? V2DGRADIENT_DITHER : 0;
  for (auto _ : state) s.GradientRect(nullptr, 0x401008, 0x602010, 0x100830, 0x301860, flags);
  state.SetItemsProcessed(state.iterations() * kScreenPixels);
  state.SetLabel(flags ? "dithered" : "plain");
}
BENCHMARK(BM_GradientRectScreen)->Arg(1)->Arg(0);

void BM_FillPolyLargeTriangle(benchmark::State& state) {
  V2DSurface& s = Rig().Screen();
  const uint32_t flags = state.range(0) ? Opacity : 0;
  for (auto _ : state) s.FillPoly(0, 0, 320, 0, 0, 240, 0x2080F0, flags, 100);
  state.SetItemsProcessed(state.iterations() * kTrianglePixels);
  state.SetLabel(flags ? "opacity 100" : "plain");
}
BENCHMARK(BM_FillPolyLargeTriangle)->Arg(0)->Arg(1);

void BM_TexturePolyLargeTriangle(benchmark::State& state) {
  V2DSurface& s = Rig().Screen();
  for (auto _ : state) s.TexturePoly(0, 0, 0, 0, 320, 0, 128, 0, 0, 240, 0, 96, &Rig().texture, 0, 0);
  state.SetItemsProcessed(state.iterations() * kTrianglePixels);
}
BENCHMARK(BM_TexturePolyLargeTriangle);

void BM_DrawLineFan(benchmark::State& state) {
  V2DSurface& s = Rig().Screen();
  int64_t pixels = 0;
  for (int32_t i = 0; i < 32; i++) pixels += 1 + (i * 10 > 239 ? i * 10 : 239);  // the longer axis, both ends
  for (auto _ : state)
    for (int32_t i = 0; i < 32; i++) s.DrawLine(0, 0, i * 10, 239, 0xFFFFFF, 0, 0);
  state.SetItemsProcessed(state.iterations() * pixels);
}
BENCHMARK(BM_DrawLineFan);

}  // namespace

BENCHMARK_MAIN();

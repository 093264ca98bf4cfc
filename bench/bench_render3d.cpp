// bench_render3d.cpp - the software 3D renderer per frame: a lit sphere of
// 1000 triangles (20 rings of 25 segments, radius 0.8, about 190 pixels
// across) drawn flat into the 320 x 240 Rgb565 back buffer, turned a little
// every frame. Rows: PrepareRender alone (transform, cull, light, sort),
// and the whole frame (V2DSurface::Render: preparation plus the fills).
// Items are triangles of the model. Goal: the whole frame under 1 ms.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "render/vmod_dsp.h"
#include "render/vsurf_2d.h"
#include "render/vsurf_3d.h"
#include "tests/render/display_rig.h"
#include "tests/render/model_rig.h"

namespace {

constexpr int32_t kRings = 20, kSegments = 25;
constexpr int64_t kTriangles = 2 * kRings * kSegments;

// The display with two lights, and the sphere.
struct BENCHRIG {
  DisplayRig rig;
  V3DSurface sphere;
  BENCHRIG() {
    rig.math.Init();
    rig.Open(0);
    rig.display.SetLightSource(0, -65536, 65536, -131072, 0xC0C0C0, 0);
    rig.display.SetLightSource(1, 131072, -65536, -65536, 0xA04020, 0x101010);
    rig.display.UseLight(0, true);
    rig.display.UseLight(1, true);
    rig.display.CreateSurface(&sphere, 1, 1, 0);
    BuildSphere(sphere, rig.math, kModelOne * 4 / 5, kRings, kSegments, 0xFF40C0F0);
  }
  V2DSurface& Screen() { return *rig.display.GetBackBuffer(); }
};

BENCHRIG& Rig() {
  static BENCHRIG rig;
  return rig;
}

// A fresh turn per frame, so rounding never piles up in the model matrix.
void TurnForFrame(V3DSurface& m, uint32_t frame) {
  m.Reset();
  m.Rotate(frame * 7, frame * 11, 0);
}

void BM_PrepareRenderLitFlat(benchmark::State& state) {
  V3DSurface& m = Rig().sphere;
  uint32_t frame = 0;
  for (auto _ : state) {
    TurnForFrame(m, frame++);
    benchmark::DoNotOptimize(m.PrepareRender(true, true, false, false, true));
  }
  state.SetItemsProcessed(state.iterations() * kTriangles);
}
BENCHMARK(BM_PrepareRenderLitFlat);

void BM_RenderFrameLitFlat(benchmark::State& state) {
  V3DSurface& m = Rig().sphere;
  V2DSurface& s = Rig().Screen();
  uint32_t frame = 0;
  for (auto _ : state) {
    TurnForFrame(m, frame++);
    benchmark::DoNotOptimize(s.Render(0, 0, &m, V3D_RENDER_LIGHT, 0));
  }
  state.SetItemsProcessed(state.iterations() * kTriangles);
}
BENCHMARK(BM_RenderFrameLitFlat);

}  // namespace

BENCHMARK_MAIN();

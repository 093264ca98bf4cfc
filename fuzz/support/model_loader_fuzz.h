// model_loader_fuzz.h - one fuzz input run through a model loader twice:
// into the capture model, which copies every streamed byte, and into a real
// model, which is then posed at a few times and prepared for drawing so that
// whatever the loader stored is used. A load that reports success without
// creating the model aborts; the sanitizers catch the rest.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "framework/vexa_records.h"
#include "render/vsurf_3d.h"
#include "resources/loaders/vldr_base.h"
#include "tools/common/model_capture.h"
#include "util/vmod_math.h"

template <class Loader>
int FuzzModelLoader(const uint8_t* data, size_t size) {
  if (size > UINT32_MAX) return 0;
  static ClassVMath math;
  static const bool ready = math.Init();
  const void* block = size ? data : nullptr;
  Loader loader;
  VModelCapture capture;
  const int result = capture.Load(loader, block, uint32_t(size));
  if (result == VLDR_LOADED && capture.creates != 1) std::abort();

  // Option 6: the 3DS coordinates unshifted, as large as the file makes them.
  VCD vcd{};
  vcd.math = ready ? &math : nullptr;
  V3DSurface model;
  model.LinkECD(&vcd);
  if (loader.Start(&model, block, uint32_t(size), 6, 0) != VLDR_LOADED) return 0;
  if (!model.IsCreated()) std::abort();
  for (int32_t time : {-1, 0, 250, 100000}) {
    model.Animate(time);
    model.PrepareRender(true, true, true, false, true);
    model.PrepareRender(false, false, false, false, false);
  }
  return 0;
}

// image_loader_fuzz.h - one fuzz input run through an image loader three
// times: into the capture surface (every streamed byte is read), into a
// 16-bit surface with dithering, and into an 8-bit surface with palette
// remapping. A load that reports success without creating the image aborts;
// the sanitizers catch the rest.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "render/vsurf_2d.h"
#include "resources/loaders/vldr_base.h"
#include "tools/common/image_capture.h"

template <class Loader>
int FuzzImageLoader(const uint8_t* data, size_t size) {
  if (size > UINT32_MAX) return 0;
  const void* block = size ? data : nullptr;
  Loader loader;
  VImageCapture capture;
  int result = capture.Load(loader, block, uint32_t(size));
  if (result == VLDR_LOADED && capture.creates != 1) std::abort();
  struct Target {
    uint8_t videotype;
    uint32_t flags;
  };
  static const Target targets[] = {{VideoType::Rgb565, VLDR_FLAG_DITHER}, {VideoType::Indexed8, VLDR_FLAG_REMAP}};
  for (const Target& target : targets) {
    V2DSurface surface;
    int again = loader.Start(&surface, block, uint32_t(size), target.videotype, 1 | target.flags);
    if (again == VLDR_LOADED && !surface.IsCreated()) std::abort();
  }
  return 0;
}

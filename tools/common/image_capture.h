// image_capture.h - a surface that keeps exactly what a 2D loader streams:
// the image record, the palette entries and every pixel as a 32-bit interface
// colour (red bits 0-7 ... alpha 24-31), before any conversion to a native
// format. The loader tests compare against it, and vimg writes from it.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "render/vsurf_2dbase.h"
#include "resources/loaders/vldr_base.h"

class VImageCapture : public V2DSurfaceBase {
 public:
  static constexpr uint64_t MAXPIXELS = uint64_t(1) << 26;  // refuse larger images (2)

  // Runs one loader over a block; the loader's result.
  int Load(ClassVLoaderBase& loader, const void* block, uint32_t length, uint32_t flags = 0) {
    return loader.Start(this, block, length, 0, flags);
  }

  int LdrOnCreate(VLDR_2DCALLBACKINFO* info) override {
    if (!info || info->width <= 0 || info->height == 0) return VSURF_INVALID;
    uint64_t count = uint64_t(uint32_t(info->width)) * info->height;
    if (count > MAXPIXELS) return VSURF_NOMEMORY;
    width = info->width;
    height = info->height;
    alpha = info->alpha;
    indexed = info->indexed;
    ++creates;
    pixels.assign(size_t(count), 0);
    return VSURF_OK;
  }

  int LdrOnPaletteStream(VLDR_2DCALLBACKINFO* info) override {
    if (!info || !info->data) return VSURF_INVALID;
    uint32_t count = info->length / 4;
    for (uint32_t i = 0; i < count && info->palettestart + i < 256; ++i) {
      std::memcpy(&colours[info->palettestart + i], static_cast<const uint8_t*>(info->data) + i * 4, 4);
      if (info->palettestart + i + 1 > paletteentries) paletteentries = info->palettestart + i + 1;
    }
    info->palettestart += count;
    return VSURF_OK;
  }

  int LdrOnPixelStream(VLDR_2DCALLBACKINFO* info) override {
    if (pixels.empty()) return VSURF_NOTCREATED;
    if (!info || !info->data || info->offset < 0) return VSURF_INVALID;
    // Some formats learn of transparency only after the image is created.
    alpha |= info->alpha;
    const uint8_t* data = static_cast<const uint8_t*>(info->data);
    uint32_t count = info->indexed ? info->length : info->length / 4;
    uint64_t start = uint64_t(info->offset);
    for (uint32_t i = 0; i < count && start + i < pixels.size(); ++i) {
      uint32_t colour;
      if (info->indexed) {
        colour = colours[data[i]];
      } else {
        std::memcpy(&colour, data + size_t(i) * 4, 4);
      }
      pixels[size_t(start + i)] = colour;
    }
    ++rows;
    return VSURF_OK;
  }

  uint32_t At(int32_t x, int32_t y) const { return pixels[size_t(y) * uint32_t(width) + uint32_t(x)]; }

  int32_t width = 0;
  uint32_t height = 0;
  uint8_t alpha = 0;
  uint8_t indexed = 0;
  int creates = 0;                 // LdrOnCreate calls
  int rows = 0;                    // LdrOnPixelStream calls
  uint32_t paletteentries = 0;     // highest palette entry streamed + 1
  uint32_t colours[256] = {};      // palette entries as streamed
  std::vector<uint32_t> pixels;    // width x height interface colours, 0 where nothing was streamed
};

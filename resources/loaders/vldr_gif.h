// vldr_gif.h - the GIF image loader: versions 87a and 89a, global and local
// colour tables, transparency from the graphic-control extension, plain and
// interlaced images; the first image of the file is drawn.
//
// Depends on: the loader base.
#pragma once

#include <cstdint>

#include "resources/loaders/vldr_base.h"

constexpr int VLDR_GIF_NOIMAGE = 7;  // the blocks end before any image descriptor

class VLoader_GIF : public ClassVLoaderBase {
 public:
  int Start(V2DSurfaceBase* surface, const void* data, uint32_t length, uint8_t displaytype,
            uint32_t flags) override;
  using ClassVLoaderBase::Start;
};

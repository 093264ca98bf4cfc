// vldr_bmp.h - the BMP image loader.
#pragma once

#include <cstdint>

#include "resources/loaders/vldr_base.h"

class VLoader_BMP : public ClassVLoaderBase {
 public:
  int Start(V2DSurfaceBase* surface, const void* data, uint32_t length, uint8_t displaytype,
            uint32_t flags) override;
  using ClassVLoaderBase::Start;
};

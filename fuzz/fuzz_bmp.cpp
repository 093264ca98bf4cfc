// Fuzz target of the BMP loader: the input is one BMP file.
#include <cstddef>
#include <cstdint>

#include "resources/loaders/vldr_bmp.h"
#include "support/image_loader_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return FuzzImageLoader<VLoader_BMP>(data, size);
}

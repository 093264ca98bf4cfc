// Fuzz target of the TGA loader: the input is one TGA file.
#include <cstddef>
#include <cstdint>

#include "resources/loaders/vldr_tga.h"
#include "support/image_loader_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return FuzzImageLoader<VLoader_TGA>(data, size);
}

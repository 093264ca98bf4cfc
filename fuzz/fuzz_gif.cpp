// Fuzz target of the GIF loader: the input is one GIF file.
#include <cstddef>
#include <cstdint>

#include "resources/loaders/vldr_gif.h"
#include "support/image_loader_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return FuzzImageLoader<VLoader_GIF>(data, size);
}

// Fuzz target of the PNG loader: each input goes into the capture surface and
// into real surfaces (16-bit dithered, 8-bit remapped).
#include <cstddef>
#include <cstdint>

#include "fuzz/support/image_loader_fuzz.h"
#include "resources/loaders/vldr_png.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return FuzzImageLoader<VLoader_PNG>(data, size);
}

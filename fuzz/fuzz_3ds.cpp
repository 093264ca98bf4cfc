// Fuzz target of the 3DS loader: each input goes into the capture model and
// into a real model that is then posed and prepared for drawing.
#include <cstddef>
#include <cstdint>

#include "fuzz/support/model_loader_fuzz.h"
#include "resources/loaders/vldr_3ds.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return FuzzModelLoader<VLoader_3DS>(data, size);
}

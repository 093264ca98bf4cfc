// Fuzz target of the MS3D loader: each input goes into the capture model and
// into a real model that is then animated and prepared for drawing.
#include <cstddef>
#include <cstdint>

#include "fuzz/support/model_loader_fuzz.h"
#include "resources/loaders/vldr_ms3d.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return FuzzModelLoader<VLoader_MS3D>(data, size);
}

// Fuzz target of the JPEG loader: the input is one file, decoded into a
// capture surface; every delivered row is read back whole, so a row length
// beyond the loader's buffer shows as an overread.
#include <cstddef>
#include <cstdint>

#include "resources/loaders/vldr_jpg.h"
#include "tools/common/image_capture.h"

namespace {

// The capture, reading every byte of each row it is handed.
class ReadingCapture : public VImageCapture {
 public:
  int LdrOnPixelStream(VLDR_2DCALLBACKINFO* info) override {
    const uint8_t* bytes = static_cast<const uint8_t*>(info->data);
    for (uint32_t i = 0; i < info->length; ++i) sum += bytes[i];
    return VImageCapture::LdrOnPixelStream(info);
  }
  uint32_t sum = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > UINT32_MAX) return 0;
  ReadingCapture capture;
  VLoader_JPG loader;
  int rc = capture.Load(loader, size ? data : nullptr, static_cast<uint32_t>(size));
  if (rc != VLDR_LOADED && rc != VLDR_CORRUPT && rc != VLDR_OUTOFMEMORY && rc != VLDR_NOTMYFORMAT) __builtin_trap();
  volatile uint32_t sink = capture.sum;
  (void)sink;
  return 0;
}

// Fuzz target of the WAV loader: the input is one WAV image, loaded in place
// and as a copy; every frame a load reports is read back, so a frame count
// beyond the bytes behind the data pointer shows as an overread.
#include <cstddef>
#include <cstdint>
#include <initializer_list>

#include "audio/mxrData.h"

namespace {

uint32_t ReadEveryFrame(const mxrSound& sound) {
  uint32_t bytesperframe = (sound.eightBit() ? 1u : 2u) * (sound.stereo() ? 2u : 1u);
  const uint8_t* p = sound.data();
  uint32_t sum = 0;
  for (uint32_t i = 0; i < sound.frameCount() * bytesperframe; ++i) sum += p[i];
  return sum;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > UINT32_MAX) {
    return 0;
  }
  volatile uint32_t sink = 0;
  for (bool copy : {false, true}) {
    mxrSound sound;
    if (sound.load(size ? data : nullptr, static_cast<uint32_t>(size), copy) == MXR_WAV_OK) {
      sink = sink + ReadEveryFrame(sound);
    }
  }
  return 0;
}

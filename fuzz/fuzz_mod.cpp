// Fuzz target of the MOD player: the input is one module image, loaded in
// place and as a copy, then played (looping, so jumps back are taken) for
// ten seconds of 8 kHz output, stereo for the in-place load and mono for the
// copy. Any read past the image, the tables or the pass's sums shows under
// the sanitizers; a song that never advances would show as a timeout.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "audio/mxrData.h"
#include "audio/mxrGP2X.h"
#include "audio/mxrSpeaker.h"

namespace {

constexpr unsigned kRate = 8000;
constexpr unsigned kSeconds = 10;
constexpr unsigned kFragmentFrames = 160;  // 20 ms

void Play(const mxrMusic& music, bool stereo) {
  mxrSpeaker speaker;
  if (speaker.open(kRate, 16, stereo, 1, 8) != 0 || speaker.playMusic(&music, 0) < 0) {
    return;
  }
  std::vector<int16_t> fragment(kFragmentFrames * (stereo ? 2 : 1));
  for (unsigned done = 0; done < kRate * kSeconds && speaker.playingChannelMusics() > 0; done += kFragmentFrames) {
    speaker.updateModSFX(fragment.data(), static_cast<unsigned>(fragment.size() * sizeof fragment[0]));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > UINT32_MAX) {
    return 0;
  }
  mxrGP2X::manualByDefault(true);  // no output thread: the pass runs here
  for (bool copy : {false, true}) {
    mxrMusic music;
    if (music.load(size ? data : nullptr, static_cast<uint32_t>(size), copy) == MXR_MOD_OK) {
      music.loop(true);
      Play(music, !copy);
    }
  }
  return 0;
}

// adpcm_writer.h - MS-ADPCM WAV file images in memory: an encoder of signed
// 16-bit PCM into Microsoft ADPCM blocks (format tag 2), for the asset tools
// and the tests.
//
// Header-only. Each block starts with, per channel, the predictor index, the
// initial delta, sample 1 and sample 2 (the block's second and first
// samples); then two samples per byte, high nibble first, the high nibble
// being the left channel in stereo. The encoder tries every coefficient pair
// on each block and keeps the one with the smallest squared error, running
// the decoder's own arithmetic so its reconstruction is what a player hears.
// A last partial block is padded with silence, since players drop partial
// blocks. Tunable: the block alignment (default 256 bytes per channel).
// Depends on: tools/common/wav_writer.h.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "tools/common/wav_writer.h"

namespace adpcmwriter {

constexpr unsigned kCoefficients = 7;
constexpr int16_t kCoefficient1[kCoefficients] = {256, 512, 0, 192, 240, 460, 392};
constexpr int16_t kCoefficient2[kCoefficients] = {0, -256, 0, 64, 0, -208, -232};
constexpr int32_t kAdaptation[16] = {230, 230, 230, 230, 307, 409, 512, 614,
                                     768, 614, 512, 409, 307, 230, 230, 230};
constexpr int32_t kMinDelta = 16;
constexpr uint16_t kDefaultBlockAlign = 256;  // per channel
constexpr unsigned kHeaderBytes = 7;          // per channel: predictor, delta, sample 1, sample 2

// One channel's decoder state while a block is encoded.
struct CHANNELSTATE {
  int32_t coefficient1 = 256;
  int32_t coefficient2 = 0;
  int32_t delta = kMinDelta;
  int32_t sample1 = 0;
  int32_t sample2 = 0;
};

// Samples per block for a block alignment and channel count.
inline uint16_t SamplesPerBlock(uint16_t blockalign, uint16_t channels) {
  return static_cast<uint16_t>((blockalign - kHeaderBytes * channels) * 2 / channels + 2);
}

// Encodes one sample as the decoder will rebuild it; returns the nibble (0..15).
inline uint8_t EncodeSample(CHANNELSTATE& state, int32_t sample) {
  const int32_t prediction = (state.sample1 * state.coefficient1 + state.sample2 * state.coefficient2) / 256;
  const int32_t error = sample - prediction;
  // Rounded to the nearest step, so the reconstruction error stays under half a delta.
  const int32_t rounded = error >= 0 ? (error + state.delta / 2) / state.delta : -((-error + state.delta / 2) / state.delta);
  const int32_t code = std::clamp(rounded, -8, 7);
  const int32_t rebuilt = std::clamp(prediction + code * state.delta, -32768, 32767);
  const auto nibble = static_cast<uint8_t>(code & 0x0F);
  state.delta = std::max(kMinDelta, state.delta * kAdaptation[nibble] / 256);
  state.sample2 = state.sample1;
  state.sample1 = rebuilt;
  return nibble;
}

// The start state of a block with a coefficient pair: a delta that fits the
// first steps of the signal, the first two samples taken as they are.
inline CHANNELSTATE StartState(const std::vector<int16_t>& block, unsigned predictor) {
  CHANNELSTATE state;
  state.coefficient1 = kCoefficient1[predictor];
  state.coefficient2 = kCoefficient2[predictor];
  state.sample2 = block[0];
  state.sample1 = block[1];
  const int32_t firststep = block.size() > 2 ? block[2] - block[1] : 0;
  state.delta = std::max(kMinDelta, (firststep < 0 ? -firststep : firststep) / 4);
  return state;
}

// Squared reconstruction error of one channel's block under a predictor.
inline int64_t BlockError(const std::vector<int16_t>& block, unsigned predictor) {
  CHANNELSTATE state = StartState(block, predictor);
  int64_t total = 0;
  for (size_t i = 2; i < block.size(); ++i) {
    EncodeSample(state, block[i]);
    const int64_t diff = state.sample1 - block[i];
    total += diff * diff;
  }
  return total;
}

inline unsigned BestPredictor(const std::vector<int16_t>& block) {
  unsigned best = 0;
  int64_t besterror = BlockError(block, 0);
  for (unsigned p = 1; p < kCoefficients; ++p) {
    const int64_t error = BlockError(block, p);
    if (error < besterror) {
      best = p;
      besterror = error;
    }
  }
  return best;
}

// One channel's samples of block `index`, padded with silence past the end.
inline std::vector<int16_t> ChannelBlock(const std::vector<int16_t>& samples, uint16_t channels, unsigned channel,
                                         size_t index, uint16_t perblock) {
  std::vector<int16_t> block(perblock, 0);
  const size_t frames = samples.size() / channels;
  for (size_t i = 0; i < perblock && index * perblock + i < frames; ++i) {
    block[i] = samples[(index * perblock + i) * channels + channel];
  }
  return block;
}

inline void EncodeBlock(const std::vector<int16_t>& samples, uint16_t channels, size_t index, uint16_t perblock,
                        std::vector<uint8_t>& out) {
  std::vector<std::vector<int16_t>> blocks;
  std::vector<unsigned> predictors;
  std::vector<CHANNELSTATE> states;
  for (unsigned c = 0; c < channels; ++c) {
    blocks.push_back(ChannelBlock(samples, channels, c, index, perblock));
    predictors.push_back(BestPredictor(blocks.back()));
    states.push_back(StartState(blocks.back(), predictors.back()));
  }
  for (unsigned c = 0; c < channels; ++c) out.push_back(static_cast<uint8_t>(predictors[c]));
  for (unsigned c = 0; c < channels; ++c) wavwriter::PutLe16(out, static_cast<uint16_t>(states[c].delta));
  for (unsigned c = 0; c < channels; ++c) wavwriter::PutLe16(out, static_cast<uint16_t>(states[c].sample1));
  for (unsigned c = 0; c < channels; ++c) wavwriter::PutLe16(out, static_cast<uint16_t>(states[c].sample2));
  // Nibbles run sample by sample, channels interleaved, two to a byte.
  uint8_t pending = 0;
  bool high = true;
  for (size_t i = 2; i < perblock; ++i) {
    for (unsigned c = 0; c < channels; ++c) {
      const uint8_t nibble = EncodeSample(states[c], blocks[c][i]);
      if (high) {
        pending = static_cast<uint8_t>(nibble << 4);
      } else {
        out.push_back(static_cast<uint8_t>(pending | nibble));
      }
      high = !high;
    }
  }
}

// A WAV image of interleaved signed 16-bit frames encoded as MS-ADPCM.
inline std::vector<uint8_t> Encode(uint16_t channels, uint32_t rate, const std::vector<int16_t>& samples,
                                   uint16_t blockalignperchannel = kDefaultBlockAlign) {
  const auto blockalign = static_cast<uint16_t>(blockalignperchannel * channels);
  const uint16_t perblock = SamplesPerBlock(blockalign, channels);
  const size_t frames = samples.size() / channels;
  const size_t blocks = (frames + perblock - 1) / perblock;
  std::vector<uint8_t> data;
  data.reserve(blocks * blockalign);
  for (size_t b = 0; b < blocks; ++b) EncodeBlock(samples, channels, b, perblock, data);

  std::vector<uint8_t> out;
  wavwriter::PutId(out, "RIFF");
  const size_t riffsize = 4 + (8 + 50) + (8 + 4) + (8 + data.size());
  wavwriter::PutLe32(out, static_cast<uint32_t>(riffsize));
  wavwriter::PutId(out, "WAVE");
  wavwriter::PutId(out, "fmt ");
  wavwriter::PutLe32(out, 50);
  wavwriter::PutLe16(out, 2);  // Microsoft ADPCM
  wavwriter::PutLe16(out, channels);
  wavwriter::PutLe32(out, rate);
  wavwriter::PutLe32(out, static_cast<uint32_t>(uint64_t(rate) * blockalign / perblock));
  wavwriter::PutLe16(out, blockalign);
  wavwriter::PutLe16(out, 4);
  wavwriter::PutLe16(out, 32);  // extra format bytes that follow
  wavwriter::PutLe16(out, perblock);
  wavwriter::PutLe16(out, kCoefficients);
  for (unsigned p = 0; p < kCoefficients; ++p) {
    wavwriter::PutLe16(out, static_cast<uint16_t>(kCoefficient1[p]));
    wavwriter::PutLe16(out, static_cast<uint16_t>(kCoefficient2[p]));
  }
  wavwriter::PutId(out, "fact");
  wavwriter::PutLe32(out, 4);
  wavwriter::PutLe32(out, static_cast<uint32_t>(blocks * perblock));
  wavwriter::PutId(out, "data");
  wavwriter::PutLe32(out, static_cast<uint32_t>(data.size()));
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

}  // namespace adpcmwriter

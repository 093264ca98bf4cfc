// wav_writer.h - PCM WAV file images in memory: the RIFF header, a "fmt "
// chunk and a "data" chunk, for the asset tools and the tests.
//
// Header-only. 8-bit samples are unsigned (128 silence), 16-bit samples
// signed; frames interleave left, right; everything little-endian.
// Depends on: nothing.
#pragma once

#include <cstdint>
#include <vector>

namespace wavwriter {

inline void PutLe16(std::vector<uint8_t>& out, uint16_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}

inline void PutLe32(std::vector<uint8_t>& out, uint32_t value) {
  PutLe16(out, static_cast<uint16_t>(value));
  PutLe16(out, static_cast<uint16_t>(value >> 16));
}

inline void PutId(std::vector<uint8_t>& out, const char* id) {
  for (int i = 0; i < 4; ++i) {
    out.push_back(static_cast<uint8_t>(id[i]));
  }
}

// A WAV image around sample bytes already in file order.
inline std::vector<uint8_t> Pcm(uint16_t channels, uint32_t rate, uint16_t bits, const std::vector<uint8_t>& bytes) {
  const uint16_t blockalign = static_cast<uint16_t>(channels * bits / 8);
  const auto datasize = static_cast<uint32_t>(bytes.size());
  std::vector<uint8_t> out;
  out.reserve(44 + bytes.size() + 1);
  PutId(out, "RIFF");
  PutLe32(out, 36 + datasize + (datasize & 1));
  PutId(out, "WAVE");
  PutId(out, "fmt ");
  PutLe32(out, 16);
  PutLe16(out, 1);  // PCM
  PutLe16(out, channels);
  PutLe32(out, rate);
  PutLe32(out, rate * blockalign);
  PutLe16(out, blockalign);
  PutLe16(out, bits);
  PutId(out, "data");
  PutLe32(out, datasize);
  out.insert(out.end(), bytes.begin(), bytes.end());
  if ((datasize & 1) != 0) {
    out.push_back(0);  // chunks are padded to an even size
  }
  return out;
}

inline std::vector<uint8_t> Pcm8(uint16_t channels, uint32_t rate, const std::vector<uint8_t>& samples) {
  return Pcm(channels, rate, 8, samples);
}

inline std::vector<uint8_t> Pcm16(uint16_t channels, uint32_t rate, const std::vector<int16_t>& samples) {
  std::vector<uint8_t> bytes;
  bytes.reserve(samples.size() * 2);
  for (int16_t sample : samples) {
    PutLe16(bytes, static_cast<uint16_t>(sample));
  }
  return Pcm(channels, rate, 16, bytes);
}

}  // namespace wavwriter

// mod_writer.h - MOD (ProTracker layout) module images in memory, built from
// patterns and samples, for the asset tools, the tests and the fuzz seeds.
//
// Header-only. The image holds the title, 31 sample headers, song length,
// restart byte, the 128-entry order table, the signature, then as many
// patterns as the song's orders name (highest + 1; missing ones are empty)
// and the sample data. 16-bit values are big-endian, lengths in words.
// Depends on: nothing.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace modwriter {

constexpr unsigned kRows = 64;
constexpr unsigned kSamples = 31;
constexpr unsigned kOrders = 128;

// One cell: a period (0 none, up to 4095), an instrument (0 none, 1..31), an
// effect command (0..15) and its parameter.
struct CELL {
  uint16_t period = 0;
  uint8_t instrument = 0;
  uint8_t command = 0;
  uint8_t parameter = 0;
};

struct SAMPLE {
  std::vector<int8_t> data;       // written as is; its size is rounded up to whole words
  uint8_t finetune = 0;           // stored byte (low nibble 0..7 = 0..+7, 8..15 = -8..-1)
  uint8_t volume = 64;
  uint16_t repeatstart = 0;       // words
  uint16_t repeatlength = 1;      // words; 1 or 0 = no loop
  int32_t storedwords = -1;       // length field written instead of the data's own, when not -1
};

struct MODULE {
  std::string title;
  unsigned tracks = 4;
  std::string signature;          // empty: M.K. for 4 tracks, "nCHN" up to 9, "nnCH" above
  std::vector<uint8_t> orders{0};
  int32_t songlength = -1;        // byte written instead of orders.size(), when not -1
  uint8_t restart = 127;
  std::vector<SAMPLE> samples;    // instrument k + 1 is samples[k]
  std::vector<std::vector<CELL>> patterns;  // each kRows x tracks cells, row by row

  // The cell at pattern, row, track; the pattern is made when it is new.
  CELL& at(unsigned pattern, unsigned row, unsigned track) {
    while (patterns.size() <= pattern) patterns.emplace_back(kRows * tracks);
    return patterns[pattern][row * tracks + track];
  }
};

// Periods of the three standard octaves, C-1 .. B-3.
constexpr uint16_t kNotePeriods[36] = {856, 808, 762, 720, 678, 640, 604, 570, 538, 508, 480, 453,
                                       428, 404, 381, 360, 339, 320, 302, 285, 269, 254, 240, 226,
                                       214, 202, 190, 180, 170, 160, 151, 143, 135, 127, 120, 113};

// The period of a note: octave 1..3, semitone 0 (C) .. 11 (B).
inline uint16_t Period(unsigned octave, unsigned semitone) {
  return kNotePeriods[(octave - 1) * 12 + semitone];
}

inline std::string SignatureOf(unsigned tracks) {
  if (tracks == 4) return "M.K.";
  if (tracks < 10) return std::to_string(tracks) + "CHN";
  return std::to_string(tracks) + "CH";
}

inline void PutBe16(std::vector<uint8_t>& out, size_t at, uint32_t value) {
  out[at] = static_cast<uint8_t>(value >> 8);
  out[at + 1] = static_cast<uint8_t>(value);
}

inline void PutText(std::vector<uint8_t>& out, size_t at, const std::string& text, size_t room) {
  for (size_t i = 0; i < text.size() && i < room; ++i) out[at + i] = static_cast<uint8_t>(text[i]);
}

// Patterns the song's orders name.
inline unsigned PatternCount(const MODULE& m) {
  const size_t length = std::min<size_t>(m.songlength >= 0 ? size_t(m.songlength) : m.orders.size(), kOrders);
  unsigned highest = 0;
  for (size_t i = 0; i < length && i < m.orders.size(); ++i) highest = std::max<unsigned>(highest, m.orders[i]);
  return highest + 1;
}

inline std::vector<uint8_t> Write(const MODULE& m) {
  std::vector<uint8_t> out(1084, 0);
  PutText(out, 0, m.title, 20);
  for (size_t k = 0; k < m.samples.size() && k < kSamples; ++k) {
    const SAMPLE& s = m.samples[k];
    const size_t at = 20 + 30 * k;
    const uint32_t words = s.storedwords >= 0 ? uint32_t(s.storedwords) : uint32_t((s.data.size() + 1) / 2);
    PutText(out, at, "sample " + std::to_string(k + 1), 22);
    PutBe16(out, at + 22, words);
    out[at + 24] = s.finetune;
    out[at + 25] = s.volume;
    PutBe16(out, at + 26, s.repeatstart);
    PutBe16(out, at + 28, s.repeatlength);
  }
  out[950] = static_cast<uint8_t>(m.songlength >= 0 ? m.songlength : int32_t(m.orders.size()));
  out[951] = m.restart;
  for (size_t i = 0; i < m.orders.size() && i < kOrders; ++i) out[952 + i] = m.orders[i];
  PutText(out, 1080, m.signature.empty() ? SignatureOf(m.tracks) : m.signature, 4);
  const unsigned patterns = PatternCount(m);
  for (unsigned p = 0; p < patterns; ++p) {
    for (unsigned c = 0; c < kRows * m.tracks; ++c) {
      const CELL cell = p < m.patterns.size() && c < m.patterns[p].size() ? m.patterns[p][c] : CELL{};
      out.push_back(static_cast<uint8_t>((cell.instrument & 0xF0) | ((cell.period >> 8) & 0x0F)));
      out.push_back(static_cast<uint8_t>(cell.period));
      out.push_back(static_cast<uint8_t>((cell.instrument & 0x0F) << 4 | (cell.command & 0x0F)));
      out.push_back(cell.parameter);
    }
  }
  for (size_t k = 0; k < m.samples.size() && k < kSamples; ++k) {
    const std::vector<int8_t>& data = m.samples[k].data;
    for (int8_t v : data) out.push_back(static_cast<uint8_t>(v));
    if (data.size() % 2 != 0) out.push_back(0);
  }
  return out;
}

}  // namespace modwriter

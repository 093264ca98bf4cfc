// assetgen_sound - the game's sixteen sound effects (slots 0 to 16, slot 10 left
// empty), synthesised from tones and filtered noise into WAV entries for
// res/sound.vpk.
//
// Every effect is a short mono score, written as a table: tones (sines with
// a few partials, pitch glides, vibrato) and noise bursts, each with its own
// envelope, and for the shattering ice a scatter of random shards. The
// finished wave gets 6 ms of silence at both ends (a player starting or
// stopping it never clicks), is scaled to its peak and has its mean taken
// out. Formats mix 16-bit PCM, 8-bit PCM for the tiny interface ticks and
// MS-ADPCM for the longer tonal pieces.
// Depends on: tools/assetgen/assetgen_random.h, tools/common/wav_writer.h,
// tools/common/adpcm_writer.h.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

#include "tools/assetgen/assetgen.h"
#include "tools/assetgen/assetgen_random.h"
#include "tools/common/adpcm_writer.h"
#include "tools/common/wav_writer.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kEdgeSeconds = 0.006;   // silence at each end, longer than the 5 ms a player may click in
constexpr double kReleaseSeconds = 0.02; // every tone and noise burst ends on this fade

using Wave = std::vector<double>;  // mono samples, full scale +-1

enum class Format : uint8_t { Pcm16, Pcm8, Adpcm };

// Partials: frequency ratios to the base and their strengths.
struct TIMBRE {
  std::array<double, 4> ratios;
  std::array<double, 4> amps;
};

const TIMBRE kPure{{1, 2, 3, 4}, {1, 0, 0, 0}};
const TIMBRE kWarm{{1, 2, 3, 4}, {1, 0.3, 0, 0}};
const TIMBRE kGlass{{1, 2, 3, 4}, {1, 0.15, 0, 0}};
const TIMBRE kSoft{{1, 2, 3, 4}, {1, 0.2, 0.05, 0}};
const TIMBRE kPad{{1, 2, 3, 4}, {1, 0.3, 0.1, 0}};
const TIMBRE kSweep{{1, 2, 3, 4}, {1, 0.3, 0.15, 0}};
const TIMBRE kReed{{1, 2, 3, 4}, {1, 0.35, 0.2, 0.1}};
const TIMBRE kBrass{{1, 2, 3, 4}, {1, 0.5, 0.3, 0.18}};
const TIMBRE kBell{{1, 2, 3.01, 4.17}, {1, 0.45, 0.22, 0.12}};  // a struck glassy bell

// A tone whose base glides exponentially from `freq` to `freq` x `glide`;
// higher partials die away faster than the base.
struct TONE {
  double start;        // s
  double length;       // s, release included
  double freq;         // Hz at the start
  double glide;        // end frequency / start frequency
  double level;
  double attack;       // s
  double decay;        // s, time constant of the fall after the attack; 0 holds
  double vibrato;      // depth, as a fraction of the frequency
  double vibratorate;  // Hz
  TIMBRE timbre;
};

// A noise burst through a one-pole filter whose cutoff glides from `cutoff`
// to `cutoffend`; high-pass keeps what lies above the cutoff.
struct NOISE {
  double start;
  double length;
  double level;
  double attack;
  double decay;
  double cutoff;  // Hz
  double cutoffend;
  bool highpass;
};

// Shards of breaking ice: bells at random pitches and times.
constexpr double kShardsWithin = 0.3;  // s after the start
constexpr double kShardLength = 0.15;

// Attack (raised cosine), exponential decay, and the closing release.
double Envelope(double t, double length, double attack, double decay) {
  double gain = 1;
  if (t < attack) gain = 0.5 - 0.5 * std::cos(kPi * t / attack);
  if (decay > 0 && t > attack) gain *= std::exp(-(t - attack) / decay);
  const double release = std::min(kReleaseSeconds, length / 4);
  if (t > length - release) gain *= 0.5 + 0.5 * std::cos(kPi * (t - (length - release)) / release);
  return gain;
}

// The range of samples a part covers, clipped to the wave.
size_t FirstSample(double start, double rate) { return static_cast<size_t>(start * rate); }
size_t EndSample(const Wave& wave, double start, double length, double rate) {
  return std::min(wave.size(), static_cast<size_t>((start + length) * rate));
}

void AddTone(Wave& wave, double rate, const TONE& tone) {
  std::array<double, 4> phase{};
  const size_t first = FirstSample(tone.start, rate);
  for (size_t i = first; i < EndSample(wave, tone.start, tone.length, rate); ++i) {
    const double t = static_cast<double>(i - first) / rate;
    const double vibrato = 1 + tone.vibrato * std::sin(2 * kPi * tone.vibratorate * t);
    const double freq = tone.freq * std::pow(tone.glide, t / tone.length) * vibrato;
    double sum = 0;
    for (size_t k = 0; k < phase.size(); ++k) {
      const double ratio = tone.timbre.ratios[k];
      const double partial = freq * ratio;
      if (tone.timbre.amps[k] == 0 || partial > rate * 0.45) continue;  // nothing above what the rate carries
      const double fade = tone.decay > 0 ? std::exp(-t * (ratio - 1) / (tone.decay * 2)) : 1;
      sum += tone.timbre.amps[k] * fade * std::sin(phase[k]);
      phase[k] += 2 * kPi * partial / rate;
    }
    wave[i] += tone.level * Envelope(t, tone.length, tone.attack, tone.decay) * sum;
  }
}

void AddNoise(Wave& wave, double rate, const NOISE& noise, AssetGenRandom& random) {
  double low = 0;
  const size_t first = FirstSample(noise.start, rate);
  for (size_t i = first; i < EndSample(wave, noise.start, noise.length, rate); ++i) {
    const double t = static_cast<double>(i - first) / rate;
    const double cutoff = noise.cutoff * std::pow(noise.cutoffend / noise.cutoff, t / noise.length);
    const double a = 1 - std::exp(-2 * kPi * cutoff / rate);
    const double white = random.Signed();
    low += a * (white - low);
    const double filtered = noise.highpass ? white - low : low;
    wave[i] += noise.level * Envelope(t, noise.length, noise.attack, noise.decay) * filtered;
  }
}

void AddShards(Wave& wave, double rate, unsigned count, AssetGenRandom& random) {
  for (unsigned i = 0; i < count; ++i) {
    const double start = 0.02 + random.Uniform() * kShardsWithin;
    const double freq = 2500 + random.Uniform() * 3500;
    const double level = 0.25 + random.Uniform() * 0.2;
    AddTone(wave, rate, {start, kShardLength, freq, 1, level, 0.002, 0.035, 0, 0, kBell});
  }
}

// Equal-tempered pitch of a MIDI note number (69 = A 440 Hz).
double Note(int midi) { return 440.0 * std::pow(2.0, (midi - 69) / 12.0); }

struct EFFECT {
  const char* name;
  uint32_t rate;
  Format format;
  double seconds;  // body, between the silent edges; every part ends inside it
  double peak;     // of full scale
  std::vector<TONE> tones;
  std::vector<NOISE> noises;
  unsigned shards;
};

// The scores. Tone columns: start, length, frequency, glide, level, attack,
// decay, vibrato depth and rate, timbre. Noise columns: start, length,
// level, attack, decay, cutoff at start and end, high-pass.
const std::vector<EFFECT> kEffects = {
    // An object lands: a short soft thump with a wooden knock on top.
    {"00-drop.wav", 22050, Format::Pcm16, 0.11, 0.85,
     {{0, 0.11, 190, 0.5, 1, 0.003, 0.04, 0, 0, kWarm}, {0, 0.04, 950, 0.7, 0.35, 0.003, 0.01, 0, 0, kWarm}},
     {{0, 0.03, 0.4, 0.001, 0.008, 2500, 600, false}}, 0},
    // The interface click: a crisp high blip.
    {"01-click.wav", 22050, Format::Pcm8, 0.04, 0.65,
     {{0, 0.04, 1800, 0.8, 1, 0.001, 0.008, 0, 0, kWarm}},
     {{0, 0.012, 0.4, 0.001, 0.003, 3000, 3000, true}}, 0},
    // A link: a pop and rising bell notes; the four variants climb through
    // the scale, so a chain of links sounds like a little melody.
    {"02-part1.wav", 44100, Format::Pcm16, 0.42, 0.85,
     {{0, 0.42, Note(84), 1, 1, 0.002, 0.12, 0, 0, kBell}, {0.055, 0.365, Note(91), 1, 0.85, 0.002, 0.12, 0, 0, kBell}},
     {{0, 0.025, 0.5, 0.001, 0.006, 5000, 1500, false}}, 0},
    {"03-part2.wav", 44100, Format::Pcm16, 0.42, 0.85,
     {{0, 0.42, Note(86), 1, 1, 0.002, 0.12, 0, 0, kBell}, {0.055, 0.365, Note(93), 1, 0.85, 0.002, 0.12, 0, 0, kBell}},
     {{0, 0.025, 0.5, 0.001, 0.006, 5000, 1500, false}}, 0},
    {"04-part3.wav", 44100, Format::Pcm16, 0.42, 0.85,
     {{0, 0.42, Note(88), 1, 1, 0.002, 0.12, 0, 0, kBell},
      {0.055, 0.365, Note(95), 1, 0.85, 0.002, 0.12, 0, 0, kBell},
      {0.11, 0.31, Note(100), 1, 0.7, 0.002, 0.12, 0, 0, kBell}},
     {{0, 0.025, 0.5, 0.001, 0.006, 5000, 1500, false}}, 0},
    {"05-part4.wav", 44100, Format::Pcm16, 0.42, 0.85,
     {{0, 0.42, Note(91), 1, 1, 0.002, 0.12, 0, 0, kBell},
      {0.055, 0.365, Note(98), 1, 0.85, 0.002, 0.12, 0, 0, kBell},
      {0.11, 0.31, Note(103), 1, 0.7, 0.002, 0.12, 0, 0, kBell}},
     {{0, 0.025, 0.5, 0.001, 0.006, 5000, 1500, false}}, 0},
    // A hint: a gentle rising ding-dong.
    {"06-hint.wav", 22050, Format::Adpcm, 0.6, 0.8,
     {{0, 0.6, Note(81), 1, 1, 0.008, 0.22, 0.004, 6, kSoft}, {0.16, 0.44, Note(88), 1, 1, 0.008, 0.22, 0.004, 6, kSoft}},
     {}, 0},
    // A box or menu closes: a short falling swoop.
    {"07-closelayer.wav", 22050, Format::Pcm8, 0.2, 0.75,
     {{0, 0.2, 900, 0.35, 1, 0.005, 0.08, 0, 0, kWarm}},
     {{0, 0.18, 0.5, 0.01, 0.06, 3000, 500, false}}, 0},
    // An object freezes: high glassy tones shimmering in one by one over frost.
    {"08-frozen.wav", 44100, Format::Pcm16, 0.7, 0.8,
     {{0, 0.7, Note(96), 1, 0.5, 0.015, 0.22, 0.006, 9, kGlass},
      {0.05, 0.65, Note(100), 1, 0.5, 0.015, 0.22, 0.006, 10, kGlass},
      {0.1, 0.6, Note(103), 1, 0.5, 0.015, 0.22, 0.006, 11, kGlass},
      {0.15, 0.55, Note(105), 1, 0.5, 0.015, 0.22, 0.006, 12, kGlass}},
     {{0, 0.3, 0.25, 0.1, 0.08, 4000, 8000, true}}, 0},
    // A frozen object shatters: a bright crash, a low crack and falling shards.
    {"09-frozendeath.wav", 44100, Format::Pcm16, 0.5, 0.85,
     {{0, 0.1, 130, 0.6, 0.45, 0.003, 0.04, 0, 0, kPure}},
     {{0, 0.35, 1, 0.001, 0.07, 1500, 3000, true}}, 10},
    // A key of the on-screen keyboard: a tiny tick.
    {"11-keyboard.wav", 22050, Format::Pcm8, 0.025, 0.6,
     {{0, 0.025, 1200, 1, 1, 0.001, 0.005, 0, 0, kPure}},
     {{0, 0.01, 0.5, 0.001, 0.003, 2000, 2000, true}}, 0},
    // A new high score: a rising C major fanfare ending on a held chord.
    {"12-hiscore.wav", 22050, Format::Adpcm, 1.26, 0.8,
     {{0, 0.14, Note(72), 1, 0.6, 0.012, 0.6, 0, 0, kBrass},
      {0.12, 0.14, Note(76), 1, 0.6, 0.012, 0.6, 0, 0, kBrass},
      {0.24, 0.14, Note(79), 1, 0.6, 0.012, 0.6, 0, 0, kBrass},
      {0.36, 0.9, Note(84), 1, 0.4, 0.012, 0.6, 0.005, 5.5, kBrass},
      {0.36, 0.9, Note(88), 1, 0.4, 0.012, 0.6, 0.005, 5.5, kBrass},
      {0.36, 0.9, Note(91), 1, 0.4, 0.012, 0.6, 0.005, 5.5, kBrass}},
     {}, 0},
    // A game starts: an upward rush into a bright pair of bells.
    {"13-game.wav", 44100, Format::Pcm16, 0.6, 0.85,
     {{0, 0.3, 220, 4, 0.5, 0.02, 0, 0, 0, kSweep},
      {0.26, 0.34, Note(79), 1, 0.8, 0.002, 0.15, 0, 0, kBell},
      {0.26, 0.34, Note(86), 1, 0.6, 0.002, 0.15, 0, 0, kBell}},
     {{0, 0.3, 0.35, 0.2, 0, 500, 6000, false}}, 0},
    // Time runs out: a wailing two-cycle siren, short enough to repeat each second.
    {"14-siren.wav", 22050, Format::Pcm16, 0.7, 0.7,
     {{0, 0.7, 740, 1, 1, 0.03, 0, 0.18, 3, kReed}},
     {}, 0},
    // The logo flies in: a rising swoosh under a swelling chord (each note a
    // slowly beating pair), then sparkles.
    {"15-vexalogo.wav", 22050, Format::Adpcm, 2.3, 0.8,
     {{0, 2.3, Note(60) * 0.997, 1, 0.2, 0.8, 1.2, 0, 0, kPad},
      {0, 2.3, Note(60) * 1.003, 1, 0.2, 0.8, 1.2, 0, 0, kPad},
      {0, 2.3, Note(67) * 0.997, 1, 0.2, 0.8, 1.2, 0, 0, kPad},
      {0, 2.3, Note(67) * 1.003, 1, 0.2, 0.8, 1.2, 0, 0, kPad},
      {0, 2.3, Note(76) * 0.997, 1, 0.2, 0.8, 1.2, 0, 0, kPad},
      {0, 2.3, Note(76) * 1.003, 1, 0.2, 0.8, 1.2, 0, 0, kPad},
      {1.0, 0.8, Note(96), 1, 0.3, 0.002, 0.2, 0, 0, kBell},
      {1.08, 0.8, Note(100), 1, 0.3, 0.002, 0.2, 0, 0, kBell},
      {1.16, 0.8, Note(103), 1, 0.3, 0.002, 0.2, 0, 0, kBell},
      {1.24, 0.8, Note(108), 1, 0.3, 0.002, 0.2, 0, 0, kBell}},
     {{0, 1.6, 0.5, 0.7, 0.5, 300, 5000, false}}, 0},
    // The exit picture: a gentle falling farewell of bells.
    {"16-tarvologo.wav", 44100, Format::Pcm16, 1.42, 0.85,
     {{0, 0.5, Note(91), 1, 0.7, 0.002, 0.2, 0, 0, kBell},
      {0.14, 0.5, Note(88), 1, 0.7, 0.002, 0.2, 0, 0, kBell},
      {0.28, 0.5, Note(84), 1, 0.7, 0.002, 0.2, 0, 0, kBell},
      {0.42, 1.0, Note(72), 1, 1, 0.002, 0.45, 0, 0, kBell}},
     {}, 0},
};

// --- finishing and writing ----------------------------------------------------

// Silent edges, the peak scaled to `peak`, no offset.
Wave Finish(const Wave& body, double rate, double peak) {
  const size_t edge = static_cast<size_t>(kEdgeSeconds * rate);
  Wave wave(edge, 0.0);
  wave.insert(wave.end(), body.begin(), body.end());
  wave.insert(wave.end(), edge, 0.0);
  double highest = 0;
  for (double v : wave) highest = std::max(highest, std::fabs(v));
  const double gain = highest > 0 ? peak / highest : 0;
  double mean = 0;
  for (double& v : wave) {
    v *= gain;
    mean += v;
  }
  mean /= static_cast<double>(wave.size());
  for (double& v : wave) v -= mean;
  return wave;
}

std::vector<int16_t> ToPcm16(const Wave& wave) {
  std::vector<int16_t> samples;
  samples.reserve(wave.size());
  for (double v : wave) samples.push_back(static_cast<int16_t>(std::lround(std::clamp(v, -1.0, 1.0) * 32767)));
  return samples;
}

std::vector<uint8_t> ToPcm8(const Wave& wave) {
  std::vector<uint8_t> samples;
  samples.reserve(wave.size());
  for (double v : wave) samples.push_back(static_cast<uint8_t>(128 + std::lround(std::clamp(v, -1.0, 1.0) * 127)));
  return samples;
}

std::vector<uint8_t> WavOf(const EFFECT& effect, const Wave& wave) {
  switch (effect.format) {
    case Format::Pcm8:
      return wavwriter::Pcm8(1, effect.rate, ToPcm8(wave));
    case Format::Adpcm:
      return adpcmwriter::Encode(1, effect.rate, ToPcm16(wave));
    case Format::Pcm16:
      break;
  }
  return wavwriter::Pcm16(1, effect.rate, ToPcm16(wave));
}

}  // namespace

void AssetGen_Sounds(std::vector<ASSETENTRY>& entries) {
  AssetGenRandom random(0x9E3779B9u);
  for (const EFFECT& effect : kEffects) {
    const double rate = effect.rate;
    Wave body(static_cast<size_t>(effect.seconds * rate), 0.0);
    for (const TONE& tone : effect.tones) AddTone(body, rate, tone);
    for (const NOISE& noise : effect.noises) AddNoise(body, rate, noise, random);
    AddShards(body, rate, effect.shards, random);
    entries.push_back({effect.name, WavOf(effect, Finish(body, rate, effect.peak))});
  }
}

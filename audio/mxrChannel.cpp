// mxrChannel.cpp - channel state shared by both kinds, the sound channel's
// mixing kernel, and the music channel: the MOD player with its period and
// vibrato tables, row and tick effects, and the mixing of its tracks.
//
// Depends on: audio/mxrData.h (mxrSound, mxrMusic), audio/mxrSpeaker.h
// (global volume, critical section, output rate, step and note tables).
#include "audio/mxrChannel.h"

#include <atomic>
#include <cstdint>
#include <cstring>
#include <limits>

#if defined(__x86_64__)
#include <emmintrin.h>
#endif

#include "audio/mxrData.h"
#include "audio/mxrSpeaker.h"

namespace {

constexpr uint32_t kFractionBits = 8;  // sound positions are 24.8

unsigned ClampToUnsigned(uint64_t value) {
  constexpr uint64_t kMax = std::numeric_limits<unsigned>::max();
  return static_cast<unsigned>(value > kMax ? kMax : value);
}

// Sample readers: the frame at `frame` as u (left or mono) and t (right; 0
// for mono samples). 8-bit samples are unsigned and become signed 16-bit
// range by (byte - 128) x 256; 16-bit samples are native-order words, read by
// memcpy so no alignment or aliasing is assumed. For the SSE2 kernel Raw()
// gives the frame's stored units, u low and t high (bits 16..31), and the
// kernel widens four of them at once into the 16-bit patterns of u and t:
// for 8-bit samples (byte ^ 0x80) << 8 is the pattern of (byte - 128) x 256.
int32_t ReadWord(const uint8_t* at) {
  int16_t word;
  std::memcpy(&word, at, sizeof word);
  return word;
}

uint32_t ReadPattern16(const uint8_t* at) {
  uint16_t word;
  std::memcpy(&word, at, sizeof word);
  return word;
}

struct Mono8 {
  static constexpr bool kStereo = false;
  static void Read(const uint8_t* data, uint64_t frame, int32_t& u, int32_t& t) {
    u = (int32_t{data[frame]} - 128) * 256;
    t = 0;
  }
  static uint32_t Raw(const uint8_t* data, uint64_t frame) { return data[frame]; }
};

struct Stereo8 {
  static constexpr bool kStereo = true;
  static void Read(const uint8_t* data, uint64_t frame, int32_t& u, int32_t& t) {
    u = (int32_t{data[frame * 2]} - 128) * 256;
    t = (int32_t{data[frame * 2 + 1]} - 128) * 256;
  }
  static uint32_t Raw(const uint8_t* data, uint64_t frame) {
    return uint32_t{data[frame * 2]} | uint32_t{data[frame * 2 + 1]} << 16;
  }
};

struct Mono16 {
  static constexpr bool kStereo = false;
  static void Read(const uint8_t* data, uint64_t frame, int32_t& u, int32_t& t) {
    u = ReadWord(data + frame * 2);
    t = 0;
  }
  static uint32_t Raw(const uint8_t* data, uint64_t frame) { return ReadPattern16(data + frame * 2); }
};

struct Stereo16 {
  static constexpr bool kStereo = true;
  static void Read(const uint8_t* data, uint64_t frame, int32_t& u, int32_t& t) {
    u = ReadWord(data + frame * 4);
    t = ReadWord(data + frame * 4 + 2);
  }
  static uint32_t Raw(const uint8_t* data, uint64_t frame) {
    return ReadPattern16(data + frame * 4) | ReadPattern16(data + frame * 4 + 2) << 16;
  }
};

// Gains of one frame's u and t on one output side, as the SSE2 kernel
// multiplies them (pmaddwd: u x low + t x high). Gains are at most 128.
uint32_t GainPair(int32_t ugain, int32_t tgain) {
  return static_cast<uint32_t>(ugain) | static_cast<uint32_t>(tgain) << 16;
}

// Ways a frame is added into the pass's sums. V is the effective volume
// (0..64); with |u|, |t| <= 32768 and gains <= 128 one channel adds at most
// 2^23 per sample, so 128 channels stay inside 32 bits.
template <typename Sample>
struct MonoGain {  // mono output: (u + t) x V
  static constexpr bool kStereoOutput = false;
  int32_t v;
  void Add(int32_t* left, int32_t*, uint32_t n, int32_t u, int32_t t) const { left[n] += (u + t) * v; }
  uint32_t LeftPair() const { return GainPair(v, v); }
  uint32_t RightPair() const { return 0; }
};

template <typename Sample>
struct CentredGain {  // stereo output, pan 128: each side at V, a mono sample on both
  static constexpr bool kStereoOutput = true;
  int32_t v;
  void Add(int32_t* left, int32_t* right, uint32_t n, int32_t u, int32_t t) const {
    left[n] += u * v;
    right[n] += (Sample::kStereo ? t : u) * v;
  }
  uint32_t LeftPair() const { return GainPair(v, 0); }
  uint32_t RightPair() const { return Sample::kStereo ? GainPair(0, v) : GainPair(v, 0); }
};

template <typename Sample>
struct PannedGain {  // stereo output, any other pan: both halves of the frame move together
  static constexpr bool kStereoOutput = true;
  int32_t leftgain;   // W - P, W = 2V, P = W x pan / 256
  int32_t rightgain;  // P
  void Add(int32_t* left, int32_t* right, uint32_t n, int32_t u, int32_t t) const {
    left[n] += (u + t) * leftgain;
    right[n] += (u + t) * rightgain;
  }
  uint32_t LeftPair() const { return GainPair(leftgain, leftgain); }
  uint32_t RightPair() const { return GainPair(rightgain, rightgain); }
};

#if defined(__x86_64__)
// Four frames at once, frame, frame + 1, ...: the unit step of a sample at
// the output rate reads them as one block.
__m128i FourPairs(Mono8, const uint8_t* data, uint64_t frame) {
  int32_t bytes;
  std::memcpy(&bytes, data + frame, sizeof bytes);
  const __m128i flipped = _mm_xor_si128(_mm_cvtsi32_si128(bytes), _mm_set1_epi8(static_cast<char>(0x80)));
  return _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_setzero_si128(), flipped), _mm_setzero_si128());
}

__m128i FourPairs(Stereo8, const uint8_t* data, uint64_t frame) {
  const __m128i bytes = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(data + frame * 2));
  return _mm_unpacklo_epi8(_mm_setzero_si128(), _mm_xor_si128(bytes, _mm_set1_epi8(static_cast<char>(0x80))));
}

__m128i FourPairs(Mono16, const uint8_t* data, uint64_t frame) {
  const __m128i words = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(data + frame * 2));
  return _mm_unpacklo_epi16(words, _mm_setzero_si128());
}

__m128i FourPairs(Stereo16, const uint8_t* data, uint64_t frame) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + frame * 4));
}

// Four frames of Raw() units as 16-bit patterns.
__m128i Widen(Mono8, __m128i raw) {
  return _mm_slli_epi32(_mm_xor_si128(raw, _mm_set1_epi32(0x80)), 8);
}

__m128i Widen(Stereo8, __m128i raw) {
  return _mm_slli_epi16(_mm_xor_si128(raw, _mm_set1_epi16(0x80)), 8);
}

__m128i Widen(Mono16, __m128i raw) {
  return raw;
}

__m128i Widen(Stereo16, __m128i raw) {
  return raw;
}

template <bool StereoOutput>
void AddFour(__m128i pairs, __m128i leftgains, __m128i rightgains, int32_t* left, int32_t* right) {
  auto* l = reinterpret_cast<__m128i*>(left);
  _mm_storeu_si128(l, _mm_add_epi32(_mm_loadu_si128(l), _mm_madd_epi16(pairs, leftgains)));
  if (StereoOutput) {
    auto* r = reinterpret_cast<__m128i*>(right);
    _mm_storeu_si128(r, _mm_add_epi32(_mm_loadu_si128(r), _mm_madd_epi16(pairs, rightgains)));
  }
}

// Four frames per turn, multiplied and summed in 32-bit lanes by pmaddwd:
// the same integers as the frame-by-frame loop. Returns the frames done (a
// multiple of 4) and advances `at` past them.
template <typename Sample, typename Gain>
uint32_t MixFours(const uint8_t* data, uint64_t& at, uint64_t step, Gain gain, int32_t* left, int32_t* right,
                  uint32_t frames) {
  const __m128i leftgains = _mm_set1_epi32(static_cast<int32_t>(gain.LeftPair()));
  const __m128i rightgains = _mm_set1_epi32(static_cast<int32_t>(gain.RightPair()));
  uint32_t n = 0;
  if (step == uint64_t{1} << kFractionBits) {
    const uint64_t first = at >> kFractionBits;
    for (; n + 4 <= frames; n += 4) {
      AddFour<Gain::kStereoOutput>(FourPairs(Sample{}, data, first + n), leftgains, rightgains, left + n, right + n);
    }
    at += uint64_t{n} << kFractionBits;
    return n;
  }
  for (; n + 4 <= frames; n += 4) {
    const uint32_t p0 = Sample::Raw(data, at >> kFractionBits);
    const uint32_t p1 = Sample::Raw(data, (at + step) >> kFractionBits);
    const uint32_t p2 = Sample::Raw(data, (at + step * 2) >> kFractionBits);
    const uint32_t p3 = Sample::Raw(data, (at + step * 3) >> kFractionBits);
    at += step * 4;
    // Joined in 64-bit registers first: two moves into the vector, not four.
    const auto low = static_cast<int64_t>(uint64_t{p0} | uint64_t{p1} << 32);
    const auto high = static_cast<int64_t>(uint64_t{p2} | uint64_t{p3} << 32);
    const __m128i pairs = Widen(Sample{}, _mm_unpacklo_epi64(_mm_cvtsi64_si128(low), _mm_cvtsi64_si128(high)));
    AddFour<Gain::kStereoOutput>(pairs, leftgains, rightgains, left + n, right + n);
  }
  return n;
}
#endif

// Adds frames of a run that cannot reach the end of the sample, so nothing
// is checked; returns the position after them. On x86-64 the bulk goes four
// frames at a time, the portable loop takes the rest (on ARM, all of it).
template <typename Sample, typename Gain>
uint64_t MixInside(const uint8_t* data, uint64_t at, uint64_t step, Gain gain, int32_t* left, int32_t* right,
                   uint32_t frames) {
  uint32_t n = 0;
#if defined(__x86_64__)
  n = MixFours<Sample>(data, at, step, gain, left, right, frames);
#endif
  for (; n < frames; ++n) {
    int32_t u, t;
    Sample::Read(data, at >> kFractionBits, u, t);
    gain.Add(left, right, n, u, t);
    at += step;
  }
  return at;
}

// Adds up to `frames` frames of one channel into the sums, advancing its
// position; true when the sample ended (the channel stops). This is the
// mixer's hot loop, instantiated once per sample layout and gain so the frame
// loop has no calls, no allocation and no branch on the layout. A run whose
// last frame is still inside the sample goes through without end checks;
// only a run that meets the end checks frame by frame.
template <typename Sample, typename Gain>
bool MixRun(const uint8_t* data, uint64_t& position, uint64_t step, uint64_t length, bool loop, Gain gain,
            int32_t* left, int32_t* right, uint32_t frames) {
  uint64_t at = position;
  if (frames > 0 && at + step * (frames - 1) < length) {
    position = MixInside<Sample>(data, at, step, gain, left, right, frames);
    return false;
  }
  bool ended = false;
  for (uint32_t n = 0; n < frames; ++n) {
    if (at >= length) {
      // A loop wraps once; a step longer than the whole sample cannot loop.
      if (!loop || (at -= length) >= length) {
        ended = true;
        break;
      }
    }
    int32_t u, t;
    Sample::Read(data, at >> kFractionBits, u, t);
    gain.Add(left, right, n, u, t);
    at += step;
  }
  position = at;
  return ended;
}

template <typename Sample>
bool MixLayout(const uint8_t* data, uint64_t& position, uint64_t step, uint64_t length, bool loop, int32_t volume,
               unsigned pan, mxrOutputLayout layout, int32_t* left, int32_t* right, uint32_t frames) {
  if (layout == mxrOutputLayout::Mono) {
    return MixRun<Sample>(data, position, step, length, loop, MonoGain<Sample>{volume}, left, right, frames);
  }
  if (pan == MXR_CENTREPAN) {
    return MixRun<Sample>(data, position, step, length, loop, CentredGain<Sample>{volume}, left, right, frames);
  }
  const int32_t width = volume * 2;
  const int32_t rightgain = width * static_cast<int32_t>(pan) / 256;
  return MixRun<Sample>(data, position, step, length, loop, PannedGain<Sample>{width - rightgain, rightgain}, left,
                        right, frames);
}

}  // namespace

// --- mxrChannel --------------------------------------------------------------

void mxrChannel::volume(unsigned v) {
  storeVolume(v);
}

void mxrChannel::pan(unsigned p) {
  storePan(p);
}

void mxrChannel::play(bool paused) {
  enterSection();
  start(paused);
  leaveSection();
}

void mxrChannel::stop() {
  // The pass may have collected this channel and be reading its sample; the
  // critical section waits it out, so the caller may free the data after.
  enterSection();
  halt();
  leaveSection();
}

void mxrChannel::pause() {
  enterSection();
  storePaused(true);
  leaveSection();
}

void mxrChannel::resume() {
  enterSection();
  storePaused(false);
  leaveSection();
}

bool mxrChannel::playing() const {
  return !stopped_.load(std::memory_order_relaxed) && !paused_.load(std::memory_order_relaxed);
}

bool mxrChannel::paused() const {
  return paused_.load(std::memory_order_relaxed);
}

bool mxrChannel::isFree() const {
  return stopped_.load(std::memory_order_relaxed) && !paused_.load(std::memory_order_relaxed);
}

void mxrChannel::loop(bool b) {
  loop_.store(b, std::memory_order_relaxed);
}

bool mxrChannel::loop() const {
  return loop_.load(std::memory_order_relaxed);
}

void mxrChannel::frequency(unsigned f) {
  frequency_.store(f, std::memory_order_relaxed);
  // Without a base rate (no sample yet) there is no speed to derive.
  if (baserate_ != 0) {
    speed_.store(ClampToUnsigned((uint64_t{f} * 65536 / baserate_) / 512), std::memory_order_relaxed);
  }
  stepdirty_.store(true, std::memory_order_release);
}

unsigned mxrChannel::frequency() const {
  return frequency_.load(std::memory_order_relaxed);
}

void mxrChannel::speed(unsigned s) {
  speed_.store(s, std::memory_order_relaxed);
  frequency_.store(ClampToUnsigned(uint64_t{baserate_} * s / MXR_NORMALSPEED), std::memory_order_relaxed);
  stepdirty_.store(true, std::memory_order_release);
}

unsigned mxrChannel::speed() const {
  return speed_.load(std::memory_order_relaxed);
}

unsigned mxrChannel::volume() const {
  return volume_.load(std::memory_order_relaxed);
}

unsigned mxrChannel::effectiveVolume() const {
  return effectivevolume_.load(std::memory_order_relaxed);
}

unsigned mxrChannel::pan() const {
  return pan_.load(std::memory_order_relaxed);
}

unsigned mxrChannel::baseRate() const {
  return baserate_;
}

void mxrChannel::attach(mxrSpeaker* speaker, const unsigned* globalvolume) {
  speaker_ = speaker;
  globalvolume_ = globalvolume;
}

void mxrChannel::enterSection() {
  if (speaker_ != nullptr) {
    speaker_->enterCriticalSection();
  }
}

void mxrChannel::leaveSection() {
  if (speaker_ != nullptr) {
    speaker_->leaveCriticalSection();
  }
}

void mxrChannel::start(bool paused) {
  stopped_.store(false, std::memory_order_relaxed);
  paused_.store(paused, std::memory_order_relaxed);
}

void mxrChannel::halt() {
  stopped_.store(true, std::memory_order_relaxed);
  paused_.store(false, std::memory_order_relaxed);
}

void mxrChannel::storePaused(bool paused) {
  if (!stopped_.load(std::memory_order_relaxed)) {
    paused_.store(paused, std::memory_order_relaxed);
  }
}

void mxrChannel::storeVolume(unsigned v) {
  const unsigned clamped = v > MXR_MAXVOLUME ? MXR_MAXVOLUME : v;
  const unsigned global = globalvolume_ != nullptr ? *globalvolume_ : MXR_MAXVOLUME;
  volume_.store(clamped, std::memory_order_relaxed);
  effectivevolume_.store(clamped * global / MXR_MAXVOLUME, std::memory_order_relaxed);
}

void mxrChannel::storePan(unsigned p) {
  pan_.store(p > MXR_MAXPAN ? MXR_MAXPAN : p, std::memory_order_relaxed);
}

void mxrChannel::storeRate(unsigned baserate, unsigned frequency, unsigned speed) {
  baserate_ = baserate;
  frequency_.store(frequency, std::memory_order_relaxed);
  speed_.store(speed, std::memory_order_relaxed);
  stepdirty_.store(true, std::memory_order_release);
}

bool mxrChannel::takeStepDirty() {
  // Acquire pairs with the setters' release: the frequency read after this
  // is at least the one that set the flag.
  return stepdirty_.load(std::memory_order_relaxed) && stepdirty_.exchange(false, std::memory_order_acquire);
}

// --- mxrSoundChannel -----------------------------------------------------------

void mxrSoundChannel::position(unsigned frames) {
  enterSection();
  const uint64_t at = uint64_t{frames} << kFractionBits;
  position_ = at < length_ ? at : length_;
  leaveSection();
}

unsigned mxrSoundChannel::position() {
  enterSection();
  const uint64_t at = position_ < length_ ? position_ : length_;
  leaveSection();
  return static_cast<unsigned>(at >> kFractionBits);
}

unsigned mxrSoundChannel::length() {
  return static_cast<unsigned>(length_ >> kFractionBits);
}

const uint8_t* mxrSoundChannel::data() const {
  return data_;
}

bool mxrSoundChannel::eightBit() const {
  return eightbit_;
}

bool mxrSoundChannel::stereo() const {
  return stereo_;
}

void mxrSoundChannel::assign(const mxrSound& sound) {
  storeRate(sound.sampleRate(), sound.frequency(), sound.speed());
  position_ = 0;
  length_ = uint64_t{sound.frameCount()} << kFractionBits;
  eightbit_ = sound.eightBit();
  stereo_ = sound.stereo();
  storePan(sound.pan());
  loop(sound.loop());
  data_ = sound.data();
}

void mxrSoundChannel::mix(int32_t* left, int32_t* right, uint32_t frames, uint32_t outputrate,
                          mxrOutputLayout layout) {
  // The one division of the pass, only after a rate change.
  if (takeStepDirty()) {
    step_ = (uint64_t{frequency_.load(std::memory_order_relaxed)} * 65536) / (uint64_t{outputrate} * 256);
  }
  // Volume, pan and loop are read once per call: a change made by the game
  // thread is heard from the next chunk on.
  const auto volume = static_cast<int32_t>(effectivevolume_.load(std::memory_order_relaxed));
  const unsigned pan = pan_.load(std::memory_order_relaxed);
  const bool looping = loop_.load(std::memory_order_relaxed);
  bool ended;
  if (eightbit_) {
    ended = stereo_ ? MixLayout<Stereo8>(data_, position_, step_, length_, looping, volume, pan, layout, left, right, frames)
                    : MixLayout<Mono8>(data_, position_, step_, length_, looping, volume, pan, layout, left, right, frames);
  } else {
    ended = stereo_ ? MixLayout<Stereo16>(data_, position_, step_, length_, looping, volume, pan, layout, left, right, frames)
                    : MixLayout<Mono16>(data_, position_, step_, length_, looping, volume, pan, layout, left, right, frames);
  }
  if (ended) {
    halt();
  }
}

// --- mxrMusicChannel -----------------------------------------------------------

namespace {

constexpr uint32_t kModFractionBits = 12;  // MOD sample positions and steps are 20.12
constexpr uint32_t kLastNote = MXR_MOD_NOTES - 1;
constexpr int32_t kPortamentoMin = 13;     // portamento up stops at the table's highest note
constexpr int32_t kPortamentoMax = 1712;   // portamento down at its lowest
constexpr uint32_t kTempoAbove = 32;       // F: above this a tempo, up to it ticks per row
constexpr uint32_t kSampleOffsetUnit = 256;

// The period of every note, by finetune row (0..+7, then -8..-1). Row 0 is
// the extended Amiga table; the others are a fixed fraction of a semitone
// apart, each 1/8 of one, truncated.
constexpr uint16_t kPeriods[MXR_MOD_FINETUNES * MXR_MOD_NOTES] = {
    // finetune +0
    1712, 1616, 1525, 1440, 1357, 1281, 1209, 1141, 1077, 1017,  961,  907,
     856,  808,  762,  720,  678,  640,  604,  570,  538,  508,  480,  453,
     428,  404,  381,  360,  339,  320,  302,  285,  269,  254,  240,  226,
     214,  202,  190,  180,  170,  160,  151,  143,  135,  127,  120,  113,
     107,  101,   95,   90,   85,   80,   75,   71,   67,   63,   60,   56,
      53,   50,   47,   45,   42,   40,   37,   35,   33,   31,   30,   28,
      26,   25,   23,   22,   20,   19,   18,   17,   16,   15,   14,   13,
    // finetune +1
    1699, 1604, 1514, 1429, 1349, 1273, 1201, 1134, 1070, 1010,  953,  900,
     849,  802,  757,  714,  674,  636,  600,  567,  535,  505,  476,  450,
     424,  401,  378,  357,  337,  318,  300,  283,  267,  252,  238,  225,
     212,  200,  189,  178,  168,  159,  150,  141,  133,  126,  119,  112,
     106,  100,   94,   89,   84,   79,   75,   70,   66,   63,   59,   56,
      53,   50,   47,   44,   42,   39,   37,   35,   33,   31,   29,   28,
      26,   25,   23,   22,   21,   19,   18,   17,   16,   15,   14,   14,
    // finetune +2
    1687, 1592, 1503, 1418, 1339, 1264, 1193, 1126, 1063, 1003,  947,  893,
     843,  796,  751,  709,  669,  632,  596,  563,  531,  501,  473,  446,
     421,  398,  375,  354,  334,  316,  298,  281,  265,  250,  236,  223,
     210,  199,  187,  177,  167,  158,  149,  140,  132,  125,  118,  111,
     105,   99,   93,   88,   83,   79,   74,   70,   66,   62,   59,   55,
      52,   49,   46,   44,   41,   39,   37,   35,   33,   31,   29,   27,
      26,   24,   23,   22,   20,   19,   18,   17,   16,   15,   14,   13,
    // finetune +3
    1675, 1581, 1492, 1408, 1329, 1255, 1184, 1118, 1055,  996,  940,  887,
     837,  790,  746,  704,  664,  627,  592,  559,  527,  498,  470,  443,
     418,  395,  373,  352,  332,  313,  296,  279,  263,  249,  235,  221,
     209,  197,  186,  176,  166,  156,  148,  139,  131,  124,  117,  110,
     104,   98,   93,   88,   83,   78,   74,   69,   65,   62,   58,   55,
      52,   49,   46,   44,   41,   39,   37,   34,   32,   31,   29,   27,
      26,   24,   23,   22,   20,   19,   18,   17,   16,   15,   14,   13,
    // finetune +4
    1663, 1569, 1481, 1398, 1320, 1246, 1176, 1110, 1047,  988,  933,  881,
     831,  784,  740,  699,  660,  623,  588,  555,  523,  494,  466,  440,
     415,  392,  370,  349,  330,  311,  294,  277,  261,  247,  233,  220,
     207,  196,  185,  174,  165,  155,  147,  138,  130,  123,  116,  110,
     103,   98,   92,   87,   82,   77,   73,   69,   65,   61,   58,   55,
      51,   49,   46,   43,   41,   38,   36,   34,   32,   30,   29,   27,
      25,   24,   23,   21,   20,   19,   18,   17,   16,   15,   14,   13,
    // finetune +5
    1651, 1558, 1471, 1388, 1310, 1237, 1167, 1102, 1040,  981,  926,  874,
     825,  779,  735,  694,  655,  618,  583,  551,  520,  490,  463,  437,
     412,  389,  367,  347,  327,  309,  291,  275,  260,  245,  231,  218,
     206,  194,  183,  173,  163,  154,  145,  137,  130,  122,  115,  109,
     103,   97,   91,   86,   81,   77,   72,   68,   65,   61,   57,   54,
      51,   48,   45,   43,   40,   38,   36,   34,   32,   30,   28,   27,
      25,   24,   22,   21,   20,   19,   18,   17,   16,   15,   14,   13,
    // finetune +6
    1639, 1547, 1460, 1378, 1301, 1228, 1159, 1094, 1032,  974,  920,  868,
     819,  773,  730,  689,  650,  614,  579,  547,  516,  487,  460,  434,
     409,  386,  365,  344,  325,  307,  289,  273,  258,  243,  230,  217,
     204,  193,  182,  172,  162,  153,  144,  136,  129,  121,  115,  108,
     102,   96,   91,   86,   81,   76,   72,   68,   64,   60,   57,   54,
      51,   48,   45,   43,   40,   38,   36,   34,   32,   30,   28,   27,
      25,   24,   22,   21,   20,   19,   18,   17,   16,   15,   14,   13,
    // finetune +7
    1627, 1536, 1450, 1368, 1291, 1219, 1150, 1086, 1025,  967,  913,  862,
     813,  768,  725,  684,  645,  609,  575,  543,  512,  483,  456,  431,
     406,  384,  362,  342,  322,  304,  287,  271,  256,  241,  228,  215,
     203,  192,  181,  171,  161,  152,  143,  135,  128,  120,  114,  107,
     101,   96,   90,   85,   80,   76,   71,   67,   64,   60,   57,   53,
      50,   48,   45,   42,   40,   38,   35,   33,   32,   30,   28,   26,
      25,   24,   22,   21,   20,   19,   17,   16,   16,   15,   14,   13,
    // finetune -8
    1813, 1711, 1615, 1525, 1439, 1358, 1282, 1210, 1142, 1078, 1017,  960,
     906,  855,  807,  762,  719,  679,  641,  605,  571,  539,  508,  480,
     453,  427,  403,  381,  359,  339,  320,  302,  285,  269,  254,  240,
     226,  213,  201,  190,  179,  169,  160,  151,  142,  134,  127,  120,
     113,  106,  100,   95,   89,   84,   80,   75,   71,   67,   63,   60,
      56,   53,   50,   47,   44,   42,   40,   37,   35,   33,   31,   30,
      28,   26,   25,   23,   22,   21,   20,   18,   17,   16,   15,   15,
    // finetune -7
    1800, 1699, 1604, 1514, 1429, 1349, 1273, 1201, 1134, 1070, 1010,  953,
     900,  849,  802,  757,  714,  674,  636,  600,  567,  535,  505,  476,
     450,  424,  401,  378,  357,  337,  318,  300,  283,  267,  252,  238,
     225,  212,  200,  189,  178,  168,  159,  150,  141,  133,  126,  119,
     112,  106,  100,   94,   89,   84,   79,   75,   70,   66,   63,   59,
      56,   53,   50,   47,   44,   42,   39,   37,   35,   33,   31,   29,
      28,   26,   25,   23,   22,   21,   19,   18,   17,   16,   15,   14,
    // finetune -6
    1787, 1687, 1592, 1503, 1418, 1339, 1264, 1193, 1126, 1063, 1003,  947,
     893,  843,  796,  751,  709,  669,  632,  596,  563,  531,  501,  473,
     446,  421,  398,  375,  354,  334,  316,  298,  281,  265,  250,  236,
     223,  210,  199,  187,  177,  167,  158,  149,  140,  132,  125,  118,
     111,  105,   99,   93,   88,   83,   79,   74,   70,   66,   62,   59,
      55,   52,   49,   46,   44,   41,   39,   37,   35,   33,   31,   29,
      27,   26,   24,   23,   22,   20,   19,   18,   17,   16,   15,   14,
    // finetune -5
    1774, 1675, 1581, 1492, 1408, 1329, 1255, 1184, 1118, 1055,  996,  940,
     887,  837,  790,  746,  704,  664,  627,  592,  559,  527,  498,  470,
     443,  418,  395,  373,  352,  332,  313,  296,  279,  263,  249,  235,
     221,  209,  197,  186,  176,  166,  156,  148,  139,  131,  124,  117,
     110,  104,   98,   93,   88,   83,   78,   74,   69,   65,   62,   58,
      55,   52,   49,   46,   44,   41,   39,   37,   34,   32,   31,   29,
      27,   26,   24,   23,   22,   20,   19,   18,   17,   16,   15,   14,
    // finetune -4
    1762, 1663, 1569, 1481, 1398, 1320, 1246, 1176, 1110, 1047,  988,  933,
     881,  831,  784,  740,  699,  660,  623,  588,  555,  523,  494,  466,
     440,  415,  392,  370,  349,  330,  311,  294,  277,  261,  247,  233,
     220,  207,  196,  185,  174,  165,  155,  147,  138,  130,  123,  116,
     110,  103,   98,   92,   87,   82,   77,   73,   69,   65,   61,   58,
      55,   51,   49,   46,   43,   41,   38,   36,   34,   32,   30,   29,
      27,   25,   24,   23,   21,   20,   19,   18,   17,   16,   15,   14,
    // finetune -3
    1749, 1651, 1558, 1471, 1388, 1310, 1237, 1167, 1102, 1040,  981,  926,
     874,  825,  779,  735,  694,  655,  618,  583,  551,  520,  490,  463,
     437,  412,  389,  367,  347,  327,  309,  291,  275,  260,  245,  231,
     218,  206,  194,  183,  173,  163,  154,  145,  137,  130,  122,  115,
     109,  103,   97,   91,   86,   81,   77,   72,   68,   65,   61,   57,
      54,   51,   48,   45,   43,   40,   38,   36,   34,   32,   30,   28,
      27,   25,   24,   22,   21,   20,   19,   18,   17,   16,   15,   14,
    // finetune -2
    1736, 1639, 1547, 1460, 1378, 1301, 1228, 1159, 1094, 1032,  974,  920,
     868,  819,  773,  730,  689,  650,  614,  579,  547,  516,  487,  460,
     434,  409,  386,  365,  344,  325,  307,  289,  273,  258,  243,  230,
     217,  204,  193,  182,  172,  162,  153,  144,  136,  129,  121,  115,
     108,  102,   96,   91,   86,   81,   76,   72,   68,   64,   60,   57,
      54,   51,   48,   45,   43,   40,   38,   36,   34,   32,   30,   28,
      27,   25,   24,   22,   21,   20,   19,   18,   17,   16,   15,   14,
    // finetune -1
    1724, 1627, 1536, 1450, 1368, 1291, 1219, 1150, 1086, 1025,  967,  913,
     862,  813,  768,  725,  684,  645,  609,  575,  543,  512,  483,  456,
     431,  406,  384,  362,  342,  322,  304,  287,  271,  256,  241,  228,
     215,  203,  192,  181,  171,  161,  152,  143,  135,  128,  120,  114,
     107,  101,   96,   90,   85,   80,   76,   71,   67,   64,   60,   57,
      53,   50,   48,   45,   42,   40,   38,   35,   33,   32,   30,   28,
      26,   25,   24,   22,   21,   20,   19,   17,   16,   16,   15,   14,
};

// A quarter sine wave and back, 0..255: the vibrato's half period.
constexpr uint8_t kVibratoSine[32] = {0,   24,  49,  74,  97,  120, 141, 161, 180, 197, 212, 224, 235, 244, 250, 253,
                                      255, 253, 250, 244, 235, 224, 212, 197, 180, 161, 141, 120, 97,  74,  49,  24};

// Effect numbers as the player keeps them: 0..15, extended effects as 0xE0 + x.
enum : uint32_t {
  kArpeggio = 0x0,
  kPortamentoUp = 0x1,
  kPortamentoDown = 0x2,
  kTonePortamento = 0x3,
  kVibrato = 0x4,
  kToneVolumeSlide = 0x5,
  kVibratoVolumeSlide = 0x6,
  kSampleOffset = 0x9,
  kVolumeSlide = 0xA,
  kPositionJump = 0xB,
  kSetVolume = 0xC,
  kPatternBreak = 0xD,
  kExtended = 0xE,
  kSetSpeed = 0xF,
  kPatternLoop = 0xE6,
  kFineVolumeUp = 0xEA,
  kFineVolumeDown = 0xEB,
  kNoteCut = 0xEC,
  kNoteDelay = 0xED,
  kPatternDelay = 0xEE,
};

int32_t ClampInt(int32_t value, int32_t low, int32_t high) {
  return value < low ? low : value > high ? high : value;
}

uint32_t ReadModWord(const uint8_t* at) {
  return uint32_t{at[0]} << 8 | at[1];
}

#if defined(__x86_64__)
// Four frames per turn: the four fetched bytes sit in the low halves of
// 32-bit lanes, so pmaddwd with the gain in the low half is the product.
uint64_t AddStereoFours(const int8_t* data, uint64_t at, uint64_t step, int32_t leftgain, int32_t rightgain,
                        int32_t* left, int32_t* right, uint32_t k, uint32_t& n) {
  const __m128i lg = _mm_set1_epi32(leftgain);
  const __m128i rg = _mm_set1_epi32(rightgain);
  for (; n + 4 <= k; n += 4) {
    const auto s0 = static_cast<uint16_t>(data[at >> kModFractionBits]);
    const auto s1 = static_cast<uint16_t>(data[(at + step) >> kModFractionBits]);
    const auto s2 = static_cast<uint16_t>(data[(at + step * 2) >> kModFractionBits]);
    const auto s3 = static_cast<uint16_t>(data[(at + step * 3) >> kModFractionBits]);
    at += step * 4;
    const __m128i samples = _mm_set_epi32(s3, s2, s1, s0);
    auto* l = reinterpret_cast<__m128i*>(left + n);
    auto* r = reinterpret_cast<__m128i*>(right + n);
    _mm_storeu_si128(l, _mm_add_epi32(_mm_loadu_si128(l), _mm_madd_epi16(samples, lg)));
    _mm_storeu_si128(r, _mm_add_epi32(_mm_loadu_si128(r), _mm_madd_epi16(samples, rg)));
  }
  return at;
}
#endif

// Adds k frames that stay inside the sample; returns the position after
// them. The track's whole inner loop: one fetch, one or two multiplies.
uint64_t AddStereo(const int8_t* data, uint64_t at, uint64_t step, int32_t leftgain, int32_t rightgain,
                   int32_t* left, int32_t* right, uint32_t k) {
  uint32_t n = 0;
#if defined(__x86_64__)
  at = AddStereoFours(data, at, step, leftgain, rightgain, left, right, k, n);
#endif
  for (; n < k; ++n) {
    const int32_t sample = data[at >> kModFractionBits];
    left[n] += sample * leftgain;
    right[n] += sample * rightgain;
    at += step;
  }
  return at;
}

uint64_t AddMono(const int8_t* data, uint64_t at, uint64_t step, int32_t gain, int32_t* left, uint32_t k) {
  for (uint32_t n = 0; n < k; ++n) {
    left[n] += data[at >> kModFractionBits] * gain;
    at += step;
  }
  return at;
}

}  // namespace

mxrMusicChannel::mxrMusicChannel() {
  resetTracks();
}

void mxrMusicChannel::volume(unsigned v) {
  enterSection();
  applyVolume(v);
  leaveSection();
}

void mxrMusicChannel::pan(unsigned p) {
  enterSection();
  applyPan(p);
  leaveSection();
}

void mxrMusicChannel::position(unsigned rows) {
  enterSection();
  if (music_ != nullptr && rows < songlength_ * MXR_MOD_ROWS) {
    orderposition_ = rows / MXR_MOD_ROWS;
    rowoffset_ = rows % MXR_MOD_ROWS * trackcount_;
    pattern_ = music_->data()[MXR_MOD_ORDERSAT + orderposition_];
    jumporder_ = MXR_MOD_NOJUMP;
    patterndelay_ = 0;
    songended_ = false;
    // The row is read on the next frame.
    tickcounter_ = ticksperrow_;
    framesleft_ = 0;
  }
  leaveSection();
}

unsigned mxrMusicChannel::position() {
  enterSection();
  const unsigned at = playedorder_ * MXR_MOD_ROWS + playedrow_;
  leaveSection();
  return at;
}

unsigned mxrMusicChannel::length() {
  return songlength_ * MXR_MOD_ROWS;
}

const mxrMusic* mxrMusicChannel::music() const {
  return music_;
}

const MXRMODTRACK& mxrMusicChannel::track(unsigned index) const {
  return tracks_[index < MXR_MOD_MAXTRACKS ? index : 0];
}

const MXRMODINSTRUMENT& mxrMusicChannel::instrument(unsigned number) const {
  return instruments_[number <= MXR_MOD_SAMPLES ? number : 0];
}

unsigned mxrMusicChannel::tracks() const {
  return trackcount_;
}

unsigned mxrMusicChannel::samplesPerTick() const {
  return samplespertick_;
}

unsigned mxrMusicChannel::ticksPerSecond() const {
  return tickspersecond_;
}

unsigned mxrMusicChannel::ticksPerRow() const {
  return ticksperrow_;
}

unsigned mxrMusicChannel::order() const {
  return playedorder_;
}

unsigned mxrMusicChannel::row() const {
  return playedrow_;
}

uint16_t mxrMusicChannel::periodTable(unsigned finetune, unsigned note) {
  return kPeriods[(finetune % MXR_MOD_FINETUNES) * MXR_MOD_NOTES + (note < kLastNote ? note : kLastNote)];
}

uint8_t mxrMusicChannel::vibratoTable(unsigned position) {
  return kVibratoSine[position % 32];
}

// --- starting a tune -----------------------------------------------------------

void mxrMusicChannel::assign(const mxrMusic* music) {
  music_ = music;
  const uint8_t* image = music->data();
  trackcount_ = static_cast<uint32_t>(music->tracks());
  songlength_ = music->songLength();
  patterns_ = image + MXR_MOD_HEADERBYTES;
  const uint32_t restart = image[MXR_MOD_RESTARTAT];
  restartposition_ = restart == 127 || restart >= songlength_ ? 0 : restart;
  readInstruments();
  storeRate(music->rate(), music->frequency(), music->speed());
  tickspersecond_ = 50;
  ticksperrow_ = 6;
  tickcounter_ = ticksperrow_;  // the first row is read on the first frame
  framesleft_ = 0;
  orderposition_ = 0;
  pattern_ = image[MXR_MOD_ORDERSAT];
  rowoffset_ = 0;
  playedorder_ = 0;
  playedrow_ = 0;
  jumporder_ = MXR_MOD_NOJUMP;
  patterndelay_ = 0;
  songended_ = false;
  resetTracks();
  applyPan(music->pan());
  applyVolume(music->volume());
  loop(music->loop());
  recomputeSamplesPerTick();
}

void mxrMusicChannel::readInstruments() {
  const uint8_t* image = music_->data();
  const uint64_t size = music_->size();
  uint64_t at = MXR_MOD_HEADERBYTES + uint64_t{trackcount_} * static_cast<uint64_t>(music_->getNumPattern()) *
                                          MXR_MOD_ROWS * MXR_MOD_CELLBYTES;
  for (uint32_t k = 0; k < MXR_MOD_SAMPLES; ++k) {
    const uint8_t* header = image + MXR_MOD_SAMPLEHEADERAT + k * MXR_MOD_SAMPLEHEADERBYTES;
    const uint64_t bytes = uint64_t{ReadModWord(header + 22)} * 2;
    MXRMODINSTRUMENT& in = instruments_[k + 1];
    in = MXRMODINSTRUMENT{};
    // A sample ends where the image does; one that starts beyond it is empty.
    if (bytes > 0 && at < size) {
      const uint64_t present = bytes < size - at ? bytes : size - at;
      const uint64_t repeatstart = uint64_t{ReadModWord(header + 26)} * 2;
      const uint32_t repeatwords = ReadModWord(header + 28);
      uint64_t repeatlength = repeatwords >= 2 ? uint64_t{repeatwords} * 2 : 0;
      // A loop is kept inside the sample, so a looping track never reads past it.
      if (repeatstart >= present) {
        repeatlength = 0;
      } else if (repeatlength > present - repeatstart) {
        repeatlength = present - repeatstart;
      }
      in.length = static_cast<uint32_t>(present << kModFractionBits);
      in.repeatstart = repeatlength != 0 ? static_cast<uint32_t>(repeatstart << kModFractionBits) : 0;
      in.repeatlength = static_cast<uint32_t>(repeatlength << kModFractionBits);
      in.volume = header[25];
      in.finetune = header[24] & 0x0F;  // high bits carry nothing
      in.data = reinterpret_cast<const int8_t*>(image + at);
    }
    at += bytes;
  }
}

void mxrMusicChannel::resetTracks() {
  for (MXRMODTRACK& t : tracks_) {
    t = MXRMODTRACK{};
    t.vibratospeed = 9;
    t.vibratodepth = 2;
    t.delaycounter = -1;
  }
}

void mxrMusicChannel::applyVolume(unsigned v) {
  storeVolume(v);
  for (uint32_t i = 0; i < trackcount_; ++i) {
    updateEffectiveVolume(tracks_[i]);
  }
}

void mxrMusicChannel::applyPan(unsigned p) {
  storePan(p);
  const uint32_t spread = ((MXR_MAXPAN - mxrChannel::pan()) * 64) / 256;
  for (uint32_t i = 0; i < MXR_MOD_MAXTRACKS; ++i) {
    tracks_[i].pan = i % 2 == 0 ? 64 + spread : 192 - spread;
  }
}

// --- timing --------------------------------------------------------------------

void mxrMusicChannel::recomputeSamplesPerTick() {
  // 64 bits: rate x 65536 passes 2^31 at 44100 Hz. A frequency too low for
  // a divisor counts as 1, and a tick lasts at least one frame.
  const uint64_t scaled = uint64_t{frequency_.load(std::memory_order_relaxed)} * 256 / MXR_MOD_RATE;
  uint64_t divisor = uint64_t{tickspersecond_} * scaled;
  divisor = divisor == 0 ? 1 : divisor;
  const uint64_t samples = (uint64_t{speaker_ != nullptr ? speaker_->rate() : MXR_MOD_RATE} * 65536 / divisor) / 256;
  samplespertick_ = samples == 0 ? 1 : ClampToUnsigned(samples);
}

void mxrMusicChannel::nextTick() {
  if (tickcounter_ + 1 >= ticksperrow_) {
    tickcounter_ = 0;
    processRow();
  } else {
    ++tickcounter_;
    for (uint32_t i = 0; i < trackcount_; ++i) {
      tickEffect(tracks_[i]);
    }
  }
  framesleft_ = samplespertick_;
}

// --- rows ----------------------------------------------------------------------

void mxrMusicChannel::processRow() {
  if (patterndelay_ > 0) {
    --patterndelay_;
    return;
  }
  if (songended_) {
    halt();
    return;
  }
  playedorder_ = orderposition_;
  playedrow_ = rowoffset_ / trackcount_;
  const uint8_t* cell = patterns_ + (uint64_t{pattern_} * MXR_MOD_ROWS * trackcount_ + rowoffset_) * MXR_MOD_CELLBYTES;
  for (uint32_t i = 0; i < trackcount_; ++i, cell += MXR_MOD_CELLBYTES) {
    readCell(tracks_[i], cell);
  }
  moveOn();
}

void mxrMusicChannel::readCell(MXRMODTRACK& t, const uint8_t* cell) {
  const auto cellperiod = static_cast<int32_t>((cell[0] & 0x0Fu) << 8 | cell[1]);
  const uint32_t number = (cell[0] & 0xF0u) | cell[2] >> 4;
  const uint32_t command = cell[2] & 0x0Fu;
  t.parameter = cell[3];
  t.x = t.parameter >> 4;
  t.y = t.parameter & 0x0Fu;
  t.command = command == kExtended ? 0xE0 + t.x : command;
  // Numbers above 31 name no sample: the cell has no instrument.
  if (number >= 1 && number <= MXR_MOD_SAMPLES) {
    t.instrument = number;
    setVolume(t, static_cast<int32_t>(instruments_[number].volume));
  }
  if (cellperiod != 0 && command != kTonePortamento && command != kToneVolumeSlide && t.command != kNoteDelay) {
    const uint32_t note = speaker_->noteIndex(static_cast<unsigned>(cellperiod));
    t.noteindex = instruments_[t.instrument].finetune * MXR_MOD_NOTES + note;
    t.period = kPeriods[t.noteindex];
    t.position = 0;
  }
  if (t.instrument != 0) {
    t.step = stepOf(t.period);
  }
  rowEffect(t, cellperiod);
}

void mxrMusicChannel::rowEffect(MXRMODTRACK& t, int32_t cellperiod) {
  switch (t.command) {
    case kArpeggio:
      if (t.parameter != 0) {
        startArpeggio(t);
      }
      break;
    case kPortamentoUp:
    case kPortamentoDown:
      t.slideperiod = t.period;
      break;
    case kTonePortamento:
      t.portamentotarget = targetPeriod(t, cellperiod);
      if (t.parameter != 0) {
        t.portamentospeed = static_cast<int32_t>(t.parameter);
      }
      break;
    case kVibrato:
      if (t.parameter != 0) {
        t.vibratoposition = 0;
        t.vibratospeed = t.x;
        t.vibratodepth = t.y;
      }
      break;
    case kToneVolumeSlide:
      t.portamentotarget = targetPeriod(t, cellperiod);
      setVolumeSlide(t);
      break;
    case kVibratoVolumeSlide:
    case kVolumeSlide:
      setVolumeSlide(t);
      break;
    case kSampleOffset:
      if (t.parameter != 0) {
        t.sampleoffset = t.parameter * kSampleOffsetUnit;
      }
      t.position = uint64_t{t.sampleoffset} << kModFractionBits;
      break;
    case kPositionJump:
      positionJump(t);
      break;
    case kSetVolume:
      setVolume(t, static_cast<int32_t>(t.parameter));
      break;
    case kPatternBreak:
      patternBreak(t);
      break;
    case kPatternLoop:
      patternLoop(t);
      break;
    case kFineVolumeUp:
      setVolume(t, t.volume + static_cast<int32_t>(t.y) > 64 ? 64 : t.volume + static_cast<int32_t>(t.y));
      break;
    case kFineVolumeDown:
      setVolume(t, t.volume - static_cast<int32_t>(t.y) < 0 ? 0 : t.volume - static_cast<int32_t>(t.y));
      break;
    case kNoteCut:
      t.cutcounter = static_cast<int32_t>(t.y);
      break;
    case kNoteDelay:
      startNoteDelay(t, cellperiod);
      break;
    case kPatternDelay:
      patterndelay_ = t.y;
      break;
    case kSetSpeed:
      setSpeed(t);
      break;
    default:
      break;
  }
}

void mxrMusicChannel::tickEffect(MXRMODTRACK& t) {
  switch (t.command) {
    case kArpeggio:
      // An empty cell is command 0 with parameter 0: no arpeggio.
      if (t.parameter != 0) {
        t.arpeggiocounter = (t.arpeggiocounter + 1) % 3;
        t.step = t.arpeggiosteps[t.arpeggiocounter];
      }
      break;
    case kPortamentoUp:
      t.slideperiod = t.slideperiod - static_cast<int32_t>(t.parameter) < kPortamentoMin
                          ? kPortamentoMin
                          : t.slideperiod - static_cast<int32_t>(t.parameter);
      setPeriod(t, t.slideperiod);
      break;
    case kPortamentoDown:
      t.slideperiod = t.slideperiod + static_cast<int32_t>(t.parameter) > kPortamentoMax
                          ? kPortamentoMax
                          : t.slideperiod + static_cast<int32_t>(t.parameter);
      setPeriod(t, t.slideperiod);
      break;
    case kTonePortamento:
      tonePortamento(t);
      break;
    case kVibrato:
      vibrato(t);
      break;
    case kToneVolumeSlide:
      tonePortamento(t);
      volumeSlide(t);
      break;
    case kVibratoVolumeSlide:
      vibrato(t);
      volumeSlide(t);
      break;
    case kVolumeSlide:
      volumeSlide(t);
      break;
    case kNoteCut:
      if (t.cutcounter > 0) {
        --t.cutcounter;
      }
      if (t.cutcounter == 0) {
        t.effectivevolume = 0;
      }
      break;
    case kNoteDelay:
      if (t.delaycounter >= 0 && --t.delaycounter < 0) {
        setPeriod(t, t.delayperiod);
      }
      break;
    default:
      break;
  }
}

void mxrMusicChannel::moveOn() {
  if (jumporder_ != MXR_MOD_NOJUMP) {
    if (jumporder_ >= songlength_) {
      endSong();
      return;
    }
    orderposition_ = jumporder_;
    rowoffset_ = jumprow_ * trackcount_;
    jumporder_ = MXR_MOD_NOJUMP;
  } else {
    rowoffset_ += trackcount_;
    if (rowoffset_ >= MXR_MOD_ROWS * trackcount_) {
      rowoffset_ = 0;
      if (++orderposition_ >= songlength_) {
        if (!loop()) {
          --orderposition_;
          endSong();
          return;
        }
        orderposition_ = restartposition_;
      }
    }
  }
  pattern_ = music_->data()[MXR_MOD_ORDERSAT + orderposition_];
}

void mxrMusicChannel::endSong() {
  // The last row still plays to its end; the next row time stops the channel.
  songended_ = true;
  jumporder_ = MXR_MOD_NOJUMP;
}

void mxrMusicChannel::jump(uint32_t order, uint32_t row) {
  jumporder_ = order;
  jumprow_ = row;
}

// --- effect helpers ------------------------------------------------------------

void mxrMusicChannel::setVolume(MXRMODTRACK& t, int32_t volume) {
  t.volume = volume;
  updateEffectiveVolume(t);
}

void mxrMusicChannel::updateEffectiveVolume(MXRMODTRACK& t) {
  t.effectivevolume = t.volume * static_cast<int32_t>(effectiveVolume()) / static_cast<int32_t>(MXR_MAXVOLUME);
}

void mxrMusicChannel::setPeriod(MXRMODTRACK& t, int32_t period) {
  t.period = ClampInt(period, 0, MXR_MOD_MAXPERIOD);
  t.step = stepOf(t.period);
}

void mxrMusicChannel::setVolumeSlide(MXRMODTRACK& t) {
  t.volumeslide = t.x != 0 ? static_cast<int32_t>(t.x) : -static_cast<int32_t>(t.y);
}

void mxrMusicChannel::volumeSlide(MXRMODTRACK& t) {
  setVolume(t, ClampInt(t.volume + t.volumeslide, 0, static_cast<int32_t>(MXR_MAXVOLUME)));
}

void mxrMusicChannel::startArpeggio(MXRMODTRACK& t) {
  // Notes past the end of the finetune row play its last note.
  const uint32_t row = t.noteindex / MXR_MOD_NOTES;
  const uint32_t note = t.noteindex % MXR_MOD_NOTES;
  t.arpeggiocounter = 0;
  t.arpeggiosteps[0] = stepOf(periodTable(row, note));
  t.arpeggiosteps[1] = stepOf(periodTable(row, note + t.x));
  t.arpeggiosteps[2] = stepOf(periodTable(row, note + t.y));
}

void mxrMusicChannel::tonePortamento(MXRMODTRACK& t) {
  if (t.period < t.portamentotarget) {
    setPeriod(t, t.period + t.portamentospeed > t.portamentotarget ? t.portamentotarget : t.period + t.portamentospeed);
  } else if (t.period > t.portamentotarget) {
    setPeriod(t, t.period - t.portamentospeed < t.portamentotarget ? t.portamentotarget : t.period - t.portamentospeed);
  }
}

void mxrMusicChannel::vibrato(MXRMODTRACK& t) {
  const auto delta = static_cast<int32_t>(t.vibratodepth * kVibratoSine[t.vibratoposition % 32] / 128);
  const int32_t period = t.vibratoposition < 32 ? t.period + delta : t.period - delta;
  t.step = stepOf(ClampInt(period, 0, MXR_MOD_MAXPERIOD));
  t.vibratoposition = (t.vibratoposition + t.vibratospeed) % 64;
}

void mxrMusicChannel::startNoteDelay(MXRMODTRACK& t, int32_t cellperiod) {
  // Without a period there is nothing to delay: the note plays on as it is.
  if (cellperiod == 0) {
    t.delaycounter = -1;
    return;
  }
  t.delayperiod = cellperiod;
  t.delaycounter = static_cast<int32_t>(t.y) - 1;
  if (t.delaycounter < 0) {
    setPeriod(t, t.delayperiod);
  }
}

void mxrMusicChannel::patternLoop(MXRMODTRACK& t) {
  if (t.y == 0) {
    if (!t.looping) {
      t.loopstartrow = playedrow_;
    }
    return;
  }
  if (!t.looping) {
    t.looping = true;
    t.loopcount = t.y;
    jump(orderposition_, t.loopstartrow);
  } else if (--t.loopcount > 0) {
    jump(orderposition_, t.loopstartrow);
  } else {
    t.looping = false;
  }
}

void mxrMusicChannel::patternBreak(MXRMODTRACK& t) {
  // Rows above 63 are not in the pattern: the break lands on row 0.
  uint32_t row = t.x * 10 + t.y;
  row = row < MXR_MOD_ROWS ? row : 0;
  if (orderposition_ + 1 < songlength_) {
    jump(orderposition_ + 1, row);
  } else if (loop()) {
    jump(restartposition_, row);
  } else {
    jump(songlength_, 0);
  }
}

void mxrMusicChannel::positionJump(MXRMODTRACK& t) {
  if (loop() || t.parameter > orderposition_) {
    jump(t.parameter, 0);
  } else {
    jump(songlength_, 0);
  }
}

void mxrMusicChannel::setSpeed(MXRMODTRACK& t) {
  if (t.parameter > kTempoAbove) {
    tickspersecond_ = t.parameter * 2 / 5;
    recomputeSamplesPerTick();
  } else if (t.parameter != 0) {
    ticksperrow_ = t.parameter;
  }
}

int32_t mxrMusicChannel::targetPeriod(const MXRMODTRACK& t, int32_t cellperiod) const {
  if (cellperiod != 0) {
    return periodTable(instruments_[t.instrument].finetune, speaker_->noteIndex(static_cast<unsigned>(cellperiod)));
  }
  return t.portamentotarget == 0 ? t.period : t.portamentotarget;
}

uint32_t mxrMusicChannel::stepOf(int32_t period) const {
  return speaker_->periodStep(static_cast<unsigned>(ClampInt(period, 0, MXR_MOD_MAXPERIOD)));
}

// --- mixing --------------------------------------------------------------------

void mxrMusicChannel::mix(int32_t* left, int32_t* right, uint32_t frames, mxrOutputLayout layout) {
  uint32_t done = 0;
  while (done < frames) {
    if (takeStepDirty()) {
      recomputeSamplesPerTick();
    }
    if (framesleft_ == 0) {
      nextTick();
      if (stopped_.load(std::memory_order_relaxed)) {
        return;
      }
    }
    // Nothing changes inside a tick, so its frames go track by track.
    const uint32_t run = framesleft_ < frames - done ? framesleft_ : frames - done;
    for (uint32_t i = 0; i < trackcount_; ++i) {
      mixTrack(tracks_[i], left + done, right + done, run, layout);
    }
    framesleft_ -= run;
    done += run;
  }
}

void mxrMusicChannel::mixTrack(MXRMODTRACK& t, int32_t* left, int32_t* right, uint32_t frames,
                               mxrOutputLayout layout) {
  const MXRMODINSTRUMENT& in = instruments_[t.instrument];
  if (in.data == nullptr) {
    return;
  }
  const int32_t v = t.effectivevolume;
  const int32_t toright = v * static_cast<int32_t>(t.pan) / 256;
  const bool stereo = layout == mxrOutputLayout::Stereo;
  const int32_t leftgain = stereo ? 2 * (v - toright) : v;
  const int32_t rightgain = stereo ? 2 * toright : 0;
  const uint64_t limit = in.repeatlength != 0 ? uint64_t{in.repeatstart} + in.repeatlength : in.length;
  const uint64_t step = t.step;
  uint64_t at = t.position;
  uint32_t n = 0;
  while (n < frames) {
    // However far one frame's step took it past the loop's end, the loop
    // takes it back inside.
    if (in.repeatlength != 0 && at >= limit) {
      at = in.repeatstart + (at - in.repeatstart) % in.repeatlength;
    }
    if (at >= in.length) {
      break;  // a sample without loop has ended: the position stays
    }
    const uint64_t inside = step == 0 ? frames - n : (limit - at + step - 1) / step;
    const uint32_t k = inside < frames - n ? static_cast<uint32_t>(inside) : frames - n;
    if (leftgain == 0 && rightgain == 0) {
      at += step * k;
    } else if (stereo) {
      at = AddStereo(in.data, at, step, leftgain, rightgain, left + n, right + n, k);
    } else {
      at = AddMono(in.data, at, step, leftgain, left + n, k);
    }
    n += k;
  }
  t.position = at;
}

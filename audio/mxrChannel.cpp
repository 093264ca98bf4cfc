// mxrChannel.cpp - channel state shared by both kinds, the sound channel's
// mixing kernel, and the music channel (which holds its tune and mixes
// nothing yet).
//
// Depends on: audio/mxrData.h (mxrSound), audio/mxrSpeaker.h (global volume,
// critical section, output rate).
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
#include "audio/mxrUtility.h"
#include "util/vmod_memory.h"

namespace {

constexpr uint32_t kFractionBits = 8;  // sound positions are 24.8

// MOD layout: offsets and sizes the tune's loader reads.
constexpr uint32_t kModSamples = 31;
constexpr uint32_t kModSampleHeaderAt = 20;
constexpr uint32_t kModSampleHeaderBytes = 30;
constexpr uint32_t kModSampleLengthAt = 22;  // within a sample header: length in words, big-endian
constexpr uint32_t kModSongLengthAt = 950;
constexpr uint32_t kModOrdersAt = 952;
constexpr uint32_t kModOrders = 128;
constexpr uint64_t kModPatternBytesPerTrack = 64 * 4;  // 64 rows of 4-byte cells

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

uint32_t ReadBe16(const uint8_t* at) {
  return uint32_t{at[0]} << 8 | at[1];
}

// Patterns stored in a MOD image: the highest one the song's orders name, plus 1.
int CountPatterns(const uint8_t* image) {
  uint32_t songlength = image[kModSongLengthAt];
  songlength = songlength < kModOrders ? songlength : kModOrders;
  int highest = 0;
  for (uint32_t i = 0; i < songlength; ++i) {
    highest = image[kModOrdersAt + i] > highest ? image[kModOrdersAt + i] : highest;
  }
  return highest + 1;
}

// Bytes a MOD image of this header covers: header, patterns, sample data.
uint64_t ModImageSize(const uint8_t* image, int tracks) {
  uint64_t size = MXR_MOD_HEADERBYTES + uint64_t(tracks) * uint64_t(CountPatterns(image)) * kModPatternBytesPerTrack;
  for (uint32_t k = 0; k < kModSamples; ++k) {
    size += uint64_t{ReadBe16(image + kModSampleHeaderAt + k * kModSampleHeaderBytes + kModSampleLengthAt)} * 2;
  }
  return size;
}

}  // namespace

// --- mxrMusic -----------------------------------------------------------------

mxrMusic::~mxrMusic() {
  freeData();
}

int mxrMusic::load(const void* data, uint32_t length, bool copy) {
  freeData();
  rate_ = MXR_MOD_RATE;
  frequency_ = MXR_MOD_RATE;
  speed_ = MXR_NORMALSPEED;
  const auto* image = static_cast<const uint8_t*>(data);
  if (image == nullptr || length < MXR_MOD_HEADERBYTES) {
    return MXR_MOD_NODATA;
  }
  const int tracks = translatePTSign(image + MXR_MOD_SIGNATUREAT);
  if (tracks == 0) {
    return MXR_MOD_BADFORMAT;
  }
  // The player reads patterns and samples where the header puts them, so the
  // image must hold all of them.
  const uint64_t size = ModImageSize(image, tracks);
  if (size > length) {
    return MXR_MOD_NODATA;
  }
  if (copy) {
    auto* block = static_cast<uint8_t*>(ClassVMemory::Alloc(static_cast<uint32_t>(size)));
    if (block == nullptr) {
      return MXR_MOD_NODATA;
    }
    ClassVMemory::Copy(block, image, static_cast<uint32_t>(size));
    image = block;
    owned_ = true;
  }
  data_ = image;
  size_ = static_cast<uint32_t>(size);
  tracks_ = tracks;
  return MXR_MOD_OK;
}

int mxrMusic::translatePTSign(const uint8_t* signature) {
  if (signature[0] == 'M' && signature[2] == 'K') {
    return 4;
  }
  if (signature[1] != 'C' && signature[2] != 'C') {
    return 0;
  }
  const int high = mxrUtility::getDigit(static_cast<char>(signature[0]));
  const int low = mxrUtility::getDigit(static_cast<char>(signature[1]));
  const int first = high < 0 ? 0 : high;
  return low < 0 ? first : first * 10 + low;
}

int mxrMusic::getNumPattern() const {
  return data_ == nullptr ? 0 : CountPatterns(data_);
}

void mxrMusic::volume(unsigned v) {
  volume_ = v > MXR_MAXVOLUME ? MXR_MAXVOLUME : v;
}

unsigned mxrMusic::volume() const {
  return volume_;
}

void mxrMusic::pan(unsigned p) {
  pan_ = p > MXR_MAXPAN ? MXR_MAXPAN : p;
}

unsigned mxrMusic::pan() const {
  return pan_;
}

void mxrMusic::loop(bool b) {
  loop_ = b;
}

bool mxrMusic::loop() const {
  return loop_;
}

void mxrMusic::frequency(unsigned f) {
  frequency_ = f;
  speed_ = ClampToUnsigned((uint64_t{f} * 65536 / rate_) / 512);
}

unsigned mxrMusic::frequency() const {
  return frequency_;
}

void mxrMusic::speed(unsigned s) {
  speed_ = s;
  frequency_ = ClampToUnsigned(uint64_t{rate_} * s / MXR_NORMALSPEED);
}

unsigned mxrMusic::speed() const {
  return speed_;
}

unsigned mxrMusic::rate() const {
  return rate_;
}

const uint8_t* mxrMusic::data() const {
  return data_;
}

uint32_t mxrMusic::size() const {
  return size_;
}

int mxrMusic::tracks() const {
  return tracks_;
}

bool mxrMusic::owned() const {
  return owned_;
}

void mxrMusic::freeData() {
  if (owned_) {
    ClassVMemory::DeAlloc(const_cast<uint8_t*>(data_));
  }
  data_ = nullptr;
  owned_ = false;
  size_ = 0;
  tracks_ = 0;
}

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

void mxrMusicChannel::volume(unsigned v) {
  enterSection();
  storeVolume(v);
  leaveSection();
}

void mxrMusicChannel::pan(unsigned p) {
  enterSection();
  storePan(p);
  leaveSection();
}

void mxrMusicChannel::position(unsigned) {}

unsigned mxrMusicChannel::position() {
  return 0;
}

unsigned mxrMusicChannel::length() {
  return 0;
}

const mxrMusic* mxrMusicChannel::music() const {
  return music_;
}

void mxrMusicChannel::assign(const mxrMusic* music) {
  music_ = music;
}

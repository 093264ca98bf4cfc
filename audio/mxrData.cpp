// mxrData.cpp - WAV parsing and the MS-ADPCM decoder of mxrSound; the MOD
// image checks of mxrMusic.
//
// Every read of the image is bounded by its length; chunk walking runs in
// 64-bit offsets so no size field can wrap it. MS-ADPCM is decoded once here,
// with 64-bit prediction and a step size capped at 0x7FFFFFFF, so hostile
// coefficients and runaway steps cannot overflow.
// A MOD image must hold its header and every pattern its orders name; the
// sample data may end early (the player cuts the samples where it ends).
// Depends on: util/vmod_memory.h (owned blocks), audio/mxrUtility.h.
#include "audio/mxrData.h"

#include <cstdint>
#include <cstring>
#include <limits>

#include "audio/mxrUtility.h"
#include "util/vmod_memory.h"

namespace {

// Offsets in the image (the RIFF header takes 12 bytes).
constexpr uint32_t kFmtIdAt = 12;
constexpr uint32_t kFmtSizeAt = 16;
constexpr uint32_t kFmtBodyAt = 20;
constexpr uint32_t kPcmBodySize = 16;    // tag .. bits per sample
constexpr uint32_t kAdpcmBodySize = 50;  // the PCM body, extra size, samples per block, count, 7 pairs
constexpr uint32_t kChunkHeaderSize = 8;

constexpr uint16_t kTagMsAdpcm = 2;
constexpr int32_t kMinDelta = 16;
constexpr int64_t kMaxDelta = 0x7FFFFFFF;
constexpr uint8_t kBlockHeaderSize = 7;  // per channel: predictor, delta, sample 1, sample 2

// Step size adaptation of the published codec, indexed by the nibble as 0..15.
constexpr int32_t kAdaptation[16] = {230, 230, 230, 230, 307, 409, 512, 614,
                                     768, 614, 512, 409, 307, 230, 230, 230};

uint16_t ReadLe16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}

int16_t ReadLeS16(const uint8_t* p) {
  return static_cast<int16_t>(ReadLe16(p));
}

uint32_t ReadLe32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

bool IsChunk(const uint8_t* p, const char* id) {
  return std::memcmp(p, id, 4) == 0;
}

// One coefficient pair and the running state of one channel, kept in locals
// while a block is decoded.
struct CHANNELSTATE {
  int64_t coefficient1;
  int64_t coefficient2;
  int64_t delta;
  int32_t sample1;
  int32_t sample2;
};

// Decodes one nibble: predict from the two previous samples, add the scaled
// nibble, clamp, adapt the step. Division by 256 truncates toward zero.
inline int16_t DecodeNibble(CHANNELSTATE& s, uint32_t nibble) {
  int64_t signednibble = static_cast<int64_t>(nibble) - ((nibble & 8) << 1);
  int64_t predicted = (s.sample1 * s.coefficient1 + s.sample2 * s.coefficient2) / 256;
  predicted += signednibble * s.delta;
  if (predicted > INT16_MAX) predicted = INT16_MAX;
  if (predicted < INT16_MIN) predicted = INT16_MIN;
  int64_t delta = s.delta * kAdaptation[nibble] / 256;
  s.delta = delta < kMinDelta ? kMinDelta : (delta > kMaxDelta ? kMaxDelta : delta);
  s.sample2 = s.sample1;
  s.sample1 = static_cast<int32_t>(predicted);
  return static_cast<int16_t>(predicted);
}

}  // namespace

// What the format chunk says, and where the sample bytes are.
struct mxrSound::FORMAT {
  uint16_t tag;
  uint16_t channels;
  uint32_t rate;
  uint16_t blockalign;
  uint16_t bits;
  const uint8_t* body;    // the format body (at least kPcmBodySize bytes)
  uint32_t bodysize;
  const uint8_t* samples; // the "data" chunk's bytes
  uint32_t samplebytes;
};

mxrSound::~mxrSound() {
  freeData();
}

int mxrSound::load(const void* data, uint32_t length, bool copy) {
  freeData();
  if (!data || length == 0) return MXR_WAV_NODATA;
  FORMAT format;
  int result = loadFormat(static_cast<const uint8_t*>(data), length, format);
  if (result != MXR_WAV_OK) return result;
  if (format.bits == 4) {
    result = loadAdpcm(format.samples, format.samplebytes, format);
  } else {
    result = loadPcm(format.samples, format.samplebytes, format, copy);
  }
  if (result != MXR_WAV_OK) {
    freeData();
    return result;
  }
  rate_ = format.rate;
  stereo_ = format.channels == 2;
  speed_ = 128;
  frequency_ = format.rate;
  return MXR_WAV_OK;
}

// Steps 1 and 2 of parsing: the "fmt " chunk at offset 12 and its fields, then
// the walk to the "data" chunk. Chunks of odd size are followed by a pad byte.
int mxrSound::loadFormat(const uint8_t* image, uint32_t length, FORMAT& format) {
  if (length < kFmtSizeAt || !IsChunk(image + kFmtIdAt, "fmt ")) return MXR_WAV_NOFMT;
  if (length < kFmtBodyAt) return MXR_WAV_BADFORMAT;
  uint32_t fmtsize = ReadLe32(image + kFmtSizeAt);
  if (fmtsize < kPcmBodySize || fmtsize > length - kFmtBodyAt) return MXR_WAV_BADFORMAT;
  const uint8_t* body = image + kFmtBodyAt;
  format.tag = ReadLe16(body);
  format.channels = ReadLe16(body + 2);
  format.rate = ReadLe32(body + 4);
  format.blockalign = ReadLe16(body + 12);
  format.bits = ReadLe16(body + 14);
  format.body = body;
  format.bodysize = fmtsize;
  if (format.bits != 4 && format.bits != 8 && format.bits != 16) return MXR_WAV_BADFORMAT;
  if (format.channels != 1 && format.channels != 2) return MXR_WAV_BADFORMAT;
  if (format.rate == 0) return MXR_WAV_BADFORMAT;

  uint64_t at = uint64_t(kFmtBodyAt) + fmtsize + (fmtsize & 1);
  while (at + kChunkHeaderSize <= length) {
    const uint8_t* chunk = image + at;
    uint32_t size = ReadLe32(chunk + 4);
    if (IsChunk(chunk, "data")) {
      uint64_t start = at + kChunkHeaderSize;
      if (size > length - start) return MXR_WAV_NODATA;
      format.samples = image + start;
      format.samplebytes = size;
      return MXR_WAV_OK;
    }
    at += kChunkHeaderSize + uint64_t(size) + (size & 1);
  }
  return MXR_WAV_NODATA;
}

// Step 3: PCM plays from the image, or from an owned copy. 16-bit samples are
// read as int16_t by the mixer, so an odd address is copied to an even one.
int mxrSound::loadPcm(const uint8_t* samples, uint32_t bytes, const FORMAT& format, bool copy) {
  uint32_t bytespersample = format.bits / 8;
  uint32_t frames = bytes / bytespersample / format.channels;
  if (frames == 0) return MXR_WAV_NODATA;
  if (frames >= MXR_SOUND_MAXFRAMES) return MXR_WAV_BADFORMAT;
  uint32_t used = frames * bytespersample * format.channels;
  bool misaligned = bytespersample == 2 && (reinterpret_cast<uintptr_t>(samples) & 1) != 0;
  if (copy || misaligned) {
    uint8_t* block = static_cast<uint8_t*>(ClassVMemory::Alloc(used));
    if (!block) return MXR_WAV_BADFORMAT;
    std::memcpy(block, samples, used);
    data_ = block;
    owned_ = true;
  } else {
    data_ = samples;
  }
  eightbit_ = bytespersample == 1;
  frames_ = frames;
  return MXR_WAV_OK;
}

// Step 4: MS-ADPCM, decoded whole blocks at a time into an owned block; a
// trailing partial block is dropped.
int mxrSound::loadAdpcm(const uint8_t* samples, uint32_t bytes, const FORMAT& format) {
  if (format.tag != kTagMsAdpcm || format.bodysize < kAdpcmBodySize) return MXR_WAV_BADFORMAT;
  const uint8_t* body = format.body;
  std::memcpy(adpcmheader_, body, sizeof adpcmheader_);
  samplesperblock_ = ReadLe16(body + 18);
  coefficientcount_ = ReadLe16(body + 20);
  if (coefficientcount_ != MXR_ADPCM_COEFFICIENTS) return MXR_WAV_BADFORMAT;
  for (uint32_t i = 0; i < MXR_ADPCM_COEFFICIENTS; ++i) {
    coefficients_[i][0] = ReadLeS16(body + 22 + 4 * i);
    coefficients_[i][1] = ReadLeS16(body + 24 + 4 * i);
  }

  const uint32_t channels = format.channels;
  if (samplesperblock_ < 2) return MXR_WAV_BADFORMAT;
  uint32_t needed = kBlockHeaderSize * channels + ((samplesperblock_ - 2u) * channels + 1u) / 2u;
  if (format.blockalign == 0 || format.blockalign < needed) return MXR_WAV_BADFORMAT;
  uint32_t blocks = bytes / format.blockalign;
  uint64_t frames = uint64_t(blocks) * samplesperblock_;
  if (frames == 0) return MXR_WAV_NODATA;
  if (frames >= MXR_SOUND_MAXFRAMES) return MXR_WAV_BADFORMAT;

  uint32_t blocksamples = samplesperblock_ * channels;
  int16_t* out = static_cast<int16_t*>(ClassVMemory::Alloc(static_cast<uint32_t>(frames) * channels * 2u));
  if (!out) return MXR_WAV_BADFORMAT;
  data_ = reinterpret_cast<const uint8_t*>(out);
  owned_ = true;
  for (uint32_t b = 0; b < blocks; ++b) {
    if (!decodeAdpcmBlock(samples + b * format.blockalign, out + b * blocksamples, channels)) {
      return MXR_WAV_BADFORMAT;
    }
  }
  eightbit_ = false;
  frames_ = static_cast<uint32_t>(frames);
  return MXR_WAV_OK;
}

// One block: the header per channel (all predictor bytes, then all deltas,
// all sample 1 values, all sample 2 values), sample 2 and sample 1 emitted
// first, then the nibbles, high nibble first; in stereo the high nibble of a
// byte is the left channel's, the low one the right channel's.
bool mxrSound::decodeAdpcmBlock(const uint8_t* block, int16_t* out, unsigned channels) {
  CHANNELSTATE state[2];
  for (unsigned c = 0; c < channels; ++c) {
    MXRADPCMSTATE& s = adpcmstate_[c];
    s.predictor = block[c];
    if (s.predictor >= MXR_ADPCM_COEFFICIENTS) return false;
    s.delta = ReadLeS16(block + channels + 2 * c);
    s.sample1 = ReadLeS16(block + 3 * channels + 2 * c);
    s.sample2 = ReadLeS16(block + 5 * channels + 2 * c);
    state[c] = CHANNELSTATE{coefficients_[s.predictor][0], coefficients_[s.predictor][1],
                            s.delta, s.sample1, s.sample2};
    out[c] = s.sample2;
    out[channels + c] = s.sample1;
  }
  out += 2 * channels;
  const uint8_t* nibbles = block + kBlockHeaderSize * channels;
  uint32_t count = (samplesperblock_ - 2u) * channels;
  // Both channels alternate nibble by nibble in stereo, so one running
  // channel index serves mono and stereo alike.
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t byte = nibbles[i >> 1];
    uint32_t nibble = (i & 1) ? (byte & 0x0F) : (byte >> 4);
    out[i] = DecodeNibble(state[i & (channels - 1)], nibble);
  }
  for (unsigned c = 0; c < channels; ++c) {
    MXRADPCMSTATE& s = adpcmstate_[c];
    s.delta = static_cast<int32_t>(state[c].delta);
    s.sample1 = static_cast<int16_t>(state[c].sample1);
    s.sample2 = static_cast<int16_t>(state[c].sample2);
  }
  return true;
}

void mxrSound::freeData() {
  if (owned_) ClassVMemory::DeAlloc(const_cast<uint8_t*>(data_));
  data_ = nullptr;
  owned_ = false;
  frames_ = 0;
  rate_ = 0;
  eightbit_ = false;
  stereo_ = false;
}

void mxrSound::volume(unsigned v) { volume_ = v > 64 ? 64 : v; }
unsigned mxrSound::volume() const { return volume_; }
void mxrSound::pan(unsigned p) { pan_ = p > 255 ? 255 : p; }
unsigned mxrSound::pan() const { return pan_; }
void mxrSound::loop(bool b) { loop_ = b; }
bool mxrSound::loop() const { return loop_; }
void mxrSound::maxplaybacks(int n) { maxplaybacks_ = n; }
int mxrSound::maxplaybacks() const { return maxplaybacks_; }
void mxrSound::frequency(unsigned f) { frequency_ = f; }
unsigned mxrSound::frequency() const { return frequency_; }
void mxrSound::speed(unsigned s) { speed_ = s; }
unsigned mxrSound::speed() const { return speed_; }
const uint8_t* mxrSound::data() const { return data_; }
bool mxrSound::eightBit() const { return eightbit_; }
bool mxrSound::stereo() const { return stereo_; }
uint32_t mxrSound::sampleRate() const { return rate_; }
uint32_t mxrSound::frameCount() const { return frames_; }
bool mxrSound::owned() const { return owned_; }

// --- mxrMusic -----------------------------------------------------------------

namespace {

constexpr uint32_t kModSampleLengthAt = 22;  // within a sample header: length in words, big-endian
constexpr uint64_t kModPatternBytesPerTrack = MXR_MOD_ROWS * MXR_MOD_CELLBYTES;

unsigned ClampToUnsigned(uint64_t value) {
  constexpr uint64_t kMax = std::numeric_limits<unsigned>::max();
  return static_cast<unsigned>(value > kMax ? kMax : value);
}

uint32_t ReadBe16(const uint8_t* at) {
  return uint32_t{at[0]} << 8 | at[1];
}

unsigned SongLength(const uint8_t* image) {
  const unsigned stored = image[MXR_MOD_SONGLENGTHAT];
  return stored < MXR_MOD_ORDERS ? stored : MXR_MOD_ORDERS;
}

// Patterns stored in a MOD image: the highest one the song's orders name, plus 1.
int CountPatterns(const uint8_t* image) {
  const unsigned songlength = SongLength(image);
  int highest = 0;
  for (uint32_t i = 0; i < songlength; ++i) {
    highest = image[MXR_MOD_ORDERSAT + i] > highest ? image[MXR_MOD_ORDERSAT + i] : highest;
  }
  return highest + 1;
}

uint64_t PatternsEnd(const uint8_t* image, int tracks) {
  return MXR_MOD_HEADERBYTES + uint64_t(tracks) * uint64_t(CountPatterns(image)) * kModPatternBytesPerTrack;
}

uint64_t SampleBytes(const uint8_t* image) {
  uint64_t bytes = 0;
  for (uint32_t k = 0; k < MXR_MOD_SAMPLES; ++k) {
    bytes += uint64_t{ReadBe16(image + MXR_MOD_SAMPLEHEADERAT + k * MXR_MOD_SAMPLEHEADERBYTES + kModSampleLengthAt)} * 2;
  }
  return bytes;
}

}  // namespace

mxrMusic::~mxrMusic() {
  freeData();
}

int mxrMusic::load(const void* data, uint32_t length, bool copy) {
  freeData();
  rate_ = MXR_MOD_RATE;
  frequency_ = MXR_MOD_RATE;
  speed_ = MXR_NORMALSPEED;
  const auto* image = static_cast<const uint8_t*>(data);
  if (image == nullptr) {
    return MXR_MOD_NODATA;
  }
  if (length < MXR_MOD_HEADERBYTES) {
    return MXR_MOD_BADFORMAT;
  }
  const int tracks = translatePTSign(image + MXR_MOD_SIGNATUREAT);
  if (tracks == 0) {
    return MXR_MOD_BADFORMAT;
  }
  // Patterns are read where the header puts them, so all of them must be
  // there; samples are only played as far as the bytes go.
  const uint64_t patternsend = PatternsEnd(image, tracks);
  if (patternsend > length) {
    return MXR_MOD_BADFORMAT;
  }
  const uint64_t layout = patternsend + SampleBytes(image);
  const auto size = static_cast<uint32_t>(layout < length ? layout : length);
  if (copy) {
    auto* block = static_cast<uint8_t*>(ClassVMemory::Alloc(size));
    if (block == nullptr) {
      return MXR_MOD_NODATA;
    }
    ClassVMemory::Copy(block, image, size);
    image = block;
    owned_ = true;
  }
  data_ = image;
  size_ = size;
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

unsigned mxrMusic::songLength() const {
  return data_ == nullptr ? 0 : SongLength(data_);
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

// mxrSpeaker.cpp - the mixer: opening and closing the output, the channel
// pools, starting and stopping channels, the period tables, and the mixing
// pass that the output thread runs.
//
// Depends on: audio/mxrChannel.h, audio/mxrData.h (mxrSound), audio/mxrGP2X.h
// (the output driver).
#include "audio/mxrSpeaker.h"

#include <cstdint>
#include <cstring>
#include <limits>
#include <new>

#if defined(__x86_64__)
#include <emmintrin.h>
#endif

#include "audio/mxrData.h"
#include "audio/mxrGP2X.h"

namespace {

// Frames summed per chunk of the pass: the sums live on the stack (2 KB for
// stereo), so a fragment of any length needs no allocation.
constexpr uint32_t kChunkFrames = 256;
constexpr uint32_t kSoundShift = 7;  // sound sums are scaled down by 128 before output
constexpr uint64_t kAmigaClock = 7159090;  // NTSC Paula clock; a period p plays at clock / (2p) Hz
constexpr uint8_t kSilence8 = 128;

unsigned Clamp(unsigned value, unsigned low, unsigned high) {
  return value < low ? low : value > high ? high : value;
}

// Floor division by 2^bits without shifting a negative value.
int32_t ShiftDown(int32_t value, unsigned bits) {
  return value >= 0 ? value >> bits : ~(~value >> bits);
}

// Output sample writers: 16-bit output clamps, 8-bit output keeps the high
// byte of the 16-bit value, offset to unsigned.
struct Writer16 {
  static constexpr uint32_t kBytes = 2;
  static void Put(uint8_t* out, int32_t value) {
    const int16_t sample = static_cast<int16_t>(value > 32767 ? 32767 : value < -32768 ? -32768 : value);
    std::memcpy(out, &sample, sizeof sample);
  }
#if defined(__x86_64__)
  static void PutEight(uint8_t* out, __m128i clamped) { _mm_storeu_si128(reinterpret_cast<__m128i*>(out), clamped); }
#endif
};

struct Writer8 {
  static constexpr uint32_t kBytes = 1;
  static void Put(uint8_t* out, int32_t value) {
    *out = value > 32767 ? 255 : value < -32768 ? 0 : static_cast<uint8_t>(ShiftDown(value, 8) + 128);
  }
#if defined(__x86_64__)
  // Of a clamped value, (value >> 8) + 128 is its high byte with the sign bit flipped.
  static void PutEight(uint8_t* out, __m128i clamped) {
    const __m128i high = _mm_packs_epi16(_mm_srai_epi16(clamped, 8), _mm_setzero_si128());
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_xor_si128(high, _mm_set1_epi8(static_cast<char>(0x80))));
  }
#endif
};

#if defined(__x86_64__)
// Eight samples at a time: the shift by 7 is arithmetic (a floor division),
// and packing with signed saturation is the clamp to 16 bits.
template <typename Writer, unsigned Shift>
uint32_t StoreEights(uint8_t*& out, const int32_t* left, const int32_t* right, uint32_t frames, bool stereo) {
  const auto load = [](const int32_t* at) {
    return _mm_srai_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at)), Shift);
  };
  uint32_t n = 0;
  if (stereo) {
    for (; n + 4 <= frames; n += 4) {
      const __m128i l = load(left + n);
      const __m128i r = load(right + n);
      Writer::PutEight(out, _mm_packs_epi32(_mm_unpacklo_epi32(l, r), _mm_unpackhi_epi32(l, r)));
      out += 8 * Writer::kBytes;
    }
  } else {
    for (; n + 8 <= frames; n += 8) {
      Writer::PutEight(out, _mm_packs_epi32(load(left + n), load(left + n + 4)));
      out += 8 * Writer::kBytes;
    }
  }
  return n;
}
#endif

// Shift is kSoundShift for sums of sounds alone, 0 for sums already scaled.
template <typename Writer, unsigned Shift>
void StoreFrames(uint8_t* out, const int32_t* left, const int32_t* right, uint32_t frames, bool stereo) {
  uint32_t n = 0;
#if defined(__x86_64__)
  n = StoreEights<Writer, Shift>(out, left, right, frames, stereo);
#endif
  for (; n < frames; ++n) {
    Writer::Put(out, ShiftDown(left[n], Shift));
    out += Writer::kBytes;
    if (stereo) {
      Writer::Put(out, ShiftDown(right[n], Shift));
      out += Writer::kBytes;
    }
  }
}

template <unsigned Shift>
void Store(bool sixteenbit, uint8_t* out, const int32_t* left, const int32_t* right, uint32_t frames, bool stereo) {
  if (sixteenbit) {
    StoreFrames<Writer16, Shift>(out, left, right, frames, stereo);
  } else {
    StoreFrames<Writer8, Shift>(out, left, right, frames, stereo);
  }
}

// A frame's value is the music sum plus the sound sum scaled down.
void AddScaledSounds(int32_t* music, const int32_t* sounds, uint32_t frames) {
  for (uint32_t n = 0; n < frames; ++n) {
    music[n] += ShiftDown(sounds[n], kSoundShift);
  }
}

}  // namespace

mxrSpeaker::mxrSpeaker() = default;

mxrSpeaker::~mxrSpeaker() {
  close();
}

int mxrSpeaker::open(unsigned rate, unsigned bits, bool stereo, unsigned musics, unsigned sounds) {
  if (open_) {
    return MXR_SPEAKER_ALREADYOPEN;
  }
  // A driver left by a failed open is replaced.
  delete driver_;
  driver_ = new (std::nothrow) mxrGP2X;
  if (driver_ == nullptr) {
    return MXR_SPEAKER_NODRIVER;
  }
  rate_ = rate;
  sixteenbit_ = bits != 8;
  stereo_ = stereo;
  AudioSpec spec{rate, sixteenbit_ ? AUDIO_FORMAT_S16 : AUDIO_FORMAT_U8, stereo ? 2u : 1u};
  const uint64_t frames = uint64_t{bufferlength_} * rate / 1000;
  const unsigned bufferframes = static_cast<unsigned>(
      frames > std::numeric_limits<unsigned>::max() ? std::numeric_limits<unsigned>::max() : frames);
  // The driver opens suspended, so no pass runs before the pools exist.
  const int result = driver_->open(&spec, bufferframes, &mxrSpeaker::audioCallback, this);
  if (result != 0) {
    return result;
  }
  createTables(rate);
  musicvolume_ = MXR_MAXVOLUME;
  soundvolume_ = MXR_MAXVOLUME;
  if (!allocateChannels(Clamp(musics, 1, MXR_MAXMUSICCHANNELS),
                        Clamp(sounds, MXR_MINSOUNDCHANNELS, MXR_MAXSOUNDCHANNELS))) {
    return MXR_SPEAKER_NOMEMORY;
  }
  open_ = true;
  driver_->resume();
  return 0;
}

void mxrSpeaker::close() {
  if (open_) {
    // Joins the output thread: no pass runs once this returns.
    driver_->close();
    open_ = false;
  }
  delete driver_;
  driver_ = nullptr;
  deleteChannels();
}

int mxrSpeaker::bufferLength(unsigned ms) {
  if (open_) {
    return MXR_SPEAKER_ALREADYOPEN;
  }
  if (ms < MXR_MINBUFFERMS) {
    return MXR_SPEAKER_BUFFERTOOSHORT;
  }
  bufferlength_ = ms;
  return 0;
}

unsigned mxrSpeaker::bufferLength() const {
  return bufferlength_;
}

mxrChannel* mxrSpeaker::channel(int index) {
  if (index < 0) {
    return nullptr;
  }
  const auto at = static_cast<unsigned>(index);
  if (at < musiccount_) {
    return &musics_[at];
  }
  if (at - musiccount_ < soundcount_) {
    return &sounds_[at - musiccount_];
  }
  return nullptr;
}

int mxrSpeaker::maxChannelMusics() const {
  return static_cast<int>(musiccount_);
}

int mxrSpeaker::maxChannelSounds() const {
  return static_cast<int>(soundcount_);
}

int mxrSpeaker::playingChannelMusics() const {
  int playing = 0;
  for (unsigned i = 0; i < musiccount_; ++i) {
    playing += musics_[i].playing() ? 1 : 0;
  }
  return playing;
}

int mxrSpeaker::playingChannelSounds() const {
  int playing = 0;
  for (unsigned i = 0; i < soundcount_; ++i) {
    playing += sounds_[i].playing() ? 1 : 0;
  }
  return playing;
}

int mxrSpeaker::playSound(const mxrSound* sound, unsigned flags) {
  if (!open_ || sound == nullptr || sound->data() == nullptr) {
    return MXR_SPEAKER_NOCHANNEL;
  }
  enterCriticalSection();
  mxrSoundChannel* picked = pickSoundChannel(*sound, flags);
  if (picked == nullptr) {
    leaveCriticalSection();
    return MXR_SPEAKER_NOCHANNEL;
  }
  picked->assign(*sound);
  picked->storeVolume(sound->volume());
  picked->start((flags & MXR_PLAY_PAUSED) != 0);
  leaveCriticalSection();
  return static_cast<int>(musiccount_ + static_cast<unsigned>(picked - sounds_));
}

int mxrSpeaker::playMusic(const mxrMusic* music, unsigned flags) {
  // A song of no orders has nothing to play.
  if (!open_ || music == nullptr || music->data() == nullptr || music->tracks() < 1 ||
      music->tracks() > MXR_MOD_MAXTRACKS || music->songLength() == 0) {
    return MXR_SPEAKER_NOCHANNEL;
  }
  enterCriticalSection();
  mxrMusicChannel* picked = pickMusicChannel(flags);
  if (picked == nullptr) {
    leaveCriticalSection();
    return MXR_SPEAKER_NOCHANNEL;
  }
  picked->assign(music);
  picked->start((flags & MXR_PLAY_PAUSED) != 0);
  leaveCriticalSection();
  return static_cast<int>(picked - musics_);
}

void mxrSpeaker::stopSounds() {
  forEachSoundChannel([](mxrSoundChannel& c) { c.halt(); });
}

void mxrSpeaker::stopMusics() {
  forEachMusicChannel([](mxrMusicChannel& c) { c.halt(); });
}

void mxrSpeaker::pauseSounds() {
  forEachSoundChannel([](mxrSoundChannel& c) { c.storePaused(true); });
}

void mxrSpeaker::unpauseSounds() {
  forEachSoundChannel([](mxrSoundChannel& c) { c.storePaused(false); });
}

void mxrSpeaker::pauseMusics() {
  forEachMusicChannel([](mxrMusicChannel& c) { c.storePaused(true); });
}

void mxrSpeaker::unpauseMusics() {
  forEachMusicChannel([](mxrMusicChannel& c) { c.storePaused(false); });
}

void mxrSpeaker::suspend() {
  if (open_) {
    driver_->suspend();
  }
}

void mxrSpeaker::resume() {
  if (open_) {
    driver_->resume();
  }
}

void mxrSpeaker::volumeSounds(unsigned v) {
  soundvolume_ = v > MXR_MAXVOLUME ? MXR_MAXVOLUME : v;
  for (unsigned i = 0; i < soundcount_; ++i) {
    sounds_[i].volume(sounds_[i].volume());
  }
}

unsigned mxrSpeaker::volumeSounds() const {
  return soundvolume_;
}

void mxrSpeaker::volumeMusics(unsigned v) {
  musicvolume_ = v > MXR_MAXVOLUME ? MXR_MAXVOLUME : v;
  for (unsigned i = 0; i < musiccount_; ++i) {
    musics_[i].volume(musics_[i].volume());
  }
}

unsigned mxrSpeaker::volumeMusics() const {
  return musicvolume_;
}

void mxrSpeaker::audioCallback(void* user, void* buffer, unsigned bytes) {
  if (user != nullptr) {
    static_cast<mxrSpeaker*>(user)->updateModSFX(buffer, bytes);
  }
}

void mxrSpeaker::updateModSFX(void* buffer, unsigned bytes) {
  auto* out = static_cast<uint8_t*>(buffer);
  const uint32_t framebytes = (sixteenbit_ ? 2u : 1u) * (stereo_ ? 2u : 1u);
  const uint32_t frames = bytes / framebytes;
  if (collectPlaying() == 0) {
    fillSilence(out, bytes);
    return;
  }
  mixFrames(out, frames);
  // A buffer that ends in part of a frame gets silence there.
  fillSilence(out + frames * framebytes, bytes - frames * framebytes);
}

void mxrSpeaker::createTables(unsigned rate) {
  // Steps cover every period the player can compute; notes only the table's range.
  periodsteps_[0] = 0;
  for (unsigned period = 1; period <= MXR_MOD_MAXPERIOD; ++period) {
    const uint64_t step = rate == 0 ? 0 : ((kAmigaClock / (2 * period)) * 4096) / rate;
    periodsteps_[period] = static_cast<uint32_t>(step > UINT32_MAX ? UINT32_MAX : step);
  }
  for (unsigned period = 0; period < MXR_PERIODS; ++period) {
    noteindexes_[period] = static_cast<uint8_t>(findBestNoteIndex(period));
  }
}

int mxrSpeaker::findBestNoteIndex(unsigned period) const {
  int best = 0;
  unsigned bestdistance = std::numeric_limits<unsigned>::max();
  for (unsigned note = 0; note < MXR_MOD_NOTES; ++note) {
    const unsigned entry = mxrMusicChannel::periodTable(0, note);
    const unsigned distance = entry > period ? entry - period : period - entry;
    if (distance == 0) {
      return static_cast<int>(note);
    }
    if (distance < bestdistance) {
      bestdistance = distance;
      best = static_cast<int>(note);
    }
  }
  return best;
}

uint32_t mxrSpeaker::periodStep(unsigned period) const {
  return period <= MXR_MOD_MAXPERIOD ? periodsteps_[period] : 0;
}

uint8_t mxrSpeaker::noteIndex(unsigned period) const {
  return period < MXR_PERIODS ? noteindexes_[period] : 0;
}

void mxrSpeaker::enterCriticalSection() {
  if (driver_ != nullptr) {
    driver_->enterCriticalSection();
  }
}

void mxrSpeaker::leaveCriticalSection() {
  if (driver_ != nullptr) {
    driver_->leaveCriticalSection();
  }
}

mxrDriver* mxrSpeaker::driver() const {
  return driver_;
}

bool mxrSpeaker::isOpen() const {
  return open_;
}

unsigned mxrSpeaker::rate() const {
  return rate_;
}

bool mxrSpeaker::stereo() const {
  return stereo_;
}

bool mxrSpeaker::sixteenBit() const {
  return sixteenbit_;
}

// --- private ------------------------------------------------------------------

mxrSoundChannel* mxrSpeaker::pickSoundChannel(const mxrSound& sound, unsigned flags) {
  const int limit = sound.maxplaybacks();
  const bool unlimited = limit < 0;
  const uint8_t* data = sound.data();
  int same = 0;
  mxrSoundChannel* lastfree = nullptr;
  for (unsigned i = 0; i < soundcount_; ++i) {
    mxrSoundChannel& c = sounds_[i];
    if (!c.isFree()) {
      same += c.data() == data ? 1 : 0;
    } else if ((flags & MXR_PLAY_ANYCHANNEL) != 0) {
      if (unlimited) {
        return &c;
      }
      lastfree = &c;
    }
  }
  if ((flags & MXR_PLAY_ANYCHANNEL) == 0) {
    const unsigned wanted = flags & MXR_PLAY_CHANNELMASK;
    lastfree = wanted < soundcount_ && sounds_[wanted].isFree() ? &sounds_[wanted] : nullptr;
  }
  return unlimited || same < limit ? lastfree : nullptr;
}

mxrMusicChannel* mxrSpeaker::pickMusicChannel(unsigned flags) {
  if ((flags & MXR_PLAY_ANYCHANNEL) != 0) {
    for (unsigned i = 0; i < musiccount_; ++i) {
      if (musics_[i].isFree()) {
        return &musics_[i];
      }
    }
    return nullptr;
  }
  const unsigned wanted = flags & MXR_PLAY_CHANNELMASK;
  return wanted < musiccount_ && musics_[wanted].isFree() ? &musics_[wanted] : nullptr;
}

bool mxrSpeaker::allocateChannels(unsigned musics, unsigned sounds) {
  musics_ = new (std::nothrow) mxrMusicChannel[musics];
  playingmusics_ = new (std::nothrow) mxrMusicChannel*[musics];
  sounds_ = new (std::nothrow) mxrSoundChannel[sounds];
  playingsounds_ = new (std::nothrow) mxrSoundChannel*[sounds];
  if (musics_ == nullptr || playingmusics_ == nullptr || sounds_ == nullptr || playingsounds_ == nullptr) {
    deleteChannels();
    return false;
  }
  musiccount_ = musics;
  soundcount_ = sounds;
  for (unsigned i = 0; i < musics; ++i) {
    musics_[i].attach(this, &musicvolume_);
  }
  for (unsigned i = 0; i < sounds; ++i) {
    sounds_[i].attach(this, &soundvolume_);
  }
  return true;
}

void mxrSpeaker::deleteChannels() {
  delete[] musics_;
  delete[] playingmusics_;
  delete[] sounds_;
  delete[] playingsounds_;
  musics_ = nullptr;
  playingmusics_ = nullptr;
  sounds_ = nullptr;
  playingsounds_ = nullptr;
  musiccount_ = 0;
  soundcount_ = 0;
  playingmusiccount_ = 0;
  playingsoundcount_ = 0;
}

template <typename Action>
void mxrSpeaker::forEachSoundChannel(Action action) {
  if (!open_) {
    return;
  }
  enterCriticalSection();
  for (unsigned i = 0; i < soundcount_; ++i) {
    action(sounds_[i]);
  }
  leaveCriticalSection();
}

template <typename Action>
void mxrSpeaker::forEachMusicChannel(Action action) {
  if (!open_) {
    return;
  }
  enterCriticalSection();
  for (unsigned i = 0; i < musiccount_; ++i) {
    action(musics_[i]);
  }
  leaveCriticalSection();
}

int mxrSpeaker::collectPlaying() {
  playingmusiccount_ = 0;
  for (unsigned i = 0; i < musiccount_; ++i) {
    if (musics_[i].playing()) {
      playingmusics_[playingmusiccount_++] = &musics_[i];
    }
  }
  playingsoundcount_ = 0;
  for (unsigned i = 0; i < soundcount_; ++i) {
    if (sounds_[i].playing()) {
      playingsounds_[playingsoundcount_++] = &sounds_[i];
    }
  }
  return static_cast<int>(playingmusiccount_ + playingsoundcount_);
}

void mxrSpeaker::mixFrames(uint8_t* out, uint32_t frames) {
  const mxrOutputLayout layout = stereo_ ? mxrOutputLayout::Stereo : mxrOutputLayout::Mono;
  const uint32_t framebytes = (sixteenbit_ ? 2u : 1u) * (stereo_ ? 2u : 1u);
  int32_t left[kChunkFrames];
  int32_t right[kChunkFrames];
  int32_t musicleft[kChunkFrames];
  int32_t musicright[kChunkFrames];
  while (frames > 0) {
    const uint32_t count = frames < kChunkFrames ? frames : kChunkFrames;
    const bool music = mixMusic(musicleft, musicright, count, layout);
    const bool sounds = playingsoundcount_ > 0;
    if (sounds || !music) {
      std::memset(left, 0, count * sizeof left[0]);
      std::memset(right, 0, count * sizeof right[0]);
    }
    for (unsigned i = 0; i < playingsoundcount_; ++i) {
      mxrSoundChannel* c = playingsounds_[i];
      // A channel that ended in an earlier chunk is stopped by now.
      if (c->playing()) {
        c->mix(left, right, count, rate_, layout);
      }
    }
    if (music) {
      if (sounds) {
        AddScaledSounds(musicleft, left, count);
        AddScaledSounds(musicright, right, count);
      }
      Store<0>(sixteenbit_, out, musicleft, musicright, count, stereo_);
    } else {
      Store<kSoundShift>(sixteenbit_, out, left, right, count, stereo_);
    }
    out += count * framebytes;
    frames -= count;
  }
}

bool mxrSpeaker::mixMusic(int32_t* left, int32_t* right, uint32_t frames, mxrOutputLayout layout) {
  bool any = false;
  for (unsigned i = 0; i < playingmusiccount_; ++i) {
    mxrMusicChannel* c = playingmusics_[i];
    if (!c->playing()) {
      continue;  // the song ended in an earlier chunk
    }
    if (!any) {
      std::memset(left, 0, frames * sizeof left[0]);
      std::memset(right, 0, frames * sizeof right[0]);
      any = true;
    }
    c->mix(left, right, frames, layout);
  }
  return any;
}

void mxrSpeaker::fillSilence(uint8_t* out, uint32_t bytes) const {
  std::memset(out, sixteenbit_ ? 0 : kSilence8, bytes);
}

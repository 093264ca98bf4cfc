// vmod_sound.cpp - the sound module (slots, channel records, fades) and the
// VSound_ glue that maps it onto the mixer.
//
// Depends on: audio/mxrSpeaker.h, audio/mxrChannel.h (mxrMusic),
// audio/mxrData.h (mxrSound), resources/vmod_file.h, util/vmod_memory.h.
#include "audio/vmod_sound.h"

#include <cstdint>
#include <new>

#include "audio/mxrChannel.h"
#include "audio/mxrData.h"
#include "audio/mxrSpeaker.h"
#include "resources/vmod_file.h"
#include "util/vmod_memory.h"

namespace {

constexpr uint32_t kMaxVolume = 255;
constexpr uint32_t kFadeFlags = VSOUND_FADEIN | VSOUND_FADEOUT;
constexpr int64_t kRankFull = 1024;      // weight of a channel that is not fading in
constexpr int64_t kRankLooping = 16384;  // added for a looping channel: one-shot tunes rank first
constexpr uint32_t kCentrePan = 128;
constexpr int32_t kSpeedBias = 32768;

constexpr VSOUNDCHANNEL kFreeRecord = {-1, 0, 0, 0, false};

// Module volume 0..255 to mixer volume 0..64.
unsigned MixerVolume(uint32_t volume) {
  return volume * 64 / 255;
}

// The driver object calls of a load, by kind.
struct SoundKind {
  using Object = mxrSound;
  static Object* New(mxrSpeaker* driver) { return VSound_NewSound(driver); }
  static int Load(mxrSpeaker* driver, Object* object, const void* data, uint32_t length) {
    return VSound_LoadSound(driver, object, data, length);
  }
};

struct MusicKind {
  using Object = mxrMusic;
  static Object* New(mxrSpeaker* driver) { return VSound_NewMusic(driver); }
  static int Load(mxrSpeaker* driver, Object* object, const void* data, uint32_t length) {
    return VSound_LoadMusic(driver, object, data, length);
  }
};

// Fills a freed slot: a driver object loaded from data. On success the slot
// owns data (or, if the driver copies, data is freed at once); on failure the
// caller keeps it and the slot keeps the object that did not load.
template <typename Kind, typename Slot, typename Object>
int FillSlot(mxrSpeaker* driver, Slot& slot, Object*& object, void* data, uint32_t length) {
  object = Kind::New(driver);
  if (object == nullptr) {
    return VSOUND_DRIVERERROR;
  }
  const int result = Kind::Load(driver, object, data, length);
  if (result != 0) {
    return result;
  }
  if (VSound_KeepFilePointers() != 0) {
    slot.data = data;
  } else {
    ClassVMemory::DeAlloc(data);
  }
  return VSOUND_OK;
}

// The whole file at path in a new Alloc block, or none.
template <typename Path>
void* ReadWholeFile(const Path* path, uint32_t& length) {
  ClassVFile file;
  if (path == nullptr || file.Open(path, VFILE_MODE_READ) == 0) {
    return nullptr;
  }
  length = file.Size();
  void* block = length == 0 ? nullptr : ClassVMemory::Alloc(length);
  if (block != nullptr && file.Read(block, length) == 0) {
    ClassVMemory::DeAlloc(block);
    block = nullptr;
  }
  file.Close();
  return block;
}

}  // namespace

// --- ClassVSound ----------------------------------------------------------------

ClassVSound::ClassVSound() {
  for (VSOUNDSLOT& slot : soundslots) {
    slot = VSOUNDSLOT{nullptr, nullptr, false};
  }
  for (VMUSICSLOT& slot : musicslots) {
    slot = VMUSICSLOT{nullptr, nullptr};
  }
  FreeRecords();
}

ClassVSound::~ClassVSound() {
  Close();
}

int ClassVSound::Open() {
  const int result = Open(44100, 16, true);
  return result == 0 ? 0 : Open(44100, 8, true);
}

int ClassVSound::Open(uint32_t rate, uint32_t bits, bool stereo) {
  Close();
  if (driver == nullptr) {
    driver = VSound_NewDriver();
    if (driver == nullptr) {
      return VSOUND_DRIVERERROR;
    }
  }
  open = true;
  suspended = false;
  muted = false;
  const int result = VSound_Open(driver, rate, bits, stereo, VSOUND_SOUNDCHANNELS, VSOUND_MUSICCHANNELS);
  if (result != 0) {
    open = false;
    return result;
  }
  // The mixer opens at full volume; it follows the module's volumes from the start.
  soundvolume = VSOUND_DEFAULTVOLUME;
  musicvolume = VSOUND_DEFAULTVOLUME;
  VSound_VolumeSound(driver, soundvolume);
  VSound_VolumeMusic(driver, musicvolume);
  FreeRecords();
  return VSOUND_OK;
}

void ClassVSound::Close() {
  StopSoundAll();
  StopMusicAll();
  if (driver != nullptr) {
    if (suspended) {
      VSound_Resume(driver);
    }
    // No mixing pass runs after this, so the slots' data can go.
    VSound_Close(driver);
  }
  for (uint32_t slot = 0; slot < VSOUND_SOUNDSLOTS; ++slot) {
    ReleaseSoundSlot(slot);
  }
  for (uint32_t slot = 0; slot < VSOUND_MUSICSLOTS; ++slot) {
    ReleaseMusicSlot(slot);
  }
  open = false;
  VSound_FreeDriver(driver);
  driver = nullptr;
}

int ClassVSound::LoadSoundEffect(uint32_t slot, void* data, uint32_t length) {
  if (!open) {
    return VSOUND_NOTOPEN;
  }
  if (slot >= VSOUND_SOUNDSLOTS) {
    return VSOUND_BADSLOT;
  }
  ReleaseSoundSlot(slot);
  VSOUNDSLOT& target = soundslots[slot];
  return FillSlot<SoundKind>(driver, target, target.sound, data, length);
}

int ClassVSound::LoadSoundEffect(uint32_t slot, const char16_t* path) {
  return LoadFromFile(Kind::Sound, slot, path);
}

int ClassVSound::LoadSoundEffect(uint32_t slot, const char* path) {
  return LoadFromFile(Kind::Sound, slot, path);
}

int ClassVSound::LoadMusic(uint32_t slot, void* data, uint32_t length) {
  if (!open) {
    return VSOUND_NOTOPEN;
  }
  if (slot >= VSOUND_MUSICSLOTS) {
    return VSOUND_BADSLOT;
  }
  ReleaseMusicSlot(slot);
  VMUSICSLOT& target = musicslots[slot];
  return FillSlot<MusicKind>(driver, target, target.music, data, length);
}

int ClassVSound::LoadMusic(uint32_t slot, const char16_t* path) {
  return LoadFromFile(Kind::Music, slot, path);
}

int ClassVSound::LoadMusic(uint32_t slot, const char* path) {
  return LoadFromFile(Kind::Music, slot, path);
}

void ClassVSound::FreeSoundEffect(uint32_t slot) {
  if (open && slot < VSOUND_SOUNDSLOTS) {
    ReleaseSoundSlot(slot);
  }
}

void ClassVSound::FreeMusic(uint32_t slot) {
  if (open && slot < VSOUND_MUSICSLOTS) {
    ReleaseMusicSlot(slot);
  }
}

int32_t ClassVSound::PlaySound(uint32_t slot, int32_t speed, int32_t pan, bool loop, uint32_t flags, uint32_t time) {
  if (!open || (suspended && !loop) || slot >= VSOUND_SOUNDSLOTS || soundslots[slot].sound == nullptr ||
      soundslots[slot].started) {
    return -1;
  }
  const int channel = VSound_PlaySound(driver, soundslots[slot].sound, speed, pan, loop);
  if (channel < 0 || channel >= VSOUND_SOUNDCHANNELS) {
    return -1;
  }
  soundslots[slot].started = true;
  VSOUNDCHANNEL& record = soundchannels[channel];
  record = VSOUNDCHANNEL{static_cast<int32_t>(slot), time, time, flags & kFadeFlags, loop};
  if ((flags & VSOUND_FADEIN) != 0) {
    record.position = 0;
    SetChannelVolume(Kind::Sound, channel, 0);
  }
  return channel;
}

int32_t ClassVSound::PlayMusic(uint32_t slot, bool loop, uint32_t flags, uint32_t time) {
  if (!open || (suspended && !loop)) {
    return -1;
  }
  if ((flags & VSOUND_CROSSFADE) != 0) {
    if (RankMusicChannels() >= 0) {
      for (int32_t channel = 0; channel < VSOUND_MUSICCHANNELS; ++channel) {
        if ((musicchannels[channel].fadeflags & VSOUND_FADEOUT) != 0) {
          StopMusicNow(channel);
        }
      }
      for (int32_t channel = 0; channel < VSOUND_MUSICCHANNELS; ++channel) {
        if (MusicSlotFilled(musicchannels[channel].slot)) {
          VSOUNDCHANNEL& record = musicchannels[channel];
          record.fadeflags = VSOUND_FADEOUT;
          record.position = time;
          record.duration = time;
        }
      }
    }
    const int32_t reused = PickCrossFadeChannel();
    if (MusicSlotFilled(musicchannels[reused].slot)) {
      StopMusicNow(reused);
    }
    flags |= VSOUND_FADEIN;
  } else if ((flags & VSOUND_KEEPMUSIC) == 0) {
    StopMusicNow(0);
    StopMusicNow(1);
  }
  if (slot >= VSOUND_MUSICSLOTS || musicslots[slot].music == nullptr) {
    return -1;
  }
  const int channel = VSound_PlayMusic(driver, musicslots[slot].music, loop);
  if (channel < 0 || channel >= VSOUND_MUSICCHANNELS) {
    return -1;
  }
  VSOUNDCHANNEL& record = musicchannels[channel];
  record = VSOUNDCHANNEL{static_cast<int32_t>(slot), time, time, flags & kFadeFlags, loop};
  if ((flags & VSOUND_FADEIN) != 0) {
    record.position = 0;
    SetChannelVolume(Kind::Music, channel, 0);
  }
  if ((flags & VSOUND_CROSSFADE) != 0) {
    // Silent for the first eighth of the fade while the old music falls.
    record.position -= time / 8;
  }
  return channel;
}

void ClassVSound::StopSound(uint32_t slot, uint32_t flags, uint32_t time) {
  for (int32_t channel = 0; channel < VSOUND_SOUNDCHANNELS; ++channel) {
    if (slot < VSOUND_SOUNDSLOTS && soundchannels[channel].slot == static_cast<int32_t>(slot)) {
      StopSoundChannel(channel, flags, time);
    }
  }
}

void ClassVSound::StopSoundAll(uint32_t flags, uint32_t time) {
  for (int32_t channel = 0; channel < VSOUND_SOUNDCHANNELS; ++channel) {
    StopSoundChannel(channel, flags, time);
  }
}

void ClassVSound::StopSoundChannel(int32_t channel, uint32_t flags, uint32_t time) {
  if (!open || channel < 0 || channel >= VSOUND_SOUNDCHANNELS) {
    return;
  }
  if (flags == VSOUND_STOPFADEIN || flags == VSOUND_STOPFADEOUT) {
    StartStopFade(soundchannels[channel], flags, time);
  } else {
    StopSoundNow(channel);
  }
}

void ClassVSound::StopMusic(uint32_t slot, uint32_t flags, uint32_t time) {
  for (int32_t channel = 0; channel < VSOUND_MUSICCHANNELS; ++channel) {
    if (slot < VSOUND_MUSICSLOTS && musicchannels[channel].slot == static_cast<int32_t>(slot)) {
      StopMusicChannel(channel, flags, time);
    }
  }
}

void ClassVSound::StopMusicAll(uint32_t flags, uint32_t time) {
  for (int32_t channel = 0; channel < VSOUND_MUSICCHANNELS; ++channel) {
    StopMusicChannel(channel, flags, time);
  }
}

void ClassVSound::StopMusicChannel(int32_t channel, uint32_t flags, uint32_t time) {
  if (!open || channel < 0 || channel >= VSOUND_MUSICCHANNELS) {
    return;
  }
  if (flags == VSOUND_STOPFADEIN || flags == VSOUND_STOPFADEOUT) {
    StartStopFade(musicchannels[channel], flags, time);
  } else {
    StopMusicNow(channel);
  }
}

int32_t ClassVSound::MusicPlaying() const {
  const int32_t channel = RankMusicChannels();
  return channel < 0 ? -1 : musicchannels[channel].slot;
}

void ClassVSound::SetSoundVolume(uint32_t volume) {
  const auto clamped = static_cast<uint8_t>(volume > kMaxVolume ? kMaxVolume : volume);
  if (open && clamped != soundvolume) {
    soundvolume = clamped;
    VSound_VolumeSound(driver, soundvolume);
  }
}

void ClassVSound::SetMusicVolume(uint32_t volume) {
  const auto clamped = static_cast<uint8_t>(volume > kMaxVolume ? kMaxVolume : volume);
  if (open && clamped != musicvolume) {
    musicvolume = clamped;
    VSound_VolumeMusic(driver, musicvolume);
  }
}

uint8_t ClassVSound::GetSoundVolume() const {
  return soundvolume;
}

uint8_t ClassVSound::GetMusicVolume() const {
  return musicvolume;
}

void ClassVSound::Suspend() {
  if (open && !suspended) {
    VSound_Suspend(driver);
  }
  suspended = true;
}

void ClassVSound::Resume() {
  if (muted) {
    return;
  }
  if (open && suspended) {
    VSound_Resume(driver);
  }
  suspended = false;
}

void ClassVSound::SetMute(bool mute) {
  if (mute) {
    if (open && !suspended) {
      VSound_Suspend(driver);
    }
    muted = true;
    suspended = true;
    return;
  }
  muted = false;
  Resume();
}

void ClassVSound::Update(uint32_t elapsed) {
  if (!open) {
    return;
  }
  for (VSOUNDSLOT& slot : soundslots) {
    slot.started = false;
  }
  for (int32_t channel = 0; channel < VSOUND_SOUNDCHANNELS; ++channel) {
    VSOUNDCHANNEL& record = soundchannels[channel];
    if (SoundSlotFilled(record.slot) && record.fadeflags != 0) {
      Fade(Kind::Sound, channel, record, elapsed);
    }
  }
  for (int32_t channel = 0; channel < VSOUND_MUSICCHANNELS; ++channel) {
    VSOUNDCHANNEL& record = musicchannels[channel];
    if (MusicSlotFilled(record.slot) && record.fadeflags != 0) {
      Fade(Kind::Music, channel, record, elapsed);
    }
  }
  VSound_Update(driver, elapsed);
}

bool ClassVSound::IsOpen() const {
  return open;
}

bool ClassVSound::IsSuspended() const {
  return suspended;
}

bool ClassVSound::IsMuted() const {
  return muted;
}

mxrSpeaker* ClassVSound::GetDriver() const {
  return driver;
}

// --- private --------------------------------------------------------------------

template <typename Path>
int ClassVSound::LoadFromFile(Kind kind, uint32_t slot, const Path* path) {
  const uint32_t slots = kind == Kind::Sound ? VSOUND_SOUNDSLOTS : VSOUND_MUSICSLOTS;
  if (!open) {
    return VSOUND_NOTOPEN;
  }
  if (slot >= slots) {
    return VSOUND_BADSLOT;
  }
  uint32_t length = 0;
  void* block = ReadWholeFile(path, length);
  if (block == nullptr) {
    return VSOUND_NOFILE;
  }
  const int result = kind == Kind::Sound ? LoadSoundEffect(slot, block, length) : LoadMusic(slot, block, length);
  if (result != VSOUND_OK) {
    ClassVMemory::DeAlloc(block);
  }
  return result;
}

void ClassVSound::ReleaseSoundSlot(uint32_t slot) {
  // The stops wait out a mixing pass that may still read the data.
  for (int32_t channel = 0; channel < VSOUND_SOUNDCHANNELS; ++channel) {
    if (soundchannels[channel].slot == static_cast<int32_t>(slot)) {
      StopSoundNow(channel);
    }
  }
  VSOUNDSLOT& target = soundslots[slot];
  VSound_FreeSound(driver, target.sound);
  ClassVMemory::DeAlloc(target.data);
  target = VSOUNDSLOT{nullptr, nullptr, false};
}

void ClassVSound::ReleaseMusicSlot(uint32_t slot) {
  for (int32_t channel = 0; channel < VSOUND_MUSICCHANNELS; ++channel) {
    if (musicchannels[channel].slot == static_cast<int32_t>(slot)) {
      StopMusicNow(channel);
    }
  }
  VMUSICSLOT& target = musicslots[slot];
  VSound_FreeMusic(driver, target.music);
  ClassVMemory::DeAlloc(target.data);
  target = VMUSICSLOT{nullptr, nullptr};
}

bool ClassVSound::SoundSlotFilled(int32_t slot) const {
  return slot >= 0 && slot < static_cast<int32_t>(VSOUND_SOUNDSLOTS) && soundslots[slot].sound != nullptr;
}

bool ClassVSound::MusicSlotFilled(int32_t slot) const {
  return slot >= 0 && slot < static_cast<int32_t>(VSOUND_MUSICSLOTS) && musicslots[slot].music != nullptr;
}

void ClassVSound::StopSoundNow(int32_t channel) {
  const int32_t slot = soundchannels[channel].slot;
  VSound_StopSound(driver, SoundSlotFilled(slot) ? soundslots[slot].sound : nullptr, channel);
  soundchannels[channel] = kFreeRecord;
}

void ClassVSound::StopMusicNow(int32_t channel) {
  const int32_t slot = musicchannels[channel].slot;
  VSound_StopMusic(driver, MusicSlotFilled(slot) ? musicslots[slot].music : nullptr, channel);
  musicchannels[channel] = kFreeRecord;
}

void ClassVSound::SetChannelVolume(Kind kind, int32_t channel, uint32_t volume) {
  if (kind == Kind::Sound) {
    const int32_t slot = soundchannels[channel].slot;
    VSound_ChannelSoundVolume(driver, SoundSlotFilled(slot) ? soundslots[slot].sound : nullptr, channel, volume);
  } else {
    const int32_t slot = musicchannels[channel].slot;
    VSound_ChannelMusicVolume(driver, MusicSlotFilled(slot) ? musicslots[slot].music : nullptr, channel, volume);
  }
}

void ClassVSound::StartStopFade(VSOUNDCHANNEL& record, uint32_t flags, uint32_t time) {
  record.fadeflags = flags;
  record.duration = time;
  record.position = flags == VSOUND_STOPFADEIN ? 0 : time;
}

void ClassVSound::Fade(Kind kind, int32_t channel, VSOUNDCHANNEL& record, uint32_t elapsed) {
  if ((record.fadeflags & VSOUND_FADEIN) != 0) {
    record.position += elapsed;
    if (record.position >= record.duration) {
      // The end of a fade-in is full volume, however coarse the frames were.
      record.fadeflags &= ~VSOUND_FADEIN;
      record.position = record.duration;
      SetChannelVolume(kind, channel, kMaxVolume);
    }
  }
  if ((record.fadeflags & VSOUND_FADEOUT) != 0) {
    if (static_cast<int64_t>(elapsed) < record.position) {
      record.position -= elapsed;
    } else {
      if (kind == Kind::Sound) {
        StopSoundNow(channel);
      } else {
        StopMusicNow(channel);
      }
      return;
    }
  }
  if (record.position > 0 && record.position < record.duration) {
    SetChannelVolume(kind, channel, static_cast<uint32_t>(record.position * kMaxVolume / record.duration));
  }
}

int32_t ClassVSound::RankMusicChannels() const {
  int32_t best = -1;
  int64_t bestweight = 0;
  for (int32_t channel = 0; channel < VSOUND_MUSICCHANNELS; ++channel) {
    const VSOUNDCHANNEL& record = musicchannels[channel];
    if (!MusicSlotFilled(record.slot) || (record.fadeflags & VSOUND_FADEOUT) != 0) {
      continue;
    }
    const bool risingpart = (record.fadeflags & VSOUND_FADEIN) != 0 && record.duration != 0;
    int64_t weight = risingpart ? record.position * kRankFull / record.duration : kRankFull;
    weight += record.loop ? kRankLooping : 0;
    if (best < 0 || weight < bestweight) {
      best = channel;
      bestweight = weight;
    }
  }
  return best;
}

int32_t ClassVSound::PickCrossFadeChannel() const {
  int32_t taken = -1;
  for (int32_t channel = 0; channel < VSOUND_MUSICCHANNELS; ++channel) {
    const VSOUNDCHANNEL& record = musicchannels[channel];
    if (!MusicSlotFilled(record.slot)) {
      taken = channel;
    } else if (!record.loop && taken < 0) {
      taken = channel;
    }
  }
  return taken < 0 ? VSOUND_MUSICCHANNELS - 1 : taken;
}

void ClassVSound::FreeRecords() {
  for (VSOUNDCHANNEL& record : soundchannels) {
    record = kFreeRecord;
  }
  for (VSOUNDCHANNEL& record : musicchannels) {
    record = kFreeRecord;
  }
}

// --- driver glue ------------------------------------------------------------------

mxrSpeaker* VSound_NewDriver() {
  return new (std::nothrow) mxrSpeaker;
}

void VSound_FreeDriver(mxrSpeaker* driver) {
  delete driver;
}

int VSound_Open(mxrSpeaker* driver, uint32_t rate, uint32_t bits, bool stereo, int32_t soundchannels,
                int32_t musicchannels) {
  if (driver == nullptr || soundchannels < 0 || musicchannels < 0) {
    return 1;
  }
  return driver->open(rate, bits, stereo, static_cast<unsigned>(musicchannels), static_cast<unsigned>(soundchannels)) == 0
             ? 0
             : 1;
}

void VSound_Close(mxrSpeaker* driver) {
  if (driver != nullptr) {
    driver->close();
  }
}

void VSound_Suspend(mxrSpeaker* driver) {
  if (driver != nullptr) {
    driver->suspend();
  }
}

void VSound_Resume(mxrSpeaker* driver) {
  if (driver != nullptr) {
    driver->resume();
  }
}

int VSound_KeepFilePointers() {
  return 1;
}

mxrSound* VSound_NewSound(mxrSpeaker*) {
  return new (std::nothrow) mxrSound;
}

int VSound_LoadSound(mxrSpeaker*, mxrSound* sound, const void* data, uint32_t length) {
  return sound != nullptr && sound->load(data, length, false) == MXR_WAV_OK ? 0 : 1;
}

void VSound_FreeSound(mxrSpeaker*, mxrSound* sound) {
  delete sound;
}

mxrMusic* VSound_NewMusic(mxrSpeaker*) {
  return new (std::nothrow) mxrMusic;
}

int VSound_LoadMusic(mxrSpeaker*, mxrMusic* music, const void* data, uint32_t length) {
  return music != nullptr && music->load(data, length, false) == MXR_MOD_OK ? 0 : 1;
}

void VSound_FreeMusic(mxrSpeaker*, mxrMusic* music) {
  delete music;
}

void VSound_VolumeSound(mxrSpeaker* driver, uint32_t volume) {
  if (driver != nullptr) {
    driver->volumeSounds(MixerVolume(volume));
  }
}

void VSound_VolumeMusic(mxrSpeaker* driver, uint32_t volume) {
  if (driver != nullptr) {
    driver->volumeMusics(MixerVolume(volume));
  }
}

int VSound_PlaySound(mxrSpeaker* driver, mxrSound* sound, int32_t speed, int32_t pan, bool loop) {
  if (driver == nullptr || sound == nullptr) {
    return MXR_SPEAKER_NOCHANNEL;
  }
  sound->loop(loop);
  // Started paused, so no pass mixes it before its pan and speed are set.
  const int index = driver->playSound(sound, MXR_PLAY_ANYCHANNEL | MXR_PLAY_PAUSED);
  if (index < 0) {
    return index;
  }
  mxrChannel* channel = driver->channel(index);
  if (pan != 0) {
    const int32_t placed = pan + static_cast<int32_t>(kCentrePan);
    channel->pan(placed < 0 ? 0u : static_cast<unsigned>(placed));
  }
  if (speed != 0) {
    const int64_t scaled = int64_t{speed} + kSpeedBias;
    channel->speed(scaled < 0 ? 0u : static_cast<unsigned>(scaled));
  }
  channel->resume();
  return index - driver->maxChannelMusics();
}

int VSound_PlayMusic(mxrSpeaker* driver, mxrMusic* music, bool loop) {
  if (driver == nullptr || music == nullptr) {
    return MXR_SPEAKER_NOCHANNEL;
  }
  music->loop(loop);
  return driver->playMusic(music, MXR_PLAY_ANYCHANNEL);
}

void VSound_StopSound(mxrSpeaker* driver, mxrSound*, int32_t channel) {
  if (driver != nullptr && channel >= 0) {
    if (mxrChannel* target = driver->channel(channel + driver->maxChannelMusics())) {
      target->stop();
    }
  }
}

void VSound_StopMusic(mxrSpeaker* driver, mxrMusic*, int32_t channel) {
  if (driver != nullptr && channel >= 0 && channel < driver->maxChannelMusics()) {
    driver->channel(channel)->stop();
  }
}

void VSound_ChannelSoundVolume(mxrSpeaker* driver, mxrSound*, int32_t channel, uint32_t volume) {
  if (driver != nullptr && channel >= 0) {
    if (mxrChannel* target = driver->channel(channel + driver->maxChannelMusics())) {
      target->volume(MixerVolume(volume));
    }
  }
}

void VSound_ChannelMusicVolume(mxrSpeaker* driver, mxrMusic*, int32_t channel, uint32_t volume) {
  if (driver != nullptr && channel >= 0 && channel < driver->maxChannelMusics()) {
    driver->channel(channel)->volume(MixerVolume(volume));
  }
}

void VSound_Update(mxrSpeaker*, uint32_t) {}

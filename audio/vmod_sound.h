// vmod_sound.h - the framework's sound module: sound effects and tunes kept
// in numbered slots, played on numbered channels with fade-in, fade-out and
// cross-fade, driven once per frame by Update.
//
// The module mixes nothing itself: it talks to its driver through the
// VSound_ functions below, which map every call onto the mixer (mxrSpeaker)
// and its sound (mxrSound) and tune (mxrMusic) objects. Every operation runs
// on the game thread; the driver calls that touch channels enter the mixer's
// critical section, so the module's own state needs no lock.
// Times (fade durations, Update's elapsed) are in the frame loop's unit, ms.
// Depends on: audio/mxrSpeaker.h, audio/mxrChannel.h (mxrMusic),
// audio/mxrData.h (mxrSound), resources/vmod_file.h (path loads),
// util/vmod_memory.h (the data blocks the module owns).
#pragma once

#include <cstdint>

class mxrMusic;
class mxrSound;
class mxrSpeaker;

constexpr uint32_t VSOUND_SOUNDSLOTS = 256;
constexpr uint32_t VSOUND_MUSICSLOTS = 32;
constexpr int32_t VSOUND_SOUNDCHANNELS = 8;
constexpr int32_t VSOUND_MUSICCHANNELS = 2;
constexpr uint8_t VSOUND_DEFAULTVOLUME = 96;  // both volumes after Open

// Fade flags of PlaySound and PlayMusic (the first two also in channel records).
constexpr uint32_t VSOUND_FADEIN = 1;      // start silent, rise over the time
constexpr uint32_t VSOUND_FADEOUT = 2;     // fall over the time, then stop
constexpr uint32_t VSOUND_CROSSFADE = 4;   // PlayMusic: fade out the music playing, fade this in
constexpr uint32_t VSOUND_KEEPMUSIC = 8;   // PlayMusic: leave other music playing
// Flags of the stop operations.
constexpr uint32_t VSOUND_STOPNOW = 0;     // 3 does the same
constexpr uint32_t VSOUND_STOPFADEIN = 1;  // restart a fade-in from silence
constexpr uint32_t VSOUND_STOPFADEOUT = 2; // fade out, then stop

// Results of Open and the loads.
constexpr int VSOUND_OK = 0;
constexpr int VSOUND_DRIVERERROR = 1; // the driver or a driver object could not be made, or did not load
constexpr int VSOUND_NOFILE = 2;     // a path load found no readable, non-empty file (or no memory for it)
constexpr int VSOUND_BADSLOT = 4;    // slot number out of range
constexpr int VSOUND_NOTOPEN = 10;

struct VSOUNDSLOT {
  mxrSound* sound;     // driver sound object, or none
  void* data;          // the block it plays from (owned), or none
  bool started;        // started since the last Update
};

struct VMUSICSLOT {
  mxrMusic* music;     // driver music object, or none
  void* data;          // its block (owned), or none
};

struct VSOUNDCHANNEL {
  int32_t slot;        // what plays on the channel, -1 none
  int64_t duration;    // of the fade
  int64_t position;    // in the fade; signed: a cross-fade starts below 0
  uint32_t fadeflags;  // VSOUND_FADEIN, VSOUND_FADEOUT
  bool loop;
};

class ClassVSound {
 public:
  ClassVSound();                                            // empty slots, free channels, no driver, closed
  ~ClassVSound();                                           // Close
  ClassVSound(const ClassVSound&) = delete;
  ClassVSound& operator=(const ClassVSound&) = delete;

  int Open();                                               // 44100 Hz 16-bit stereo, else 8-bit stereo
  int Open(uint32_t rate, uint32_t bits, bool stereo);      // 0, VSOUND_DRIVERERROR, or the driver's code
  void Close();                                             // stops, frees every slot, deletes the driver

  int LoadSoundEffect(uint32_t slot, void* data, uint32_t length); // 0: the module owns data (an Alloc block)
  int LoadSoundEffect(uint32_t slot, const char16_t* path); // reads the whole file, read-only
  int LoadSoundEffect(uint32_t slot, const char* path);
  int LoadMusic(uint32_t slot, void* data, uint32_t length); // slots 0..31; the same ownership
  int LoadMusic(uint32_t slot, const char16_t* path);
  int LoadMusic(uint32_t slot, const char* path);
  void FreeSoundEffect(uint32_t slot);                      // stops its channels, frees object and block
  void FreeMusic(uint32_t slot);

  int32_t PlaySound(uint32_t slot, int32_t speed = 0, int32_t pan = 0, bool loop = false, uint32_t flags = 0,
                    uint32_t time = 0);                     // sound channel 0..7, or -1
  int32_t PlayMusic(uint32_t slot, bool loop, uint32_t flags = 0, uint32_t time = 0); // music channel 0..1, or -1
  void StopSound(uint32_t slot, uint32_t flags = VSOUND_STOPNOW, uint32_t time = 0);
  void StopSoundAll(uint32_t flags = VSOUND_STOPNOW, uint32_t time = 0);
  void StopSoundChannel(int32_t channel, uint32_t flags = VSOUND_STOPNOW, uint32_t time = 0); // 0..7; others ignored
  void StopMusic(uint32_t slot, uint32_t flags = VSOUND_STOPNOW, uint32_t time = 0);
  void StopMusicAll(uint32_t flags = VSOUND_STOPNOW, uint32_t time = 0);
  void StopMusicChannel(int32_t channel, uint32_t flags = VSOUND_STOPNOW, uint32_t time = 0); // 0..1; others ignored
  int32_t MusicPlaying() const;                             // slot of the first-ranked music channel, or -1

  void SetSoundVolume(uint32_t volume);                     // 0..255 (clamped)
  void SetMusicVolume(uint32_t volume);
  uint8_t GetSoundVolume() const;
  uint8_t GetMusicVolume() const;
  void Suspend();                                           // pause all output
  void Resume();                                            // continue, unless muted
  void SetMute(bool mute);
  void Update(uint32_t elapsed);                            // once per frame: fades, one-start-per-frame reset

  bool IsOpen() const;
  bool IsSuspended() const;
  bool IsMuted() const;
  mxrSpeaker* GetDriver() const;                            // the mixer, or none

 private:
  enum class Kind : uint8_t { Sound, Music };

  template <typename Path>
  int LoadFromFile(Kind kind, uint32_t slot, const Path* path);
  void ReleaseSoundSlot(uint32_t slot);                     // stops its channels, frees it (open or not)
  void ReleaseMusicSlot(uint32_t slot);
  bool SoundSlotFilled(int32_t slot) const;
  bool MusicSlotFilled(int32_t slot) const;
  void StopSoundNow(int32_t channel);                       // stops the channel and frees its record
  void StopMusicNow(int32_t channel);
  void SetChannelVolume(Kind kind, int32_t channel, uint32_t volume); // 0..255
  void StartStopFade(VSOUNDCHANNEL& record, uint32_t flags, uint32_t time);
  void Fade(Kind kind, int32_t channel, VSOUNDCHANNEL& record, uint32_t elapsed); // may stop the channel
  int32_t RankMusicChannels() const;                        // first-ranked music channel, or -1
  int32_t PickCrossFadeChannel() const;
  void FreeRecords();

  VSOUNDSLOT soundslots[VSOUND_SOUNDSLOTS];
  VMUSICSLOT musicslots[VSOUND_MUSICSLOTS];
  VSOUNDCHANNEL soundchannels[VSOUND_SOUNDCHANNELS];
  VSOUNDCHANNEL musicchannels[VSOUND_MUSICCHANNELS];
  mxrSpeaker* driver = nullptr;
  uint8_t soundvolume = 0;
  uint8_t musicvolume = 0;
  bool open = false;
  bool suspended = false;
  bool muted = false;
};

// Driver glue: the module's driver is an mxrSpeaker. Channel numbers are the
// module's (sound channels 0..7, music channels 0..1); a negative one does nothing.
mxrSpeaker* VSound_NewDriver();                              // none when memory runs out
void VSound_FreeDriver(mxrSpeaker* driver);                  // none allowed
int VSound_Open(mxrSpeaker* driver, uint32_t rate, uint32_t bits, bool stereo, int32_t soundchannels,
                int32_t musicchannels);                      // 0, or 1 on any failure
void VSound_Close(mxrSpeaker* driver);
void VSound_Suspend(mxrSpeaker* driver);
void VSound_Resume(mxrSpeaker* driver);
int VSound_KeepFilePointers();                               // 1: driver objects play from the loaded block
mxrSound* VSound_NewSound(mxrSpeaker* driver);
int VSound_LoadSound(mxrSpeaker* driver, mxrSound* sound, const void* data, uint32_t length); // parsed in place; 0 or 1
void VSound_FreeSound(mxrSpeaker* driver, mxrSound* sound);  // none allowed
mxrMusic* VSound_NewMusic(mxrSpeaker* driver);
int VSound_LoadMusic(mxrSpeaker* driver, mxrMusic* music, const void* data, uint32_t length); // parsed in place; 0 or 1
void VSound_FreeMusic(mxrSpeaker* driver, mxrMusic* music);  // none allowed
void VSound_VolumeSound(mxrSpeaker* driver, uint32_t volume); // 0..255 -> global 0..64
void VSound_VolumeMusic(mxrSpeaker* driver, uint32_t volume);
int VSound_PlaySound(mxrSpeaker* driver, mxrSound* sound, int32_t speed, int32_t pan, bool loop); // sound channel, or negative
int VSound_PlayMusic(mxrSpeaker* driver, mxrMusic* music, bool loop); // music channel, or negative
void VSound_StopSound(mxrSpeaker* driver, mxrSound* sound, int32_t channel);
void VSound_StopMusic(mxrSpeaker* driver, mxrMusic* music, int32_t channel);
void VSound_ChannelSoundVolume(mxrSpeaker* driver, mxrSound* sound, int32_t channel, uint32_t volume); // 0..255
void VSound_ChannelMusicVolume(mxrSpeaker* driver, mxrMusic* music, int32_t channel, uint32_t volume);
void VSound_Update(mxrSpeaker* driver, uint32_t elapsed);    // nothing: the mixer keeps its own time

// mxrSpeaker.h - the software mixer: a pool of music channels and a pool of
// sound channels, summed in fixed point into the output driver's buffers.
//
// The output driver (mxrGP2X) calls audioCallback from its own thread for every
// fragment; the pass (updateModSFX) runs there, inside the driver's critical
// section. Every operation that changes channel state enters that section, so
// the pass never sees a channel half set up. Mixer channel indexes put the
// music channels first (0 .. music - 1), then the sound channels.
// Music channels play MOD tunes: the pass advances each song and adds its
// tracks at full scale beside the sounds' sums scaled down by 128.
// Tunable: the driver's buffer length, 200 ms by default.
// Depends on: audio/mxrChannel.h, audio/mxrData.h (mxrSound),
// audio/mxrGP2X.h (the output driver).
#pragma once

#include <cstdint>

#include "audio/mxrChannel.h"

class mxrDriver;
class mxrMusic;
class mxrSound;

// Results beyond 0 (the driver's own codes, -1 .. -11, pass through open).
constexpr int MXR_SPEAKER_ALREADYOPEN = -2;     // open while open, or a buffer length change while open
constexpr int MXR_SPEAKER_NODRIVER = -5;        // the output driver could not be created
constexpr int MXR_SPEAKER_NOMEMORY = -10;       // a channel pool could not be allocated
constexpr int MXR_SPEAKER_NOCHANNEL = -1000;    // no channel, or nothing to play
constexpr int MXR_SPEAKER_BUFFERTOOSHORT = -10000; // buffer length below 60 ms

// Flags of playSound and playMusic.
constexpr unsigned MXR_PLAY_ANYCHANNEL = 0x10000000;  // any free channel; else the low 16 bits name one
constexpr unsigned MXR_PLAY_PAUSED = 0x20000000;      // start paused
constexpr unsigned MXR_PLAY_CHANNELMASK = 0xFFFF;

constexpr unsigned MXR_MINBUFFERMS = 60;
constexpr unsigned MXR_DEFAULTBUFFERMS = 200;
constexpr unsigned MXR_MAXMUSICCHANNELS = 64;         // music channels: 1 .. 64
constexpr unsigned MXR_MINSOUNDCHANNELS = 8;          // sound channels: 8 .. 128
constexpr unsigned MXR_MAXSOUNDCHANNELS = 128;
constexpr unsigned MXR_PERIODS = 1713;                // Amiga periods 0 .. 1712 in the note index table

class mxrSpeaker {
 public:
  mxrSpeaker();                                             // closed, 200 ms buffer, volumes 0, no channels
  virtual ~mxrSpeaker();                                    // closes
  mxrSpeaker(const mxrSpeaker&) = delete;
  mxrSpeaker& operator=(const mxrSpeaker&) = delete;

  int open(unsigned rate, unsigned bits, bool stereo, unsigned musics, unsigned sounds); // 0 or MXR_SPEAKER_* / driver code; bits 8 = unsigned 8-bit, else signed 16-bit
  void close();                                             // stops the driver, deletes driver and channels
  int bufferLength(unsigned ms);                            // 0; -2 while open, -10000 below 60 ms
  unsigned bufferLength() const;                            // ms

  mxrChannel* channel(int index);                           // music channels first, then sounds; null out of range
  int maxChannelMusics() const;
  int maxChannelSounds() const;
  int playingChannelMusics() const;
  int playingChannelSounds() const;

  int playSound(const mxrSound* sound, unsigned flags);     // mixer channel index, or -1000
  int playMusic(const mxrMusic* music, unsigned flags);     // music channel index, or -1000 (also for a song of no orders)
  void stopSounds();                                        // every sound channel, inside the critical section
  void stopMusics();
  void pauseSounds();
  void unpauseSounds();
  void pauseMusics();
  void unpauseMusics();
  void suspend();                                           // the driver stops producing output
  void resume();                                            // and starts again
  void volumeSounds(unsigned v);                            // global sound volume 0..64 (clamped); channels follow
  unsigned volumeSounds() const;
  void volumeMusics(unsigned v);                            // global music volume 0..64 (clamped); channels follow
  unsigned volumeMusics() const;

  static void audioCallback(void* user, void* buffer, unsigned bytes); // the driver's callback: updateModSFX on user
  void updateModSFX(void* buffer, unsigned bytes);          // the mixing pass: fills bytes of output

  void createTables(unsigned rate);                         // the period tables for an output rate
  int findBestNoteIndex(unsigned period) const;             // note 0..83 of finetune row 0 nearest to period
  uint32_t periodStep(unsigned period) const;               // step table: 20.12 sample advance per output sample, periods 0..4095; 0 beyond
  uint8_t noteIndex(unsigned period) const;                 // note index table; 0 beyond 1712

  void enterCriticalSection();                              // keeps the pass out (nothing without a driver)
  void leaveCriticalSection();
  mxrDriver* driver() const;                                // the output driver, or none (a threadless front end pumps it)
  bool isOpen() const;
  unsigned rate() const;                                    // Hz
  bool stereo() const;
  bool sixteenBit() const;

 private:
  mxrSoundChannel* pickSoundChannel(const mxrSound& sound, unsigned flags); // inside the critical section
  mxrMusicChannel* pickMusicChannel(unsigned flags);
  bool allocateChannels(unsigned musics, unsigned sounds);  // false when memory runs out
  void deleteChannels();
  template <typename Action>
  void forEachSoundChannel(Action action);                  // inside the critical section
  template <typename Action>
  void forEachMusicChannel(Action action);
  int collectPlaying();                                     // fills the scratch lists; channels collected
  void mixFrames(uint8_t* out, uint32_t frames);            // sums and stores frames of output, chunk by chunk
  bool mixMusic(int32_t* left, int32_t* right, uint32_t frames, mxrOutputLayout layout); // false when no tune played
  void fillSilence(uint8_t* out, uint32_t bytes) const;

  mxrDriver* driver_ = nullptr;                             // owned
  bool open_ = false;
  unsigned musiccount_ = 0;
  mxrMusicChannel* musics_ = nullptr;                       // owned, musiccount_ channels
  mxrMusicChannel** playingmusics_ = nullptr;               // scratch of the pass, one pointer per channel
  unsigned soundcount_ = 0;
  mxrSoundChannel* sounds_ = nullptr;                       // owned, soundcount_ channels
  mxrSoundChannel** playingsounds_ = nullptr;               // scratch of the pass
  unsigned playingmusiccount_ = 0;                          // entries of the scratch lists in use
  unsigned playingsoundcount_ = 0;
  uint32_t periodsteps_[MXR_MOD_MAXPERIOD + 1] = {};        // 20.12 step per Amiga period
  uint8_t noteindexes_[MXR_PERIODS] = {};                   // nearest note per Amiga period
  unsigned musicvolume_ = 0;                                // global, 0..64
  unsigned soundvolume_ = 0;                                // global, 0..64
  unsigned rate_ = 0;                                       // output Hz
  bool stereo_ = false;
  bool sixteenbit_ = false;
  unsigned bufferlength_ = MXR_DEFAULTBUFFERMS;             // ms
};

// mxrChannel.h - the mixer's channels: one sound channel plays one PCM sample,
// one music channel plays one tune.
//
// A channel is free when it is stopped and not paused, playing when neither.
// Two threads meet here: the game thread sets volume, pan, speed, frequency
// and loop with plain stores (every such word is an atomic, since the mixing
// pass reads it at the same time), while starting, stopping, pausing and
// resuming go through the output driver's critical section, which the mixing
// pass runs inside. So once stop() returns, no pass reads the channel's
// sample data any more and the caller may free it.
// A music channel is a MOD player: it plays one tune (mxrMusic) tick by
// tick, its state touched only by the pass and by operations inside the
// critical section.
// Depends on: audio/mxrData.h (mxrSound, mxrMusic), mxrSpeaker (global
// volumes, the critical section, the output rate, the period tables).
#pragma once

#include <atomic>
#include <cstdint>

#include "audio/mxrData.h"

class mxrSpeaker;

class mxrChannel {
 public:
  mxrChannel() = default;
  virtual ~mxrChannel() = default;
  mxrChannel(const mxrChannel&) = delete;
  mxrChannel& operator=(const mxrChannel&) = delete;

  virtual void volume(unsigned v);          // 0..64 (clamped); effective volume = v x the kind's global volume / 64
  virtual void pan(unsigned p);             // 0..255 (clamped), 128 centre
  virtual void position(unsigned p) = 0;    // moves playback (frames for sounds, rows for music)
  virtual unsigned position() = 0;          // where playback is, in the same unit
  virtual unsigned length() = 0;            // what there is to play, in the same unit

  // Start, stop, pause and resume enter the critical section: the pass also
  // stops channels, and a pause must not land on a channel it just stopped.
  void play(bool paused);                   // clears stopped, sets paused as given
  void stop();                              // sets stopped, clears paused; afterwards no pass reads the channel
  void pause();                             // only on a channel that is not stopped
  void resume();                            // only on a channel that is not stopped
  bool playing() const;                     // neither stopped nor paused
  bool paused() const;
  bool isFree() const;                      // stopped and not paused
  void loop(bool b);
  bool loop() const;
  void frequency(unsigned f);               // Hz; speed follows = (f x 65536 / base rate) / 512
  unsigned frequency() const;
  void speed(unsigned s);                   // 1/128 of the base rate; frequency follows = base rate x s / 128
  unsigned speed() const;
  unsigned volume() const;                  // as set, 0..64
  unsigned effectiveVolume() const;         // what the pass multiplies by, 0..64
  unsigned pan() const;
  unsigned baseRate() const;                // Hz, the sample's own rate

 protected:
  friend class mxrSpeaker;

  void attach(mxrSpeaker* speaker, const unsigned* globalvolume); // the mixer and the global volume of this kind
  void enterSection();                      // the speaker's critical section (none before attach)
  void leaveSection();
  // The same for callers already inside the critical section (the pass, the
  // speaker's bulk operations).
  void start(bool paused);
  void halt();
  void storePaused(bool paused);            // only on a channel that is not stopped
  void storeVolume(unsigned v);             // volume(v) without any lock
  void storePan(unsigned p);                // pan(p) without any lock
  void storeRate(unsigned baserate, unsigned frequency, unsigned speed); // a new sample's rates; marks the step dirty
  bool takeStepDirty();                     // true once after every rate change (the pass recomputes its step)

  mxrSpeaker* speaker_ = nullptr;           // owner (back pointer)
  std::atomic<unsigned> volume_{0};         // 0..64, as set
  std::atomic<unsigned> effectivevolume_{0}; // volume x global volume / 64
  std::atomic<unsigned> pan_{MXR_CENTREPAN}; // 0..255
  std::atomic<bool> loop_{false};
  std::atomic<bool> paused_{false};
  std::atomic<bool> stopped_{true};
  unsigned baserate_ = 0;                   // Hz; set inside the critical section, read by the game thread only
  std::atomic<unsigned> frequency_{0};      // Hz
  std::atomic<bool> stepdirty_{false};      // frequency changed since the pass last worked out the step
  std::atomic<unsigned> speed_{MXR_NORMALSPEED}; // 1/128 units
  const unsigned* globalvolume_ = nullptr;  // the speaker's global volume of this kind (game thread only)
};

// How the mixing pass lays out its sums: mono output, or stereo output.
enum class mxrOutputLayout : uint8_t { Mono, Stereo };

class mxrSoundChannel : public mxrChannel {
 public:
  void position(unsigned frames) override;  // moves to a frame (clamped to the end); inside the critical section
  unsigned position() override;             // current frame; inside the critical section
  unsigned length() override;               // frames of the sample
  const uint8_t* data() const;              // sample data of the current (or last) sound
  bool eightBit() const;                    // unsigned 8-bit samples, else signed 16-bit
  bool stereo() const;                      // interleaved left, right frames

 private:
  friend class mxrSpeaker;

  void assign(const mxrSound& sound);       // takes over the sound's data and settings (inside the critical section)
  void mix(int32_t* left, int32_t* right, uint32_t frames, uint32_t outputrate, mxrOutputLayout layout); // adds into the pass's sums

  const uint8_t* data_ = nullptr;           // first frame
  // Positions are 24.8 fixed point in frames. They are kept in 64 bits so no
  // step the frequency can produce makes position + step wrap.
  uint64_t position_ = 0;
  uint64_t step_ = 0;                       // per output frame
  uint64_t length_ = 0;                     // frames x 256
  bool eightbit_ = false;
  bool stereo_ = false;
};

constexpr unsigned MXR_MOD_FINETUNES = 16;     // period table rows: finetune 0..+7, then -8..-1
constexpr unsigned MXR_MOD_NOTES = 84;         // notes in one row, 7 octaves from the lowest up
constexpr unsigned MXR_MOD_MAXPERIOD = 4095;   // every period the player computes stays in 0..4095
constexpr uint32_t MXR_MOD_NOJUMP = 0xFFFFFF;  // no position jump pending

// One sample of the tune as the player plays it; lengths and repeats are
// 20.12 fixed point in bytes, cut to the bytes the image holds.
struct MXRMODINSTRUMENT {
  uint32_t length;
  uint32_t repeatstart;
  uint32_t repeatlength;   // 0: no loop
  uint32_t volume;         // 0..64
  uint32_t finetune;       // period table row, 0..15
  const int8_t* data;      // none for an empty sample
};

// The player's state of one track.
struct MXRMODTRACK {
  uint32_t noteindex;      // finetune row x 84 + note
  int32_t period;          // 0..4095
  uint32_t instrument;     // 1..31, 0 none
  uint32_t step;           // 20.12 per output frame
  int32_t volume;          // 0..64 (C may set up to 255)
  int32_t effectivevolume; // volume x channel effective volume / 64
  uint32_t command;        // effect of the current row; extended effects as 0xE0 + x
  uint32_t x, y, parameter;
  uint64_t position;       // 20.12 in bytes
  uint32_t pan;            // 0..255
  int32_t volumeslide;
  int32_t slideperiod;
  int32_t portamentotarget;
  int32_t portamentospeed;
  uint32_t arpeggiocounter;
  uint32_t arpeggiosteps[3];
  uint32_t vibratoposition, vibratospeed, vibratodepth;
  int32_t delaycounter;
  int32_t delayperiod;
  int32_t cutcounter;
  uint32_t sampleoffset;   // bytes
  bool looping;            // inside a pattern loop
  uint32_t loopcount;
  uint32_t loopstartrow;
};

// The MOD player: the song's timing, rows and effects, and the mixing of its
// tracks into the pass's music sums.
class mxrMusicChannel : public mxrChannel {
 public:
  using mxrChannel::pan;
  using mxrChannel::volume;

  mxrMusicChannel();                        // vibrato speed 9 and depth 2 on every track
  void volume(unsigned v) override;         // inside the critical section; every track's effective volume follows
  void pan(unsigned p) override;            // inside the critical section; even tracks 64 + b, odd 192 - b, b = (255 - p) x 64 / 256
  void position(unsigned rows) override;    // moves to order rows / 64, row rows % 64; ignored beyond the song
  unsigned position() override;             // order x 64 + row of the row last read
  unsigned length() override;               // song length x 64
  const mxrMusic* music() const;            // the tune put on the channel by playMusic

  // The player's state, as the pass leaves it.
  const MXRMODTRACK& track(unsigned index) const; // 0 .. tracks - 1
  const MXRMODINSTRUMENT& instrument(unsigned number) const; // 1..31
  unsigned tracks() const;
  unsigned samplesPerTick() const;
  unsigned ticksPerSecond() const;
  unsigned ticksPerRow() const;
  unsigned order() const;                   // order entry of the row last read
  unsigned row() const;                     // row last read, 0..63
  static uint16_t periodTable(unsigned finetune, unsigned note); // finetune row 0..15, note 0..83
  static uint8_t vibratoTable(unsigned position); // 0..31

 private:
  friend class mxrSpeaker;

  void assign(const mxrMusic* music);       // starts the tune from its first order (inside the critical section)
  void mix(int32_t* left, int32_t* right, uint32_t frames, mxrOutputLayout layout); // advances the song and adds its tracks
  void readInstruments();
  void resetTracks();
  void recomputeSamplesPerTick();
  void nextTick();
  void processRow();
  void readCell(MXRMODTRACK& t, const uint8_t* cell);
  void rowEffect(MXRMODTRACK& t, int32_t cellperiod);
  void tickEffect(MXRMODTRACK& t);
  void moveOn();
  void endSong();
  void jump(uint32_t order, uint32_t row);
  void applyVolume(unsigned v);             // volume(v) inside the critical section
  void applyPan(unsigned p);                // pan(p) inside the critical section
  void setVolume(MXRMODTRACK& t, int32_t volume);
  void updateEffectiveVolume(MXRMODTRACK& t);
  void setPeriod(MXRMODTRACK& t, int32_t period);
  void setVolumeSlide(MXRMODTRACK& t);
  void volumeSlide(MXRMODTRACK& t);
  void startArpeggio(MXRMODTRACK& t);
  void tonePortamento(MXRMODTRACK& t);
  void vibrato(MXRMODTRACK& t);
  void startNoteDelay(MXRMODTRACK& t, int32_t cellperiod);
  void patternLoop(MXRMODTRACK& t);
  void patternBreak(MXRMODTRACK& t);
  void positionJump(MXRMODTRACK& t);
  void setSpeed(MXRMODTRACK& t);
  int32_t targetPeriod(const MXRMODTRACK& t, int32_t cellperiod) const;
  uint32_t stepOf(int32_t period) const;
  void mixTrack(MXRMODTRACK& t, int32_t* left, int32_t* right, uint32_t frames, mxrOutputLayout layout);

  const mxrMusic* music_ = nullptr;
  const uint8_t* patterns_ = nullptr;       // first pattern of the image
  uint32_t trackcount_ = 0;
  uint32_t songlength_ = 0;
  uint32_t pattern_ = 0;                    // order[order position]
  uint32_t rowoffset_ = 0;                  // row x tracks
  uint32_t orderposition_ = 0;
  uint32_t restartposition_ = 0;
  uint32_t playedorder_ = 0;                // where the row last read was
  uint32_t playedrow_ = 0;
  uint32_t samplespertick_ = 0;
  uint32_t framesleft_ = 0;                 // of the current tick
  uint32_t ticksperrow_ = 6;
  uint32_t tickcounter_ = 6;
  uint32_t tickspersecond_ = 50;
  uint32_t jumporder_ = MXR_MOD_NOJUMP;
  uint32_t jumprow_ = 0;
  uint32_t patterndelay_ = 0;
  bool songended_ = false;                  // the row last read was the song's last: stop before the next
  MXRMODINSTRUMENT instruments_[MXR_MOD_SAMPLES + 1] = {}; // 1..31; 0 stands for none
  MXRMODTRACK tracks_[MXR_MOD_MAXTRACKS] = {};
};

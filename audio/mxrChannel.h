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
// Music channels hold their tune (mxrMusic, a MOD image with its playback
// settings) and mix silence: the MOD player that reads the tune is not part
// of them yet.
// Depends on: audio/mxrData.h (mxrSound), audio/mxrUtility.h (signature
// digits), util/vmod_memory.h (owned tune copies), mxrSpeaker (global
// volumes, the critical section, the output rate).
#pragma once

#include <atomic>
#include <cstdint>

class mxrSound;
class mxrSpeaker;

constexpr unsigned MXR_MAXVOLUME = 64;          // channel and global volumes are 0..64
constexpr unsigned MXR_MAXPAN = 255;            // pan 0 (left) .. 255 (right)
constexpr unsigned MXR_CENTREPAN = 128;
constexpr unsigned MXR_NORMALSPEED = 128;       // speed in 1/128 of the base rate

// Results of mxrMusic::load.
constexpr int MXR_MOD_OK = 0;
constexpr int MXR_MOD_NODATA = -10;             // no image, or one shorter than the layout its header gives
constexpr int MXR_MOD_BADFORMAT = -100;         // the signature names no track count
constexpr uint32_t MXR_MOD_HEADERBYTES = 1084;  // title, 31 sample headers, order table, signature
constexpr uint32_t MXR_MOD_SIGNATUREAT = 1080;
constexpr int MXR_MOD_MAXTRACKS = 32;           // the player takes 1..32 tracks
constexpr unsigned MXR_MOD_RATE = 44100;        // the rate a tune's speed is measured against

// One tune: a MOD image in memory and how it is to be played.
class mxrMusic {
 public:
  mxrMusic() = default;
  virtual ~mxrMusic();                                      // frees owned data
  mxrMusic(const mxrMusic&) = delete;
  mxrMusic& operator=(const mxrMusic&) = delete;

  int load(const void* data, uint32_t length, bool copy);   // checks the signature and the layout's size; 0 or MXR_MOD_*
  static int translatePTSign(const uint8_t* signature);     // tracks the 4 signature bytes give; 0 for none
  int getNumPattern() const;                                // highest pattern in the song's orders + 1; 0 without data

  // Playback settings; they apply to the next playMusic.
  void volume(unsigned v);                                  // 0..64 (clamped), default 64
  unsigned volume() const;
  void pan(unsigned p);                                     // 0..255 (clamped), default 255
  unsigned pan() const;
  void loop(bool b);                                        // default off
  bool loop() const;
  void frequency(unsigned f);                               // Hz; speed follows = (f x 65536 / rate) / 512
  unsigned frequency() const;
  void speed(unsigned s);                                   // 1/128 units; frequency follows = rate x s / 128
  unsigned speed() const;
  unsigned rate() const;                                    // 44100

  // What load found.
  const uint8_t* data() const;                              // module image, null when empty
  uint32_t size() const;                                    // bytes of the image the layout covers
  int tracks() const;                                       // from the signature
  bool owned() const;                                       // the image is the tune's own copy

 private:
  void freeData();

  const uint8_t* data_ = nullptr;
  unsigned volume_ = MXR_MAXVOLUME;
  bool loop_ = false;
  unsigned pan_ = MXR_MAXPAN;
  unsigned rate_ = MXR_MOD_RATE;
  unsigned frequency_ = MXR_MOD_RATE;
  unsigned speed_ = MXR_NORMALSPEED;
  bool owned_ = false;
  uint32_t size_ = 0;
  int tracks_ = 0;
};

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

class mxrMusicChannel : public mxrChannel {
 public:
  using mxrChannel::pan;
  using mxrChannel::volume;

  void volume(unsigned v) override;         // inside the critical section: the tune's tracks follow the channel volume
  void pan(unsigned p) override;            // inside the critical section: the tune's tracks follow the channel pan
  void position(unsigned rows) override;    // no song position is kept yet: ignored
  unsigned position() override;             // 0
  unsigned length() override;               // 0: nothing is played from the tune yet
  const mxrMusic* music() const;            // the tune put on the channel by playMusic

 private:
  friend class mxrSpeaker;

  void assign(const mxrMusic* music);       // takes the tune (inside the critical section)

  const mxrMusic* music_ = nullptr;
};

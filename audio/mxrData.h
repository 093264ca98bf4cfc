// mxrData.h - the mixer's data: mxrSound, one sound effect (PCM frames with
// their sample rate and playback settings, loaded from a WAV file image in
// memory), and mxrMusic, one tune (a MOD image with its playback settings).
//
// 8- and 16-bit PCM plays straight from the loaded bytes (or from an owned
// copy); MS-ADPCM (format tag 2) is decoded once, at load time, into an owned
// block of signed 16-bit samples. A sound loaded without copying points into
// the caller's image, which must outlive it.
// Sample data as the mixer sees it: unsigned 8-bit bytes, or signed 16-bit
// samples in the machine's order (little-endian, as in the file) at an even
// address; stereo frames interleave left, right.
// A tune keeps the MOD image it was loaded from (or an owned copy of the
// bytes present); the music channel reads patterns and samples from it.
// Depends on: util/vmod_memory.h (owned blocks), audio/mxrUtility.h
// (signature digits).
#pragma once

#include <cstdint>

constexpr unsigned MXR_MAXVOLUME = 64;          // channel and global volumes are 0..64
constexpr unsigned MXR_MAXPAN = 255;            // pan 0 (left) .. 255 (right)
constexpr unsigned MXR_CENTREPAN = 128;
constexpr unsigned MXR_NORMALSPEED = 128;       // speed in 1/128 of the base rate

// Results of mxrSound::load.
constexpr int MXR_WAV_OK = 0;
constexpr int MXR_WAV_NODATA = -10;     // no image, no whole "data" chunk inside it, or not one whole frame
constexpr int MXR_WAV_BADFORMAT = -100; // a format the mixer cannot play, ADPCM that cannot be decoded, or no memory for the samples
constexpr int MXR_WAV_NOFMT = -300;     // the chunk at offset 12 is not "fmt "

constexpr uint32_t MXR_ADPCM_COEFFICIENTS = 7;   // coefficient pairs an MS-ADPCM file must carry
constexpr uint32_t MXR_SOUND_MAXFRAMES = 1u << 24; // frame counts must stay below: the mixer keeps lengths in 24.8

// Decoder state of one MS-ADPCM channel.
struct MXRADPCMSTATE {
  uint8_t predictor;  // coefficient pair index, 0..6
  int32_t delta;      // step size, 16..0x7FFFFFFF
  int16_t sample1;    // newest sample
  int16_t sample2;    // the one before
};

class mxrSound {
 public:
  mxrSound() = default;                                     // empty, default settings
  virtual ~mxrSound();                                      // frees owned data
  mxrSound(const mxrSound&) = delete;
  mxrSound& operator=(const mxrSound&) = delete;

  int load(const void* data, uint32_t length, bool copy);   // parses a WAV image of length bytes; 0 or an MXR_WAV_* code

  // Playback settings; they apply to the next playSound, not to channels already playing.
  void volume(unsigned v);                                  // 0..64, larger values clamp to 64
  unsigned volume() const;
  void pan(unsigned p);                                     // 0..255 (128 centre), larger values clamp to 255
  unsigned pan() const;
  void loop(bool b);
  bool loop() const;
  void maxplaybacks(int n);                                 // simultaneous playbacks allowed, -1 unlimited
  int maxplaybacks() const;
  void frequency(unsigned f);                               // playback rate in Hz
  unsigned frequency() const;
  void speed(unsigned s);                                   // 1/128 units of the sample rate, 128 normal
  unsigned speed() const;

  // What load found.
  const uint8_t* data() const;                              // first frame, null when empty
  bool eightBit() const;                                    // true: unsigned 8-bit samples; false: signed 16-bit
  bool stereo() const;                                      // true: interleaved left, right frames
  uint32_t sampleRate() const;                              // Hz
  uint32_t frameCount() const;                              // frames, below MXR_SOUND_MAXFRAMES
  bool owned() const;                                       // the data is the sound's own block

 private:
  struct FORMAT;
  int loadFormat(const uint8_t* image, uint32_t length, FORMAT& format);
  int loadPcm(const uint8_t* samples, uint32_t bytes, const FORMAT& format, bool copy);
  int loadAdpcm(const uint8_t* samples, uint32_t bytes, const FORMAT& format);
  bool decodeAdpcmBlock(const uint8_t* block, int16_t* out, unsigned channels);
  void freeData();

  const uint8_t* data_ = nullptr;                           // sample data
  bool eightbit_ = false;                                   // unsigned 8-bit samples
  bool stereo_ = false;                                     // two interleaved channels
  uint32_t rate_ = 0;                                       // sample rate, Hz
  uint32_t frames_ = 0;                                     // frame count
  unsigned volume_ = 64;                                    // 0..64
  bool loop_ = false;                                       // loops when played
  unsigned pan_ = 128;                                      // 0..255
  int maxplaybacks_ = -1;                                   // -1 unlimited
  uint8_t adpcmheader_[16] = {};                            // first 16 bytes of an ADPCM file's format body
  uint16_t samplesperblock_ = 0;                            // ADPCM samples per block and channel
  uint16_t coefficientcount_ = 0;                           // ADPCM coefficient pairs, 7
  int16_t coefficients_[MXR_ADPCM_COEFFICIENTS][2] = {};    // ADPCM prediction pairs, 8.8 fixed point
  MXRADPCMSTATE adpcmstate_[2] = {};                        // ADPCM decoder state, left (or mono) and right
  unsigned frequency_ = 1;                                  // Hz
  unsigned speed_ = 128;                                    // 1/128 units
  bool owned_ = false;                                      // data_ was allocated here
};

// Results of mxrMusic::load.
constexpr int MXR_MOD_OK = 0;
constexpr int MXR_MOD_NODATA = -10;             // no image, or no memory for the copy
constexpr int MXR_MOD_BADFORMAT = -100;         // no track count in the signature, or too short for header and patterns

// MOD layout.
constexpr uint32_t MXR_MOD_HEADERBYTES = 1084;  // title, 31 sample headers, order table, signature
constexpr uint32_t MXR_MOD_SAMPLEHEADERAT = 20;
constexpr uint32_t MXR_MOD_SAMPLEHEADERBYTES = 30;
constexpr uint32_t MXR_MOD_SAMPLES = 31;
constexpr uint32_t MXR_MOD_SONGLENGTHAT = 950;
constexpr uint32_t MXR_MOD_RESTARTAT = 951;
constexpr uint32_t MXR_MOD_ORDERSAT = 952;
constexpr uint32_t MXR_MOD_ORDERS = 128;
constexpr uint32_t MXR_MOD_SIGNATUREAT = 1080;
constexpr uint32_t MXR_MOD_ROWS = 64;
constexpr uint32_t MXR_MOD_CELLBYTES = 4;
constexpr int MXR_MOD_MAXTRACKS = 32;           // the player takes 1..32 tracks
constexpr unsigned MXR_MOD_RATE = 44100;        // the rate a tune's speed is measured against

// One tune: a MOD image in memory and how it is to be played.
class mxrMusic {
 public:
  mxrMusic() = default;
  virtual ~mxrMusic();                                      // frees owned data
  mxrMusic(const mxrMusic&) = delete;
  mxrMusic& operator=(const mxrMusic&) = delete;

  int load(const void* data, uint32_t length, bool copy);   // a MOD image of length bytes; 0 or MXR_MOD_*
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
  uint32_t size() const;                                    // bytes of the image held: the layout, cut where the data ended
  int tracks() const;                                       // from the signature
  unsigned songLength() const;                              // order entries played, 0..128
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

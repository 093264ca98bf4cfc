// mxrDriver.h - the mixer's output driver interface and the format record it
// is opened with.
//
// The mixer (mxrSpeaker) asks a driver for a stream of a given rate, sample
// format and channel count; the driver calls the mixer back with a buffer to
// fill whenever the device needs more audio, and offers a critical section
// that keeps the mixing pass from running while the game thread changes
// channel state. mxrGP2X (the OSS "/dev/dsp" driver) implements it.
// Depends on: nothing.
#pragma once

#include <cstdint>

// Sample format flags of AudioSpec::format.
constexpr uint32_t AUDIO_FORMAT_8BIT = 0x01;      // 8-bit samples
constexpr uint32_t AUDIO_FORMAT_16BIT = 0x02;     // 16-bit samples
constexpr uint32_t AUDIO_FORMAT_SIGNED = 0x10;    // signed samples
constexpr uint32_t AUDIO_FORMAT_UNSIGNED = 0x20;  // unsigned samples
constexpr uint32_t AUDIO_FORMAT_U8 = AUDIO_FORMAT_8BIT | AUDIO_FORMAT_UNSIGNED;   // 0x21, the mixer's 8-bit output
constexpr uint32_t AUDIO_FORMAT_S16 = AUDIO_FORMAT_16BIT | AUDIO_FORMAT_SIGNED;   // 0x12, the mixer's 16-bit output

// What the mixer asks the driver for.
struct AudioSpec {
  uint32_t rate;      // Hz
  uint32_t format;    // AUDIO_FORMAT_* flags
  uint32_t channels;  // 1 or 2; stereo frames are interleaved left, right
};

// Fills `bytes` bytes at `buffer` with the next stretch of the stream. Runs on
// the driver's output thread, inside the driver's critical section.
typedef void (*mxrAudioCallback)(void* user, void* buffer, unsigned bytes);

class mxrDriver {
 public:
  virtual ~mxrDriver() = default;
  virtual int open(AudioSpec* spec, unsigned frames, mxrAudioCallback callback, void* user) = 0; // 0 or a negative code; starts suspended
  virtual int close() = 0;                                                  // 0, or -3 when not open
  virtual void enterCriticalSection() = 0;                                  // waits out a running callback; no callback runs until leave
  virtual void leaveCriticalSection() = 0;                                  // lets callbacks run again
  virtual void suspend() = 0;                                               // stops producing and writing audio
  virtual void resume() = 0;                                                // produces and writes audio again
};

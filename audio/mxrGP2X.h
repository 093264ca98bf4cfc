// mxrGP2X.h - the mixer's output driver for the OSS device "/dev/dsp".
//
// open() sets the device's rate, sample format and channel count and starts
// one output thread that, fragment after fragment (20 ms each), calls the
// mixer back for audio and writes it to the device; the blocking write paces
// it. The driver opens suspended: output starts with the first resume(), so a
// caller that fails after open() never has its callback run half set up.
// The critical section is a mutex the output thread holds around every
// callback. The stop and suspended flags are atomics polled on every turn.
//
// Manual mode (the host's headless runner): a driver switched to manual mode
// before open() starts no thread. Instead the caller calls pump(now) on its
// own thread, which produces and writes every fragment that has fallen due
// since open() on the platform clock: fragment k is due once (k + 1) fragment
// durations have passed. While suspended, due fragments are skipped without a
// callback or a write, as the device would run dry. Given the same times the
// stream is the same, byte for byte. pump() takes the critical section around
// each callback, so it must not be called from inside it. Open manual drivers
// are listed, so a front end that never sees the sound module can pump them
// all at each flip (pumpManualDrivers).
// Tunables: fragment 20 ms, 3..16 fragments per buffer, a 50 us poll.
// Depends on: audio/mxrDriver.h, platform/platform.h (the device, nanosleep,
// the clock), util/vmod_memory.h (the buffer).
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include <pthread.h>

#include "audio/mxrDriver.h"

// Results of mxrGP2X's operations beyond 0.
constexpr int MXR_DRIVER_BADSPEC = -1;      // format, channel count or rate refused, or the device refused
constexpr int MXR_DRIVER_ALREADYOPEN = -2;  // open while open (or manual() while open)
constexpr int MXR_DRIVER_NOTOPEN = -3;      // close or pump while not open (pump: or not in manual mode)
constexpr int MXR_DRIVER_NOMEMORY = -10;    // the buffer (or the thread) cannot be had
constexpr int MXR_DRIVER_NOCALLBACK = -11;  // open without callback or spec

constexpr uint32_t MXR_FRAGMENT_MS = 20;    // audio per fragment
constexpr uint32_t MXR_MINFRAGMENTS = 3;
constexpr uint32_t MXR_MAXFRAGMENTS = 16;

class mxrGP2X : public mxrDriver {
 public:
  mxrGP2X();                                                // closed and suspended, no buffer; manual mode as manualByDefault
  ~mxrGP2X() override;                                      // closes when open
  mxrGP2X(const mxrGP2X&) = delete;
  mxrGP2X& operator=(const mxrGP2X&) = delete;

  int open(AudioSpec* spec, unsigned frames, mxrAudioCallback callback, void* user) override; // 0 or MXR_DRIVER_*; opens suspended
  int close() override;                                     // stops and joins the thread, closes the device; -3 when not open
  void enterCriticalSection() override;                     // locks out the callback
  void leaveCriticalSection() override;                     // lets it run again
  void suspend() override;                                  // produce and write nothing until resume
  void resume() override;                                   // produce and write again

  // Manual mode.
  static void manualByDefault(bool on);                     // drivers constructed afterwards start in (or out of) manual mode
  int manual(bool on);                                      // this driver's mode for its next open; -2 while open
  bool manual() const;
  int pump(uint64_t nowMicroseconds);                       // writes the fragments due by now (platform clock, us); their count, or -3
  static int pumpManualDrivers(uint64_t nowMicroseconds);   // pump() of every open manual driver; fragments written in all

  // What open chose.
  uint32_t fragmentCount() const;                           // fragments in the buffer, 3..16
  uint32_t fragmentLength() const;                          // bytes per fragment, a multiple of 8
  uint32_t bytesPerFrame() const;                           // channels x bytes per sample
  bool isOpen() const;
  bool suspended() const;

 private:
  static uint64_t clockMicroseconds();
  static void* threadEntry(void* driver);
  int openDevice();
  void run();                                               // the output thread's loop
  void produceFragment();                                   // callback into the current fragment, write it, advance
  void releaseBuffer();

  pthread_t thread_{};                                      // output thread (not started in manual mode)
  std::atomic<bool> stop_{false};                           // set: the thread leaves its loop
  int fd_ = -1;                                             // "/dev/dsp"
  uint32_t fragmentcount_ = 0;                              // fragments in the buffer
  uint32_t fragmentindex_ = 0;                              // next fragment to fill
  uint32_t rate_ = 0;                                       // Hz
  uint32_t format_ = 0;                                     // AUDIO_FORMAT_* flags
  uint32_t channels_ = 0;                                   // 1 or 2
  uint8_t* buffer_ = nullptr;                               // fragmentcount_ fragments (owned)
  uint32_t bufferlength_ = 0;                               // bytes
  uint32_t fragmentlength_ = 0;                             // bytes
  uint32_t bytesperframe_ = 0;
  mxrAudioCallback callback_ = nullptr;
  void* user_ = nullptr;
  bool open_ = false;
  std::atomic<bool> suspended_{true};                       // set: nothing is produced or written
  std::mutex critical_;                                     // held around every callback
  bool manual_;                                             // no thread; pump() produces the stream
  bool threadstarted_ = false;                              // thread_ is running and must be joined
  uint64_t origin_ = 0;                                     // manual mode: platform clock (us) at open
  uint64_t pumped_ = 0;                                     // manual mode: fragments due so far (written or skipped)
};

// mxrGP2X.cpp - the OSS output driver: device set-up, the output thread and
// the manual (threadless) pump.
//
// The output thread and the game thread share only the stop and suspended
// flags (atomics) and the critical-section mutex; everything else the thread
// reads is set before it starts and changed only after it has been joined.
// Depends on: audio/mxrDriver.h, platform/platform.h, util/vmod_memory.h.
#include "audio/mxrGP2X.h"

#include <climits>
#include <cstdint>

#include <fcntl.h>

#include "platform/platform.h"
#include "util/vmod_memory.h"

namespace {

constexpr long kPollNanoseconds = 50000;            // the thread's sleep between turns
constexpr uint64_t kMaxBufferBytes = 0x7FFFFFFFu;   // larger buffers are refused as unallocatable
constexpr uint64_t kMicrosecondsPerSecond = 1000000u;

std::atomic<bool> g_manualByDefault{false};

// Open manual drivers, for pumpManualDrivers. Manual mode belongs to the
// frame loop's thread, so the list needs no lock.
constexpr int kMaxManualDrivers = 4;
mxrGP2X* g_manualDrivers[kMaxManualDrivers] = {};

bool ListManualDriver(mxrGP2X* driver) {
  for (mxrGP2X*& slot : g_manualDrivers) {
    if (!slot) {
      slot = driver;
      return true;
    }
  }
  return false;
}

void UnlistManualDriver(mxrGP2X* driver) {
  for (mxrGP2X*& slot : g_manualDrivers) {
    if (slot == driver) slot = nullptr;
  }
}

uint32_t ClampFragments(uint64_t count) {
  if (count < MXR_MINFRAGMENTS) return MXR_MINFRAGMENTS;
  if (count > MXR_MAXFRAGMENTS) return MXR_MAXFRAGMENTS;
  return static_cast<uint32_t>(count);
}

// Exactly one sample width, and neither signed 8-bit nor unsigned 16-bit.
bool FormatSupported(uint32_t format) {
  uint32_t width = format & (AUDIO_FORMAT_8BIT | AUDIO_FORMAT_16BIT);
  if (width != AUDIO_FORMAT_8BIT && width != AUDIO_FORMAT_16BIT) return false;
  if ((format & (AUDIO_FORMAT_8BIT | AUDIO_FORMAT_SIGNED)) == (AUDIO_FORMAT_8BIT | AUDIO_FORMAT_SIGNED)) return false;
  if ((format & (AUDIO_FORMAT_16BIT | AUDIO_FORMAT_UNSIGNED)) == (AUDIO_FORMAT_16BIT | AUDIO_FORMAT_UNSIGNED)) return false;
  return true;
}

}  // namespace

mxrGP2X::mxrGP2X() : manual_(g_manualByDefault.load()) {}

mxrGP2X::~mxrGP2X() {
  if (open_) close();
}

int mxrGP2X::open(AudioSpec* spec, unsigned frames, mxrAudioCallback callback, void* user) {
  if (open_) return MXR_DRIVER_ALREADYOPEN;
  if (!spec || !callback) return MXR_DRIVER_NOCALLBACK;
  if (!FormatSupported(spec->format)) return MXR_DRIVER_BADSPEC;
  if (spec->channels != 1 && spec->channels != 2) return MXR_DRIVER_BADSPEC;
  if (spec->rate == 0 || spec->rate > INT_MAX) return MXR_DRIVER_BADSPEC;
  callback_ = callback;
  user_ = user;
  rate_ = spec->rate;
  format_ = spec->format;
  channels_ = spec->channels;

  // Fragments of 20 ms, as many as the requested buffer lasts (3..16); each
  // fragment is rounded up to a multiple of 8 bytes.
  const bool sixteen = (format_ & AUDIO_FORMAT_16BIT) != 0;
  uint64_t bufferms = uint64_t(frames) * 1000u / rate_;
  fragmentcount_ = ClampFragments(bufferms / MXR_FRAGMENT_MS);
  bytesperframe_ = channels_ * (sixteen ? 2u : 1u);
  uint64_t fragment = (uint64_t(bytesperframe_) * rate_ * MXR_FRAGMENT_MS / 1000u + 7u) & ~uint64_t(7);
  uint64_t total = fragment * fragmentcount_;
  if (total > kMaxBufferBytes) return MXR_DRIVER_NOMEMORY;
  buffer_ = static_cast<uint8_t*>(ClassVMemory::Alloc(static_cast<uint32_t>(total)));
  if (!buffer_) return MXR_DRIVER_NOMEMORY;
  fragmentlength_ = static_cast<uint32_t>(fragment);
  bufferlength_ = static_cast<uint32_t>(total);
  ClassVMemory::Set(buffer_, sixteen ? 0 : 128, bufferlength_);

  fd_ = openDevice();
  if (fd_ < 0) {
    releaseBuffer();
    return MXR_DRIVER_BADSPEC;
  }

  // Output waits for the first resume(), so the caller can finish its own
  // set-up (or fail) before any callback runs.
  fragmentindex_ = 0;
  suspended_.store(true);
  stop_.store(false);
  origin_ = clockMicroseconds();
  pumped_ = 0;
  if (manual_ && !ListManualDriver(this)) {
    Platform_Close(fd_);
    fd_ = -1;
    releaseBuffer();
    return MXR_DRIVER_NOMEMORY;
  }
  if (!manual_) {
    if (pthread_create(&thread_, nullptr, &mxrGP2X::threadEntry, this) != 0) {
      Platform_Close(fd_);
      fd_ = -1;
      releaseBuffer();
      return MXR_DRIVER_NOMEMORY;
    }
    threadstarted_ = true;
  }
  open_ = true;
  return 0;
}

int mxrGP2X::close() {
  if (!open_) return MXR_DRIVER_NOTOPEN;
  stop_.store(true);
  if (threadstarted_) {
    pthread_join(thread_, nullptr);
    threadstarted_ = false;
  }
  open_ = false;
  UnlistManualDriver(this);
  Platform_Close(fd_);
  fd_ = -1;
  releaseBuffer();
  suspended_.store(true);
  return 0;
}

void mxrGP2X::enterCriticalSection() {
  critical_.lock();
}

void mxrGP2X::leaveCriticalSection() {
  critical_.unlock();
}

void mxrGP2X::suspend() {
  suspended_.store(true);
}

void mxrGP2X::resume() {
  suspended_.store(false);
}

int mxrGP2X::pumpManualDrivers(uint64_t nowMicroseconds) {
  int written = 0;
  for (mxrGP2X* driver : g_manualDrivers) {
    if (driver) written += driver->pump(nowMicroseconds);
  }
  return written;
}

void mxrGP2X::manualByDefault(bool on) {
  g_manualByDefault.store(on);
}

int mxrGP2X::manual(bool on) {
  if (open_) return MXR_DRIVER_ALREADYOPEN;
  manual_ = on;
  return 0;
}

bool mxrGP2X::manual() const {
  return manual_;
}

// Frames elapsed since open, floor(elapsed * rate / 1e6), computed by whole
// seconds and the rest so the product cannot overflow.
int mxrGP2X::pump(uint64_t nowMicroseconds) {
  if (!open_ || !manual_) return MXR_DRIVER_NOTOPEN;
  if (nowMicroseconds <= origin_) return 0;
  uint64_t elapsed = nowMicroseconds - origin_;
  uint64_t frames = elapsed / kMicrosecondsPerSecond * rate_ +
                    elapsed % kMicrosecondsPerSecond * rate_ / kMicrosecondsPerSecond;
  uint64_t due = frames / (fragmentlength_ / bytesperframe_);
  int written = 0;
  for (; pumped_ < due; ++pumped_) {
    if (suspended_.load()) continue;  // the device runs dry; nothing to catch up later
    produceFragment();
    ++written;
  }
  return written;
}

uint32_t mxrGP2X::fragmentCount() const { return fragmentcount_; }
uint32_t mxrGP2X::fragmentLength() const { return fragmentlength_; }
uint32_t mxrGP2X::bytesPerFrame() const { return bytesperframe_; }
bool mxrGP2X::isOpen() const { return open_; }
bool mxrGP2X::suspended() const { return suspended_.load(); }

uint64_t mxrGP2X::clockMicroseconds() {
  struct timeval now = {};
  Platform_GetTimeOfDay(&now);
  return uint64_t(now.tv_sec) * kMicrosecondsPerSecond + uint64_t(now.tv_usec);
}

void* mxrGP2X::threadEntry(void* driver) {
  static_cast<mxrGP2X*>(driver)->run();
  return nullptr;
}

// Rate, sample format and channel count, in that order. The rate and stereo
// replies are left to the device; a format reply other than the one asked
// for means the stream would be misread, so the device is given up.
int mxrGP2X::openDevice() {
  int fd = Platform_Open("/dev/dsp", O_WRONLY);
  if (fd < 0) return -1;
  int speed = static_cast<int>(rate_);
  Platform_Ioctl(fd, PLATFORM_SNDCTL_DSP_SPEED, &speed);
  const int wanted = (format_ & AUDIO_FORMAT_16BIT) ? PLATFORM_AFMT_S16_LE : PLATFORM_AFMT_U8;
  int format = wanted;
  if (Platform_Ioctl(fd, PLATFORM_SNDCTL_DSP_SETFMT, &format) < 0 || format != wanted) {
    Platform_Close(fd);
    return -1;
  }
  int stereo = channels_ > 1 ? 1 : 0;
  Platform_Ioctl(fd, PLATFORM_SNDCTL_DSP_STEREO, &stereo);
  return fd;
}

// Sleep, then produce unless suspended; the stop flag is tested on every
// turn, suspended or not, so close() never waits on a suspended thread.
void mxrGP2X::run() {
  const struct timespec poll = {0, kPollNanoseconds};
  while (!stop_.load()) {
    Platform_Nanosleep(&poll, nullptr);
    if (stop_.load()) break;
    if (suspended_.load()) continue;
    produceFragment();
  }
}

// The callback runs under the critical section; the blocking write, outside
// it, paces the loop. A failed write is dropped and the loop goes on.
void mxrGP2X::produceFragment() {
  uint8_t* fragment = buffer_ + size_t(fragmentindex_) * fragmentlength_;
  {
    std::lock_guard<std::mutex> guard(critical_);
    callback_(user_, fragment, fragmentlength_);
  }
  uint32_t done = 0;
  while (done < fragmentlength_) {
    ssize_t n = Platform_Write(fd_, fragment + done, fragmentlength_ - done);
    if (n <= 0) break;
    done += static_cast<uint32_t>(n);
  }
  fragmentindex_ = (fragmentindex_ + 1) % fragmentcount_;
}

void mxrGP2X::releaseBuffer() {
  ClassVMemory::DeAlloc(buffer_);
  buffer_ = nullptr;
  bufferlength_ = 0;
  fragmentlength_ = 0;
  fragmentcount_ = 0;
}

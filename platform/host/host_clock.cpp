// host_clock.cpp - time of day and sleeps for the host, real or virtual.
//
// The virtual clock makes headless runs fast and repeatable: it belongs to
// the thread that switched it on (the frame loop's), whose sleeps advance it
// at once by exactly the time asked. Every other thread reads the same clock
// but sleeps for real without moving it, so no other thread (the sound
// output) can change the game's time, whatever the scheduling.
#include <atomic>
#include <cerrno>
#include <thread>

#include <sys/time.h>
#include <time.h>
#include <unistd.h>

#include "platform/host/host_devices.h"
#include "platform/platform.h"

namespace {

struct VirtualClock {
  std::atomic<bool> on{false};
  std::atomic<uint64_t> microseconds{0};
  std::atomic<std::thread::id> owner{};
};

VirtualClock& Clock() {
  static VirtualClock clock;
  return clock;
}

bool SleepsAdvanceClock() {
  VirtualClock& clock = Clock();
  return clock.on.load() && clock.owner.load() == std::this_thread::get_id();
}

uint64_t RealMicroseconds() {
  timeval tv;
  ::gettimeofday(&tv, nullptr);
  return static_cast<uint64_t>(tv.tv_sec) * 1000000u + static_cast<uint64_t>(tv.tv_usec);
}

}  // namespace

void HostClock_UseVirtual(bool on, uint64_t startMicroseconds) {
  VirtualClock& clock = Clock();
  clock.microseconds.store(startMicroseconds);
  clock.owner.store(std::this_thread::get_id());
  clock.on.store(on);
}

bool HostClock_IsVirtual() { return Clock().on.load(); }

uint64_t HostClock_NowMicroseconds() {
  VirtualClock& clock = Clock();
  return clock.on.load() ? clock.microseconds.load() : RealMicroseconds();
}

void HostClock_Advance(uint64_t microseconds) { Clock().microseconds.fetch_add(microseconds); }

int Platform_GetTimeOfDay(struct timeval* tv) {
  if (!tv) {
    errno = EFAULT;
    return -1;
  }
  if (!HostClock_IsVirtual()) return ::gettimeofday(tv, nullptr);
  uint64_t now = HostClock_NowMicroseconds();
  tv->tv_sec = static_cast<time_t>(now / 1000000u);
  tv->tv_usec = static_cast<suseconds_t>(now % 1000000u);
  return 0;
}

int Platform_Usleep(useconds_t microseconds) {
  if (!SleepsAdvanceClock()) return ::usleep(microseconds);
  HostClock_Advance(microseconds);
  return 0;
}

int Platform_Nanosleep(const struct timespec* request, struct timespec* remaining) {
  if (!SleepsAdvanceClock()) return ::nanosleep(request, remaining);
  if (!request || request->tv_nsec < 0 || request->tv_nsec >= 1000000000 || request->tv_sec < 0) {
    errno = EINVAL;
    return -1;
  }
  HostClock_Advance(static_cast<uint64_t>(request->tv_sec) * 1000000u +
                    static_cast<uint64_t>(request->tv_nsec) / 1000u);
  if (remaining) *remaining = timespec{0, 0};
  return 0;
}

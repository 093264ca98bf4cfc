// vmod_vtimer.cpp - real-time and virtual timers.
//
// Depends on: platform/platform.h (Platform_GetTimeOfDay).
#include "framework/vmod_vtimer.h"

#include <sys/time.h>

#include "platform/platform.h"

namespace {

constexpr uint64_t THOUSANDTHS = 1000;

}  // namespace

// --- ClassVRTimer ------------------------------------------------------------

uint32_t ClassVRTimer::Count() {
  struct timeval tv = {};
  Platform_GetTimeOfDay(&tv);
  // Widen before multiplying: the millisecond count wraps as a u32 instead of
  // overflowing a 32-bit time_t.
  const uint64_t seconds = static_cast<uint64_t>(tv.tv_sec);
  const uint64_t microseconds = static_cast<uint64_t>(tv.tv_usec);
  return static_cast<uint32_t>(seconds * 1000u + microseconds / 1000u);
}

uint32_t ClassVRTimer::Delta(uint32_t a, uint32_t b) {
  return a - b;
}

void ClassVRTimer::Update() {
  previous = current;
  current = Count();
}

uint32_t ClassVRTimer::RetrieveDelta() const {
  return Delta(current, previous);
}

// --- ClassVVTimer ------------------------------------------------------------

void ClassVVTimer::Reset() {
  Reset(ClassVRTimer::Count());
}

void ClassVVTimer::Reset(uint32_t now) {
  starttime = now;
  lasttime = now;
  time = 0;
  // Also restart the last advance, so a delta read before the next update is
  // 0 rather than the distance from the old time to 0.
  prevtime = 0;
  remainder = 0;
  suspended = 0;
}

void ClassVVTimer::SetSpeed(uint32_t newspeed) {
  speed = newspeed;
}

void ClassVVTimer::Update() {
  Update(ClassVRTimer::Count());
}

void ClassVVTimer::Update(uint32_t now) {
  clockprev = clocknow;
  clocknow = now;
  if (suspended) {
    prevtime = time;
    return;
  }
  const uint32_t elapsed = now - lasttime;
  lasttime = now;
  Advance(elapsed);
}

void ClassVVTimer::Increase(uint32_t ms) {
  if (suspended) {
    prevtime = time;
    return;
  }
  Advance(ms);
}

uint32_t ClassVVTimer::RetrieveTime() const {
  return time;
}

uint32_t ClassVVTimer::RetrieveDelta() const {
  return time - prevtime;
}

void ClassVVTimer::Suspend() {
  suspended = 1;
}

void ClassVVTimer::Resume() {
  Resume(ClassVRTimer::Count());
}

void ClassVVTimer::Resume(uint32_t now) {
  if (!suspended) {
    return;
  }
  suspended = 0;
  lasttime = now;
}

void ClassVVTimer::Advance(uint32_t elapsed) {
  // In 64 bits: speed x elapsed passes 2^32 after 71 minutes at real speed.
  const uint64_t s = static_cast<uint64_t>(speed) * elapsed + remainder;
  prevtime = time;
  time += static_cast<uint32_t>(s / THOUSANDTHS);  // virtual time wraps as a u32
  remainder = static_cast<uint32_t>(s % THOUSANDTHS);
}

// host_headless.cpp - the game on the virtual clock, without a window.
#include "platform/host/host_headless.h"

#include <cstdio>
#include <string>

#include <sys/time.h>

#include "audio/mxrGP2X.h"
#include "framework/vexa.h"
#include "platform/host/host_devices.h"
#include "platform/host/host_run.h"

namespace {

constexpr uint64_t MICROSECONDS_PER_SECOND = 1000000;

// Sound first, so the fragments due by this flip are mixed before the run
// can end on it.
void PresentFrame(const uint16_t* pixels, void* user) {
  mxrGP2X::pumpManualDrivers(HostClock_NowMicroseconds());
  static_cast<HostRun*>(user)->OnPresent(pixels);
}

}  // namespace

uint64_t HostHeadless_ClockStart() {
  timeval now{};
  ::gettimeofday(&now, nullptr);
  return uint64_t(now.tv_sec) * MICROSECONDS_PER_SECOND;
}

int HostHeadless_Run(const HOSTOPTIONS& options) {
  HostRun run(options);
  std::string error;
  if (!run.Begin(&error)) {
    std::fprintf(stderr, "%s: %s\n", HOST_PROGRAM, error.c_str());
    return 1;
  }
  HostClock_UseVirtual(true, HostHeadless_ClockStart());
  mxrGP2X::manualByDefault(true);
  HostDevices_SetPresentHook(PresentFrame, &run);
  VexaProcessMain();
  HostDevices_SetPresentHook(nullptr, nullptr);
  mxrGP2X::manualByDefault(false);
  HostClock_UseVirtual(false);
  return run.End();
}

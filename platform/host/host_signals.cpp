// host_signals.cpp - the stop signals as the front ends' quit request.
#include "platform/host/host_signals.h"

#include <csignal>

#include "platform/host/host_devices.h"

namespace {

// Only an atomic store: safe in a signal handler.
void OnStopSignal(int) { HostDevices_RequestQuit(true); }

}  // namespace

void HostSignals_RouteToQuit() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  action.sa_flags = SA_RESETHAND;  // the second signal takes its default course
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

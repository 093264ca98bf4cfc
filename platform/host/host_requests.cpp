// host_requests.cpp - what the host's front ends ask of the running
// application (window state, the end of the run), the options the host entry
// parsed, and the error text a run ended with, behind the platform calls the
// framework and the game use.
//
// The quit request is an atomic flag because the signal handlers of Ctrl+C
// and SIGTERM set it.
#include <atomic>

#include "platform/host/host_devices.h"
#include "platform/platform.h"

namespace {

std::atomic<int> windowstate{PLATFORM_WINDOW_FOREGROUND};
std::atomic<bool> quitrequested{false};
PLATFORM_OPTIONS options{};
char lasterror[256] = {};

}  // namespace

int Platform_WindowState() { return windowstate.load(); }
bool Platform_QuitRequested() { return quitrequested.load(); }
const PLATFORM_OPTIONS* Platform_GetOptions() { return &options; }

void Platform_RunEnded(const char16_t* errortext) {
  // The framework's texts are 8-bit characters widened; keep them as they were.
  size_t i = 0;
  for (; errortext && errortext[i] && i + 1 < sizeof lasterror; i++) lasterror[i] = char(errortext[i] & 0xFF);
  lasterror[i] = '\0';
}

void HostDevices_SetWindowState(int state) { windowstate.store(state); }
void HostDevices_RequestQuit(bool on) { quitrequested.store(on); }
void HostDevices_SetOptions(const PLATFORM_OPTIONS& parsed) { options = parsed; }
const char* HostDevices_LastError() { return lasterror; }

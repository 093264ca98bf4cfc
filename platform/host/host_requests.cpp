// host_requests.cpp - what the host's front ends ask of the running
// application (window state, the end of the run) and the options the host
// entry parsed, behind the platform calls the framework and the game read.
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

}  // namespace

int Platform_WindowState() { return windowstate.load(); }
bool Platform_QuitRequested() { return quitrequested.load(); }
const PLATFORM_OPTIONS* Platform_GetOptions() { return &options; }

void HostDevices_SetWindowState(int state) { windowstate.store(state); }
void HostDevices_RequestQuit(bool on) { quitrequested.store(on); }
void HostDevices_SetOptions(const PLATFORM_OPTIONS& parsed) { options = parsed; }

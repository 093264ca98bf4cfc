// vexa_main.cpp - the process entry's steps: open the handheld's devices,
// fill the start-up record, create and run the application, release the
// devices and hand the machine back to its menu program. Its own file, since
// it is the one place that needs the application's VexaCreateApplication.
//
// Depends on: platform/platform.h (exit step), HandleDevicePtr (vexa.cpp).
#include <cstring>

#include "framework/vexa.h"
#include "platform/platform.h"
#include "util/vmod_std.h"

ClassVexa* VexaMain(const VEXADATA* data) {
  ClassVexa* application = VexaCreateApplication(data);
  if (application) application->Start();
  return application;
}

int VexaProcessMain() {
  if (HandleDevicePtr(false)) {
    // Large enough to matter on a small stack; zeroed whole before filling.
    static VEXADATA data;
    std::memset(&data, 0, sizeof data);
    ClassVStd::StrCpy(data.appname, "Untitled", VEXA_PATHMAX);
    data.cmdline[0] = '\0';
    GetPath(data.apppath);
    ClassVexa* application = VexaMain(&data);
    Platform_RunEnded(application ? application->GetErrorMsg() : u"Error: not enough memory available");
    delete application;
    HandleDevicePtr(true);
  }
  Platform_ExitToMenu();
  return 0;
}

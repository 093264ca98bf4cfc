// vexa.cpp - the framework's entry support: the device globals and the
// program folder.
//
// Depends on: vmod_std (widening), the system's getcwd.
#include "framework/vexa.h"

#include <cstdint>

#include <unistd.h>

#include "util/vmod_std.h"

int vdeviceptr[2] = {0, 0};
volatile uint32_t* vdevicereg_ptr = nullptr;
volatile uint16_t* vdevicereg_ptr16 = nullptr;

void GetPath(char16_t* path) {
  // One character short of the buffer, so the "/" that follows still fits.
  char folder[VEXA_PATHMAX - 1];
  path[0] = u'\0';
  if (getcwd(folder, sizeof folder) != nullptr) {
    ClassVStd::StrCpy(path, folder, VEXA_PATHMAX);
  }
  int32_t length = ClassVStd::StrLen(path, VEXA_PATHMAX);
  // The root already ends in its separator.
  if (length == 0 || path[length - 1] != u'/') {
    path[length++] = u'/';
    path[length] = u'\0';
  }
}

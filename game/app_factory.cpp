// app_factory.cpp - the application the process entry creates. Alone in its
// file, so a test binary can create its own application instead.
//
// Depends on: game/app.h.
#include "game/app.h"

#include <new>

ClassVexa* VexaCreateApplication(const VEXADATA* data) {
  return new (std::nothrow) ClassMain(data);  // null when out of memory
}

// loader.cpp - the loading screen.
//
// Depends on: game/loader.h, util/vmod_memory.h.
#include "game/loader.h"

#include "util/vmod_memory.h"

ClassLoader::~ClassLoader() {
  ClassVMemory::DeAlloc(packindex);
}

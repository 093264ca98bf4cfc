// loader.cpp - the loading screen.
//
// Depends on: game/loader.h, render/vmod_dsp.h, util/vmod_memory.h.
#include "game/loader.h"

#include "render/vmod_dsp.h"
#include "util/vmod_memory.h"

namespace {

constexpr const char* GFX_PACKAGE = "res\\gfx.vpk"; // resolved against the program's folder
constexpr uint32_t MAGENTA = 0xFF00FF;

}  // namespace

ClassLoader::~ClassLoader() {
  ClassVMemory::DeAlloc(packindex);
}

int ClassLoader::LoadSurface(V2DSurface* surface, const char* name, ClassVFile& pack, ClassVDisplay* display) {
  if (surface == nullptr || display == nullptr) return 0;
  uint8_t* data = nullptr;
  uint32_t size = 0;
  if (pack.PackGetFileData(data, size, name) != VPK_OK || data == nullptr) return 0;
  const int created = display->CreateSurface(surface, data, size, 0);
  ClassVMemory::DeAlloc(data);
  if (created != 0) return 0;
  surface->SetColorKey(MAGENTA);
  return 1;
}

int ClassLoader::QuickLoadSurface(V2DSurface* surface, const char* name, ClassVDisplay* display) {
  ClassVFile pack;
  if (pack.Open(GFX_PACKAGE, VFILE_MODE_READ) != 1) return 0;
  const int loaded = LoadSurface(surface, name, pack, display);
  pack.Close();
  return loaded;
}

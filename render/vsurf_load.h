// vsurf_load.h - what image surfaces and models share when they load: a
// whole file read into memory, and a block offered to the display's loaders
// in slot order until one takes it.
//
// Source: vsurf_2dbase.cpp (VSurfWholeFile). Depends on: the display (its
// loader slots), the loader base, the file and memory modules.
#pragma once

#include <cstdint>

#include "render/vmod_dsp.h"
#include "render/vsurf_2dbase.h"
#include "resources/loaders/vldr_base.h"

class ClassVFile;
class ClassVMemory;

// A whole file in memory, from the module list when there is one; freed
// with the object.
class VSurfWholeFile {
 public:
  explicit VSurfWholeFile(ClassVMemory* list) : memory(list) {}
  ~VSurfWholeFile();
  VSurfWholeFile(const VSurfWholeFile&) = delete;
  VSurfWholeFile& operator=(const VSurfWholeFile&) = delete;

  // Reads name (relative to folder's current folder when given): VSURF_OK,
  // VSURF_NOTCREATED (missing, empty or unreadable) or VSURF_NOMEMORY.
  int Read(const char16_t* name, ClassVFile* folder);

  void* data = nullptr;
  uint32_t size = 0;

 private:
  ClassVMemory* memory;
};

// Offers the block to each loader of the display; the first that does not
// decline decides. VSURF_NOLOADER when none takes it or there is no display.
template <typename Target, typename Option>
int VSurf_OfferToLoaders(const ClassVDisplay* display, Target* target, const void* data, uint32_t size,
                         Option option, uint32_t flags) {
  if (!display) return VSURF_NOLOADER;
  for (int slot = 0; slot < VDSP_LOADERSLOTS; slot++) {
    ClassVLoaderBase* loader = display->GetLoader(slot);
    if (!loader) continue;
    const int result = loader->Start(target, data, size, option, flags);
    if (result != VLDR_NOTMYFORMAT && result != VLDR_DECLINED) return result;
  }
  return VSURF_NOLOADER;
}

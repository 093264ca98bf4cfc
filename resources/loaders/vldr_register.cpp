// vldr_register.cpp - registration of the image and model loaders with the display.
#include <new>

#include "render/vmod_dsp.h"
#include "resources/loaders/vldr_3ds.h"
#include "resources/loaders/vldr_base.h"
#include "resources/loaders/vldr_bmp.h"
#include "resources/loaders/vldr_gif.h"
#include "resources/loaders/vldr_jpg.h"
#include "resources/loaders/vldr_ms3d.h"
#include "resources/loaders/vldr_png.h"
#include "resources/loaders/vldr_tga.h"

namespace {

template <class Loader>
ClassVLoaderBase* MakeLoader() {
  return new (std::nothrow) Loader();
}

}  // namespace

int RegisterDisplayLoaders(ClassVDisplay* display) {
  if (!display) return 0;
  using Factory = ClassVLoaderBase* (*)();
  static const Factory factories[] = {MakeLoader<VLoader_BMP>, MakeLoader<VLoader_GIF>, MakeLoader<VLoader_PNG>,
                                      MakeLoader<VLoader_JPG>, MakeLoader<VLoader_TGA>, MakeLoader<VLoader_3DS>,
                                      MakeLoader<VLoader_MS3D>};
  for (Factory make : factories) {
    ClassVLoaderBase* loader = make();
    if (!loader) return 0;
    if (!display->AdoptLoader(loader)) {
      delete loader;
      return 0;
    }
  }
  return 1;
}

// vldr_png.cpp - the PNG image loader (being written: recognises nothing yet).
#include "resources/loaders/vldr_png.h"

int VLoader_PNG::Start(V2DSurfaceBase* surface, const void* block, uint32_t length, uint8_t displaytype,
                      uint32_t flags) {
  (void)surface, (void)block, (void)length, (void)displaytype, (void)flags;
  return VLDR_NOTMYFORMAT;
}

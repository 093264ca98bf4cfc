// vldr_jpg.cpp - the JPG image loader (being written: recognises nothing yet).
#include "resources/loaders/vldr_jpg.h"

int VLoader_JPG::Start(V2DSurfaceBase* surface, const void* block, uint32_t length, uint8_t displaytype,
                      uint32_t flags) {
  (void)surface, (void)block, (void)length, (void)displaytype, (void)flags;
  return VLDR_NOTMYFORMAT;
}

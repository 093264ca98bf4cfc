// mxrUtility.cpp - byte order, character classes, paths and the platform's
// identity for the mixer.
// Depends on: nothing.
#include "audio/mxrUtility.h"

uint16_t mxrUtility::btol16(uint16_t value) {
  return static_cast<uint16_t>((value >> 8) | (value << 8));
}

uint32_t mxrUtility::btol32(uint32_t value) {
  return (value >> 24) | ((value >> 8) & 0xFF00u) | ((value << 8) & 0xFF0000u) | (value << 24);
}

int mxrUtility::getDigit(char c) {
  return (c >= '0' && c <= '9') ? c - '0' : -1;
}

int mxrUtility::getUpAlpha(char c) {
  return (c >= 'A' && c <= 'Z') ? c : -1;
}

void mxrUtility::fullPathName(char* out, const char* in, size_t size) {
  if (!out || size == 0) return;
  size_t i = 0;
  for (; in && in[i] && i + 1 < size; ++i) out[i] = in[i];
  out[i] = 0;
}

int mxrUtility::getPlatform() {
  return MXR_PLATFORM_GP2X;
}

int mxrUtility::getOSVersion() {
  return 0;
}

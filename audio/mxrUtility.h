// mxrUtility.h - the few platform helpers of the mixer: byte order, character
// classes for the MOD reader, paths and the platform's identity.
// Depends on: nothing.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int MXR_PLATFORM_GP2X = 1;  // getPlatform() on the handheld (and its host stand-in)

class mxrUtility {
 public:
  static uint16_t btol16(uint16_t value);                   // reverses the byte order
  static uint32_t btol32(uint32_t value);                   // reverses the byte order
  static int getDigit(char c);                              // 0..9 for '0'..'9', else -1
  static int getUpAlpha(char c);                            // c for 'A'..'Z', else -1
  static void fullPathName(char* out, const char* in, size_t size); // copies in unchanged, cut to size - 1 characters and terminated
  static int getPlatform();                                 // MXR_PLATFORM_GP2X
  static int getOSVersion();                                // 0: the mixer depends on no version of the handheld's system
};

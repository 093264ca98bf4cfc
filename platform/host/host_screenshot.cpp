// host_screenshot.cpp - the framebuffer as a PNG file.
#include "platform/host/host_screenshot.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/host/host_devices.h"
#include "resources/loaders/vldr_png.h"
#include "util/vmod_memory.h"

namespace {

constexpr uint32_t RGB_BYTES = 3;

// A channel of `bits` bits as the nearest 8-bit value.
uint8_t Widen(uint32_t value, uint32_t bits) {
  uint32_t top = (1u << bits) - 1;
  return uint8_t((value * 255 + top / 2) / top);
}

void WidenPixel(uint16_t pixel, uint8_t* rgb) {
  rgb[0] = Widen(pixel >> 11, 5);
  rgb[1] = Widen((pixel >> 5) & 0x3F, 6);
  rgb[2] = Widen(pixel & 0x1F, 5);
}

bool WriteWhole(const char* path, const uint8_t* bytes, uint32_t size) {
  FILE* file = std::fopen(path, "wb");
  if (!file) return false;
  bool written = std::fwrite(bytes, 1, size, file) == size;
  written = std::fclose(file) == 0 && written;
  if (!written) std::remove(path);  // no half picture left behind
  return written;
}

}  // namespace

bool HostScreenshot_Write(const char* path, const uint16_t* pixels, std::string* error) {
  std::vector<uint8_t> rgb(size_t(HOST_FB_WIDTH) * HOST_FB_HEIGHT * RGB_BYTES);
  for (size_t i = 0; i < size_t(HOST_FB_WIDTH) * HOST_FB_HEIGHT; i++) WidenPixel(pixels[i], &rgb[i * RGB_BYTES]);
  VPNGIMAGE image{HOST_FB_WIDTH, HOST_FB_HEIGHT, VPNG_COLOR_RGB, rgb.data(), HOST_FB_WIDTH * RGB_BYTES, nullptr, 0};
  uint8_t* png = nullptr;
  uint32_t size = 0;
  if (VLoader_PNG::Encode(&image, &png, &size) != VPNG_WRITTEN) {
    *error = std::string("cannot make the picture for ") + path + ": out of memory";
    return false;
  }
  errno = 0;
  bool written = WriteWhole(path, png, size);
  ClassVMemory::DeAlloc(png);
  if (!written) *error = std::string("cannot write the picture ") + path + ": " + std::strerror(errno ? errno : EIO);
  return written;
}

// host_screenshot.h - pictures of the emulated framebuffer as PNG files.
//
// The 320 x 240 RGB565 frame is widened to 8 bits a channel (each field to
// its nearest 8-bit value, so black and white stay exact) and written by the
// framework's PNG writer.
// Depends on: resources/loaders/vldr_png.h, platform/host/host_devices.h.
#pragma once

#include <cstdint>
#include <string>

// Writes pixels (HOST_FB_WIDTH x HOST_FB_HEIGHT RGB565) to path; false with
// a one-line reason in *error when the file cannot be written.
bool HostScreenshot_Write(const char* path, const uint16_t* pixels, std::string* error);

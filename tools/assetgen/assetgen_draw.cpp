// assetgen_draw - the canvases the asset parts draw on, the PNG and BMP
// files made from them, and the contact sheet of everything drawn.
//
// Depends on: the display (surfaces), the PNG writer, the surface's BMP
// writer, the memory module (encoded blocks).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <unistd.h>

#include "render/vmod_dsp.h"
#include "render/vsurf_2d.h"
#include "render/vsurf_2drgba.h"
#include "resources/loaders/vldr_png.h"
#include "tools/assetgen/assetgen.h"
#include "util/vmod_memory.h"

namespace {

constexpr uint32_t kSurface32 = 1u | (uint32_t(VideoType::Xrgb8888) << 8);
constexpr int32_t kSheetWidth = 1320;  // the widest font sheet fits
constexpr int32_t kSheetGap = 8;
constexpr uint32_t kSheetColour = 0x403020;
constexpr size_t kPngColourTypeAt = 25;  // IHDR's colour type byte in a PNG file

std::vector<uint8_t> EncodeOwned(const VPNGIMAGE& image) {
  uint8_t* block = nullptr;
  uint32_t size = 0;
  std::vector<uint8_t> bytes;
  if (VLoader_PNG::Encode(&image, &block, &size) == VPNG_WRITTEN) bytes.assign(block, block + size);
  ClassVMemory::DeAlloc(block);
  return bytes;
}

bool IsPicture(const std::string& name) {
  const size_t dot = name.rfind('.');
  const std::string ending = dot == std::string::npos ? "" : name.substr(dot);
  return ending == ".png" || ending == ".bmp";
}

bool IsRgbaPng(const std::vector<uint8_t>& bytes) {
  return bytes.size() > kPngColourTypeAt && bytes[1] == 'P' && bytes[kPngColourTypeAt] == VPNG_COLOR_RGBA;
}

// Places pictures left to right in rows of the sheet's width.
struct SHEETPLACE {
  int32_t x = kSheetGap, y = kSheetGap, rowheight = 0;
  void Next(int32_t width, int32_t height, int32_t& px, int32_t& py) {
    if (x + width > kSheetWidth - kSheetGap && x > kSheetGap) {
      x = kSheetGap;
      y += rowheight + kSheetGap;
      rowheight = 0;
    }
    px = x;
    py = y;
    x += width + kSheetGap;
    rowheight = std::max(rowheight, height);
  }
};

struct SHEETITEM {
  const ASSETENTRY* entry;
  int32_t width, height;  // of the picture, the label above it not counted
};

bool PictureSize(ClassVDisplay& display, const ASSETENTRY& entry, int32_t& width, int32_t& height) {
  V2DSurface picture;
  if (display.CreateSurface(&picture, entry.bytes.data(), uint32_t(entry.bytes.size()), kSurface32) != 0)
    return false;
  width = picture.GetWidth();
  height = picture.GetHeight();
  return true;
}

bool DrawItem(ClassVDisplay& display, V2DSurface& sheet, V2DSurface& font, const SHEETITEM& item, int32_t x,
              int32_t y) {
  const ASSETENTRY& entry = *item.entry;
  sheet.DrawFont(x, y, &font, entry.name.c_str(), BlitFlags::ColorKey, 0);
  const int32_t top = y + font.GetFontHeight(static_cast<const char*>(nullptr));
  if (IsRgbaPng(entry.bytes)) {
    V2DSurfaceRGBA picture;
    if (display.CreateSurface(&picture, entry.bytes.data(), uint32_t(entry.bytes.size()), kSurface32) != 0)
      return false;
    return sheet.BltFast(x, top, &picture, nullptr) == 0;
  }
  V2DSurface picture;
  if (display.CreateSurface(&picture, entry.bytes.data(), uint32_t(entry.bytes.size()), kSurface32) != 0)
    return false;
  picture.SetColorKey(ASSET_KEY);
  return sheet.BltFast(x, top, &picture, nullptr, BlitFlags::ColorKey) == 0;
}

bool WriteWhole(const char* path, const std::vector<uint8_t>& bytes) {
  FILE* file = std::fopen(path, "wb");
  if (!file) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && written;
}

bool ReadWhole(const char* path, std::vector<uint8_t>& bytes) {
  FILE* file = std::fopen(path, "rb");
  if (!file) return false;
  uint8_t buffer[4096];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.insert(bytes.end(), buffer, buffer + got);
  const bool clean = std::ferror(file) == 0;
  std::fclose(file);
  return clean;
}

}  // namespace

bool AssetGen_Canvas(ClassVDisplay& display, V2DSurface& surface, int32_t width, int32_t height, uint32_t colour) {
  if (display.CreateSurface(&surface, width, height, kSurface32) != 0) return false;
  surface.Clear(colour);
  surface.SetColorKey(ASSET_KEY);
  return true;
}

std::vector<uint8_t> AssetGen_Png(const V2DSurface& surface, bool alphafromkey) {
  const int32_t width = surface.GetWidth(), height = surface.GetHeight();
  std::vector<uint32_t> pixels(size_t(width) * size_t(height));
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      const uint32_t colour = surface.GetPixel(x, y) & 0xFFFFFF;
      const bool clear = alphafromkey && colour == ASSET_KEY;
      pixels[size_t(y) * size_t(width) + size_t(x)] = clear ? 0 : colour | 0xFF000000u;
    }
  }
  if (alphafromkey) return AssetGen_PngRgba(pixels, width, height);
  std::vector<uint8_t> rgb;
  rgb.reserve(pixels.size() * 3);
  for (uint32_t colour : pixels) {
    rgb.push_back(uint8_t(colour));
    rgb.push_back(uint8_t(colour >> 8));
    rgb.push_back(uint8_t(colour >> 16));
  }
  const VPNGIMAGE image = {uint32_t(width), uint32_t(height), VPNG_COLOR_RGB, rgb.data(), uint32_t(width) * 3,
                           nullptr, 0};
  return EncodeOwned(image);
}

std::vector<uint8_t> AssetGen_PngRgba(const std::vector<uint32_t>& pixels, int32_t width, int32_t height) {
  std::vector<uint8_t> rgba;
  rgba.reserve(pixels.size() * 4);
  for (uint32_t colour : pixels)
    for (int shift = 0; shift < 32; shift += 8) rgba.push_back(uint8_t(colour >> shift));
  const VPNGIMAGE image = {uint32_t(width), uint32_t(height), VPNG_COLOR_RGBA, rgba.data(), uint32_t(width) * 4,
                           nullptr, 0};
  return EncodeOwned(image);
}

// The surface's writer only writes files, so the BMP goes through a
// temporary file that is removed again.
std::vector<uint8_t> AssetGen_Bmp(V2DSurface& surface) {
  std::string path = std::string(P_tmpdir) + "/assetgen-XXXXXX";
  const int handle = mkstemp(&path[0]);
  std::vector<uint8_t> bytes;
  if (handle < 0) return bytes;
  close(handle);
  if (surface.WriteBmp(path.c_str(), nullptr) != 0 || !ReadWhole(path.c_str(), bytes)) bytes.clear();
  std::remove(path.c_str());
  return bytes;
}

bool AssetGen_WritePreview(ClassVDisplay& display, const std::vector<ASSETENTRY>& pictures, const char* path) {
  V2DSurface font;
  if (!AssetGen_FontSheet(display, ASSETFONT::Text, font)) return false;
  const int32_t label = font.GetFontHeight(static_cast<const char*>(nullptr));
  std::vector<SHEETITEM> items;
  SHEETPLACE place;
  int32_t x, y;
  for (const ASSETENTRY& entry : pictures) {
    SHEETITEM item = {&entry, 0, 0};
    if (!IsPicture(entry.name) || !PictureSize(display, entry, item.width, item.height)) continue;
    place.Next(std::max(item.width, font.GetFontWidth(entry.name.c_str())), item.height + label, x, y);
    items.push_back(item);
  }
  V2DSurface sheet;
  if (!AssetGen_Canvas(display, sheet, kSheetWidth, place.y + place.rowheight + kSheetGap, kSheetColour))
    return false;
  SHEETPLACE again;
  for (const SHEETITEM& item : items) {
    again.Next(std::max(item.width, font.GetFontWidth(item.entry->name.c_str())), item.height + label, x, y);
    if (!DrawItem(display, sheet, font, item, x, y)) return false;
  }
  const std::vector<uint8_t> bytes = AssetGen_Png(sheet, false);
  return !bytes.empty() && WriteWhole(path, bytes);
}

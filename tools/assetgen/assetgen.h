// assetgen - draws, writes and packs every asset of the game. Each part
// appends the entries it makes; main() sorts them into the three packages.
//
// Parts and their files:
//   AssetGen_Pictures  assetgen_pictures.cpp  pictures for res/gfx.vpk
//   AssetGen_Fonts     assetgen_fonts.cpp     fonts for res/gfx.vpk
//   AssetGen_Logo      assetgen_logo.cpp      the logo model for res/gfx.vpk
//   AssetGen_Sounds    assetgen_sound.cpp     effects for res/sound.vpk
//   AssetGen_Music     assetgen_music.cpp     tunes for res/music.vpk
//   sprites            assetgen_objects.cpp   objects.bmp, menusprites.bmp
//   drawing helpers    assetgen_draw.cpp      canvases, PNG and BMP entries
// The picture parts draw on surfaces of an opened display and return false
// when a surface cannot be made; the sound parts need no display. An entry's
// name is the name the game looks up in its package.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class ClassVDisplay;
class V2DSurface;

struct ASSETENTRY {
  std::string name;            // entry name inside the package, at most 63 characters
  std::vector<uint8_t> bytes;  // the whole file as it is stored
};

bool AssetGen_Pictures(ClassVDisplay& display, std::vector<ASSETENTRY>& entries);
bool AssetGen_Fonts(ClassVDisplay& display, std::vector<ASSETENTRY>& entries);
bool AssetGen_Logo(std::vector<ASSETENTRY>& entries);
void AssetGen_Sounds(std::vector<ASSETENTRY>& entries);
void AssetGen_Music(std::vector<ASSETENTRY>& entries);

// The game's fonts, as the pictures use them to write their texts.
enum class ASSETFONT { Text, Score, Key };
// Draws the font's sheet into `sheet` (a new 32-bit surface) and builds its
// glyph table with the padding the game gives it; false without memory.
bool AssetGen_FontSheet(ClassVDisplay& display, ASSETFONT font, V2DSurface& sheet);

// The object sprite sheet (objects.bmp) and the menu sprites
// (menusprites.bmp), drawn into new 32-bit surfaces (assetgen_objects.cpp).
bool AssetGen_ObjectSheet(ClassVDisplay& display, V2DSurface& sheet);
bool AssetGen_MenuSprites(ClassVDisplay& display, V2DSurface& sheet);

// Drawing helpers (assetgen_draw.cpp).
constexpr uint32_t ASSET_KEY = 0xFF00FF;  // the colour key of every keyed picture
// A new 32-bit surface of the display filled with `colour`, its colour key
// ASSET_KEY; false without memory.
bool AssetGen_Canvas(ClassVDisplay& display, V2DSurface& surface, int32_t width, int32_t height, uint32_t colour);
// PNG file of the surface: RGB, or RGBA with key-coloured pixels transparent
// and the rest opaque (`alphafromkey`); empty bytes on failure.
std::vector<uint8_t> AssetGen_Png(const V2DSurface& surface, bool alphafromkey);
// PNG file from 32-bit colours with their alpha in bits 24-31; empty on failure.
std::vector<uint8_t> AssetGen_PngRgba(const std::vector<uint32_t>& pixels, int32_t width, int32_t height);
// 24-bit BMP file of the whole surface, made by the surface's own writer.
std::vector<uint8_t> AssetGen_Bmp(V2DSurface& surface);

// Draws every PNG and BMP entry of `pictures` with its name onto one sheet
// and writes it as a PNG file; false when it cannot.
bool AssetGen_WritePreview(ClassVDisplay& display, const std::vector<ASSETENTRY>& pictures, const char* path);

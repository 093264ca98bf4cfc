// loader.cpp - the loading screen.
//
// Depends on: game/loader.h, game/shared.h, render/vmod_dsp.h,
// audio/vmod_sound.h, util/vmod_memory.h.
#include "game/loader.h"

#include <cstdlib>
#include <initializer_list>

#include "audio/vmod_sound.h"
#include "game/shared.h"
#include "render/vmod_dsp.h"
#include "util/vmod_memory.h"
#include "util/vmod_std.h"

namespace {

constexpr const char* GFX_PACKAGE = "res\\gfx.vpk"; // resolved against the program's folder
constexpr const char* SOUND_PACKAGE = "res\\sound.vpk";
constexpr const char* MUSIC_PACKAGE = "res\\music.vpk";
constexpr uint32_t MAGENTA = 0xFF00FF;
constexpr int8_t MODEL_ANYTYPE = -2;               // the first model loader that takes the data
constexpr uint32_t MINIMUM_LOADTIME = 2000;        // ms the loading screen stays up
constexpr uint32_t LOGO_TIME = 4096;               // ms of the logo animation
constexpr uint32_t SOUND_VEXALOGO = 15;
constexpr uint32_t GRADIENT_DITHER = 0x100;
constexpr const char* FATAL_TEXT = "Not enough memory to load game data";
constexpr tagRECT PROGRESS_BAR = {16, 216, 304, 228};

// Sound effect slots and their entries; slot 10 stays empty.
struct SoundEntry {
  uint32_t slot;
  const char* name;
};
constexpr SoundEntry SOUNDS[] = {
    {0, "00-drop.wav"},       {1, "01-click.wav"},      {2, "02-part1.wav"},       {3, "03-part2.wav"},
    {4, "04-part3.wav"},      {5, "05-part4.wav"},      {6, "06-hint.wav"},        {7, "07-closelayer.wav"},
    {8, "08-frozen.wav"},     {9, "09-frozendeath.wav"}, {11, "11-keyboard.wav"},  {12, "12-hiscore.wav"},
    {13, "13-game.wav"},      {14, "14-siren.wav"},     {15, "15-vexalogo.wav"},   {16, "16-tarvologo.wav"},
};
constexpr uint32_t FIRST_LATE_SOUND = 9;           // step 13 loads the effects from this index of SOUNDS
constexpr uint32_t SOUND_COUNT = sizeof(SOUNDS) / sizeof(SOUNDS[0]);
constexpr const char* TUNES[] = {"00-bonus.mod", "01-ingame.mod"};

// Keyboard image colours and bevel.
constexpr uint32_t KEYBOARD_TOPLEFT = 0x7AEFEF;
constexpr uint32_t KEYBOARD_TOPRIGHT = 0x99F3F3;
constexpr uint32_t KEYBOARD_BOTTOMLEFT = 0x99F3F3;
constexpr uint32_t KEYBOARD_BOTTOMRIGHT = 0xC1F7F8;
constexpr uint32_t BEVEL_GREY = 0x404040;
constexpr int32_t BEVEL_WIDTH = 4;

// Package data fetched into a temporary block; false when missing or unreadable.
bool FetchEntry(ClassVFile& pack, const char* name, uint8_t*& data, uint32_t& size) {
  data = nullptr;
  size = 0;
  return pack.PackGetFileData(data, size, name) == VPK_OK && data != nullptr;
}

// An entry of the package made into a surface or model by create(data, size),
// which returns the display's result code; the entry's copy is freed either
// way. 1 when it was created, else 0.
template <typename Create>
int CreateFromEntry(ClassVFile& pack, const char* name, Create create) {
  uint8_t* data = nullptr;
  uint32_t size = 0;
  if (!FetchEntry(pack, name, data, size)) return 0;
  const int created = create(data, size);
  ClassVMemory::DeAlloc(data);
  return created == 0 ? 1 : 0;
}

}  // namespace

ClassLoader::~ClassLoader() {
  ClassVMemory::DeAlloc(packindex);
}

int ClassLoader::LoadSurface(V2DSurface* surface, const char* name, ClassVFile& pack, ClassVDisplay* display) {
  if (surface == nullptr || display == nullptr) return 0;
  if (!CreateFromEntry(pack, name, [&](uint8_t* data, uint32_t size) {
        return display->CreateSurface(surface, data, size, 0);
      }))
    return 0;
  surface->SetColorKey(MAGENTA);
  return 1;
}

int ClassLoader::LoadSurface(V2DSurfaceRGBA* surface, const char* name, ClassVFile& pack, ClassVDisplay* display) {
  if (surface == nullptr || display == nullptr) return 0;
  return CreateFromEntry(pack, name, [&](uint8_t* data, uint32_t size) {
    return display->CreateSurface(surface, data, size, 0);
  });
}

int ClassLoader::LoadSurface(V3DSurface* surface, const char* name, ClassVFile& pack, ClassVDisplay* display) {
  if (surface == nullptr || display == nullptr) return 0;
  if (!CreateFromEntry(pack, name, [&](uint8_t* data, uint32_t size) {
        return display->CreateSurface(surface, data, size, MODEL_ANYTYPE, 0);
      }))
    return 0;
  // A white key light with a faint ambient and a grey fill from the same side.
  display->SetLightSource(0, -2048, -4096, -4096, 0xFFFFFF, 0x202020);
  display->SetLightSource(1, -2048, -4096, -4096, 0xC0C0C0, 0);
  display->UseLight(0, true);
  display->UseLight(1, true);
  return 1;
}

int ClassLoader::QuickLoadSurface(V2DSurface* surface, const char* name, ClassVDisplay* display) {
  ClassVFile pack;
  if (pack.Open(GFX_PACKAGE, VFILE_MODE_READ) != 1) return 0;
  const int loaded = LoadSurface(surface, name, pack, display);
  pack.Close();
  return loaded;
}

ClassVDisplay* ClassLoader::Display() const {
  return shared != nullptr && shared->vcd != nullptr ? shared->vcd->display : nullptr;
}

ClassVSound* ClassLoader::Sound() const {
  return shared != nullptr && shared->vcd != nullptr ? shared->vcd->sound : nullptr;
}

bool ClassLoader::OpenIndexed(ClassVFile& pack, const char* name) {
  ClassVMemory::DeAlloc(packindex);
  packindex = nullptr;
  if (pack.Open(name, VFILE_MODE_READ) != 1) return false;
  packindex = pack.PackBuildIndex();
  pack.PackUseIndex(packindex);
  return true;
}

int ClassLoader::LoadItem(uint32_t step) {
  if (shared == nullptr) return 0;
  SHARED_SURFACE& s = shared->surface;
  ClassVDisplay* display = Display();
  switch (step) {
    case 0:
      return OpenIndexed(gfxpack, GFX_PACKAGE) ? 1 : 0;
    case 1:
      return LoadSurface(&s.background, "splash.png", gfxpack, display);
    case 2:
      return LoadFonts();
    case 3:
      shared->LoadCfg();
      return 1;
    case 5:
      return LoadOptionPictures();
    case 6:
      return BuildKeyboards();
    case 7:
      return LoadFieldPictures();
    case 8:
      return LoadSurface(&s.objects, "objects.bmp", gfxpack, display) &&
             LoadSurface(&s.menusprites, "menusprites.bmp", gfxpack, display);
    case 9:
      return LoadSurface(&s.messages, "messages.png", gfxpack, display);
    case 10:
      return LoadLogo();
    case 11:
      gfxpack.Close();
      OpenIndexed(sndpack, SOUND_PACKAGE);
      return 1;
    case 12:
      LoadSounds(0, FIRST_LATE_SOUND);
      return 1;
    case 13:
      LoadSounds(FIRST_LATE_SOUND, SOUND_COUNT);
      return 1;
    case 14:
      LoadMusic();
      return 1;
    case 16:
      sndpack.Close();
      return 1;
    default:  // steps 4 and 15 leave a frame for the bar
      return 1;
  }
}

int ClassLoader::LoadFonts() {
  SHARED_SURFACE& s = shared->surface;
  ClassVDisplay* display = Display();
  if (!LoadSurface(&s.font, "font.png", gfxpack, display) ||
      !LoadSurface(&s.fontscore, "fontscore.png", gfxpack, display) ||
      !LoadSurface(&s.keyfont, "keyfont.bmp", gfxpack, display)) {
    return 0;
  }
  for (V2DSurface* font : {&s.font, &s.fontscore}) {
    font->BuildFont(true, MAGENTA);
    font->SetFontPadding(-1, -1);
  }
  s.keyfont.SetFontPadding(1, 0);
  s.keyfont.SetFontCharacters(0, 127);
  s.keyfont.BuildFont(true, MAGENTA);
  return 1;
}

int ClassLoader::LoadOptionPictures() {
  SHARED_SURFACE& s = shared->surface;
  ClassVDisplay* display = Display();
  return LoadSurface(&s.titleoption, "titleoption.png", gfxpack, display) &&
         LoadSurface(&s.menubar, "menubar.png", gfxpack, display) &&
         LoadSurface(&s.menuoption, "menuoption.png", gfxpack, display);
}

int ClassLoader::BuildKeyboards() {
  ClassVDisplay* display = Display();
  if (display == nullptr) return 0;
  V2DSurface* images = shared->surface.keyboard;
  for (uint8_t layout = 0; layout < KEYBOARD_LAYOUTS; layout++) {
    if (display->CreateSurface(&images[layout], KEYBOARD_WIDTH, KEYBOARD_HEIGHT, 0) != 0) return 0;
  }
  V2DSurfaceRGBA keyimage;
  if (!LoadSurface(&keyimage, "kbkey.png", gfxpack, display)) return 0;
  for (uint8_t layout = 0; layout < KEYBOARD_LAYOUTS; layout++) DrawKeyboard(&images[layout], &keyimage, layout);
  keyimage.Free();
  return 1;
}

void ClassLoader::DrawKeyboard(V2DSurface* image, V2DSurfaceRGBA* keyimage, uint8_t layout) {
  image->GradientRect(nullptr, KEYBOARD_TOPLEFT, KEYBOARD_TOPRIGHT, KEYBOARD_BOTTOMLEFT, KEYBOARD_BOTTOMRIGHT,
                      GRADIENT_DITHER);
  const int32_t right = KEYBOARD_WIDTH - 1;
  const int32_t bottom = KEYBOARD_HEIGHT - 1;
  const uint32_t lighten = BlitFlags::Opacity | BlitFlags::Additive;
  const uint32_t darken = BlitFlags::Opacity | BlitFlags::Subtractive;
  for (int32_t i = 0; i < BEVEL_WIDTH; i++) {
    const uint32_t opacity = static_cast<uint32_t>((765 - 255 * i) / 4);
    image->DrawLine(i, i, right - i, i, BEVEL_GREY, lighten, opacity);
    image->DrawLine(i, i + 1, i, bottom - i, BEVEL_GREY, lighten, opacity);
    image->DrawLine(i + 1, bottom - i, right - i, bottom - i, BEVEL_GREY, darken, opacity);
    image->DrawLine(right - i, i + 1, right - i, bottom - 1 - i, BEVEL_GREY, darken, opacity);
  }
  for (int32_t row = 0; row < KEYBOARD_ROWS; row++) {
    int32_t column = 0;
    while (column < KEYBOARD_COLUMNS) {
      const int32_t width = KeyRunLength(layout, row, column);
      if (KeyCell(layout, row, column) != 0) {
        const tagRECT key = {KeyLeft(column), 16 * row + 5, KeyLeft(column + width), 16 * row + 21};
        shared->DrawKBKey(image, keyimage, &key);
        shared->DrawKBChar(image, column, row, layout, 0, true, false);
      }
      column += width;
    }
  }
}

int ClassLoader::LoadFieldPictures() {
  SHARED_SURFACE& s = shared->surface;
  ClassVDisplay* display = Display();
  if (!LoadSurface(&s.grid, "grid.png", gfxpack, display) ||
      !LoadSurface(&s.progressbar, "progressbar.png", gfxpack, display)) {
    return 0;
  }
  s.progressbar.AutoSetColorKey(0, 0);
  return 1;
}

int ClassLoader::LoadLogo() {
  SHARED_SURFACE& s = shared->surface;
  ClassVDisplay* display = Display();
  if (!LoadSurface(&s.banner, "vexabanner.png", gfxpack, display) ||
      !LoadSurface(&s.logo, "vexalogo.3ds", gfxpack, display)) {
    return 0;
  }
  // The model format carries no normals; the lights need them.
  s.logo.CalculateNormals();
  return 1;
}

void ClassLoader::LoadSounds(uint32_t first, uint32_t last) {
  ClassVSound* sound = Sound();
  if (sound == nullptr || !sndpack.IsOpen()) return;
  for (uint32_t index = first; index < last; index++) {
    uint8_t* data = nullptr;
    uint32_t size = 0;
    if (!FetchEntry(sndpack, SOUNDS[index].name, data, size)) continue;
    // The sound module keeps the data it accepts.
    if (sound->LoadSoundEffect(SOUNDS[index].slot, data, size) != 0) ClassVMemory::DeAlloc(data);
  }
}

void ClassLoader::LoadMusic() {
  ClassVSound* sound = Sound();
  if (!OpenIndexed(sndpack, MUSIC_PACKAGE) || sound == nullptr) return;
  for (uint32_t slot = 0; slot < sizeof(TUNES) / sizeof(TUNES[0]); slot++) {
    uint8_t* data = nullptr;
    uint32_t size = 0;
    if (!FetchEntry(sndpack, TUNES[slot], data, size)) continue;
    if (sound->LoadMusic(slot, data, size) != 0) ClassVMemory::DeAlloc(data);
  }
}

void ClassLoader::OnNextFrame(V2DSurface* backbuffer, uint32_t* activemodule, uint32_t* modulestatus,
                              unsigned long delta) {
  if (*modulestatus == MODULESTATUS_ENTER) {
    elapsed = 0;
    item = 0;
    *modulestatus = MODULESTATUS_RUNNING;
    return;
  }
  if (*modulestatus != MODULESTATUS_RUNNING || shared == nullptr) return;
  const uint32_t t = static_cast<uint32_t>(delta);
  if (item < LOADER_STEPS) {
    if (!LoadItem(item)) {
      gfxpack.Close();
      *modulestatus = MODULESTATUS_FATAL;
      ClassVStd::StrCpy(shared->errortext, FATAL_TEXT, SHARED_ERRORTEXTSIZE);
      return;
    }
    item++;
  }
  if (item <= LOADER_STEPS) {
    elapsed += t;
    if (elapsed >= MINIMUM_LOADTIME && item == LOADER_STEPS) {
      logotime = 0;
      item = LOADER_LOGOPHASE;
    }
  }
  if (item == LOADER_LOGOPHASE) {
    if (logotime == 0) {
      if (ClassVSound* sound = Sound()) sound->PlaySound(SOUND_VEXALOGO);
      shared->surface.background.GradientRect(nullptr, 0xA47354, 0x8E5434, 0xEEDEC6, 0xEEDEC6, GRADIENT_DITHER);
      logotime = 1;
    }
    logotime += t;
    if (logotime >= LOGO_TIME) {
      logotime = LOGO_TIME;
      shared->resetdelta = 1;
      *activemodule = MODULE_TITLE;
      *modulestatus = MODULESTATUS_ENTER;
    }
  }
  RenderAll(backbuffer);
}

void ClassLoader::RenderAll(V2DSurface* surface) {
  if (item == LOADER_LOGOPHASE) {
    if (logotime == 0) return;
    surface->BltFast(0, 0, &shared->surface.background, nullptr);
    RenderVexaLogo(surface);
    return;
  }
  if (item == 2) {
    surface->BltFast(0, 0, &shared->surface.background, nullptr);
  } else {
    // Only the strip under the bar changes between steps.
    surface->BltFast(PROGRESS_BAR.left, PROGRESS_BAR.top, &shared->surface.background, &PROGRESS_BAR);
  }
  if (item != 1) RenderProgressBar(surface);
}

void ClassLoader::RenderProgressBar(V2DSurface* surface) {
  surface->DrawRect(&PROGRESS_BAR, 0x000000, 0, 0);
  tagRECT inner = {PROGRESS_BAR.left + 1, PROGRESS_BAR.top + 1, PROGRESS_BAR.right - 1, PROGRESS_BAR.bottom - 1};
  surface->DrawRect(&inner, 0xFFFFFF, 0, 0);
  if (item < LOADER_STEPS) inner.right = inner.left + (static_cast<int32_t>(inner.right - inner.left) * item >> 4);
  surface->FillRect(&inner, 0xFFFFFF, BlitFlags::Opacity, 192);
}

void ClassLoader::RenderVexaLogo(V2DSurface* surface) {
  SHARED_SURFACE& s = shared->surface;
  if (logotime < LOGO_TIME && s.logo.IsCreated()) {
    s.logo.Reset();
    const int32_t a = static_cast<int32_t>(logotime % LOGO_TIME);
    const int32_t b = a - 2048;
    int32_t offsetx = 0;
    int32_t c = 0;
    if (std::abs(b) >= 512) {
      const int32_t flight = b < 0 ? a - 1536 : a - 2560;  // negative flying in, positive flying out
      c = std::abs(flight);
      offsetx = 80 * flight / 32;
    }
    s.logo.Translate(offsetx, -c / 2, 0);
    const int32_t scale = (65536 - 42 * c) >> 1;
    s.logo.Scale(scale, scale, scale);
    s.logo.Rotate(3312, 0, 0);
    s.logo.Rotate(0, 0, static_cast<uint32_t>(b * (c + 512) / 512 + 512));
    surface->Render(0, -20, &s.logo, 0x80000200, 0);
  }
  surface->BltFast(160 - s.banner.GetWidth() / 2, 200, &s.banner, nullptr);
}

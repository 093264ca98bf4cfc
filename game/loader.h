// loader.h - the loading screen, module 0: loads every image, font, sound
// and tune from the three resource packages into the shared state, one step
// per frame behind a progress bar, then shows the logo and hands over to the
// title screen. LoadSurface and QuickLoadSurface fetch one picture from a
// package for the other screens too.
//
// Source: loader.cpp. Depends on: game/module.h, resources/vmod_file.h,
// render/vmod_dsp.h (surface creation).
#pragma once

#include <cstdint>

#include "game/module.h"
#include "resources/vmod_file.h"

constexpr uint32_t LOADER_STEPS = 17;      // loading steps 0..16
constexpr uint32_t LOADER_LOGOPHASE = 32;  // item while the logo animation runs

class ClassVDisplay;
class ClassVSound;
class V2DSurfaceRGBA;
class V3DSurface;

class ClassLoader : public ClassModule {
 public:
  ClassLoader() = default;
  ~ClassLoader() override;                 // frees packindex

  // A picture from an open package, colour key magenta; 1, or 0 when missing or unreadable.
  static int LoadSurface(V2DSurface* surface, const char* name, ClassVFile& pack, ClassVDisplay* display);
  // The same without a colour key.
  static int LoadSurface(V2DSurfaceRGBA* surface, const char* name, ClassVFile& pack, ClassVDisplay* display);
  // A model; on success the display's two lights are set and switched on.
  static int LoadSurface(V3DSurface* surface, const char* name, ClassVFile& pack, ClassVDisplay* display);
  // The same from the graphics package, opened and closed around it.
  static int QuickLoadSurface(V2DSurface* surface, const char* name, ClassVDisplay* display);

  int LoadItem(uint32_t step);             // one loading step; 1 done, 0 failed
  void RenderAll(V2DSurface* surface);
  void RenderVexaLogo(V2DSurface* surface);
  void OnNextFrame(V2DSurface* backbuffer, uint32_t* activemodule, uint32_t* modulestatus,
                   unsigned long delta) override;

  uint32_t item = 0;                       // loading steps done, or LOADER_LOGOPHASE
  ClassVFile gfxpack;                      // the graphics package
  ClassVFile sndpack;                      // the sound package, then the music package
  uint32_t elapsed = 0;                    // ms spent in the loading phase
  uint32_t logotime = 0;                   // ms into the logo phase, at most 4096
  uint8_t* packindex = nullptr;            // index of the last package opened (ClassVMemory::Alloc)

 private:
  bool OpenIndexed(ClassVFile& pack, const char* name); // opens name, its index replaces packindex
  int LoadFonts();
  int LoadOptionPictures();
  int BuildKeyboards();
  void DrawKeyboard(V2DSurface* image, V2DSurfaceRGBA* keyimage, uint8_t layout);
  int LoadFieldPictures();
  int LoadLogo();
  void LoadSounds(uint32_t first, uint32_t last);
  void LoadMusic();
  void RenderProgressBar(V2DSurface* surface);
  ClassVDisplay* Display() const;
  ClassVSound* Sound() const;
};

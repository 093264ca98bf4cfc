// gui.h - the menu overlay, module 3: the bar along the bottom of the
// screen, the pop-up menu, the volume slider, the info boxes and the
// on-screen keyboard for a high-score name. It is never the active module;
// the application hands it events and frames while it is shown. Its drawing
// and input handling arrive with the overlay's own change; until then the
// handlers keep the base behaviour.
//
// Source: gui.cpp. Depends on: game/module.h.
#pragma once

#include <cstdint>

#include "game/module.h"

// Box states (the overlay's state word).
constexpr uint32_t BOXSTATE_NONE = 0;
constexpr uint32_t BOXSTATE_UNINITIALISED = 1;  // start value; again whenever no title or play field runs
constexpr uint32_t BOXSTATE_HIGHSCORES = 2;
constexpr uint32_t BOXSTATE_ABOUT = 4;
constexpr uint32_t BOXSTATE_NAMEENTRY = 5;       // high-score box with the keyboard

// Menu items, each a row of "menuoption.png", and the separator entry.
constexpr uint8_t MENUITEM_TIMEDGAME = 0;
constexpr uint8_t MENUITEM_EASYGAME = 1;
constexpr uint8_t MENUITEM_HIGHSCORES = 2;
constexpr uint8_t MENUITEM_EXIT = 3;
constexpr uint8_t MENUITEM_ABOUT = 5;
constexpr uint8_t MENUITEM_VOLUME = 6;
constexpr uint8_t MENUITEM_MINIMIZE = 7;
constexpr uint8_t MENUITEM_ENDGAME = 8;
constexpr uint8_t MENUITEM_CONTINUE = 9;
constexpr uint8_t MENUITEM_SEPARATOR = 98;

constexpr int32_t GUI_MENUMAX = 12;      // entries of a menu list
constexpr int32_t GUI_TYPEDMAX = 64;     // queued typed characters
constexpr int32_t GUI_CHECKSUMSIZE = 11; // ten hexadecimal digits and the zero

class ClassGui : public ClassModule {
 public:
  ClassGui();                            // uninitialised, the main menu, the bar to be drawn
  ~ClassGui() override = default;

  void OnNextFrame(V2DSurface* /*backbuffer*/, uint32_t* /*activemodule*/, uint32_t* /*modulestatus*/,
                   unsigned long /*delta*/) override {}
  void OnMinimize() override {}
  void OnButtonDown(unsigned long /*action*/, VBUTTONLIST* /*list*/, bool /*repeat*/) override {}
  void OnWheel(long /*direction*/) override {}
  void OnStylusUp(tagPOINT /*point*/) override {}
  void OnStylusDown(tagPOINT /*point*/) override {}
  void OnStylusMove(tagPOINT /*point*/) override {}

  uint32_t boxstate = BOXSTATE_NONE;
  tagRECT menurect = {};                 // the pop-up menu's rectangle
  uint8_t menulist[GUI_MENUMAX] = {};    // MENUITEM_* entries
  uint8_t menucount = 0;
  uint8_t menuopen = 0;
  uint8_t selected = 0;                  // index into menulist
  int32_t barwidth = 0;                  // width of "menubar.png"
  int32_t barheight = 0;                 // one of its eight strips
  int32_t itemwidth = 0;                 // half the width of "menuoption.png"
  int32_t itemheight = 0;                // one of its ten rows
  uint8_t volumemode = 0;                // the volume slider is shown
  uint8_t redraw = 0;                    // the bar is drawn this frame
  uint8_t cursorcolumn = 0;              // keyboard cursor, 0..26
  uint8_t cursorrow = 0;                 // 0..4
  uint8_t shiftstate = 0;                // 0 lower case, 1 upper for one character, 3 caps lock
  char typed[GUI_TYPEDMAX] = {};         // queued typed characters, zero = empty
  uint32_t editentry = 0;                // entry being named: rank + 3 x mode
  int32_t flashtime = 0;                 // ms the name line still flashes
  char checksums[2][GUI_CHECKSUMSIZE] = {};
};

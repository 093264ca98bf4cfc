// title.h - the title screen, module 1: the title picture with the two game
// modes, the start of a game and the exit picture.
//
// Source: title.cpp. Depends on: game/module.h.
#pragma once

#include <cstdint>

#include "game/module.h"

// Title states.
constexpr uint32_t TITLESTATE_CHOOSING = 0;
constexpr uint32_t TITLESTATE_STARTING = 1;  // short delay before the play field
constexpr uint32_t TITLESTATE_EXIT = 2;      // exit picture

class ClassVSound;

class ClassTitle : public ClassModule {
 public:
  ClassTitle() = default;
  ~ClassTitle() override = default;

  void OnNextFrame(V2DSurface* backbuffer, uint32_t* activemodule, uint32_t* modulestatus,
                   unsigned long delta) override;
  void OnButtonDown(unsigned long action, VBUTTONLIST* list, bool repeat) override;
  void OnWheel(long direction) override;
  void OnStylusUp(tagPOINT point) override;
  void OnStylusDown(tagPOINT point) override;
  void OnStylusMove(tagPOINT point) override;
  void RenderAll(V2DSurface* surface);

  uint32_t titlestate = TITLESTATE_CHOOSING;
  uint8_t stylusheld = 0;                  // a stylus press is in progress
  int32_t optionwidth = 0;                 // width of "titleoption.png"
  int32_t optionheight = 0;                // half its height: one mode's label
  uint32_t timer = 0;                      // ms: start delay, or exit-picture time
  uint32_t pulsetime = 0;                  // ms: drives the pulsing of the selected label

 private:
  void Enter();
  bool StartExit(V2DSurface* backbuffer);  // false when there is no exit picture
  void RunExitPicture(V2DSurface* backbuffer, uint32_t t);
  void StartGame();
  bool Choosing() const;                   // state 0 with no menu, box or keyboard open
  void TapLabel(tagPOINT point);
  void PlaySound(uint32_t slot) const;
  ClassVSound* Sound() const;
};

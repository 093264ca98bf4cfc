// vmod_console.h - the framework's message output.
//
// Messages are kept as wide text; 8-bit text and numbers are converted on the
// way in. The handheld has no console window, so nothing is shown.
// Depends on: util/vmod_std.h (text conversion).
#pragma once

#include <cstdint>

class ClassVConsole {
 public:
  void LinkWindow(void* window);                               // window the messages would go to (none here)
  void Empty();                                                // clears the shown messages
  void ShowMsg(const char16_t* text);                          // shows a wide message
  void ShowMsg(const char* text);                              // shows an 8-bit message, widened
  void ShowMsg(int32_t number);                                // shows a number in decimal
  void MsgWindow(const char16_t* title, const char16_t* text); // shows a titled message box
  void MsgWindow(const char* title, const char* text);         // the same for 8-bit texts, widened
};

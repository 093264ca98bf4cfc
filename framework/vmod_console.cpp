// vmod_console.cpp - message output that shows nothing on the handheld.
//
// Every form ends in the wide one, where a target with a console window
// would draw; on this target there is none, so that step is empty.
// Depends on: util/vmod_std.h (StrCpy, IntToStr).
#include "framework/vmod_console.h"

#include "util/vmod_std.h"

namespace {

// 8-bit messages are widened through a buffer of this many characters
// (zero included); longer ones are cut.
constexpr int32_t WIDEN_BUFFER = 256;
// Decimal digits of any int32_t, the sign and the zero.
constexpr int32_t NUMBER_BUFFER = 12;

// Widens text into wide (WIDEN_BUFFER characters); no text gives an empty one.
void Widen(char16_t* wide, const char* text) {
  wide[0] = 0;
  if (text) {
    ClassVStd::StrCpy(wide, text, WIDEN_BUFFER);
  }
}

}  // namespace

void ClassVConsole::LinkWindow(void* /*window*/) {
}

void ClassVConsole::Empty() {
}

void ClassVConsole::ShowMsg(const char16_t* /*text*/) {
}

void ClassVConsole::ShowMsg(const char* text) {
  char16_t wide[WIDEN_BUFFER];
  Widen(wide, text);
  ShowMsg(wide);
}

void ClassVConsole::ShowMsg(int32_t number) {
  char16_t digits[NUMBER_BUFFER] = {};
  ClassVStd::IntToStr(digits, number);
  ShowMsg(digits);
}

void ClassVConsole::MsgWindow(const char16_t* /*title*/, const char16_t* /*text*/) {
}

void ClassVConsole::MsgWindow(const char* title, const char* text) {
  char16_t widetitle[WIDEN_BUFFER];
  char16_t widetext[WIDEN_BUFFER];
  Widen(widetitle, title);
  Widen(widetext, text);
  MsgWindow(widetitle, widetext);
}

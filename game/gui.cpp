// gui.cpp - the menu overlay.
//
// Depends on: game/gui.h.
#include "game/gui.h"

#include <cstring>

namespace {

// The menu the overlay opens with: both games, volume, high scores and
// about, exit.
constexpr uint8_t MAIN_MENU[] = {MENUITEM_TIMEDGAME, MENUITEM_EASYGAME, MENUITEM_SEPARATOR, MENUITEM_VOLUME,
                                 MENUITEM_SEPARATOR, MENUITEM_HIGHSCORES, MENUITEM_ABOUT,  MENUITEM_SEPARATOR,
                                 MENUITEM_EXIT};
static_assert(sizeof MAIN_MENU <= GUI_MENUMAX, "the main menu fits the list");

}  // namespace

ClassGui::ClassGui() : boxstate(BOXSTATE_UNINITIALISED), menucount(sizeof MAIN_MENU), redraw(1) {
  std::memcpy(menulist, MAIN_MENU, sizeof MAIN_MENU);
}

// level_controls.cpp - how the player works the play field: the cursor,
// the selection and the swaps by direction keys, the hint key, the scroll
// wheel and the stylus. Every swap goes through StartSwap, which checks the
// pair once more and keeps the trace.
//
// Depends on: game/level.h, game/shared.h, input/vmod_input.h.
#include <cstdint>
#include <cstdlib>

#include "game/level.h"
#include "game/shared.h"
#include "input/vmod_input.h"

namespace {

constexpr uint8_t LAST_CELL = LEVEL_SIZE - 1;
constexpr int32_t STYLUS_SLACK = 3;          // pixels a held stylus may wander without a new touch

uint8_t WrapDown(uint8_t at) { return at == 0 ? LAST_CELL : static_cast<uint8_t>(at - 1); }
uint8_t WrapUp(uint8_t at) { return at == LAST_CELL ? 0 : static_cast<uint8_t>(at + 1); }

// One axis of an aimed cell: towards the lower index first, and never out of the grid.
uint8_t AimAxis(uint8_t at, bool lower, bool higher) {
  if (lower && at > 0) return static_cast<uint8_t>(at - 1);
  if (higher && at < LAST_CELL) return static_cast<uint8_t>(at + 1);
  return at;
}

bool InField(tagPOINT point) {
  const int32_t span = LEVEL_SIZE * LEVEL_CELLPIXELS;
  return point.x >= LEVEL_FIELDX && point.x < LEVEL_FIELDX + span && point.y >= LEVEL_FIELDY &&
         point.y < LEVEL_FIELDY + span;
}

bool Neighbours(int32_t ax, int32_t ay, int32_t bx, int32_t by) {
  return (ax != bx || ay != by) && std::abs(ax - bx) <= 1 && std::abs(ay - by) <= 1;
}

}  // namespace

bool ClassLevel::KeysIgnored() const { return shared != nullptr && shared->guibusy != 0; }

bool ClassLevel::Released(int32_t action, uint16_t button) const {
  const ClassVInput* input = shared != nullptr && shared->vcd != nullptr ? shared->vcd->input : nullptr;
  return button != 0 && input != nullptr && input->MappedTo(action, button);
}

bool ClassLevel::Held(int32_t action) const {
  const ClassVInput* input = shared != nullptr && shared->vcd != nullptr ? shared->vcd->input : nullptr;
  return input != nullptr && input->KeyHold(action);
}

bool ClassLevel::AimedCell(uint16_t released, uint8_t& x, uint8_t& y) const {
  y = AimAxis(cursory, Released(ACTION_UP, released) || Held(ACTION_UP),
              Released(ACTION_DOWN, released) || Held(ACTION_DOWN));
  x = AimAxis(cursorx, Released(ACTION_LEFT, released) || Held(ACTION_LEFT),
              Released(ACTION_RIGHT, released) || Held(ACTION_RIGHT));
  return x != cursorx || y != cursory;
}

void ClassLevel::ToggleSelection() {
  if (selected != 0) Deselect();
  else SelectCell(cursorx, cursory);
}

void ClassLevel::SwapOrDrop(uint8_t x, uint8_t y) {
  if (!StartSwap(x, y)) Deselect();
}

void ClassLevel::OnButtonDown(unsigned long action, VBUTTONLIST* /*list*/, bool repeat) {
  if (KeysIgnored()) return;
  // The hint is bought at any time, even while the field is busy.
  if (action == ACTION_ALT && !repeat) StartHintShow();
  if (swaplock != 0 || LevelPhase != LEVELPHASE_PLAYING) return;
  if (action == ACTION_SELECT) {
    if (!repeat) ToggleSelection();
    return;
  }
  // With a selection the directions aim instead; the release decides.
  if (selected != 0) return;
  if (action == ACTION_UP) cursory = WrapDown(cursory);
  if (action == ACTION_DOWN) cursory = WrapUp(cursory);
  if (action == ACTION_LEFT) cursorx = WrapDown(cursorx);
  if (action == ACTION_RIGHT) cursorx = WrapUp(cursorx);
}

void ClassLevel::OnButtonUp(unsigned long button, VBUTTONLIST* /*list*/) {
  if (KeysIgnored() || swaplock != 0 || LevelPhase != LEVELPHASE_PLAYING || selected == 0) return;
  if (!CursorValid()) {
    Deselect();
    return;
  }
  const uint16_t key = static_cast<uint16_t>(button);
  if (Released(ACTION_SELECT, key)) return;
  uint8_t x = 0;
  uint8_t y = 0;
  if (!AimedCell(key, x, y)) return;
  const bool direction = Released(ACTION_UP, key) || Released(ACTION_DOWN, key) ||
                         Released(ACTION_LEFT, key) || Released(ACTION_RIGHT, key);
  // A held direction alone only aims; another key let go with it cancels.
  if (direction) SwapOrDrop(x, y);
  else Deselect();
}

void ClassLevel::OnWheel(long direction) {
  if (KeysIgnored() || swaplock != 0 || LevelPhase != LEVELPHASE_PLAYING) return;
  if (selected == 0) {
    cursory = direction > 0 ? WrapDown(cursory) : WrapUp(cursory);
    return;
  }
  SwapOrDrop(cursorx, AimAxis(cursory, direction > 0, direction < 0));
}

void ClassLevel::TouchCell(uint8_t x, uint8_t y, tagPOINT point) {
  if (x == cursorx && y == cursory) {
    if (stylusdown == 0) {
      PlaySound(SOUND_CLICK);
      ToggleSelection();
    } else {
      SelectCell(x, y);
    }
    stylus = point;
    return;
  }
  const uint16_t cell = GetGridObj(static_cast<int8_t>(x), static_cast<int8_t>(y));
  if (cell >= LEVEL_OBJECTS || !LevelIsColour(objects[cell].type)) return;
  PlaySound(SOUND_CLICK);
  const bool cursorinside = cursorx < LEVEL_SIZE && cursory < LEVEL_SIZE;
  if (cursorinside && selected != 0 && Neighbours(cursorx, cursory, x, y)) StartSwap(x, y);
  else SelectCell(x, y);
}

void ClassLevel::OnStylusDown(tagPOINT point) {
  if (swaplock != 0 || LevelPhase != LEVELPHASE_PLAYING || !InField(point)) return;
  const bool still = std::abs(point.x - stylus.x) <= STYLUS_SLACK && std::abs(point.y - stylus.y) <= STYLUS_SLACK;
  if (stylusdown != 0 && still) return;
  TouchCell(static_cast<uint8_t>((point.x - LEVEL_FIELDX) / LEVEL_CELLPIXELS),
            static_cast<uint8_t>((point.y - LEVEL_FIELDY) / LEVEL_CELLPIXELS), point);
  stylusdown = 1;
}

void ClassLevel::OnStylusMove(tagPOINT point) {
  if (stylusdown != 0) OnStylusDown(point);
}

void ClassLevel::OnStylusUp(tagPOINT /*point*/) { stylusdown = 0; }

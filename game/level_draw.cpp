// level_draw.cpp - one frame of the play field on the back buffer: the
// backdrop, the grid fading in, the objects with their frames and fades, the
// hint flash, the cursor, the messages, the floating scores and the score
// line with the progress bar. Every image comes from the shared surfaces; a
// missing one draws nothing.
//
// Depends on: game/level.h, game/shared.h, render/vsurf_2d.h.
#include <cstdint>
#include <cstdio>

#include "game/level.h"
#include "game/shared.h"
#include "render/vsurf_2d.h"

namespace {

constexpr int32_t FIELD_SPAN = LEVEL_SIZE * LEVEL_CELLPIXELS;
constexpr tagRECT FIELD_RECT = {LEVEL_FIELDX, LEVEL_FIELDY, LEVEL_FIELDX + FIELD_SPAN, LEVEL_FIELDY + FIELD_SPAN};

constexpr uint32_t INTRO_FADE = 4000;        // ms of the grid's fade-in
constexpr uint32_t HINT_RISE = 512;          // ms the hint flash brightens, then as long to fade
constexpr uint32_t HINT_COLOUR = 0xFFFFFF;

constexpr tagRECT CURSOR_SPRITE = {0, 0, 32, 32};
constexpr uint32_t CURSOR_PULSE = 192;       // ms from dark to bright
constexpr uint32_t CURSOR_SWAPCOLOUR = 255;

constexpr int32_t MESSAGE_BANDS = 4;
constexpr int32_t MESSAGE_NOMOVES = 1;
constexpr int32_t MESSAGE_TIMEUP = 2;
constexpr int32_t MESSAGE_PAUSED = 3;
constexpr int32_t MESSAGE_CENTREX = 160;
constexpr int32_t MESSAGE_CENTREY = 113;

constexpr uint32_t SCORE_SHADOW = VFONT_CENTER | VFONT_MIDDLE | BlitFlags::ColorKey | BlitFlags::ColorFill;
constexpr uint32_t SCORE_FACE = VFONT_CENTER | VFONT_MIDDLE | BlitFlags::ColorKey;
constexpr int32_t SCORE_CENTRE = 12;         // the number's centre from the score object's position

constexpr int32_t HUD_SCOREX = 68;
constexpr int32_t HUD_SCOREY = -3;
constexpr int32_t BAR_FRAMEX = 83;
constexpr int32_t BAR_FRAMEY = 203;
constexpr tagRECT BAR_TROUGH = {94, 208, 224, 214};
constexpr uint32_t BAR_COLOUR = 0xA05000;
constexpr uint32_t BAR_OPACITY = 192;
constexpr uint32_t WARNING_COLOUR = 0x0000FF;
constexpr uint32_t WARNING_PROGRESS = 160;   // timed mode: the bar pulses at or below this
constexpr uint32_t WARNING_PERIOD = 512;

constexpr uint32_t FADE_INVISIBLE = 1020;
constexpr int32_t OBJECT_OFFSETONE = 16384;  // object offsets: one cell
constexpr int32_t SPRITEROW_FROZEN = 8;
constexpr int32_t SPRITEROW_SHATTERING = 9;
constexpr int32_t SPRITEROW_TREASURE = 10;

tagRECT Whole(const V2DSurface& image) { return {0, 0, image.GetWidth(), image.GetHeight()}; }

void BltWhole(V2DSurface* target, int32_t x, int32_t y, V2DSurface& image, uint32_t flags, uint32_t value) {
  const tagRECT whole = Whole(image);
  target->BltFast(x, y, &image, &whole, flags, value);
}

int32_t CellLeft(int32_t x) { return LEVEL_FIELDX + LEVEL_CELLPIXELS * x; }
int32_t CellTop(int32_t y) { return LEVEL_FIELDY + LEVEL_CELLPIXELS * y; }

// Rises over the first half of the flash and falls over the second.
uint32_t HintOpacity(uint32_t age) {
  if (age < HINT_RISE) return age * 255 / HINT_RISE;
  if (age < 2 * HINT_RISE) return 255 - (age * 255 - HINT_RISE * 255) / HINT_RISE;
  return 0;
}

// A triangle wave between 0 and 192 with a period of 384 ms.
uint32_t CursorPulse(uint32_t time) {
  const uint32_t phase = time % CURSOR_PULSE;
  return time % (2 * CURSOR_PULSE) < CURSOR_PULSE ? phase : CURSOR_PULSE - phase;
}

uint32_t WarningOpacity(uint32_t time) {
  const uint32_t u = time % WARNING_PERIOD;
  return u <= 255 ? 3 * u / 4 : 3 * (WARNING_PERIOD - u) / 4;
}

// The sheet row of an object type; -1 for a type without sprites.
int32_t SpriteRow(uint8_t type) {
  if (LevelIsColour(type)) return type - 1;
  if (type == OBJTYPE_FROZEN) return SPRITEROW_FROZEN;
  if (type == OBJTYPE_SHATTERING) return SPRITEROW_SHATTERING;
  if (type == OBJTYPE_TREASURE) return SPRITEROW_TREASURE;
  return -1;
}

}  // namespace

void ClassLevel::RenderAll(V2DSurface* target) {
  if (target == nullptr || shared == nullptr) return;
  SHARED_SURFACE& images = shared->surface;
  tagRECT kept = {};
  target->GetClipper(&kept);
  BltWhole(target, 0, 0, images.background, 0, 0);
  if (LevelPhase == LEVELPHASE_INTRO && introtime < INTRO_FADE) {
    BltWhole(target, LEVEL_FIELDX, LEVEL_FIELDY, images.grid, BlitFlags::Opacity, introtime * 255 / INTRO_FADE);
  }
  target->SetClipper(&FIELD_RECT);
  if (LevelPhase == LEVELPHASE_PAUSED) {
    DrawMessage(target, MESSAGE_PAUSED);
  } else {
    RenderObjects(target);
    RenderHint(target);
  }
  target->SetClipper(&kept);
  RenderCursor(target);
  RenderMessages(target);
  RenderScores(target);
  RenderHUD(target);
}

void ClassLevel::RenderObjects(V2DSurface* target) {
  if (target == nullptr || shared == nullptr) return;
  V2DSurface& sheet = shared->surface.objects;
  const int32_t size = cellsize;
  const int32_t centring = (LEVEL_CELLPIXELS - size) / 2;
  for (LEVEL_OBJECT& object : objects) {
    const int32_t row = SpriteRow(object.type);
    if (row < 0) continue;
    object.frame &= 7;
    if (object.fade >= FADE_INVISIBLE) continue;
    const int32_t column = object.frame;
    const tagRECT source = {column * size, row * size, column * size + size, row * size + size};
    const int32_t x = CellLeft(object.x) + LEVEL_CELLPIXELS * object.offsetX / OBJECT_OFFSETONE + centring;
    const int32_t y = CellTop(object.y) + LEVEL_CELLPIXELS * object.offsetY / OBJECT_OFFSETONE + centring;
    target->BltFast(x, y, &sheet, &source, BlitFlags::ColorKey | BlitFlags::Opacity, 255 - object.fade / 4);
  }
}

void ClassLevel::RenderHint(V2DSurface* target) {
  if (LevelPhase != LEVELPHASE_PLAYING || hintx >= LEVEL_NOHINT) return;
  const uint32_t opacity = HintOpacity(hinttime);
  if (opacity == 0) return;
  const tagRECT cell = {CellLeft(hintx), CellTop(hinty), CellLeft(hintx) + LEVEL_CELLPIXELS,
                        CellTop(hinty) + LEVEL_CELLPIXELS};
  target->FillRect(&cell, HINT_COLOUR, BlitFlags::Opacity, opacity);
}

void ClassLevel::RenderCursor(V2DSurface* target) {
  if (LevelPhase != LEVELPHASE_PLAYING || cursorx >= LEVEL_SIZE || cursory >= LEVEL_SIZE) return;
  V2DSurface& sheet = shared->surface.menusprites;
  const uint32_t pulse = CursorPulse(totaltime);
  const uint32_t colour = (pulse << 16) | (pulse << 8) | (selected != 0 ? 255 : pulse);
  const uint32_t tinted = BlitFlags::ColorKey | BlitFlags::ColorFill;
  target->BltFast(CellLeft(cursorx), CellTop(cursory), &sheet, &CURSOR_SPRITE, tinted, colour);
  uint8_t x = 0;
  uint8_t y = 0;
  if (swaplock != 0) {
    target->BltFast(CellLeft(swapx), CellTop(swapy), &sheet, &CURSOR_SPRITE, tinted, CURSOR_SWAPCOLOUR);
  } else if (selected != 0 && AimedCell(0, x, y)) {
    target->BltFast(CellLeft(x), CellTop(y), &sheet, &CURSOR_SPRITE, BlitFlags::ColorKey, 0);
  }
}

void ClassLevel::DrawMessage(V2DSurface* target, int32_t band) {
  V2DSurface& image = shared->surface.messages;
  const int32_t width = image.GetWidth();
  const int32_t height = image.GetHeight();
  const tagRECT source = {0, band * height / MESSAGE_BANDS, width, (band + 1) * height / MESSAGE_BANDS};
  target->BltFast(MESSAGE_CENTREX - width / 2, MESSAGE_CENTREY - height / (2 * MESSAGE_BANDS), &image, &source,
                  BlitFlags::ColorKey, 0);
}

void ClassLevel::RenderMessages(V2DSurface* target) {
  if (LevelPhase != LEVELPHASE_CLEARING) return;
  const bool timed = TimedMode();
  if (gameover != 0) DrawMessage(target, timed ? MESSAGE_TIMEUP : MESSAGE_NOMOVES);
  else if (timed) DrawMessage(target, MESSAGE_NOMOVES);
}

void ClassLevel::RenderScores(V2DSurface* target) {
  V2DSurface& font = shared->surface.fontscore;
  for (const SCORE_OBJECT& score : scoreobjects) {
    if (score.value == 0) continue;
    const int32_t x = (score.x >> 16) + SCORE_CENTRE;
    const int32_t y = (score.y >> 16) + SCORE_CENTRE;
    const int32_t value = static_cast<int32_t>(score.value);
    target->DrawFont(x + 1, y + 1, &font, value, SCORE_SHADOW, 0);
    target->DrawFont(x, y, &font, value, SCORE_FACE, 0);
  }
}

void ClassLevel::RenderHUD(V2DSurface* target) {
  if (target == nullptr || shared == nullptr) return;
  SHARED_SURFACE& images = shared->surface;
  char line[24];
  std::snprintf(line, sizeof(line), "Score %u", static_cast<unsigned>(shownscore));
  // A dark copy one pixel down and right is the shadow.
  target->DrawFont(HUD_SCOREX + 1, HUD_SCOREY + 1, &images.fontscore, line,
                   BlitFlags::ColorKey | BlitFlags::ColorFill, 0);
  target->DrawFont(HUD_SCOREX, HUD_SCOREY, &images.fontscore, line, BlitFlags::ColorKey, 0);
  BltWhole(target, BAR_FRAMEX, BAR_FRAMEY, images.progressbar, BlitFlags::ColorKey, 0);
  const uint32_t progress = Player().progress;
  const int32_t fill = static_cast<int32_t>(progress * static_cast<uint32_t>(BAR_TROUGH.right - BAR_TROUGH.left) /
                                            LEVEL_PROGRESSFULL);
  const tagRECT bar = {BAR_TROUGH.left, BAR_TROUGH.top, BAR_TROUGH.left + fill, BAR_TROUGH.bottom};
  target->FillRect(&bar, BAR_COLOUR, BlitFlags::Opacity, BAR_OPACITY);
  if (TimedMode() && progress <= WARNING_PROGRESS) {
    target->FillRect(&bar, WARNING_COLOUR, BlitFlags::Opacity, WarningOpacity(totaltime));
  }
}

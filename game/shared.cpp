// shared.cpp - the shared game state: particles, "game.cfg" and the
// high-score tables.
//
// Depends on: game/shared.h, resources/vmod_file.h, audio/vmod_sound.h,
// platform/platform.h (sync).
#include "game/shared.h"

#include <cstdint>
#include <cstring>

#include "audio/vmod_sound.h"
#include "platform/platform.h"
#include "resources/vmod_file.h"

namespace {

constexpr const char* CFG_NAME = "game.cfg";
constexpr const char* CFG_TEMPNAME = "game.cfg.tmp";

// Byte offsets of the settings block in "game.cfg".
constexpr uint32_t CFG_NAMES = 0;
constexpr uint32_t CFG_SCORES = 192;
constexpr uint32_t CFG_VOLUME = 250;

// A particle is freed beyond these whole-pixel bounds: 60 pixels outside
// each side of the 320 x 240 screen.
constexpr int64_t PARTICLE_MINPIXEL = -60;
constexpr int64_t PARTICLE_MAXX = 380;
constexpr int64_t PARTICLE_MAXY = 300;

// The pieces on the menu sprite sheet.
constexpr tagRECT PIECE_SMALL = {76, 76, 80, 80};
constexpr tagRECT PIECE_TUMBLING = {48, 0, 80, 32};
constexpr int32_t PIECE_SCALE = 0x10000;  // 1.0
constexpr uint32_t ANGLE_MASK = 0xFFF;

void PutLE32(uint8_t* out, uint32_t value) {
  for (int i = 0; i < 4; i++) out[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t GetLE32(const uint8_t* in) {
  return static_cast<uint32_t>(in[0]) | static_cast<uint32_t>(in[1]) << 8 |
         static_cast<uint32_t>(in[2]) << 16 | static_cast<uint32_t>(in[3]) << 24;
}

// The block as it is stored; reserved bytes and padding are written as zero.
void EncodeSettings(const SHARED_SETTINGS& settings, uint8_t* block) {
  std::memset(block, 0, SETTINGS_SIZE);
  std::memcpy(block + CFG_NAMES, settings.names, sizeof settings.names);
  for (int32_t mode = 0; mode < HIGHSCORE_MODES; mode++) {
    for (int32_t rank = 0; rank < HIGHSCORE_RANKS; rank++) {
      PutLE32(block + CFG_SCORES + 4 * (mode * HIGHSCORE_RANKS + rank), settings.scores[mode][rank]);
    }
  }
  block[CFG_VOLUME] = settings.volume;
}

// A name without its zero inside the field keeps its first 31 characters.
void DecodeSettings(const uint8_t* block, SHARED_SETTINGS& settings) {
  std::memcpy(settings.names, block + CFG_NAMES, sizeof settings.names);
  for (int32_t mode = 0; mode < HIGHSCORE_MODES; mode++) {
    for (int32_t rank = 0; rank < HIGHSCORE_RANKS; rank++) {
      settings.names[mode][rank][HIGHSCORE_NAMESIZE - 1] = '\0';
      settings.scores[mode][rank] = GetLE32(block + CFG_SCORES + 4 * (mode * HIGHSCORE_RANKS + rank));
    }
  }
  settings.volume = block[CFG_VOLUME];
}

// A created piece's corner in 16.16: 2 pixels up and left of the given
// point, so a small piece is centred on it. Wraps instead of overflowing.
int32_t CornerFixed(int32_t pixels) {
  return static_cast<int32_t>((static_cast<uint32_t>(pixels) << 16) - 0x20000u);
}

int32_t AddWrapping(int32_t value, uint32_t step) {
  return static_cast<int32_t>(static_cast<uint32_t>(value) + step);
}

bool OffScreen(int64_t x, int64_t y) {
  const int64_t px = x >> 16;
  const int64_t py = y >> 16;
  return px < PARTICLE_MINPIXEL || py < PARTICLE_MINPIXEL || px > PARTICLE_MAXX || py > PARTICLE_MAXY;
}

// Gravity of each particle type, in velocity units per millisecond.
uint32_t Gravity(uint8_t type) {
  return type == PARTICLE_LIGHT ? 1 : 4;
}

}  // namespace

ClassShared::ClassShared() {
  ResetCfg();
}

void ClassShared::ResetParticles() {
  for (PARTICLE& particle : particles) particle = PARTICLE{};
}

void ClassShared::CreateParticle(int32_t x, int32_t y, uint8_t type, int32_t vx, int32_t vy) {
  for (PARTICLE& particle : particles) {
    if (particle.type != PARTICLE_FREE) continue;
    particle.type = type;
    particle.x = CornerFixed(x);
    particle.y = CornerFixed(y);
    particle.vx = vx;
    particle.vy = vy;
    particle.angle = 0;
    return;
  }
}

void ClassShared::HandleParticles(uint32_t t) {
  for (PARTICLE& particle : particles) {
    if (particle.type == PARTICLE_FREE) continue;
    particle.vy = AddWrapping(particle.vy, Gravity(particle.type) * t);
    if (particle.type == PARTICLE_TUMBLING) {
      particle.angle = static_cast<int32_t>((static_cast<uint32_t>(particle.angle) + 2 * t) & ANGLE_MASK);
    }
    // In 64 bits: a long frame at a high speed must leave the screen, not wrap.
    const int64_t x = particle.x + 4 * static_cast<int64_t>(particle.vx) * t;
    const int64_t y = particle.y + 4 * static_cast<int64_t>(particle.vy) * t;
    if (OffScreen(x, y)) {
      particle = PARTICLE{};
      continue;
    }
    particle.x = static_cast<int32_t>(x);
    particle.y = static_cast<int32_t>(y);
  }
}

void ClassShared::RenderParticles(V2DSurface* target) {
  V2DSurface* sheet = &surface.menusprites;
  for (const PARTICLE& particle : particles) {
    const int32_t x = particle.x >> 16;
    const int32_t y = particle.y >> 16;
    if (particle.type == PARTICLE_LIGHT || particle.type == PARTICLE_HEAVY) {
      target->BltFast(x, y, sheet, &PIECE_SMALL, BlitFlags::ColorKey, 0);
    } else if (particle.type == PARTICLE_TUMBLING) {
      target->Blt(x, y, sheet, &PIECE_TUMBLING, static_cast<uint32_t>(particle.angle) & ANGLE_MASK, PIECE_SCALE, 0,
                  BlitFlags::ColorKey, 0);
    }
  }
}

void ClassShared::ResetCfg() {
  settings = SHARED_SETTINGS{};
  settings.volume = SETTINGS_DEFAULTVOLUME;
}

void ClassShared::LoadCfg() {
  ResetCfg();
  // The file's bytes go over the defaults, so a short file keeps the rest.
  uint8_t block[SETTINGS_SIZE];
  EncodeSettings(settings, block);
  ClassVFile file;
  if (file.Open(CFG_NAME, VFILE_MODE_READ)) {
    const uint32_t size = file.Size();
    file.Read(block, size < SETTINGS_SIZE ? size : SETTINGS_SIZE);
    file.Close();
  }
  DecodeSettings(block, settings);
  cfgloaded = true;
  ApplyVolume();
}

bool ClassShared::SaveCfg() {
  uint8_t block[SETTINGS_SIZE];
  EncodeSettings(settings, block);
  const bool saved = WriteCfgAtomically(block);
  resetdelta = 1;
  return saved;
}

void ClassShared::ApplyVolume() {
  if (vcd == nullptr || vcd->sound == nullptr) return;
  vcd->sound->SetSoundVolume(settings.volume * 75u / 100u);
  vcd->sound->SetMusicVolume(settings.volume);
}

void ClassShared::ChangeVolume(bool up) {
  uint8_t& volume = settings.volume;
  if (up) {
    volume = volume >= 255 - VOLUME_STEP ? 255 : static_cast<uint8_t>(volume + VOLUME_STEP);
  } else {
    volume = volume <= VOLUME_STEP ? 0 : static_cast<uint8_t>(volume - VOLUME_STEP);
  }
  ApplyVolume();
  if (vcd != nullptr && vcd->sound != nullptr) vcd->sound->PlaySound(SOUND_CLICK);
}

uint8_t ClassShared::InsertHighScore(uint8_t mode, uint32_t score) {
  if (mode >= HIGHSCORE_MODES) return HIGHSCORE_NONE;
  char(*names)[HIGHSCORE_NAMESIZE] = settings.names[mode];
  uint32_t* scores = settings.scores[mode];
  for (int32_t rank = 0; rank < HIGHSCORE_RANKS; rank++) {
    if (scores[rank] >= score) continue;
    // Bottom up, so every entry is copied before it is overwritten; the
    // last rank drops out and nothing outside this mode's table is touched.
    for (int32_t below = HIGHSCORE_RANKS - 1; below > rank; below--) {
      std::memcpy(names[below], names[below - 1], HIGHSCORE_NAMESIZE);
      scores[below] = scores[below - 1];
    }
    std::memset(names[rank], 0, HIGHSCORE_NAMESIZE);
    scores[rank] = score;
    pendinghighscore = static_cast<uint8_t>(rank);
    return pendinghighscore;
  }
  return HIGHSCORE_NONE;
}

bool ClassShared::RunSaveStep(CfgSaveStep step, ClassVFile& file, const uint8_t* block) {
  switch (step) {
    case CfgSaveStep::Create:
      return file.New(CFG_TEMPNAME) == 1;
    case CfgSaveStep::Write:
      return file.Write(block, SETTINGS_SIZE) == 1;
    case CfgSaveStep::Close:
      // Closing flushes; a disk that filled up shows as a short file.
      file.Close();
      return file.SizeC(CFG_TEMPNAME) == SETTINGS_SIZE;
    case CfgSaveStep::Rename:
      return file.Rename(CFG_NAME, CFG_TEMPNAME) == 1;
  }
  return false;
}

bool ClassShared::WriteCfgAtomically(const uint8_t* block) {
  ClassVFile file;
  const bool saved = RunSaveStep(CfgSaveStep::Create, file, block) && RunSaveStep(CfgSaveStep::Write, file, block) &&
                     RunSaveStep(CfgSaveStep::Close, file, block) && RunSaveStep(CfgSaveStep::Rename, file, block);
  if (!saved) {
    // "game.cfg" itself was never opened: only the temporary goes.
    file.Close();
    file.Delete(CFG_TEMPNAME);
    return false;
  }
  Platform_Sync();  // the rename, too, reaches the card before the power may go
  return true;
}

// --- on-screen keyboard ------------------------------------------------------

namespace {

// Builds a layout row from control-key runs around a text of paired cells.
struct LayoutRow {
  uint8_t cells[KEYBOARD_COLUMNS];
};

constexpr LayoutRow MakeRow(uint8_t leftkey, int32_t leftcount, const char* text, uint8_t rightkey,
                            int32_t rightcount) {
  LayoutRow row{};
  int32_t column = 0;
  for (int32_t i = 0; i < leftcount; i++) row.cells[column++] = leftkey;
  for (int32_t i = 0; text[i] != '\0'; i++) row.cells[column++] = static_cast<uint8_t>(text[i]);
  for (int32_t i = 0; i < rightcount; i++) row.cells[column++] = rightkey;
  return row;
}

constexpr LayoutRow LAYOUT_ROWS[KEYBOARD_LAYOUTS][KEYBOARD_ROWS] = {
    {MakeRow(KEY_ESCAPE, 2, "11223344556677889900--", KEY_BACKSPACE, 3),
     MakeRow(KEY_TAB, 3, "qqwweerrttyyuuiioopp==''", 0, 0),
     MakeRow(KEY_CAPSLOCK, 4, "aassddffgghhjjkkll", KEY_ENTER, 5),
     MakeRow(KEY_SHIFT, 5, "zzxxccvvbbnnmm,,..;;//", 0, 0),
     MakeRow(0, 6, "                ", 0, 5)},
    {MakeRow(KEY_ESCAPE, 2, "!!@@##$$%%^^&&**(())__", KEY_BACKSPACE, 3),
     MakeRow(KEY_TAB, 3, "QQWWEERRTTYYUUIIOOPP++~~", 0, 0),
     MakeRow(KEY_CAPSLOCK, 4, "AASSDDFFGGHHJJKKLL", KEY_ENTER, 5),
     MakeRow(KEY_SHIFT, 5, "ZZXXCCVVBBNNMM<<>>::??", 0, 0),
     MakeRow(0, 6, "                ", 0, 5)},
};

constexpr int32_t KEYFACE = 24;             // the key face of the key picture
constexpr int32_t KEYCELL = 8;              // one of its 3 x 3 parts
constexpr int32_t SCREEN_HEIGHT = 240;
constexpr int32_t SLIDE_FULL = 250;         // slide that puts the keyboard at the screen's bottom
constexpr uint32_t LABEL_PLAIN = 0xA21;     // centred, keyed, subtractive
constexpr uint32_t LABEL_HIGHLIGHT = 0xA11; // centred, keyed, additive
constexpr uint32_t HIGHLIGHT_OPACITY = 192;

// The keyfont glyph of a control key, by image (lower, upper); other cells are their own label.
char KeyLabel(uint8_t cell, uint8_t layout) {
  switch (cell) {
    case KEY_ESCAPE: return 28;
    case KEY_BACKSPACE: return 31;
    case KEY_TAB: return 30;
    case KEY_ENTER: return 29;
    case KEY_SHIFT: return static_cast<char>(24 + layout);
    case KEY_CAPSLOCK: return static_cast<char>(26 + layout);
    default: return static_cast<char>(cell);
  }
}

// Corner sizes of a key side: full cells when the side holds two, else its halves.
void CornerSizes(int32_t length, int32_t& first, int32_t& second) {
  const bool full = length >= 2 * KEYCELL;
  first = full ? KEYCELL : (length + 1) / 2;
  second = full ? KEYCELL : length / 2;
}

// Copies of source along a key side of length beyond its corners, every 8
// pixels, the last one cut to what remains.
void RepeatPart(V2DSurface* target, V2DSurfaceRGBA* keyimage, tagRECT source, int32_t x, int32_t y,
                int32_t length, bool across) {
  for (int32_t done = 0; done < length; done += KEYCELL) {
    const int32_t piece = length - done < KEYCELL ? length - done : KEYCELL;
    tagRECT part = source;
    if (across) {
      part.right = part.left + piece;
      target->BltFast(x + done, y, keyimage, &part);
    } else {
      part.bottom = part.top + piece;
      target->BltFast(x, y + done, keyimage, &part);
    }
  }
}

}  // namespace

uint8_t KeyCell(uint8_t layout, int32_t row, int32_t column) {
  if (layout >= KEYBOARD_LAYOUTS || row < 0 || row >= KEYBOARD_ROWS || column < 0 || column >= KEYBOARD_COLUMNS) {
    return 0;
  }
  return LAYOUT_ROWS[layout][row].cells[column];
}

int32_t KeyStart(uint8_t layout, int32_t row, int32_t column) {
  const uint8_t cell = KeyCell(layout, row, column);
  while (column > 0 && KeyCell(layout, row, column - 1) == cell) column--;
  return column;
}

int32_t KeyRunLength(uint8_t layout, int32_t row, int32_t column) {
  const uint8_t cell = KeyCell(layout, row, column);
  int32_t end = column + 1;
  while (end < KEYBOARD_COLUMNS && KeyCell(layout, row, end) == cell) end++;
  return end - column;
}

void ClassShared::DrawKBKey(V2DSurface* target, V2DSurfaceRGBA* keyimage, const tagRECT* rect) {
  if (target == nullptr || keyimage == nullptr || rect == nullptr) return;
  const int32_t kw = rect->right - rect->left;
  const int32_t kh = rect->bottom - rect->top;
  if (kw < 0 || kh < 0) return;
  // The face sits between side borders; the rows under it are its shadow.
  const int32_t border = (keyimage->GetWidth() - KEYFACE) / 2;
  const int32_t imageright = keyimage->GetWidth() & ~1;
  const int32_t shadow = keyimage->GetHeight() - KEYFACE;
  int32_t leftw, rightw, toph, bottomh;
  CornerSizes(kw, leftw, rightw);
  CornerSizes(kh, toph, bottomh);
  const int32_t faceright = border + KEYFACE;
  const int32_t leftx = rect->left - border;
  const int32_t rightx = rect->right - rightw;
  const int32_t bottomy = rect->bottom - bottomh;
  const tagRECT corners[4] = {{0, 0, border + leftw, toph},
                              {faceright - rightw, 0, imageright, toph},
                              {0, KEYFACE - bottomh, border + leftw, KEYFACE + shadow},
                              {faceright - rightw, KEYFACE - bottomh, imageright, KEYFACE + shadow}};
  target->BltFast(leftx, rect->top, keyimage, &corners[0]);
  target->BltFast(rightx, rect->top, keyimage, &corners[1]);
  target->BltFast(leftx, bottomy, keyimage, &corners[2]);
  target->BltFast(rightx, bottomy, keyimage, &corners[3]);
  const int32_t middlew = kw - 2 * KEYCELL;
  const int32_t middleh = kh - 2 * KEYCELL;
  const int32_t middlex = rect->left + KEYCELL;
  const int32_t middley = rect->top + KEYCELL;
  const int32_t facemiddle = border + KEYCELL;
  if (middlew > 0) {
    RepeatPart(target, keyimage, {facemiddle, 0, facemiddle + KEYCELL, KEYCELL}, middlex, rect->top, middlew, true);
    RepeatPart(target, keyimage, {facemiddle, 2 * KEYCELL, facemiddle + KEYCELL, KEYFACE + shadow}, middlex,
               rect->bottom - KEYCELL, middlew, true);
  }
  if (middleh > 0) {
    RepeatPart(target, keyimage, {0, KEYCELL, facemiddle, 2 * KEYCELL}, leftx, middley, middleh, false);
    RepeatPart(target, keyimage, {faceright - KEYCELL, KEYCELL, imageright, 2 * KEYCELL}, rect->right - KEYCELL,
               middley, middleh, false);
  }
  if (middlew > 0 && middleh > 0) {
    for (int32_t done = 0; done < middleh; done += KEYCELL) {
      const int32_t piece = middleh - done < KEYCELL ? middleh - done : KEYCELL;
      RepeatPart(target, keyimage, {facemiddle, KEYCELL, facemiddle + KEYCELL, KEYCELL + piece}, middlex,
                 middley + done, middlew, true);
    }
  }
}

void ClassShared::DrawKBChar(V2DSurface* target, int32_t column, int32_t row, uint8_t layout, int32_t slide,
                             bool isstatic, bool highlight) {
  if (target == nullptr || row < 0 || row >= KEYBOARD_ROWS || column < 0 || column >= KEYBOARD_COLUMNS ||
      layout >= KEYBOARD_LAYOUTS) {
    return;
  }
  const uint8_t cell = KeyCell(layout, row, column);
  if (cell == 0) return;
  const int32_t shown = slide < SLIDE_FULL ? slide : SLIDE_FULL;
  const int32_t offset = isstatic ? 0 : SCREEN_HEIGHT - shown * surface.keyboard[0].GetHeight() / SLIDE_FULL;
  const int32_t first = KeyStart(layout, row, column);
  const int32_t width = KeyRunLength(layout, row, first);
  const int32_t top = offset + 16 * row;
  if (highlight) {
    const tagRECT shade = {KeyLeft(first), top + 6, KeyLeft(first + width), top + 22};
    target->FillRect(&shade, 0x000000, BlitFlags::Opacity, HIGHLIGHT_OPACITY);
  }
  const char label[2] = {KeyLabel(cell, layout), '\0'};
  target->DrawFont(KeyLeft(first) + 4 * width, top + 15, &surface.keyfont, label,
                   highlight ? LABEL_HIGHLIGHT : LABEL_PLAIN, 0);
}

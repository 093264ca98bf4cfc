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

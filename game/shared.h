// shared.h - the state every screen of the game shares: the particle pool,
// the loaded images, the settings and high-score block that is "game.cfg",
// the module switching words, the flags by which the screens and the
// overlay coordinate, and the current player record. The application object
// embeds the one instance; every screen reaches it through LinkShared.
//
// "game.cfg" is the 252-byte settings block, little-endian, no header:
//   0    3 x 32  high-score names of mode 0, ranks 0 (best) to 2
//   96   3 x 32  high-score names of mode 1
//   192  3 x 4   high scores of mode 0 (unsigned)
//   204  3 x 4   high scores of mode 1
//   216  34      reserved, written as zero
//   250  1       master volume (default 64)
//   251  1       padding, zero
// Saving writes "game.cfg.tmp" and renames it over "game.cfg", so a save that
// fails or is cut short at any point leaves the scores already saved intact.
//
// Source: shared.cpp. Depends on: render/vsurf_2d.h, render/vsurf_2drgba.h
// (surfaces, the particle blits), resources/vmod_file.h (the file),
// audio/vmod_sound.h (volumes), game/player.h.
#pragma once

#include <cstdint>

#include "framework/vexa_records.h"
#include "game/player.h"
#include "render/vsurf_2d.h"
#include "render/vsurf_2drgba.h"
#include "render/vsurf_3d.h"

class ClassVFile;

constexpr int32_t SHARED_PARTICLES = 256;     // records in the particle pool
constexpr int32_t SHARED_ERRORTEXTSIZE = 256; // characters of errortext, zero included

// Particle types.
constexpr uint8_t PARTICLE_FREE = 0;
constexpr uint8_t PARTICLE_LIGHT = 1;     // light falling piece
constexpr uint8_t PARTICLE_HEAVY = 2;     // heavy falling piece
constexpr uint8_t PARTICLE_TUMBLING = 3;  // heavy tumbling piece, drawn rotated

struct PARTICLE {
  int32_t x;      // 16.16 pixels: the sprite's top-left corner
  int32_t y;
  int32_t vx;     // the position advances by 4 x v x t per frame of t ms
  int32_t vy;
  int32_t angle;  // rotation of a tumbling piece, 4096 to the turn
  uint8_t type;   // PARTICLE_*
};

// The images every screen draws from, loaded by the loading screen.
struct SHARED_SURFACE {
  V2DSurface background;     // splash, logo gradient, title, backdrop, exit-picture copy
  V2DSurface font;           // bitmap font
  V2DSurface fontscore;      // bitmap font of the scores
  V2DSurface infobox;        // the info box currently open
  V2DSurface grid;
  V2DSurface spare;          // nothing is loaded into it
  V2DSurface objects;        // play-field object sprites
  V2DSurface menusprites;    // menu sprites and the particle pieces
  V2DSurface messages;
  V2DSurface progressbar;
  V2DSurface advert;         // the exit picture
  V2DSurface keyfont;        // font of the on-screen keyboard
  V2DSurface keyboard[2];    // drawn keyboard images: lower case, upper case
  V2DSurfaceRGBA titleoption;
  V2DSurfaceRGBA menubar;    // eight strips of the overlay's bar
  V2DSurfaceRGBA menuoption;
  V2DSurfaceRGBA banner;     // shown under the logo
  V3DSurface logo;           // the logo model
};

// The on-screen keyboard: two layouts of 5 rows x 27 cells; a key is a run
// of equal cells, 0 is no key. Control keys hold these codes.
constexpr uint8_t KEYBOARD_LAYOUTS = 2;      // lower case, upper case
constexpr int32_t KEYBOARD_ROWS = 5;
constexpr int32_t KEYBOARD_COLUMNS = 27;
constexpr int32_t KEYBOARD_WIDTH = 320;      // pixels of a keyboard image
constexpr int32_t KEYBOARD_HEIGHT = 96;
constexpr uint8_t KEY_ESCAPE = 7;
constexpr uint8_t KEY_BACKSPACE = 8;
constexpr uint8_t KEY_TAB = 9;
constexpr uint8_t KEY_ENTER = 10;
constexpr uint8_t KEY_SHIFT = 11;
constexpr uint8_t KEY_CAPSLOCK = 12;

uint8_t KeyCell(uint8_t layout, int32_t row, int32_t column);      // cell value, 0 outside the layouts
int32_t KeyStart(uint8_t layout, int32_t row, int32_t column);     // first cell of the run holding column
int32_t KeyRunLength(uint8_t layout, int32_t row, int32_t column); // cells from column to the run's end
inline int32_t KeyLeft(int32_t column) { return 8 * column + 52; } // pixel x of a cell in an image

// High-score tables and the settings block.
constexpr int32_t HIGHSCORE_MODES = 2;
constexpr int32_t HIGHSCORE_RANKS = 3;
constexpr int32_t HIGHSCORE_NAMESIZE = 32;   // bytes of a name field, zero included
constexpr uint8_t HIGHSCORE_NONE = 3;        // pendinghighscore: no entry waits for a name
constexpr uint32_t SETTINGS_SIZE = 252;      // bytes of the block and of "game.cfg"
constexpr uint32_t SETTINGS_RESERVEDSIZE = 34;
constexpr uint8_t SETTINGS_DEFAULTVOLUME = 64;

struct SHARED_SETTINGS {
  char names[HIGHSCORE_MODES][HIGHSCORE_RANKS][HIGHSCORE_NAMESIZE]; // always zero-terminated
  uint32_t scores[HIGHSCORE_MODES][HIGHSCORE_RANKS];
  uint8_t reserved[SETTINGS_RESERVEDSIZE];
  uint8_t volume;            // master volume 0..255
  uint8_t padding;
};
static_assert(sizeof(SHARED_SETTINGS) == SETTINGS_SIZE, "the settings block is 252 bytes");

constexpr uint8_t VOLUME_STEP = 13;          // one press of a volume key
constexpr uint32_t SOUND_CLICK = 1;          // sound effect slot of the volume feedback

// The steps of an atomic save, in order.
enum class CfgSaveStep : uint8_t { Create, Write, Close, Rename };

class ClassShared {
 public:
  ClassShared();                             // start values, settings as ResetCfg
  virtual ~ClassShared() = default;
  ClassShared(const ClassShared&) = delete;
  ClassShared& operator=(const ClassShared&) = delete;

  // Particle pool.
  void ResetParticles();                     // all free
  void CreateParticle(int32_t x, int32_t y, uint8_t type, int32_t vx, int32_t vy); // first free record, 2 px up-left; none free: ignored
  void HandleParticles(uint32_t t);          // moves by t ms, frees those 60 px beyond the screen
  void RenderParticles(V2DSurface* target);  // pieces from menusprites, in index order

  // Settings and "game.cfg".
  void ResetCfg();                           // scores 0, names empty, volume 64
  void LoadCfg();                            // ResetCfg, then the file's bytes over the block; applies the volume
  bool SaveCfg();                            // atomic write; sets resetdelta either way; true when saved
  bool CfgLoaded() const { return cfgloaded; } // LoadCfg has run: the block holds the player's settings
  void ApplyVolume();                        // effects at volume x 75 / 100, music at volume
  void ChangeVolume(bool up);                // one volume step, applied, with the feedback sound

  // On-screen keyboard drawing. DrawKBKey frames rect with the nine parts of
  // the key picture; DrawKBChar labels the key holding (column, row), slid
  // up from the screen's bottom by slide (of 250) unless drawn static.
  void DrawKBKey(V2DSurface* target, V2DSurfaceRGBA* keyimage, const tagRECT* rect);
  void DrawKBChar(V2DSurface* target, int32_t column, int32_t row, uint8_t layout, int32_t slide, bool isstatic,
                  bool highlight);

  // High scores.
  uint8_t InsertHighScore(uint8_t mode, uint32_t score); // rank taken (pendinghighscore), or HIGHSCORE_NONE

  PARTICLE particles[SHARED_PARTICLES] = {};
  SHARED_SURFACE surface;
  SHARED_SETTINGS settings = {};
  ClassPlayer* player = nullptr;             // the current player record (set by OnInit)
  char errortext[SHARED_ERRORTEXTSIZE] = {}; // reason of a fatal error (status 2)
  uint32_t activemodule = 0;                 // index of the active module; above 3 ends the program
  uint32_t modulestatus = 1;                 // MODULESTATUS_*
  uint8_t pendinghighscore = HIGHSCORE_NONE; // rank just filled that waits for a name
  uint8_t minimizerequest = 0;               // the overlay asks the application to minimize
  uint8_t guibusy = 0;                       // the overlay has a menu, box or keyboard open
  uint8_t resetdelta = 1;                    // run the next frame with a frame time of 0
  uint8_t guihidden = 0;                     // the overlay and the particles are not drawn
  uint8_t inputblocked = 0;                  // key events go to no module
  uint8_t guiactive = 0;                     // the overlay is shown
  VCD* vcd = nullptr;                        // the framework's modules (set by OnInit)
  ClassPlayer playerrecord;                  // owned here; reached through player

 protected:
  // One step of the atomic save on the temporary file; false when it failed.
  // Tests replace it to fail at each point.
  virtual bool RunSaveStep(CfgSaveStep step, ClassVFile& file, const uint8_t* block);

 private:
  bool WriteCfgAtomically(const uint8_t* block);

  bool cfgloaded = false;
};

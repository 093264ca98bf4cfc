// vmod_dsp.h - the display module: opens the framebuffer, owns the back
// buffer every screen draws into and copies it to the screen once a frame,
// defines the virtual coordinate system (the panel as the user holds it),
// and keeps what all surfaces share: the image loaders, the blit routine
// table, the display palette with its lookup, the internal font, the light
// table and world matrix of the 3D renderer, and the screen wipes.
//
// Sources: vmod_dsp.cpp (open, flip, orientation, palette, surfaces),
// vmod_dsp_wipe.cpp (wipes), vmod_dsp_font.cpp (internal font),
// vmod_dsp_3d.cpp (world matrix, lights, shading, model rendering).
// Depends on: platform/platform.h (framebuffer and registers), the device
// globals of framework/vexa_records.h, render/vsurf_2d.h, render/vrdr_blt.h, the
// memory and math modules.
#pragma once

#include <cstdint>

#include "framework/vexa_records.h"
#include "render/vrdr_blt.h"
#include "render/vsurf_2d.h"

class ClassVLoaderBase;
class V2DSurfaceRGBA;
class V3DSurface;

// Rotation codes (DisplayRotation).
namespace DisplayRotation {
constexpr uint8_t None = 0;         // as the panel is
constexpr uint8_t Quarter = 1;      // axes swapped, y mirrored
constexpr uint8_t Half = 2;         // x and y mirrored
constexpr uint8_t ThreeQuarter = 3; // axes swapped, x mirrored
constexpr uint8_t Portrait = 4;     // 3 on a panel wider than high, else 0
constexpr uint8_t Landscape = 5;    // 1 on a panel higher than wide, else 0
constexpr uint8_t System = 6;       // the system rotation (always 0 here)
}  // namespace DisplayRotation

constexpr int VDSP_LOADERSLOTS = 16;      // loader table
constexpr int VDSP_BLTFLIPBASE = 256;     // first BltFlip slot of the blit routine table
constexpr int VDSP_BLTSLOTS = 512;        // blit routine table
constexpr int VDSP_LIGHTS = 8;            // light table
constexpr uint32_t VDSP_LOOKUPSIZE = 32768; // palette lookup bytes (15-bit colours)
constexpr int32_t VDSP_FONTWIDTH = 126;   // internal font sheet
constexpr int32_t VDSP_FONTHEIGHT = 84;
constexpr uint32_t VDSP_WIPEEND = 65536;  // wipe position of a finished transition

// The blit routine table: BltFast routines in slots 0-255, BltFlip routines
// in slots 256-511, indexed by the operation flags.
struct VDSPBLTTABLE {
  VRDR_BLTFAST fast[256];
  VRDR_BLTFLIP flip[256];
};
static_assert(sizeof(VDSPBLTTABLE) == VDSP_BLTSLOTS * sizeof(void*), "512 routine pointers");

// One light of the 3D renderer.
struct VDSPLIGHT {
  uint8_t on;              // 0 = off
  int32_t x, y, z;         // direction
  uint32_t constantcolor;  // added whatever the direction
  uint32_t anglecolor;     // weighted by the angle to the normal
};
static_assert(sizeof(VDSPLIGHT) == 24, "a light is 24 bytes");

class ClassVDisplay {
 public:
  ClassVDisplay();
  ~ClassVDisplay();                                                // closes, releases the member surfaces
  ClassVDisplay(const ClassVDisplay&) = delete;
  ClassVDisplay& operator=(const ClassVDisplay&) = delete;

  // Opening and closing.
  int Open(void* window, VCD* vcd, uint8_t videotype, uint32_t width, uint32_t height, bool fullscreen); // 0, 1, 2, 3 or 4
  void Close();                                                    // unmaps, frees the tables; render mode 0
  bool IsOpen() const { return rendermode != 0; }                  // between Open and Close
  void Suspend();                                                  // Flip and BackFlip do nothing until Resume
  void Resume();                                                   // clears suspended, system rotation 0
  bool IsSuspended() const { return suspended; }                   // suspended flag
  void CheckDisplay();                                             // system rotation 0
  int32_t GetWidth() const;                                        // back buffer's virtual width
  int32_t GetHeight() const;                                       // back buffer's virtual height
  int GetVideoMemory(uint32_t& total, uint32_t& free) const;       // none here: both 0, result 3
  void SetRenderSize(int32_t size);                                // width limit of the 3D renderer
  int32_t GetRenderSize() const { return rendersize; }             // the render size
  static int32_t GetSystemRotation() { return 0; }                 // no system rotation on this target

  // Modes and orientation.
  uint8_t GetDisplayMode() const { return displaymode; }           // framebuffer's VideoType
  uint8_t GetRenderMode() const { return rendermode; }             // back buffer's VideoType (0 closed)
  uint8_t GetRotation() const { return rotation; }                 // resolved DisplayRotation 0..3
  bool AxesSwapped() const { return swapped; }                     // rotation 1 or 3
  int32_t GetXDirection() const { return xdirection; }             // +1 or -1
  int32_t GetYDirection() const { return ydirection; }             // +1 or -1
  uint32_t GetXRes() const { return xres; }                        // framebuffer width
  uint32_t GetYRes() const { return yres; }                        // framebuffer height
  V2DSurface* GetBackBuffer() { return &backbuffer; }              // the surface every screen draws into
  V2DSurface* GetInternalFont() { return &internalfont; }          // 126 x 84 font sheet (when built)

  // Virtual coordinates (W, H: physical size of the storage concerned).
  // Coordinates beyond +-2^28 are first clamped there, far outside any
  // surface, so no mapping overflows.
  void VirtualPos(int32_t& x, int32_t& y, int32_t w, int32_t h) const;   // a pixel position
  void VirtualRect(tagRECT& rect, int32_t w, int32_t h) const;          // a rectangle, right/bottom exclusive
  void ReVirtualRect(tagRECT& rect, int32_t w, int32_t h) const;        // the inverse
  void VirtualRectPos(int32_t& x, int32_t& y, tagRECT& rect, int32_t w, int32_t h, int32_t rw,
                      int32_t rh) const;                                // block position and source rectangle
  void VirtualRectPos(int32_t& x, int32_t& y, tagRECT& rect, int32_t w, int32_t h, int32_t rw, int32_t rh,
                      uint32_t rotation) const;                         // the same for a BltFlip rotation
  uint32_t VirtualRotation(uint32_t angle) const;                       // 12-bit angle
  void VirtualMouse(int32_t& x, int32_t& y) const;                      // physical stylus -> virtual
  void VirtualTilt(int32_t& x, int32_t& y) const;                       // tilt vector -> virtual
  uint32_t VirtualDPad(uint32_t button, const VBUTTONLIST* list) const; // direction button turned with the screen

  // Per frame.
  void Flip(bool wait = false);                                    // back buffer -> screen inside the flip rectangle
  void BackFlip();                                                 // screen -> back buffer
  void SetFlipRect(const tagRECT* rect);                           // virtual rectangle; null = whole screen
  void GetFlipRect(tagRECT* rect) const;                           // physical flip rectangle
  static uint32_t LinePixels(uint32_t xres, uint32_t mapped, bool queried,
                             uint32_t xresvirtual);                // line width a flip may use
  static void FlipCopy(uint8_t* dest, const uint8_t* src, int32_t dxstep, int32_t dystep, int32_t sxstep,
                       int32_t systep, int32_t width, int32_t height, int32_t pixelbytes); // null src clears
  int BltFast(int32_t x, int32_t y, V2DSurface* source, const tagRECT* rect); // into the back buffer, no flags
  int DrawFont(int32_t x, int32_t y, V2DSurface* font, const char* text, uint32_t flags = 0);     // keyed
  int DrawFont(int32_t x, int32_t y, V2DSurface* font, const char16_t* text, uint32_t flags = 0); // keyed
  int DrawFont(int32_t x, int32_t y, V2DSurface* font, int32_t number, uint32_t flags = 0);       // keyed
  int FillRect(const tagRECT* rect, uint32_t colour);              // opacity from the colour's top byte

  // Surfaces and loaders.
  int CreateSurface(V2DSurface* surface, int32_t width, int32_t height, uint32_t flags);   // Create in render mode
  int CreateSurface(V2DSurface* surface, const void* data, uint32_t size, uint32_t flags); // LoadImage from memory
  int CreateSurface(V2DSurface* surface, const char* name, uint32_t flags);                // LoadImage, 8-bit name
  int CreateSurface(V2DSurface* surface, const char16_t* name, uint32_t flags);            // LoadImage from a file
  int CreateSurface(V2DSurfaceRGBA* surface, int32_t width, int32_t height, uint32_t flags);   // Create in render mode
  int CreateSurface(V2DSurfaceRGBA* surface, const void* data, uint32_t size, uint32_t flags); // LoadImage from memory
  int CreateSurface(V2DSurfaceRGBA* surface, const char* name, uint32_t flags);                // LoadImage, 8-bit name
  int CreateSurface(V2DSurfaceRGBA* surface, const char16_t* name, uint32_t flags);            // LoadImage from a file
  int CreateSurface(V3DSurface* surface, int32_t vertices, int32_t polygons, uint32_t flags);  // Create
  int CreateSurface(V3DSurface* surface, const void* data, uint32_t size, int8_t type, uint32_t flags); // LoadModel from memory
  int CreateSurface(V3DSurface* surface, const char* name, int8_t type, uint32_t flags);                // LoadModel, 8-bit name
  int CreateSurface(V3DSurface* surface, const char16_t* name, int8_t type, uint32_t flags);            // LoadModel from a file
  int RegisterLoader(ClassVLoaderBase* loader);                    // first empty slot: 1; 0 null or full
  int AdoptLoader(ClassVLoaderBase* loader);                       // RegisterLoader; the display deletes it when destroyed
  int UnRegisterLoader(ClassVLoaderBase* loader);                  // clears its slot (an adopted one is the caller's again): 1; 0 not found
  ClassVLoaderBase* GetLoader(int slot) const;                     // slot 0..15, null when empty
  const VDSPBLTTABLE* GetBltTable() const { return blttable; }     // routines of the render mode's depth

  // Palette.
  void SetPalette(const uint32_t* colours, int32_t first, int32_t count); // entries first .. min(first + count, 256) - 1
  void GetPalette(uint32_t* colours, int32_t first, int32_t count) const; // the same range, 24 bits
  uint32_t GetPaletteVersion() const { return paletteversion; }    // grows with every SetPalette
  int BuildPaletteLookup();                                        // (re)builds the 15-bit lookup; 0 out of memory
  const uint8_t* GetPaletteLookup() const { return palettelookup; } // 32768 indices (null until built)
  void BuildPaletteLookupIndex(uint8_t* indextable, const uint32_t* colours) const; // 256 foreign colours -> indices
  const uint32_t* GetPaletteConversion(uint8_t videotype);         // the palette in native pixels, cached until it changes

  // Wipes.
  void StartWipe(uint32_t type, V2DSurface* surface);              // wipe progress 0
  int Wipe(V2DSurface* dest, V2DSurface* old, V2DSurface* fresh, uint32_t position, uint32_t type,
           const uint8_t* map, int32_t blocksize);                 // one step; 1 without dest or a needed map
  void MapScreenWipe(uint8_t* map, int32_t width, int32_t height, uint32_t maptype); // random map for type 7

  // 3D state and the hardware 3D entry points (no driver on this target).
  const VDSPLIGHT* GetLights() const { return lights; }            // 8 lights (null when closed)
  int32_t* GetWorldMatrix() { return worldmatrix; }                // 20.12, identity after Open
  void WorldReset();                                               // world matrix = identity
  void WorldTranslate(int32_t x, int32_t y, int32_t z);            // as V3DSurface::Translate does the model matrix
  void WorldRotate(uint32_t x, uint32_t y, uint32_t z);            // as V3DSurface::Rotate
  void WorldScale(int32_t x, int32_t y, int32_t z);                // as V3DSurface::Scale
  void SetShading(uint32_t flags) { shading = flags; }             // V3D_RENDER_ flags and draw flags of Render
  uint32_t GetShading() const { return shading; }                  // 0x400 (shaded) until set
  void UseLight(int32_t light, bool on);                           // lights 0-7; others ignored
  void SetLightSource(int32_t light, int32_t x, int32_t y, int32_t z, uint32_t anglecolour,
                      uint32_t constantcolour);                    // direction normalised to 16384, times 8
  void CalculatePerspective(const int32_t* vector, tagPOINT* point) const; // 20.12 x, y, z -> pixels from the centre, y up
  int32_t Render(V3DSurface* model);                               // into the back buffer, shading flags; triangles drawn
  void BindTexture(V2DSurface* texture) { boundtexture = texture; } // texture of the textured mode; null unbinds
  V2DSurface* GetBoundTexture() const { return boundtexture; }     // null when none is bound
  int32_t QueryTextureHandle(V2DSurfaceBase* surface) const;       // -1: no texture
  void ReleaseTextureHandle(V2DSurfaceBase* surface);              // nothing
  void UploadTexture(V2DSurfaceBase* surface);                     // nothing
  void WriteTextureData(V2DSurfaceBase* surface);                  // nothing

 private:
  int OpenGP2X();                                                  // framebuffer probe and mapping; 0, 1, 3 or 4
  int Initialize();                                                // surfaces and tables; 0, 1 or 2
  uint32_t QueryLinePixels() const;                                // framebuffer line width, never past the mapping
  void ResolveOrientation();                                       // swap and directions from the rotation
  void CopyToScreen(V2DSurface& source);                           // flip rectangle, source -> framebuffer
  void CopyFromScreen(V2DSurface& target);                         // flip rectangle, framebuffer -> target
  void WaitVerticalBlank() const;                                  // register 0x1182 bit 4 reads 0
  void WipeSlide(V2DSurface* dest, V2DSurface* old, V2DSurface* fresh, int32_t x, int32_t y);
  void WipeBlocks(V2DSurface* dest, V2DSurface* old, V2DSurface* fresh, uint32_t p, const uint8_t* map,
                  int32_t blocksize);
  void WipeMosaic(V2DSurface* dest, V2DSurface* old, uint32_t p);
  void WipeMap(V2DSurface* dest, V2DSurface* fresh, uint32_t p, const uint8_t* map);

  ClassVLoaderBase* loaders[VDSP_LOADERSLOTS] = {};
  bool adopted[VDSP_LOADERSLOTS] = {};     // slot's loader is deleted with the display
  V2DSurface backbuffer;                   // render mode, the panel's physical orientation
  V2DSurface conversion;                   // display mode, only when the modes differ
  VCD* ecd = nullptr;
  tagRECT fliprect = {0, 0, 0, 0};         // physical, right and bottom exclusive
  uint32_t displaypalette[256] = {};
  uint32_t paletteversion = 1;             // changes with the palette
  uint32_t lookupversion = 0;              // palette version the lookup was built from
  uint8_t* palettelookup = nullptr;        // 32768 bytes, allocated on first use
  uint32_t paletteconversion[256] = {};    // the palette in conversiontype's pixels
  uint8_t conversiontype = 0;              // format of paletteconversion (0 = none)
  uint32_t conversionversion = 0;          // palette version paletteconversion was made from
  VDSPBLTTABLE* blttable = nullptr;        // blit routine table
  VDSPLIGHT* lights = nullptr;             // light table
  int32_t worldmatrix[16] = {};
  uint32_t shading = 0x400;                // flags of Render(model)
  V2DSurface* boundtexture = nullptr;      // textured mode's texture, not owned
  V2DSurface internalfont;                 // 126 x 84 font sheet
  uint32_t xres = 0;                       // framebuffer width
  uint32_t yres = 0;                       // framebuffer height
  uint32_t bitsperpixel = 0;               // framebuffer depth
  uint32_t linepixels = 0;                 // framebuffer line width the mapping covers (xres_virtual)
  uint8_t* framebuffer = nullptr;          // the mapping
  uint32_t framebufferbytes = 0;           // length of the mapping
  uint8_t displaymode = 0;                 // framebuffer's VideoType
  uint8_t rendermode = 0;                  // back buffer's VideoType; 0 = closed
  uint8_t rotation = 0;                    // resolved DisplayRotation
  uint8_t systemrotation = 0;              // always 0 here
  bool swapped = false;                    // axes swapped
  int32_t xdirection = 1;                  // +1 or -1
  int32_t ydirection = 1;                  // +1 or -1
  int32_t rendersize = 0;                  // width limit of the 3D renderer
  uint32_t wipeprogress = 0;               // 0..256
  bool suspended = false;
};

void VDisplay_CreatePaletteLookup(uint8_t* lookup, const uint32_t* palette); // 32768 nearest indices
int VDisplay_CreateInternalFont(ClassVDisplay* display, V2DSurface* font);  // builds the 126 x 84 font; 0, 1 or 2

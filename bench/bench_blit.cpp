// bench_blit.cpp - the 16-bit (Rgb565) blit routines through their
// dispatcher, as BltFast calls it after clipping, against SDL2's
// SDL_BlitSurface on the same RGB565 pixels (with SDL2's defaults and with
// SDL_SetSurfaceRLE) and against memcpy of the same bytes.
//
// Two scenes on a 320 x 240 back buffer: a frame of 200 sprites of 24 x 24
// (a disc on the colour key, about 40 % key pixels, at fixed pseudo-random
// positions, odd and even columns alike), and one full-screen picture (the
// sprite tiled; also from a 336-pixel-wide picture, so that its rows are
// copied one by one). Modes: plain copy, keyed, opacity 128 (the shift blend),
// opacity 100 (96 after reduction to the 5-bit weight, the weighted blend),
// additive and tint; on sprites every mode but plain is keyed. SDL2 has no
// tint. SDL2 is optional: without it only our rows and memcpy run.
//
// A third scene draws a frame of 40 RGBA sprites of 64 x 64 (an opaque
// disc, a soft edge four pixels wide, transparent surroundings) onto the
// Rgb565 back buffer with the RGBA BltFast, straight and premultiplied,
// against SDL2's alpha blend of the same pixels (SDL_BLENDMODE_BLEND, an
// ARGB8888 source onto RGB565), with its defaults and with SDL_SetSurfaceRLE.
//
// After the runs a table gives each mode's CPU time per frame and the ratios
// SDL2 / ours, SDL2 with RLE / ours and ours / memcpy
// (--benchmark_repetitions=N makes them medians).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <map>
#include <string>
#include <vector>
#if defined(VEXA_BENCH_SDL2)
#include <SDL.h>
#endif

#include "bench/bench_times.h"
#include "render/vmod_dsp.h"
#include "render/vrdr_blt.h"
#include "render/vsurf_2d.h"
#include "render/vsurf_2drgba.h"
#include "tests/render/display_rig.h"
#include "tests/support/xorshift.h"

namespace {

constexpr int32_t kScreenWidth = 320, kScreenHeight = 240;
constexpr int32_t kSpriteSide = 24, kSpritesPerFrame = 200;
constexpr uint16_t kKey = 0xF81F;    // magenta, 0xFF00FF in Rgb565
constexpr int32_t kWideWidth = 336;  // a source whose rows are not back to back on the screen's

struct SCENE {
  std::vector<uint16_t> screen, picture, widePicture, sprite;
  std::vector<int32_t> spriteX, spriteY;
  double spriteKeyShare = 0;
};

// A shaded disc of radius 10.5 on the key: 230 of 576 pixels are key.
uint16_t SpritePixel(int32_t x, int32_t y) {
  const double dx = x - 11.5, dy = y - 11.5;
  if (dx * dx + dy * dy >= 10.5 * 10.5) return kKey;
  const uint32_t r = uint32_t(8 + x), g = uint32_t(16 + y + x), b = uint32_t(6 + y);
  return uint16_t((r << 11) | (g << 5) | b);
}

SCENE& TheScene() {
  static SCENE scene = [] {
    SCENE s;
    s.screen.assign(size_t(kScreenWidth) * kScreenHeight, 0x4208);
    s.sprite.resize(size_t(kSpriteSide) * kSpriteSide);
    uint32_t keys = 0;
    for (int32_t y = 0; y < kSpriteSide; ++y)
      for (int32_t x = 0; x < kSpriteSide; ++x) {
        s.sprite[size_t(y) * kSpriteSide + x] = SpritePixel(x, y);
        keys += SpritePixel(x, y) == kKey;
      }
    s.spriteKeyShare = double(keys) / double(s.sprite.size());
    s.picture.resize(s.screen.size());
    s.widePicture.resize(size_t(kWideWidth) * kScreenHeight);
    for (int32_t y = 0; y < kScreenHeight; ++y)
      for (int32_t x = 0; x < kWideWidth; ++x) {
        const uint16_t p = SpritePixel(x % kSpriteSide, y % kSpriteSide);
        if (x < kScreenWidth) s.picture[size_t(y) * kScreenWidth + x] = p;
        s.widePicture[size_t(y) * kWideWidth + x] = p;
      }
    XorShift32 rng{77};
    for (int32_t i = 0; i < kSpritesPerFrame; ++i) {
      s.spriteX.push_back(int32_t(rng.Below(kScreenWidth - kSpriteSide + 1)));
      s.spriteY.push_back(int32_t(rng.Below(kScreenHeight - kSpriteSide + 1)));
    }
    return s;
  }();
  return scene;
}

// What BltFast hands the dispatcher for each mode, and SDL2's nearest setup.
struct MODE {
  const char* name;
  bool keyed;
  bool wide;  // the screen from a wider picture: one copy per row
  uint32_t flags, opacity, fill;
  bool sdl;          // SDL2 has this operation
  uint8_t sdlAlpha;  // SDL_SetSurfaceAlphaMod
  int sdlBlend;      // 0 none, 1 SDL_BLENDMODE_BLEND, 2 SDL_BLENDMODE_ADD
  uint32_t bltFlags, bltValue;  // the same operation as a caller asks BltFast for it
};

constexpr uint32_t kTintFill = 0x3807;  // (0x7F0070 >> 1) & 0x7F7F7F in Rgb565: a halved purple

const MODE kSpriteModes[] = {
    {"plain", false, false, 0, 0, 0, true, 255, 0, 0, 0},
    {"keyed", true, false, VBLT_COLORKEY, 0, 0, true, 255, 0, VBLT_COLORKEY, 0},
    {"opacity128", true, false, VBLT_COLORKEY | VBLT_SHIFTBLENDHIGH, 128, 0, true, 128, 1,
     VBLT_COLORKEY | VBLT_OPACITY, 128},
    {"opacity100", true, false, VBLT_COLORKEY | VBLT_OPACITY, 96, 0, true, 100, 1, VBLT_COLORKEY | VBLT_OPACITY, 100},
    {"additive", true, false, VBLT_COLORKEY | VBLT_ADDITIVE, 0, 0, true, 255, 2, VBLT_COLORKEY | VBLT_ADDITIVE, 0},
    {"tint", true, false, VBLT_COLORKEY | VBLT_TINT, 0, kTintFill, false, 255, 0, VBLT_COLORKEY | VBLT_TINT,
     0xFF7F0070},
};
const MODE kScreenModes[] = {
    {"plain", false, false, 0, 0, 0, true, 255, 0, 0, 0},
    {"plain_rows", false, true, 0, 0, 0, true, 255, 0, 0, 0},
    {"keyed", true, false, VBLT_COLORKEY, 0, 0, true, 255, 0, VBLT_COLORKEY, 0},
    {"opacity128", false, false, VBLT_SHIFTBLENDHIGH, 128, 0, true, 128, 1, VBLT_OPACITY, 128},
    {"opacity100", false, false, VBLT_OPACITY, 96, 0, true, 100, 1, VBLT_OPACITY, 100},
    {"additive", false, false, VBLT_ADDITIVE, 0, 0, true, 255, 2, VBLT_ADDITIVE, 0},
    {"tint", false, false, VBLT_TINT, 0, kTintFill, false, 255, 0, VBLT_TINT, 0xFF7F0070},
};

constexpr int32_t kPitch = kScreenWidth * 2;
constexpr int32_t kSpritePitch = kSpriteSide * 2;

uint8_t* ScreenAt(SCENE& s, int32_t x, int32_t y) {
  return reinterpret_cast<uint8_t*>(s.screen.data()) + y * kPitch + x * 2;
}

void Finish(benchmark::State& state, int64_t pixelsPerFrame) {
  state.SetItemsProcessed(state.iterations() * pixelsPerFrame);
  state.counters["key_share"] = TheScene().spriteKeyShare;
}

// --- ours ----------------------------------------------------------------------

void OurSprites(benchmark::State& state, const MODE& m) {
  SCENE& s = TheScene();
  const uint8_t* sprite = reinterpret_cast<const uint8_t*>(s.sprite.data());
  for (auto _ : state) {
    for (int32_t i = 0; i < kSpritesPerFrame; ++i)
      VRdrBltFast16(kSpriteSide, kSpriteSide, ScreenAt(s, s.spriteX[i], s.spriteY[i]), sprite, kPitch, kSpritePitch,
                    kKey, m.fill, m.opacity, m.flags);
    benchmark::ClobberMemory();
  }
  Finish(state, int64_t(kSpritesPerFrame) * kSpriteSide * kSpriteSide);
}

void OurScreen(benchmark::State& state, const MODE& m) {
  SCENE& s = TheScene();
  const uint8_t* picture = reinterpret_cast<const uint8_t*>(m.wide ? s.widePicture.data() : s.picture.data());
  const int32_t pitch = m.wide ? kWideWidth * 2 : kPitch;
  for (auto _ : state) {
    VRdrBltFast16(kScreenWidth, kScreenHeight, ScreenAt(s, 0, 0), picture, kPitch, pitch, kKey, m.fill, m.opacity,
                  m.flags);
    benchmark::ClobberMemory();
  }
  Finish(state, int64_t(kScreenWidth) * kScreenHeight);
}

// --- ours, through BltFast on the display's back buffer -------------------------

// The display on the emulated framebuffer, with a sprite and two pictures as
// surfaces holding the scene's pixels.
struct SURFACESCENE {
  DisplayRig rig;
  V2DSurface sprite, picture, widePicture;
  bool ready = false;

  static void Fill(V2DSurface& surface, const std::vector<uint16_t>& pixels, int32_t width) {
    V2DSURFACEINFO info{};
    uint8_t* memory = surface.Lock(&info);
    if (!memory) return;
    for (int32_t y = 0; y < int32_t(info.height); ++y)
      std::memcpy(memory + size_t(y) * info.rowbytes, pixels.data() + size_t(y) * width, size_t(width) * 2);
    surface.Unlock();
  }

  SURFACESCENE() {
    SCENE& s = TheScene();
    if (rig.Open(0, VideoType::Rgb565) != 0) return;
    ClassVDisplay& d = rig.display;
    if (d.CreateSurface(&sprite, kSpriteSide, kSpriteSide, 1) != 0 ||
        d.CreateSurface(&picture, kScreenWidth, kScreenHeight, 1) != 0 ||
        d.CreateSurface(&widePicture, kWideWidth, kScreenHeight, 1) != 0)
      return;
    Fill(sprite, s.sprite, kSpriteSide);
    Fill(picture, s.picture, kScreenWidth);
    Fill(widePicture, s.widePicture, kWideWidth);
    sprite.SetColorKey(0xFF00FF);
    picture.SetColorKey(0xFF00FF);
    ready = true;
  }
};

SURFACESCENE& TheSurfaceScene() {
  static SURFACESCENE scene;
  return scene;
}

void OurBltFastSprites(benchmark::State& state, const MODE& m) {
  SCENE& s = TheScene();
  SURFACESCENE& ss = TheSurfaceScene();
  if (!ss.ready) {
    state.SkipWithError("the emulated display did not open");
    return;
  }
  V2DSurface* back = ss.rig.display.GetBackBuffer();
  for (auto _ : state) {
    for (int32_t i = 0; i < kSpritesPerFrame; ++i)
      back->BltFast(s.spriteX[i], s.spriteY[i], &ss.sprite, nullptr, m.bltFlags, m.bltValue);
    benchmark::ClobberMemory();
  }
  Finish(state, int64_t(kSpritesPerFrame) * kSpriteSide * kSpriteSide);
}

void OurBltFastScreen(benchmark::State& state, const MODE& m) {
  SURFACESCENE& ss = TheSurfaceScene();
  if (!ss.ready) {
    state.SkipWithError("the emulated display did not open");
    return;
  }
  V2DSurface* back = ss.rig.display.GetBackBuffer();
  V2DSurface* source = m.wide ? &ss.widePicture : &ss.picture;
  const tagRECT screen{0, 0, kScreenWidth, kScreenHeight};
  for (auto _ : state) {
    back->BltFast(0, 0, source, &screen, m.bltFlags, m.bltValue);
    benchmark::ClobberMemory();
  }
  Finish(state, int64_t(kScreenWidth) * kScreenHeight);
}

// --- RGBA sprites ------------------------------------------------------------------

constexpr int32_t kRgbaSide = 64, kRgbaPerFrame = 40;

// Straight colour and alpha (0xAARRGGBB as SDL2's ARGB8888 holds it) of the
// sprite: opaque inside radius 26, fading to nothing at radius 30.
uint32_t RgbaPixel(int32_t x, int32_t y) {
  const double d = std::sqrt((x - 31.5) * (x - 31.5) + (y - 31.5) * (y - 31.5));
  const double cover = d <= 26.0 ? 1.0 : d >= 30.0 ? 0.0 : (30.0 - d) / 4.0;
  const uint32_t alpha = uint32_t(cover * 255.0 + 0.5);
  const uint32_t r = uint32_t(60 + 3 * x), g = uint32_t(40 + 3 * y), b = uint32_t(200 - 2 * x);
  return (alpha << 24) | (r << 16) | (g << 8) | b;
}

struct RGBASCENE {
  DisplayRig rig;
  V2DSurfaceRGBA straight, premultiplied;
  std::vector<uint32_t> argb;  // the same pixels for SDL2
  std::vector<int32_t> x, y;
  double opaqueShare = 0, edgeShare = 0;
  bool ready = false;

  RGBASCENE() {
    argb.resize(size_t(kRgbaSide) * kRgbaSide);
    uint32_t opaque = 0, edge = 0;
    for (int32_t j = 0; j < kRgbaSide; ++j)
      for (int32_t i = 0; i < kRgbaSide; ++i) {
        const uint32_t p = RgbaPixel(i, j), alpha = p >> 24;
        argb[size_t(j) * kRgbaSide + i] = p;
        opaque += alpha == 255;
        edge += alpha != 0 && alpha != 255;
      }
    opaqueShare = double(opaque) / double(argb.size());
    edgeShare = double(edge) / double(argb.size());
    XorShift32 rng{91};
    for (int32_t i = 0; i < kRgbaPerFrame; ++i) {
      x.push_back(int32_t(rng.Below(kScreenWidth - kRgbaSide + 1)));
      y.push_back(int32_t(rng.Below(kScreenHeight - kRgbaSide + 1)));
    }
    if (rig.Open(0, VideoType::Rgb565) != 0) return;
    if (rig.display.CreateSurface(&straight, kRgbaSide, kRgbaSide, 1) != 0 ||
        rig.display.CreateSurface(&premultiplied, kRgbaSide, kRgbaSide, 1 | V2DRGBA_PREMULTIPLIED) != 0)
      return;
    for (int32_t j = 0; j < kRgbaSide; ++j)
      for (int32_t i = 0; i < kRgbaSide; ++i) {
        // Interface colours: red in bits 0-7.
        const uint32_t p = argb[size_t(j) * kRgbaSide + i], alpha = p >> 24;
        const uint32_t r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
        straight.PutPixel(i, j, r | (g << 8) | (b << 16), alpha);
        const uint32_t pr = r * (alpha + 1) >> 8, pg = g * (alpha + 1) >> 8, pb = b * (alpha + 1) >> 8;
        premultiplied.PutPixel(i, j, pr | (pg << 8) | (pb << 16), 255 - alpha);
      }
    ready = true;
  }
};

RGBASCENE& TheRgbaScene() {
  static RGBASCENE scene;
  return scene;
}

void FinishRgba(benchmark::State& state) {
  const RGBASCENE& rs = TheRgbaScene();
  state.SetItemsProcessed(state.iterations() * int64_t(kRgbaPerFrame) * kRgbaSide * kRgbaSide);
  state.counters["opaque_share"] = rs.opaqueShare;
  state.counters["edge_share"] = rs.edgeShare;
}

void OurRgbaSprites(benchmark::State& state, bool premultiplied) {
  RGBASCENE& rs = TheRgbaScene();
  if (!rs.ready) {
    state.SkipWithError("the emulated display did not open");
    return;
  }
  V2DSurface* back = rs.rig.display.GetBackBuffer();
  V2DSurfaceRGBA* sprite = premultiplied ? &rs.premultiplied : &rs.straight;
  for (auto _ : state) {
    for (int32_t i = 0; i < kRgbaPerFrame; ++i) back->BltFast(rs.x[i], rs.y[i], sprite, nullptr);
    benchmark::ClobberMemory();
  }
  FinishRgba(state);
}

// --- memcpy of the same bytes ------------------------------------------------------

void MemcpySprites(benchmark::State& state) {
  SCENE& s = TheScene();
  const size_t bytes = s.sprite.size() * 2;
  for (auto _ : state) {
    for (int32_t i = 0; i < kSpritesPerFrame; ++i)
      std::memcpy(ScreenAt(s, s.spriteX[i], s.spriteY[i]), s.sprite.data(), bytes);
    benchmark::ClobberMemory();
  }
  Finish(state, int64_t(kSpritesPerFrame) * kSpriteSide * kSpriteSide);
}

void MemcpyScreen(benchmark::State& state) {
  SCENE& s = TheScene();
  for (auto _ : state) {
    std::memcpy(s.screen.data(), s.picture.data(), s.picture.size() * 2);
    benchmark::ClobberMemory();
  }
  Finish(state, int64_t(kScreenWidth) * kScreenHeight);
}

// --- SDL2 --------------------------------------------------------------------------

#if defined(VEXA_BENCH_SDL2)
SDL_Surface* Wrap(uint16_t* pixels, int32_t width, int32_t height, int32_t rowPixels) {
  return SDL_CreateRGBSurfaceWithFormatFrom(pixels, width, height, 16, rowPixels * 2, SDL_PIXELFORMAT_RGB565);
}

bool Configure(SDL_Surface* src, const MODE& m, bool rle) {
  const SDL_BlendMode blend = m.sdlBlend == 2   ? SDL_BLENDMODE_ADD
                              : m.sdlBlend == 1 ? SDL_BLENDMODE_BLEND
                                                : SDL_BLENDMODE_NONE;
  return SDL_SetColorKey(src, m.keyed ? SDL_TRUE : SDL_FALSE, kKey) == 0 &&
         SDL_SetSurfaceAlphaMod(src, m.sdlAlpha) == 0 && SDL_SetSurfaceBlendMode(src, blend) == 0 &&
         SDL_SetSurfaceRLE(src, rle ? 1 : 0) == 0;
}

void SdlRun(benchmark::State& state, const MODE& m, bool rle, bool sprites) {
  SCENE& s = TheScene();
  SDL_Surface* dst = Wrap(s.screen.data(), kScreenWidth, kScreenHeight, kScreenWidth);
  SDL_Surface* src = sprites  ? Wrap(s.sprite.data(), kSpriteSide, kSpriteSide, kSpriteSide)
                     : m.wide ? Wrap(s.widePicture.data(), kScreenWidth, kScreenHeight, kWideWidth)
                              : Wrap(s.picture.data(), kScreenWidth, kScreenHeight, kScreenWidth);
  if (dst == nullptr || src == nullptr || !Configure(src, m, rle)) {
    state.SkipWithError(SDL_GetError());
  } else {
    SDL_Rect first{0, 0, 0, 0};
    SDL_BlitSurface(src, nullptr, dst, &first);  // an RLE surface is encoded on its first blit
    for (auto _ : state) {
      if (sprites) {
        for (int32_t i = 0; i < kSpritesPerFrame; ++i) {
          SDL_Rect at{s.spriteX[i], s.spriteY[i], 0, 0};
          SDL_BlitSurface(src, nullptr, dst, &at);
        }
      } else {
        SDL_Rect at{0, 0, 0, 0};
        SDL_BlitSurface(src, nullptr, dst, &at);
      }
      benchmark::ClobberMemory();
    }
    Finish(state,
           sprites ? int64_t(kSpritesPerFrame) * kSpriteSide * kSpriteSide : int64_t(kScreenWidth) * kScreenHeight);
  }
  SDL_FreeSurface(src);
  SDL_FreeSurface(dst);
}

void SdlRgbaSprites(benchmark::State& state, bool rle) {
  SCENE& s = TheScene();
  RGBASCENE& rs = TheRgbaScene();
  SDL_Surface* dst = Wrap(s.screen.data(), kScreenWidth, kScreenHeight, kScreenWidth);
  SDL_Surface* src = SDL_CreateRGBSurfaceWithFormatFrom(rs.argb.data(), kRgbaSide, kRgbaSide, 32, kRgbaSide * 4,
                                                        SDL_PIXELFORMAT_ARGB8888);
  if (dst == nullptr || src == nullptr || SDL_SetSurfaceBlendMode(src, SDL_BLENDMODE_BLEND) != 0 ||
      SDL_SetSurfaceRLE(src, rle ? 1 : 0) != 0) {
    state.SkipWithError(SDL_GetError());
  } else {
    SDL_Rect first{0, 0, 0, 0};
    SDL_BlitSurface(src, nullptr, dst, &first);  // an RLE surface is encoded on its first blit
    for (auto _ : state) {
      for (int32_t i = 0; i < kRgbaPerFrame; ++i) {
        SDL_Rect at{rs.x[i], rs.y[i], 0, 0};
        SDL_BlitSurface(src, nullptr, dst, &at);
      }
      benchmark::ClobberMemory();
    }
    FinishRgba(state);
  }
  SDL_FreeSurface(src);
  SDL_FreeSurface(dst);
}
#endif

// --- registration and the ratio table ----------------------------------------------

void RegisterScene(const char* scene, const MODE* modes, size_t count, bool sprites) {
  for (size_t i = 0; i < count; ++i) {
    const MODE& m = modes[i];
    const std::string base = std::string(scene) + "/" + m.name + "/";
    benchmark::RegisterBenchmark((base + "vexa").c_str(), [&m, sprites](benchmark::State& st) {
      sprites ? OurSprites(st, m) : OurScreen(st, m);
    });
    benchmark::RegisterBenchmark((base + "vexa_bltfast").c_str(), [&m, sprites](benchmark::State& st) {
      sprites ? OurBltFastSprites(st, m) : OurBltFastScreen(st, m);
    });
#if defined(VEXA_BENCH_SDL2)
    if (!m.sdl) continue;
    benchmark::RegisterBenchmark((base + "sdl").c_str(),
                                 [&m, sprites](benchmark::State& st) { SdlRun(st, m, false, sprites); });
    benchmark::RegisterBenchmark((base + "sdl_rle").c_str(),
                                 [&m, sprites](benchmark::State& st) { SdlRun(st, m, true, sprites); });
#endif
  }
  benchmark::RegisterBenchmark((std::string(scene) + "/memcpy").c_str(),
                               [sprites](benchmark::State& st) { sprites ? MemcpySprites(st) : MemcpyScreen(st); });
}

void RegisterRgbaScene() {
  benchmark::RegisterBenchmark("rgba/straight/vexa_bltfast", [](benchmark::State& st) { OurRgbaSprites(st, false); });
  benchmark::RegisterBenchmark("rgba/premultiplied/vexa_bltfast",
                               [](benchmark::State& st) { OurRgbaSprites(st, true); });
#if defined(VEXA_BENCH_SDL2)
  benchmark::RegisterBenchmark("rgba/sdl", [](benchmark::State& st) { SdlRgbaSprites(st, false); });
  benchmark::RegisterBenchmark("rgba/sdl_rle", [](benchmark::State& st) { SdlRgbaSprites(st, true); });
#endif
}

// The comparison tables printed after the runs.
class RatioReporter : public VBenchTimes {
 public:
  void PrintRatios(const char* scene, const MODE* modes, size_t count) const {
    const double memcpyTime = Time(std::string(scene) + "/memcpy");
    std::printf("\n%s (us per frame; memcpy %.2f)\n", scene, memcpyTime / 1e3);
    std::printf("%-11s %9s %9s %9s %9s %9s %9s\n", "mode", "vexa", "sdl", "sdl_rle", "sdl/vexa", "rle/vexa",
                "vexa/memcpy");
    for (size_t i = 0; i < count; ++i) {
      const std::string base = std::string(scene) + "/" + modes[i].name + "/";
      const double ours = Time(base + "vexa"), sdl = Time(base + "sdl"), rle = Time(base + "sdl_rle");
      std::printf("%-11s %9.2f %9.2f %9.2f %9.2f %9.2f %9.2f\n", modes[i].name, ours / 1e3, sdl / 1e3, rle / 1e3,
                  sdl / ours, rle / ours, ours / memcpyTime);
    }
  }

  void PrintRgbaRatios() const {
    const double sdl = Time("rgba/sdl"), rle = Time("rgba/sdl_rle");
    std::printf("\nrgba sprites (us per frame of %d sprites of %d x %d)\n", kRgbaPerFrame, kRgbaSide, kRgbaSide);
    std::printf("%-14s %9s %9s %9s %9s %9s\n", "mode", "vexa", "sdl", "sdl_rle", "sdl/vexa", "rle/vexa");
    for (const char* mode : {"straight", "premultiplied"}) {
      const double ours = Time(std::string("rgba/") + mode + "/vexa_bltfast");
      std::printf("%-14s %9.2f %9.2f %9.2f %9.2f %9.2f\n", mode, ours / 1e3, sdl / 1e3, rle / 1e3, sdl / ours,
                  rle / ours);
    }
  }

};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RegisterScene("sprites", kSpriteModes, std::size(kSpriteModes), true);
  RegisterScene("screen", kScreenModes, std::size(kScreenModes), false);
  RegisterRgbaScene();
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios("sprites", kSpriteModes, std::size(kSpriteModes));
  reporter.PrintRatios("screen", kScreenModes, std::size(kScreenModes));
  reporter.PrintRgbaRatios();
  benchmark::Shutdown();
  return 0;
}

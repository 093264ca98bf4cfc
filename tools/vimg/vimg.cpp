// vimg - the picture and model tool: tells which of the framework's loaders
// takes a file and what it found, converts a picture through those loaders
// to PNG or PAM, and renders a 3DS or MS3D model with the framework's
// renderer to a PNG, for the people who make or check the game's pictures
// and models.
//
// Depends on: the loaders (resources/loaders, offered a file in the order the
// display registers them), the PNG writer, the capture surface and model
// (tools/common/image_capture.h, model_capture.h), and for rendering a
// display opened on the emulated devices (its lights, render size and bound
// texture) with the model surface and renderer. Exit status: 0 success, 1 a
// file failed, 2 the command line was wrong.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "framework/vexa.h"
#include "render/vmod_dsp.h"
#include "render/vsurf_2d.h"
#include "render/vsurf_3d.h"
#include "resources/loaders/vldr_3ds.h"
#include "resources/loaders/vldr_base.h"
#include "resources/loaders/vldr_bmp.h"
#include "resources/loaders/vldr_gif.h"
#include "resources/loaders/vldr_jpg.h"
#include "resources/loaders/vldr_ms3d.h"
#include "resources/loaders/vldr_png.h"
#include "resources/loaders/vldr_tga.h"
#include "tools/common/display_rig.h"
#include "tools/common/image_capture.h"
#include "tools/common/model_capture.h"
#include "util/vmod_math.h"
#include "util/vmod_memory.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr long kLargestFile = 0x7FFFFFFF;  // the loaders take 32-bit lengths

const char kUsage[] =
    "usage: vimg info FILE...\n"
    "       vimg convert FILE OUT\n"
    "       vimg render MODEL OUT.png [--size WxH] [--mode textured|colour|wire|flat]\n"
    "                   [--angles X,Y,Z] [--time MS] [--texture FILE]\n"
    "\n"
    "commands:\n"
    "  info FILE...        for each file: the loader that takes it; for a picture\n"
    "                      width, height, depth (8-bit indexed or 32-bit colour),\n"
    "                      palette entries and transparency; for a model its\n"
    "                      vertices, triangles, groups (3DS: meshes), materials and\n"
    "                      joints; or the loader's error code and meaning\n"
    "  convert FILE OUT    decode the picture FILE with the framework's loaders and\n"
    "                      write OUT: PNG (RGBA) when OUT ends in .png, PAM\n"
    "                      (RGB_ALPHA, exactly the decoded pixels) when it ends in .pam\n"
    "  render MODEL OUT    load the 3DS or MS3D MODEL, pose it at the given time and\n"
    "                      draw it with the framework's renderer into an RGB565\n"
    "                      picture, written as OUT.png; the model is centred and\n"
    "                      scaled to about four fifths of the picture's smaller side\n"
    "\n"
    "render options:\n"
    "  --size WxH          picture size, 1 to 4096 each (320x240)\n"
    "  --mode MODE         textured (needs --texture), colour (shaded per vertex),\n"
    "                      wire (wire frame, no culling) or flat (one lit colour per\n"
    "                      triangle, as the game draws its logo) (flat)\n"
    "  --angles X,Y,Z      rotation, 4096 to the turn (0,0,0)\n"
    "  --time MS           animation time of a model with joints (0)\n"
    "  --texture FILE      picture to map on the model, read by the image loaders\n"
    "\n"
    "options:\n"
    "  -h, --help          show this text\n"
    "\n"
    "Loaders are tried in the display's order: BMP, GIF, PNG, JPG, TGA, 3DS, MS3D.\n"
    "Exit status: 0 success, 1 a file failed, 2 the command line was wrong.\n";

constexpr int32_t kLargestSide = 4096;
constexpr int32_t kFitRadius = 3277;        // 0.8 in 20.12: half the diagonal of the fitted model's box
constexpr uint32_t kBackground = 0x302020;  // dark blue-grey, so black models show
constexpr int32_t kScaleOne = 65536;        // 1.0 in the 16.16 of Scale

// What one file gave: the loader that answered (null when none did), its
// result and the decoded picture or model.
struct DECODED {
  const char* loader = nullptr;
  int result = VLDR_NOTMYFORMAT;
  std::unique_ptr<VImageCapture> image;
  std::unique_ptr<VModelCapture> model;
};

const char* LoaderName(const ClassVLoaderBase* loader) {
  if (dynamic_cast<const VLoader_BMP*>(loader)) return "BMP";
  if (dynamic_cast<const VLoader_GIF*>(loader)) return "GIF";
  if (dynamic_cast<const VLoader_PNG*>(loader)) return "PNG";
  if (dynamic_cast<const VLoader_JPG*>(loader)) return "JPG";
  if (dynamic_cast<const VLoader_TGA*>(loader)) return "TGA";
  if (dynamic_cast<const VLoader_3DS*>(loader)) return "3DS";
  if (dynamic_cast<const VLoader_MS3D*>(loader)) return "MS3D";
  return "unnamed";
}

const char* Meaning(int code) {
  switch (code) {
    case VLDR_LOADED: return "loaded";
    case VLDR_CORRUPT: return "the data is corrupt or inconsistent";
    case VLDR_OUTOFMEMORY: return "out of memory, or larger than this tool decodes";
    case VLDR_NOTMYFORMAT: return "not a format any loader knows";
    case VSURF_INVALID: return "the image or model is empty or too large";
    case VLDR_GIF_NOIMAGE: return "the file holds no image";
    default: return "a code of the surface the loader fed";
  }
}

bool ReadWhole(const char* name, std::vector<uint8_t>& out) {
  FILE* file = std::fopen(name, "rb");
  if (!file) return false;
  bool ok = std::fseek(file, 0, SEEK_END) == 0;
  long size = ok ? std::ftell(file) : -1;
  ok = ok && size >= 0 && size <= kLargestFile && std::fseek(file, 0, SEEK_SET) == 0;
  if (ok) {
    out.resize(size_t(size));
    ok = size == 0 || std::fread(out.data(), 1, out.size(), file) == out.size();
  }
  std::fclose(file);
  return ok;
}

const void* BlockOf(const std::vector<uint8_t>& block) { return block.empty() ? nullptr : block.data(); }

// Offers the block to each registered loader as a picture, then as a model,
// until one answers otherwise than "not my format".
void Decode(const ClassVDisplay& display, const std::vector<uint8_t>& block, DECODED& decoded) {
  for (int pass = 0; pass < 2; ++pass) {
    for (int slot = 0; slot < VDSP_LOADERSLOTS; ++slot) {
      ClassVLoaderBase* loader = display.GetLoader(slot);
      if (!loader) continue;
      // A fresh capture each time, so nothing a refusing loader streamed stays.
      int result;
      if (pass == 0) {
        decoded.image.reset(new VImageCapture());
        result = decoded.image->Load(*loader, BlockOf(block), uint32_t(block.size()));
      } else {
        decoded.image.reset();
        decoded.model.reset(new VModelCapture());
        decoded.model->forward = true;
        result = decoded.model->Load(*loader, BlockOf(block), uint32_t(block.size()));
      }
      if (result == VLDR_NOTMYFORMAT || result == VLDR_DECLINED) continue;
      decoded.loader = LoaderName(loader);
      decoded.result = result;
      return;
    }
  }
  decoded.model.reset();
}

// Reads and decodes one file; false (with the reason on stderr) on failure.
bool DecodeFile(const ClassVDisplay& display, const char* name, DECODED& decoded) {
  std::vector<uint8_t> block;
  if (!ReadWhole(name, block)) {
    std::fprintf(stderr, "vimg: %s: cannot read the file: %s\n", name, std::strerror(errno));
    return false;
  }
  Decode(display, block, decoded);
  if (!decoded.loader) {
    std::fprintf(stderr, "vimg: %s: no loader takes it (%d: %s)\n", name, VLDR_NOTMYFORMAT, Meaning(VLDR_NOTMYFORMAT));
    return false;
  }
  if (decoded.result != VLDR_LOADED) {
    std::fprintf(stderr, "vimg: %s: the %s loader failed with %d: %s\n", name, decoded.loader, decoded.result,
                 Meaning(decoded.result));
    return false;
  }
  return true;
}

void PrintPicture(const char* name, const char* loader, const VImageCapture& image) {
  std::printf("%s: %s, %d x %u, %s, palette %u, transparency %s\n", name, loader, int(image.width),
              unsigned(image.height), image.indexed ? "8-bit indexed" : "32-bit colour",
              unsigned(image.paletteentries), image.alpha ? "yes" : "no");
}

// The model loaders leave their group and material counts in the record's
// reserved words.
void PrintModel(const char* name, const char* loader, const VModelCapture& model) {
  const VLDR_3DCALLBACKINFO& r = model.record;
  std::printf("%s: %s model, %u vertices, %u triangles, %u groups, %u materials, %u joints\n", name, loader,
              unsigned(r.vertexcount), unsigned(r.polygoncount), unsigned(r.reserved[0]), unsigned(r.reserved[1]),
              unsigned(r.jointcount));
}

int Info(const ClassVDisplay& display, int count, char** names) {
  int status = kExitOk;
  for (int i = 0; i < count; ++i) {
    DECODED decoded;
    if (!DecodeFile(display, names[i], decoded)) {
      status = kExitFailed;
      continue;
    }
    if (decoded.model) {
      PrintModel(names[i], decoded.loader, *decoded.model);
    } else {
      PrintPicture(names[i], decoded.loader, *decoded.image);
    }
  }
  return status;
}

bool EndsWith(const std::string& text, const char* suffix) {
  const size_t n = std::strlen(suffix);
  if (text.size() < n) return false;
  for (size_t i = 0; i < n; ++i)
    if (std::tolower(static_cast<unsigned char>(text[text.size() - n + i])) != suffix[i]) return false;
  return true;
}

// Rows of red, green, blue (and alpha when `channels` is 4) bytes.
std::vector<uint8_t> PixelBytes(const std::vector<uint32_t>& pixels, int channels) {
  std::vector<uint8_t> out;
  out.reserve(pixels.size() * size_t(channels));
  for (uint32_t colour : pixels)
    for (int shift = 0; shift < 8 * channels; shift += 8) out.push_back(uint8_t(colour >> shift));
  return out;
}

bool WritePam(const char* name, const VImageCapture& image) {
  FILE* file = std::fopen(name, "wb");
  if (!file) return false;
  const std::vector<uint8_t> rgba = PixelBytes(image.pixels, 4);
  bool ok = std::fprintf(file, "P7\nWIDTH %d\nHEIGHT %u\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n",
                         int(image.width), unsigned(image.height)) > 0 &&
            std::fwrite(rgba.data(), 1, rgba.size(), file) == rgba.size();
  return std::fclose(file) == 0 && ok;
}

// The file module resolves relative names against the program's folder;
// the user means the current one.
std::u16string AbsoluteWide(const char* name) {
  std::string path = name;
  if (path.empty() || path[0] != '/') {
    char folder[4096];
    if (getcwd(folder, sizeof folder)) path = std::string(folder) + "/" + path;
  }
  return std::u16string(path.begin(), path.end());
}

// Interface colours (red in bits 0-7, alpha 24-31), row by row, as an RGBA
// PNG, or an RGB one without alpha.
bool WritePng(const char* name, uint32_t width, uint32_t height, const std::vector<uint32_t>& pixels, bool alpha) {
  const int channels = alpha ? 4 : 3;
  const std::vector<uint8_t> bytes = PixelBytes(pixels, channels);
  VPNGIMAGE png = {};
  png.width = width;
  png.height = height;
  png.colortype = alpha ? VPNG_COLOR_RGBA : VPNG_COLOR_RGB;
  png.pixels = bytes.data();
  png.pitch = width * uint32_t(channels);
  return VLoader_PNG::WriteFile(AbsoluteWide(name).c_str(), &png) == VPNG_WRITTEN;
}

int Convert(const ClassVDisplay& display, const char* input, const char* output) {
  const std::string out = output;
  const bool pam = EndsWith(out, ".pam");
  if (!pam && !EndsWith(out, ".png")) {
    std::fprintf(stderr, "vimg: %s: the output must end in .png or .pam\n", output);
    return kExitUsage;
  }
  DECODED decoded;
  if (!DecodeFile(display, input, decoded)) return kExitFailed;
  if (decoded.model) {
    std::fprintf(stderr, "vimg: %s: a %s model, not a picture (render draws it)\n", input, decoded.loader);
    return kExitFailed;
  }
  const VImageCapture& image = *decoded.image;
  const bool written = pam ? WritePam(output, image)
                           : WritePng(output, uint32_t(image.width), image.height, image.pixels, true);
  if (!written) {
    std::fprintf(stderr, "vimg: %s: cannot write the file\n", output);
    return kExitFailed;
  }
  return kExitOk;
}

// --- render ---------------------------------------------------------------------

struct RENDEROPTIONS {
  int32_t width = 320, height = 240;
  uint32_t flags = V3D_RENDER_LIGHT;  // flat and lit, as the game's loading screen draws
  uint32_t angles[3] = {0, 0, 0};
  int32_t time = 0;
  const char* texture = nullptr;
};

// A whole decimal number in [low, high] spanning the text up to `end`.
bool ParseNumber(const char* text, char** end, long low, long high, long& value) {
  errno = 0;
  value = std::strtol(text, end, 10);
  return *end != text && errno == 0 && value >= low && value <= high;
}

bool ParseSize(const char* text, RENDEROPTIONS& o) {
  char* end = nullptr;
  long width = 0, height = 0;
  if (!ParseNumber(text, &end, 1, kLargestSide, width) || (*end != 'x' && *end != 'X')) return false;
  if (!ParseNumber(end + 1, &end, 1, kLargestSide, height) || *end) return false;
  o.width = int32_t(width);
  o.height = int32_t(height);
  return true;
}

bool ParseMode(const char* text, RENDEROPTIONS& o) {
  struct Mode {
    const char* name;
    uint32_t flags;
  };
  static const Mode modes[] = {{"textured", V3D_RENDER_TEXTURED},
                               {"colour", V3D_RENDER_SHADED},
                               {"wire", V3D_RENDER_WIRE},
                               {"flat", V3D_RENDER_LIGHT}};
  for (const Mode& m : modes) {
    if (std::strcmp(text, m.name) != 0) continue;
    o.flags = m.flags;
    return true;
  }
  return false;
}

bool ParseAngles(const char* text, RENDEROPTIONS& o) {
  const char* cursor = text;
  for (int axis = 0; axis < 3; ++axis) {
    char* end = nullptr;
    long angle = 0;
    if (!ParseNumber(cursor, &end, INT32_MIN, INT32_MAX, angle) || *end != (axis < 2 ? ',' : '\0')) return false;
    o.angles[axis] = uint32_t(angle);
    cursor = end + 1;
  }
  return true;
}

bool ParseTime(const char* text, RENDEROPTIONS& o) {
  char* end = nullptr;
  long time = 0;
  if (!ParseNumber(text, &end, 0, INT32_MAX, time) || *end) return false;
  o.time = int32_t(time);
  return true;
}

bool ParseOption(const std::string& option, const char* value, RENDEROPTIONS& o) {
  if (option == "--size") return ParseSize(value, o);
  if (option == "--mode") return ParseMode(value, o);
  if (option == "--angles") return ParseAngles(value, o);
  if (option == "--time") return ParseTime(value, o);
  if (option != "--texture") return false;
  o.texture = value;
  return true;
}

// The options after `render MODEL OUT`; false (with the reason) on a wrong one.
bool ParseRenderOptions(int count, char** args, RENDEROPTIONS& o) {
  for (int i = 0; i < count; i += 2) {
    const std::string option = args[i];
    const char* value = i + 1 < count ? args[i + 1] : nullptr;
    if (!value || !ParseOption(option, value, o)) {
      std::fprintf(stderr, "vimg: render: wrong option or value: %s %s\n%s", option.c_str(), value ? value : "",
                   kUsage);
      return false;
    }
  }
  if ((o.flags & V3D_RENDER_TEXTURED) && !o.texture) {
    std::fprintf(stderr, "vimg: render: --mode textured needs --texture FILE\n");
    return false;
  }
  return true;
}

// Centres the model and scales the half diagonal of its bounding box to
// kFitRadius, so that it fits the picture however it is turned; then turns
// it. Each operation composes before the ones already made, so the
// translation applies first and the rotation last.
void FitAndTurn(V3DSurface& model, const uint32_t* angles) {
  int64_t low[3] = {INT64_MAX, INT64_MAX, INT64_MAX}, high[3] = {INT64_MIN, INT64_MIN, INT64_MIN};
  for (int32_t i = 0; i < model.VerticesInUse(); ++i) {
    VVERTEX3D v;
    model.GetVertex(i, &v);
    const int32_t p[3] = {v.x, v.y, v.z};
    for (int k = 0; k < 3; ++k) low[k] = std::min<int64_t>(low[k], p[k]), high[k] = std::max<int64_t>(high[k], p[k]);
  }
  model.Rotate(angles[0], angles[1], angles[2]);
  if (model.VerticesInUse() == 0) return;
  double squares = 0;
  for (int k = 0; k < 3; ++k) squares += double(high[k] - low[k]) * double(high[k] - low[k]) / 4;
  const double radius = std::max(1.0, std::sqrt(squares));
  const double factor = std::min(std::max(kFitRadius * double(kScaleOne) / radius, 16.0), double(INT32_MAX));
  model.Scale(int32_t(factor), int32_t(factor), int32_t(factor));
  model.Translate(int32_t(-(low[0] + high[0]) / 2), int32_t(-(low[1] + high[1]) / 2),
                  int32_t(-(low[2] + high[2]) / 2));
}

// True when no vertex has a normal (a 3DS file brings none): lighting would
// then leave only the ambient share.
bool LacksNormals(const V3DSurface& model) {
  for (int32_t i = 0; i < model.VerticesInUse(); ++i) {
    VVERTEX3D v;
    model.GetVertex(i, &v);
    if (v.nx || v.ny || v.nz) return false;
  }
  return true;
}

std::vector<uint32_t> PixelsOf(const V2DSurface& picture) {
  std::vector<uint32_t> pixels;
  pixels.reserve(size_t(picture.GetWidth()) * size_t(picture.GetHeight()));
  for (int32_t y = 0; y < picture.GetHeight(); ++y)
    for (int32_t x = 0; x < picture.GetWidth(); ++x) pixels.push_back(picture.GetPixel(x, y));
  return pixels;
}

// Loads a file through the display's loaders into a model or texture; false
// (with the reason) when it cannot be read or no loader takes it.
template <class Load>
bool LoadThroughDisplay(const char* name, const char* what, Load load) {
  std::vector<uint8_t> block;
  if (!ReadWhole(name, block)) {
    std::fprintf(stderr, "vimg: %s: cannot read the file: %s\n", name, std::strerror(errno));
    return false;
  }
  const int result = load(block);
  if (result == VLDR_LOADED) return true;
  if (result == VSURF_NOLOADER) {
    std::fprintf(stderr, "vimg: %s: no %s loader takes it (%d: %s)\n", name, what, result, Meaning(result));
  } else {
    std::fprintf(stderr, "vimg: %s: the %s failed to load with %d: %s\n", name, what, result, Meaning(result));
  }
  return false;
}

int Render(const char* input, const char* output, const RENDEROPTIONS& o) {
  if (!EndsWith(output, ".png")) {
    std::fprintf(stderr, "vimg: %s: the output must end in .png\n", output);
    return kExitUsage;
  }
  VTOOLDISPLAY rig;  // rendering takes the display's lights, render size and bound texture
  if (!rig.Open()) {
    std::fprintf(stderr, "vimg: the display could not be opened\n");
    return kExitFailed;
  }
  V3DSurface model;
  model.LinkECD(&rig.vcd);
  if (!LoadThroughDisplay(input, "model", [&](const std::vector<uint8_t>& block) {
        return model.LoadModel(BlockOf(block), uint32_t(block.size()), 0, 0);
      }))
    return kExitFailed;
  V2DSurface texture;
  if (o.texture && !LoadThroughDisplay(o.texture, "texture", [&](const std::vector<uint8_t>& block) {
        return rig.display.CreateSurface(&texture, BlockOf(block), uint32_t(block.size()), 0);
      }))
    return kExitFailed;
  V2DSurface picture;
  if (rig.display.CreateSurface(&picture, o.width, o.height, 0) != VSURF_OK) {
    std::fprintf(stderr, "vimg: %s: no memory for a %d x %d picture\n", output, int(o.width), int(o.height));
    return kExitFailed;
  }
  if (o.texture) rig.display.BindTexture(&texture);
  rig.display.SetRenderSize(std::min(o.width, o.height));
  rig.display.UseLight(0, true);
  if (LacksNormals(model)) model.CalculateNormals();
  FitAndTurn(model, o.angles);
  model.Animate(o.time);
  picture.Clear(kBackground);
  picture.Render(0, 0, &model, o.flags, 0);
  rig.display.BindTexture(nullptr);
  if (!WritePng(output, uint32_t(o.width), uint32_t(o.height), PixelsOf(picture), false)) {
    std::fprintf(stderr, "vimg: %s: cannot write the file\n", output);
    return kExitFailed;
  }
  return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0) {
      std::fputs(kUsage, stdout);
      return kExitOk;
    }
  }
  const std::string command = argc > 1 ? argv[1] : "";
  const bool info = command == "info" && argc > 2, convert = command == "convert" && argc == 4;
  const bool render = command == "render" && argc >= 4;
  if (!info && !convert && !render) {
    std::fprintf(stderr, command.empty() ? "vimg: no command given\n%s"
                                         : "vimg: wrong command or arguments\n%s", kUsage);
    return kExitUsage;
  }
  if (render) {
    RENDEROPTIONS options;
    if (!ParseRenderOptions(argc - 4, argv + 4, options)) return kExitUsage;
    return Render(argv[2], argv[3], options);
  }
  ClassVDisplay display;
  if (!RegisterDisplayLoaders(&display)) {
    std::fprintf(stderr, "vimg: the loaders could not be set up\n");
    return kExitFailed;
  }
  return info ? Info(display, argc - 2, argv + 2) : Convert(display, argv[2], argv[3]);
}

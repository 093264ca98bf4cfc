// vimg - the picture tool: tells which of the framework's image loaders takes
// a file and what it found, and converts a picture through those loaders to
// PNG or PAM, for the people who make or check the game's pictures.
//
// Depends on: the loaders (resources/loaders, offered a file in the order the
// display registers them), the PNG writer, the capture surface
// (tools/common/image_capture.h). Exit status: 0 success, 1 a file failed,
// 2 the command line was wrong.
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "render/vmod_dsp.h"
#include "resources/loaders/vldr_base.h"
#include "resources/loaders/vldr_bmp.h"
#include "resources/loaders/vldr_gif.h"
#include "resources/loaders/vldr_jpg.h"
#include "resources/loaders/vldr_png.h"
#include "resources/loaders/vldr_tga.h"
#include "tools/common/image_capture.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr long kLargestFile = 0x7FFFFFFF;  // the loaders take 32-bit lengths

const char kUsage[] =
    "usage: vimg info FILE...\n"
    "       vimg convert FILE OUT\n"
    "\n"
    "commands:\n"
    "  info FILE...        for each file: the loader that takes it, width, height,\n"
    "                      depth (8-bit indexed or 32-bit colour), palette entries\n"
    "                      and transparency, or the loader's error code and meaning\n"
    "  convert FILE OUT    decode FILE with the framework's loaders and write OUT:\n"
    "                      PNG (RGBA) when OUT ends in .png, PAM (RGB_ALPHA, exactly\n"
    "                      the decoded pixels) when it ends in .pam\n"
    "\n"
    "options:\n"
    "  -h, --help          show this text\n"
    "\n"
    "Loaders are tried in the display's order: BMP, GIF, PNG, JPG, TGA.\n"
    "Exit status: 0 success, 1 a file failed, 2 the command line was wrong.\n";

// What one file gave: the loader that answered (null when none did), its
// result and the decoded picture.
struct DECODED {
  const char* loader = nullptr;
  int result = VLDR_NOTMYFORMAT;
  std::unique_ptr<VImageCapture> image;
};

const char* LoaderName(const ClassVLoaderBase* loader) {
  if (dynamic_cast<const VLoader_BMP*>(loader)) return "BMP";
  if (dynamic_cast<const VLoader_GIF*>(loader)) return "GIF";
  if (dynamic_cast<const VLoader_PNG*>(loader)) return "PNG";
  if (dynamic_cast<const VLoader_JPG*>(loader)) return "JPG";
  if (dynamic_cast<const VLoader_TGA*>(loader)) return "TGA";
  return "unnamed";
}

const char* Meaning(int code) {
  switch (code) {
    case VLDR_LOADED: return "loaded";
    case VLDR_CORRUPT: return "the data is corrupt or inconsistent";
    case VLDR_OUTOFMEMORY: return "out of memory, or larger than this tool decodes";
    case VLDR_NOTMYFORMAT: return "not an image format any loader knows";
    case VSURF_INVALID: return "the image has no pixels";
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

// Offers the block to each registered loader until one answers otherwise than
// "not my format".
void Decode(const ClassVDisplay& display, const std::vector<uint8_t>& block, DECODED& decoded) {
  for (int slot = 0; slot < VDSP_LOADERSLOTS; ++slot) {
    ClassVLoaderBase* loader = display.GetLoader(slot);
    if (!loader) continue;
    // A fresh capture each time, so nothing a refusing loader streamed stays.
    decoded.image.reset(new VImageCapture());
    int result = decoded.image->Load(*loader, block.empty() ? nullptr : block.data(), uint32_t(block.size()));
    if (result == VLDR_NOTMYFORMAT || result == VLDR_DECLINED) continue;
    decoded.loader = LoaderName(loader);
    decoded.result = result;
    return;
  }
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

int Info(const ClassVDisplay& display, int count, char** names) {
  int status = kExitOk;
  for (int i = 0; i < count; ++i) {
    DECODED decoded;
    if (!DecodeFile(display, names[i], decoded)) {
      status = kExitFailed;
      continue;
    }
    const VImageCapture& image = *decoded.image;
    std::printf("%s: %s, %d x %u, %s, palette %u, transparency %s\n", names[i], decoded.loader, int(image.width),
                unsigned(image.height), image.indexed ? "8-bit indexed" : "32-bit colour",
                unsigned(image.paletteentries), image.alpha ? "yes" : "no");
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

// Rows of red, green, blue, alpha bytes: what both output formats hold.
std::vector<uint8_t> RgbaBytes(const VImageCapture& image) {
  std::vector<uint8_t> out;
  out.reserve(image.pixels.size() * 4);
  for (uint32_t colour : image.pixels)
    for (int shift = 0; shift < 32; shift += 8) out.push_back(uint8_t(colour >> shift));
  return out;
}

bool WritePam(const char* name, const VImageCapture& image) {
  FILE* file = std::fopen(name, "wb");
  if (!file) return false;
  const std::vector<uint8_t> rgba = RgbaBytes(image);
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

bool WritePng(const char* name, const VImageCapture& image) {
  const std::vector<uint8_t> rgba = RgbaBytes(image);
  VPNGIMAGE png = {};
  png.width = uint32_t(image.width);
  png.height = image.height;
  png.colortype = 6;
  png.pixels = rgba.data();
  png.pitch = uint32_t(image.width) * 4;
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
  if (!(pam ? WritePam(output, *decoded.image) : WritePng(output, *decoded.image))) {
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
  if (!info && !convert) {
    std::fprintf(stderr, command.empty() ? "vimg: no command given\n%s"
                                         : "vimg: wrong command or arguments\n%s", kUsage);
    return kExitUsage;
  }
  ClassVDisplay display;
  if (!RegisterDisplayLoaders(&display)) {
    std::fprintf(stderr, "vimg: the loaders could not be set up\n");
    return kExitFailed;
  }
  return info ? Info(display, argc - 2, argv + 2) : Convert(display, argv[2], argv[3]);
}

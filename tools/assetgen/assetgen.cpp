// assetgen - makes every picture, font, model, sound and tune of the game
// from code and packs them into res/gfx.vpk, res/sound.vpk and res/music.vpk.
//
// Usage: assetgen --out DIR [--preview FILE.png]
//   --out DIR          writes DIR/res/gfx.vpk, DIR/res/sound.vpk, DIR/res/music.vpk
//   --preview FILE     also draws every picture and font on one contact sheet
// Each package is written under a temporary name and renamed when complete,
// so a failed run never leaves a half package behind. Entries carry one fixed
// modification date, so the same sources always give the same entries.
// Depends on: the framework's display (drawing), file module (packages).
// Exit status: 0 success, 1 an asset or package failed, 2 bad command line.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "resources/vmod_file.h"
#include "tools/assetgen/assetgen.h"
#include "tools/common/display_rig.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr uint32_t kEntryDate = 1767225600;  // 2026-01-01 00:00 UTC
constexpr size_t kLongestName = 63;

const char kUsage[] =
    "usage: assetgen --out DIR [--preview FILE.png]\n"
    "  --out DIR        write DIR/res/gfx.vpk, DIR/res/sound.vpk and DIR/res/music.vpk\n"
    "  --preview FILE   also write a contact sheet of every picture and font\n";

struct OPTIONS {
  std::string out;
  std::string preview;
};

bool ParseOptions(int argc, char** argv, OPTIONS& options) {
  for (int i = 1; i < argc; ++i) {
    const bool valued = i + 1 < argc;
    if (std::strcmp(argv[i], "--out") == 0 && valued) {
      options.out = argv[++i];
    } else if (std::strcmp(argv[i], "--preview") == 0 && valued) {
      options.preview = argv[++i];
    } else {
      return false;
    }
  }
  return !options.out.empty();
}

// Writes the entries as a new package at `path`; false (with the reason on
// stderr) when any entry cannot be stored.
bool WritePackage(const std::string& path, const std::vector<ASSETENTRY>& entries) {
  const std::string partial = path + ".partial";
  ClassVFile file;
  if (file.Exists(partial.c_str())) file.Delete(partial.c_str());
  if (file.PackNew(partial.c_str()) != VPK_OK) {
    std::fprintf(stderr, "assetgen: %s: cannot be created\n", partial.c_str());
    return false;
  }
  for (const ASSETENTRY& entry : entries) {
    const int code = entry.name.size() > kLongestName || entry.bytes.empty()
                         ? VPK_ERR_CORRUPT
                         : file.PackAddFileData(entry.name.c_str(), entry.bytes.data(), uint32_t(entry.bytes.size()),
                                                false, VPK_METHOD_ZLIB, kEntryDate);
    if (code != VPK_OK) {
      std::fprintf(stderr, "assetgen: %s: entry %s not stored (%d)\n", path.c_str(), entry.name.c_str(), code);
      file.Close();
      file.Delete(partial.c_str());
      return false;
    }
  }
  file.Close();
  if (file.Exists(path.c_str())) file.Delete(path.c_str());
  if (!file.Rename(path.c_str(), partial.c_str())) {
    std::fprintf(stderr, "assetgen: %s: cannot be put in place\n", path.c_str());
    return false;
  }
  return true;
}

bool MakeFolder(const std::string& path) {
  ClassVFile file;
  return file.IsFolder(path.c_str()) || file.NewFolder(path.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  OPTIONS options;
  if (!ParseOptions(argc, argv, options)) {
    std::fputs(kUsage, stderr);
    return kExitUsage;
  }
  // Surfaces are made and drawn exactly as the game makes and draws them.
  VTOOLDISPLAY rig;
  if (!rig.Open()) {
    std::fprintf(stderr, "assetgen: the display could not be opened\n");
    return kExitFailed;
  }
  std::vector<ASSETENTRY> graphics, sounds, music;
  if (!AssetGen_Fonts(rig.display, graphics) || !AssetGen_Pictures(rig.display, graphics) ||
      !AssetGen_Logo(graphics)) {
    std::fprintf(stderr, "assetgen: a picture could not be drawn\n");
    return kExitFailed;
  }
  AssetGen_Sounds(sounds);
  AssetGen_Music(music);
  const std::string folder = options.out + "/res";
  if (!MakeFolder(options.out) || !MakeFolder(folder)) {
    std::fprintf(stderr, "assetgen: %s: cannot be made\n", folder.c_str());
    return kExitFailed;
  }
  if (!WritePackage(folder + "/gfx.vpk", graphics) || !WritePackage(folder + "/sound.vpk", sounds) ||
      !WritePackage(folder + "/music.vpk", music))
    return kExitFailed;
  if (!options.preview.empty() && !AssetGen_WritePreview(rig.display, graphics, options.preview.c_str())) {
    std::fprintf(stderr, "assetgen: %s: the contact sheet could not be written\n", options.preview.c_str());
    return kExitFailed;
  }
  return kExitOk;
}

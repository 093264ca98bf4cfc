// host_options.cpp - the option table of the host executable and its parser.
//
// Every option is one row: its name, the argument it shows in the help, how
// many values it takes, its help line and the function that stores it. Later
// options are added as rows here and nowhere else; the help and the parser
// follow the table.
#include "platform/host/host_options.h"

#include <algorithm>
#include <cstring>

#include "platform/host/host_devices.h"
#include "platform/platform.h"

namespace {

constexpr uint32_t LARGEST_NUMBER = 0xFFFFFFFFu;
constexpr size_t MAX_DIGITS = 10;  // enough for any 32-bit number

using ApplyOption = bool (*)(HOSTOPTIONS* options, const char* const* values, std::string* error);

struct HOSTOPTIONROW {
  const char* name;
  const char* argument;  // shown in the help and the error texts; empty for a flag
  uint8_t values;        // values that follow the name
  bool alone;            // an action that takes no other option
  const char* help;
  ApplyOption apply;
};

bool ParseNumber(const char* text, uint32_t lowest, uint32_t highest, uint32_t* number) {
  size_t length = std::strlen(text);
  if (length == 0 || length > MAX_DIGITS) return false;
  uint64_t value = 0;
  for (size_t i = 0; i < length; i++) {
    if (text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + uint64_t(text[i] - '0');
  }
  if (value < lowest || value > highest) return false;
  *number = uint32_t(value);
  return true;
}

bool NumberOption(const char* name, const char* text, uint32_t lowest, uint32_t highest, uint32_t* number,
                  std::string* error) {
  if (ParseNumber(text, lowest, highest, number)) return true;
  *error = std::string(name) + " needs a whole number from " + std::to_string(lowest) + " to " +
           std::to_string(highest) + ", not \"" + text + "\"";
  return false;
}

bool EndsWithPng(const char* text) {
  size_t length = std::strlen(text);
  if (length <= 4) return false;
  const char* suffix = text + length - 4;
  return suffix[0] == '.' && (suffix[1] | 0x20) == 'p' && (suffix[2] | 0x20) == 'n' && (suffix[3] | 0x20) == 'g';
}

// "60,120,300": frame numbers from 1, in any order; stored ascending, once each.
bool ParseFrameList(const char* text, std::vector<uint32_t>* frames) {
  frames->clear();
  const char* item = text;
  while (true) {
    const char* comma = std::strchr(item, ',');
    std::string digits = comma ? std::string(item, size_t(comma - item)) : std::string(item);
    uint32_t frame = 0;
    if (!ParseNumber(digits.c_str(), 1, LARGEST_NUMBER, &frame)) return false;
    frames->push_back(frame);
    if (!comma) break;
    item = comma + 1;
  }
  std::sort(frames->begin(), frames->end());
  frames->erase(std::unique(frames->begin(), frames->end()), frames->end());
  return true;
}

bool ApplyHeadless(HOSTOPTIONS* options, const char* const*, std::string*) {
  options->frontend = HostFrontEnd::Headless;
  return true;
}

bool ApplyWindow(HOSTOPTIONS* options, const char* const*, std::string*) {
  options->frontend = HostFrontEnd::Window;
  return true;
}

bool ApplyScale(HOSTOPTIONS* options, const char* const* values, std::string* error) {
  return NumberOption("--scale", values[0], 1, HOST_MAXSCALE, &options->scale, error);
}

bool ApplyFullscreen(HOSTOPTIONS* options, const char* const*, std::string*) {
  options->fullscreen = true;
  return true;
}

bool ApplyFrames(HOSTOPTIONS* options, const char* const* values, std::string* error) {
  return NumberOption("--frames", values[0], 1, LARGEST_NUMBER, &options->frames, error);
}

bool ApplySeed(HOSTOPTIONS* options, const char* const* values, std::string* error) {
  options->hasseed = true;
  return NumberOption("--seed", values[0], 0, LARGEST_NUMBER, &options->seed, error);
}

bool ApplyScreenshot(HOSTOPTIONS* options, const char* const* values, std::string* error) {
  if (!EndsWithPng(values[0])) {
    *error = std::string("--screenshot needs a file name ending in .png, not \"") + values[0] + "\"";
    return false;
  }
  options->screenshot = values[0];
  return true;
}

bool ApplyRecord(HOSTOPTIONS* options, const char* const* values, std::string*) {
  options->record = values[0];
  return true;
}

bool ApplyReplay(HOSTOPTIONS* options, const char* const* values, std::string*) {
  options->replay = values[0];
  return true;
}

bool ApplyTrace(HOSTOPTIONS* options, const char* const* values, std::string*) {
  options->trace = values[0];
  return true;
}

bool ApplyData(HOSTOPTIONS* options, const char* const* values, std::string*) {
  options->data = values[0];
  return true;
}

bool ApplyShots(HOSTOPTIONS* options, const char* const* values, std::string* error) {
  if (!ParseFrameList(values[0], &options->shotframes)) {
    *error = std::string("--shots needs frame numbers from 1 like 60,120,300, not \"") + values[0] + "\"";
    return false;
  }
  options->shotsfolder = values[1];
  return true;
}

bool ApplyHelp(HOSTOPTIONS* options, const char* const*, std::string*) {
  options->action = HostAction::Help;
  return true;
}

bool ApplyVersion(HOSTOPTIONS* options, const char* const*, std::string*) {
  options->action = HostAction::Version;
  return true;
}

bool ApplySelfCheck(HOSTOPTIONS* options, const char* const*, std::string*) {
  options->action = HostAction::SelfCheck;
  return true;
}

constexpr HOSTOPTIONROW OPTION_TABLE[] = {
    {"--headless", "", 0, false, "run without a window, on a virtual clock (default without a display)", ApplyHeadless},
    {"--window", "", 0, false, "show the game in a window (default where a display exists)", ApplyWindow},
    {"--scale", "N", 1, false, "window size: N times 320 x 240 (1 to 16)", ApplyScale},
    {"--fullscreen", "", 0, false, "start the window full screen (F11 or Alt+Enter switches)", ApplyFullscreen},
    {"--frames", "N", 1, false, "end the run after N shown frames", ApplyFrames},
    {"--seed", "N", 1, false, "seed the random generator with N (0 to 4294967295) instead of the clock", ApplySeed},
    {"--screenshot", "FILE.png", 1, false, "write the last frame to FILE.png when the run ends", ApplyScreenshot},
    {"--record", "FILE", 1, false, "record the input of this run into FILE", ApplyRecord},
    {"--replay", "FILE", 1, false, "play the input recorded in FILE instead of the buttons", ApplyReplay},
    {"--trace", "FILE", 1, false, "write every play-field frame to FILE (format: docs/trace.md)", ApplyTrace},
    {"--data", "DIR", 1, false, "the folder holding res/ and game.cfg", ApplyData},
    {"--shots", "F1,F2,... DIR", 2, false, "write frames F1, F2, ... as PNG pictures into DIR", ApplyShots},
    {"--version", "", 0, true, "print the version and end", ApplyVersion},
    {"--help", "", 0, true, "print this text and end", ApplyHelp},
    {"--self-check", "", 0, true, "check the emulated handheld devices, print the results and end", ApplySelfCheck},
};

const HOSTOPTIONROW* FindRow(const char* name) {
  for (const HOSTOPTIONROW& row : OPTION_TABLE) {
    if (std::strcmp(row.name, name) == 0) return &row;
  }
  return nullptr;
}

bool SeenRow(const std::vector<const HOSTOPTIONROW*>& seen, const char* name) {
  return std::find(seen.begin(), seen.end(), FindRow(name)) != seen.end();
}

// A value that is empty or looks like the next option is missing, not a name.
bool IsValue(const char* text) { return text[0] != '\0' && std::strncmp(text, "--", 2) != 0; }

std::string Exclude(const char* first, const char* second) {
  return std::string(first) + " and " + second + " exclude each other";
}

// Rules between options, checked once all are read.
bool CheckCombination(const HOSTOPTIONS& options, const std::vector<const HOSTOPTIONROW*>& seen, std::string* error) {
  for (const HOSTOPTIONROW* row : seen) {
    if (row->alone && seen.size() > 1) {
      *error = std::string(row->name) + " takes no other option";
      return false;
    }
  }
  if (SeenRow(seen, "--headless") && SeenRow(seen, "--window")) {
    *error = Exclude("--headless", "--window");
    return false;
  }
  for (const char* windowonly : {"--scale", "--fullscreen"}) {
    if (SeenRow(seen, "--headless") && SeenRow(seen, windowonly)) {
      *error = Exclude("--headless", windowonly);
      return false;
    }
  }
  if (options.frames != 0 && !options.shotframes.empty() && options.shotframes.back() > options.frames) {
    *error = "--shots lists frame " + std::to_string(options.shotframes.back()) + ", after the last of --frames " +
             std::to_string(options.frames);
    return false;
  }
  return true;
}

std::string Anchored(const std::string& path, const std::string& folder) {
  if (path.empty() || path[0] == '/') return path;
  if (!folder.empty() && folder.back() == '/') return folder + path;
  return folder + "/" + path;
}

std::string Synopsis(const HOSTOPTIONROW& row) {
  return row.argument[0] ? std::string(row.name) + " " + row.argument : std::string(row.name);
}

}  // namespace

bool HostOptions_Parse(int argc, const char* const* argv, HOSTOPTIONS* options, std::string* error) {
  *options = HOSTOPTIONS{};
  std::vector<const HOSTOPTIONROW*> seen;
  for (int i = 1; i < argc; i++) {
    const HOSTOPTIONROW* row = FindRow(argv[i]);
    if (!row) {
      *error = std::string("unknown option \"") + argv[i] + "\"";
      return false;
    }
    if (std::find(seen.begin(), seen.end(), row) != seen.end()) {
      *error = std::string(row->name) + " is given twice";
      return false;
    }
    seen.push_back(row);
    for (int v = 1; v <= row->values; v++) {
      if (i + v >= argc || !IsValue(argv[i + v])) {
        *error = std::string(row->name) + " needs " + row->argument;
        return false;
      }
    }
    if (!row->apply(options, argv + i + 1, error)) return false;
    i += row->values;
  }
  return CheckCombination(*options, seen, error);
}

void HostOptions_Anchor(HOSTOPTIONS* options, const std::string& folder) {
  for (std::string* path :
       {&options->screenshot, &options->record, &options->replay, &options->trace, &options->data,
        &options->shotsfolder}) {
    *path = Anchored(*path, folder);
  }
}

void HostOptions_PrintHelp(FILE* out) {
  size_t width = 0;
  for (const HOSTOPTIONROW& row : OPTION_TABLE) width = std::max(width, Synopsis(row).size());
  std::fprintf(out, "usage: %s [option ...]\n\n", HOST_PROGRAM);
  std::fprintf(out, "Plays the puzzle game in a window where a display exists, headless otherwise.\n\n");
  for (const HOSTOPTIONROW& row : OPTION_TABLE)
    std::fprintf(out, "  %-*s  %s\n", int(width), Synopsis(row).c_str(), row.help);
}

void HostOptions_PrintVersion(FILE* out) { std::fprintf(out, "%s %s\n", HOST_PROGRAM, HOST_VERSION); }

void HostOptions_Publish(const HOSTOPTIONS& options) {
  PLATFORM_OPTIONS published{};
  published.hasseed = options.hasseed;
  published.seed = options.seed;
  published.record = options.record.empty() ? nullptr : options.record.c_str();
  published.replay = options.replay.empty() ? nullptr : options.replay.c_str();
  published.trace = options.trace.empty() ? nullptr : options.trace.c_str();
  HostDevices_SetOptions(published);
}

void HostOptions_Withdraw() { HostDevices_SetOptions(PLATFORM_OPTIONS{}); }

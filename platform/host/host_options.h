// host_options.h - the command line of the host executable: one table of
// options (name, argument, help), parsed into a record before the framework
// starts. The framework itself reads no command line; what the game needs of
// it (seed, recording, playback, trace) reaches it through Platform_GetOptions.
//
// Depends on: platform/host/host_devices.h (HostDevices_SetOptions).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

constexpr const char* HOST_PROGRAM = "vexa-puzzle";
constexpr const char* HOST_VERSION = "0.1.0";
constexpr int HOST_EXIT_USAGE = 2;      // unknown or malformed option
constexpr uint32_t HOST_MAXSCALE = 16;  // largest --scale

enum class HostAction : uint8_t { Run, Help, Version, SelfCheck };
enum class HostFrontEnd : uint8_t { Automatic, Window, Headless };

struct HOSTOPTIONS {
  HostAction action = HostAction::Run;
  HostFrontEnd frontend = HostFrontEnd::Automatic;  // Automatic: a window where a display exists
  uint32_t scale = 0;                               // window size factor; 0 = the largest that fits, at most 3
  bool fullscreen = false;
  uint32_t frames = 0;  // end the run after this many shown frames; 0 = when the game ends
  bool hasseed = false;
  uint32_t seed = 0;
  std::string screenshot;            // PNG of the last frame, or empty
  std::string record;                // input recording written at exit, or empty
  std::string replay;                // input recording played from the start, or empty
  std::string trace;                 // play-field trace written frame by frame, or empty
  std::string data;                  // folder holding res/ and "game.cfg", or empty
  std::string shotsfolder;           // folder of the --shots pictures, or empty
  std::vector<uint32_t> shotframes;  // frames (from 1) to picture, ascending, no repeats
  std::string picturefolder;         // where F12 pictures go; the host entry sets it
};

// Fills *options from argv[1..argc-1]. False with a one-line reason in
// *error for an unknown option, a missing or malformed value, an option given
// twice or options that exclude each other.
bool HostOptions_Parse(int argc, const char* const* argv, HOSTOPTIONS* options, std::string* error);

// Makes the file and folder names of the options absolute against folder, so
// they keep their meaning after the entry changes to the data folder.
void HostOptions_Anchor(HOSTOPTIONS* options, const std::string& folder);

void HostOptions_PrintHelp(FILE* out);  // usage and one line per table row
void HostOptions_PrintVersion(FILE* out);

// Hands seed, recording, playback and trace to the game (Platform_GetOptions); the
// record must outlive the run. Withdraw clears them again.
void HostOptions_Publish(const HOSTOPTIONS& options);
void HostOptions_Withdraw();

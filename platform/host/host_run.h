// host_run.h - what one run of the game does in either front end, around the
// framework's own run: before it, the --shots folder is made and the options
// are handed to the game; at each shown frame, the frame is counted, the
// pictures --shots lists are written and, after --frames, the run is asked
// to end; after it, the options and the front end's requests are withdrawn
// and the last frame becomes the --screenshot.
//
// OnPresent runs on the frame loop's thread (the present hook); Begin and
// End on the thread that starts the run, before and after it.
// Depends on: platform/host/host_options.h, host_screenshot.h, host_devices.h.
#pragma once

#include <cstdint>
#include <string>

#include "platform/host/host_options.h"

class HostRun {
 public:
  explicit HostRun(const HOSTOPTIONS& options);  // the options must outlive the run

  bool Begin(std::string* error);          // false with the reason: the game must not start
  void OnPresent(const uint16_t* pixels);  // one shown frame
  int End();                               // the exit status: 0, or 1 when a picture failed
  uint32_t Frames() const { return frames; }

 private:
  void WriteShot(const uint16_t* pixels);
  bool WritePicture(const std::string& path, const uint16_t* pixels);

  const HOSTOPTIONS& options;
  uint32_t frames = 0;
  size_t nextshot = 0;  // index into options.shotframes
  uint32_t shotswritten = 0;
  bool failed = false;
};

// The name of frame's picture in the --shots folder.
std::string HostRun_ShotPath(const std::string& folder, uint32_t frame);

// host_run.cpp - one run of the game: its options, frames and pictures.
#include "platform/host/host_run.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <sys/stat.h>

#include "platform/host/host_devices.h"
#include "platform/host/host_screenshot.h"

namespace {

bool IsFolder(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// mkdir -p: every missing folder along the path.
bool MakeFolders(const std::string& path) {
  for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
    std::string parent = path.substr(0, slash);
    if (::mkdir(parent.c_str(), 0777) != 0 && errno != EEXIST) return false;
  }
  if (::mkdir(path.c_str(), 0777) != 0 && errno != EEXIST) return false;
  if (IsFolder(path)) return true;
  errno = ENOTDIR;  // a file of that name is in the way
  return false;
}

}  // namespace

HostRun::HostRun(const HOSTOPTIONS& options) : options(options) {}

bool HostRun::Begin(std::string* error) {
  if (!options.shotframes.empty() && !MakeFolders(options.shotsfolder)) {
    *error = "cannot make the folder \"" + options.shotsfolder + "\" for --shots: " + std::strerror(errno);
    return false;
  }
  HostOptions_Publish(options);
  return true;
}

void HostRun::OnPresent(const uint16_t* pixels) {
  frames++;
  if (nextshot < options.shotframes.size() && options.shotframes[nextshot] == frames) {
    WriteShot(pixels);
    nextshot++;
  }
  if (options.frames != 0 && frames >= options.frames) HostDevices_RequestQuit(true);
}

int HostRun::End() {
  // The requests belong to this run; a later run starts in the foreground.
  HostOptions_Withdraw();
  HostDevices_RequestQuit(false);
  HostDevices_SetWindowState(PLATFORM_WINDOW_FOREGROUND);
  if (const char* error = HostDevices_LastError(); error[0] != '\0') {
    std::fprintf(stderr, "%s: %s\n", HOST_PROGRAM, error);
    failed = true;
  }
  if (!options.shotframes.empty())
    std::printf("%s: %u of %zu pictures written to %s\n", HOST_PROGRAM, shotswritten, options.shotframes.size(),
                options.shotsfolder.c_str());
  if (!options.screenshot.empty() && frames == 0) {
    std::fprintf(stderr, "%s: no frame was shown, so there is no picture for %s\n", HOST_PROGRAM,
                 options.screenshot.c_str());
    failed = true;
  } else if (!options.screenshot.empty() && WritePicture(options.screenshot, HostDevices_FrameBuffer())) {
    std::printf("%s: last frame written to %s\n", HOST_PROGRAM, options.screenshot.c_str());
  }
  return failed ? 1 : 0;
}

void HostRun::WriteShot(const uint16_t* pixels) {
  if (WritePicture(HostRun_ShotPath(options.shotsfolder, frames), pixels)) shotswritten++;
}

bool HostRun::WritePicture(const std::string& path, const uint16_t* pixels) {
  std::string error;
  if (HostScreenshot_Write(path.c_str(), pixels, &error)) return true;
  std::fprintf(stderr, "%s: %s\n", HOST_PROGRAM, error.c_str());
  failed = true;
  return false;
}

std::string HostRun_ShotPath(const std::string& folder, uint32_t frame) {
  char name[32];
  std::snprintf(name, sizeof name, "frame-%06u.png", frame);
  return folder.empty() || folder.back() == '/' ? folder + name : folder + "/" + name;
}

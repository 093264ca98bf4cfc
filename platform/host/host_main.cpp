// host_main.cpp - entry of the host executable vexa-puzzle.
//
// Parses the options before the framework starts (the framework itself reads
// no command line), changes to the data folder so "res\gfx.vpk" and
// "game.cfg" resolve as on the handheld, routes Ctrl+C and SIGTERM to the
// quit request, and runs the game in a window where a display exists or
// headless otherwise.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/host/host_devices.h"
#include "platform/host/host_headless.h"
#include "platform/host/host_options.h"
#include "platform/host/host_signals.h"
#if VEXA_WITH_SDL
#include "platform/host/sdl_window.h"
#endif

namespace {

int RunSelfCheck() {
  std::vector<HOSTCHECK> results;
  bool passed = HostDevices_SelfCheck(results);
  std::printf("%s: checking the emulated handheld devices\n", HOST_PROGRAM);
  for (const HOSTCHECK& check : results)
    std::printf("  %-4s %-16s %s\n", check.passed ? "ok" : "FAIL", check.name, check.detail);
  std::printf("%s\n", passed ? "all device checks passed" : "some device checks failed");
  return passed ? 0 : 1;
}

bool IsFolder(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string CurrentFolder() {
  char path[PATH_MAX];
  return ::getcwd(path, sizeof path) ? std::string(path) : std::string(".");
}

std::string ExecutableFolder(const char* argv0) {
  char path[PATH_MAX];
  ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
  std::string executable = length > 0 ? std::string(path, size_t(length)) : std::string(argv0);
  size_t slash = executable.rfind('/');
  return slash == std::string::npos ? std::string(".") : executable.substr(0, slash);
}

// The program's own folder when it holds res/ (a build or an install), else
// the folder the program was started in.
std::string DataFolder(const HOSTOPTIONS& options, const char* argv0, const std::string& start) {
  if (!options.data.empty()) return options.data;
  std::string own = ExecutableFolder(argv0);
  return IsFolder(own + "/res") ? own : start;
}

int RunFrontEnd(const HOSTOPTIONS& options) {
#if VEXA_WITH_SDL
  bool window = options.frontend == HostFrontEnd::Window ||
                (options.frontend == HostFrontEnd::Automatic && HostWindow_DisplayExpected());
  if (window) {
    std::string reason;
    int status = HostWindow_Run(options, &reason);
    if (status != HOST_WINDOW_NODISPLAY) return status;
    if (options.frontend == HostFrontEnd::Window) {
      std::fprintf(stderr, "%s: cannot open a window: %s\n", HOST_PROGRAM, reason.c_str());
      return 1;
    }
    std::fprintf(stderr, "%s: no window: %s; running headless\n", HOST_PROGRAM, reason.c_str());
  }
#else
  if (options.frontend == HostFrontEnd::Window) {
    std::fprintf(stderr, "%s: built without SDL2, so there is no window; use --headless\n", HOST_PROGRAM);
    return 1;
  }
#endif
  return HostHeadless_Run(options);
}

}  // namespace

int main(int argc, char** argv) {
  HOSTOPTIONS options;
  std::string error;
  if (!HostOptions_Parse(argc, argv, &options, &error)) {
    std::fprintf(stderr, "%s: %s\ntry '%s --help'\n", HOST_PROGRAM, error.c_str(), HOST_PROGRAM);
    return HOST_EXIT_USAGE;
  }
  switch (options.action) {
    case HostAction::Help: HostOptions_PrintHelp(stdout); return 0;
    case HostAction::Version: HostOptions_PrintVersion(stdout); return 0;
    case HostAction::SelfCheck: return RunSelfCheck();
    case HostAction::Run: break;
  }
  std::string start = CurrentFolder();
  HostOptions_Anchor(&options, start);
  options.picturefolder = start;
  std::string data = DataFolder(options, argv[0], start);
  if (::chdir(data.c_str()) != 0) {
    std::fprintf(stderr, "%s: cannot use the data folder %s: %s\n", HOST_PROGRAM, data.c_str(), std::strerror(errno));
    return 1;
  }
  if (!IsFolder("res"))
    std::fprintf(stderr, "%s: %s holds no res/ folder, so the game has nothing to load\n", HOST_PROGRAM, data.c_str());
  HostSignals_RouteToQuit();
  return RunFrontEnd(options);
}

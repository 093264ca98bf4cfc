// host_main.cpp - entry of the host executable.
//
// The host entry parses its own options before the framework starts (the
// framework itself reads no command line). The game's screens are not part
// of this build yet, so the program checks the emulated devices and reports
// what it found.
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/host/host_devices.h"

namespace {

struct HostOption {
  const char* name;
  const char* help;
};

constexpr HostOption HOST_OPTIONS[] = {
    {"--self-check", "check the emulated handheld devices and print the results (default)"},
    {"--help", "show this text"},
};

void PrintUsage() {
  std::printf("usage: vexa-puzzle [option]\n\n");
  for (const HostOption& option : HOST_OPTIONS) std::printf("  %-14s %s\n", option.name, option.help);
}

int RunSelfCheck() {
  std::vector<HOSTCHECK> results;
  bool passed = HostDevices_SelfCheck(results);
  std::printf("vexa-puzzle: checking the emulated handheld devices\n");
  for (const HOSTCHECK& check : results)
    std::printf("  %-4s %-16s %s\n", check.passed ? "ok" : "FAIL", check.name, check.detail);
  std::printf("%s\n", passed ? "all device checks passed" : "some device checks failed");
  return passed ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 2) {
    PrintUsage();
    return 2;
  }
  if (argc == 1 || std::strcmp(argv[1], "--self-check") == 0) return RunSelfCheck();
  if (std::strcmp(argv[1], "--help") == 0) {
    PrintUsage();
    return 0;
  }
  std::fprintf(stderr, "vexa-puzzle: unknown option %s\n", argv[1]);
  PrintUsage();
  return 2;
}

// gp2x_platform.cpp - the handheld's side of the platform seam: every call
// goes straight to the system call it is shaped after.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

#include "platform/platform.h"

int Platform_Open(const char* path, int flags) { return ::open(path, flags); }
int Platform_Close(int fd) { return ::close(fd); }
ssize_t Platform_Read(int fd, void* buffer, size_t length) { return ::read(fd, buffer, length); }
ssize_t Platform_Write(int fd, const void* buffer, size_t length) { return ::write(fd, buffer, length); }
int Platform_Ioctl(int fd, unsigned long request, void* argument) { return ::ioctl(fd, request, argument); }

void* Platform_Mmap(size_t length, int prot, int flags, int fd, off_t offset) {
  return ::mmap(nullptr, length, prot, flags, fd, offset);
}

int Platform_Munmap(void* address, size_t length) { return ::munmap(address, length); }

int Platform_GetTimeOfDay(struct timeval* tv) { return ::gettimeofday(tv, nullptr); }
int Platform_Usleep(useconds_t microseconds) { return ::usleep(microseconds); }
int Platform_Nanosleep(const struct timespec* request, struct timespec* remaining) {
  return ::nanosleep(request, remaining);
}

int Platform_ExitToMenu() {
  if (::chdir("/usr/gp2x") != 0) return -1;
  return ::execl("gp2xmenu", "gp2xmenu", static_cast<char*>(nullptr));
}

void Platform_Sync() { ::sync(); }
void Platform_PollInput() {}
void Platform_Present() {}

int Platform_WindowState() { return PLATFORM_WINDOW_FOREGROUND; }
bool Platform_QuitRequested() { return false; }
void Platform_RunEnded(const char16_t*) {}

const PLATFORM_OPTIONS* Platform_GetOptions() {
  static const PLATFORM_OPTIONS none{};
  return &none;
}

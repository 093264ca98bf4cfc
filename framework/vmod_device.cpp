// vmod_device.cpp - battery, names and wall clock of the handheld.
//
// Depends on: platform/platform.h ("/dev/batt"), util/vmod_std.h
// (DateTimeToTimestamp), the C library's time, localtime_r and gmtime_r.
#include "framework/vmod_device.h"

#include <fcntl.h>
#include <time.h>

#include "platform/platform.h"
#include "util/vmod_std.h"

namespace {

// "/dev/batt" reads a 16-bit raw value: 900 and above means external power,
// 600..900 spans an empty to a full battery.
constexpr uint16_t BATTERY_RAW_EXTERNAL = 900;
constexpr uint16_t BATTERY_RAW_EMPTY = 600;
constexpr uint32_t BATTERY_LEVEL_FULL = 255;

constexpr char MODEL_NAME[] = "GP2X F-100";
constexpr char OS_NAME[] = "Linux";
constexpr char EMPTY_TEXT[] = "";

constexpr int32_t SECONDS_PER_DAY = 86400;
constexpr int32_t SECONDS_PER_HOUR = 3600;
constexpr int SYSTEM_YEAR_BASE = 1900;

static_assert(sizeof(MODEL_NAME) <= VDEVICE_NAMESIZE, "model name must fit a name buffer");
static_assert(sizeof(OS_NAME) <= VDEVICE_NAMESIZE, "OS name must fit a name buffer");

bool ReadBatteryRaw(uint16_t& raw) {
  const int fd = Platform_Open("/dev/batt", O_RDONLY);
  if (fd < 0) {
    return false;
  }
  const ssize_t got = Platform_Read(fd, &raw, sizeof(raw));
  Platform_Close(fd);
  return got == static_cast<ssize_t>(sizeof(raw));
}

uint8_t BatteryLevelFromRaw(uint16_t raw) {
  if (raw >= BATTERY_RAW_EXTERNAL) {
    return static_cast<uint8_t>(BATTERY_LEVEL_FULL);
  }
  if (raw < BATTERY_RAW_EMPTY) {
    return 0;
  }
  // Linear from 600 (0) to 900 (255): (raw * 255 - 153000) / 300.
  const uint32_t span = BATTERY_RAW_EXTERNAL - BATTERY_RAW_EMPTY;
  return static_cast<uint8_t>((static_cast<uint32_t>(raw) * BATTERY_LEVEL_FULL - BATTERY_RAW_EMPTY * BATTERY_LEVEL_FULL) / span);
}

// Copies an ASCII name into an 8-bit or wide buffer, zero included.
template <typename CHAR>
void CopyName(CHAR* text, const char* name) {
  size_t i = 0;
  for (; name[i] != '\0'; ++i) {
    text[i] = static_cast<CHAR>(static_cast<uint8_t>(name[i]));
  }
  text[i] = 0;
}

// The calendar time of t, in local time or UTC.
bool BreakDown(time_t t, bool local, struct tm& out) {
  return (local ? localtime_r(&t, &out) : gmtime_r(&t, &out)) != nullptr;
}

// The calendar date and time now, in local time or UTC; all zero (a date
// before any timestamp) if the system cannot break the time down.
V_DATETIME NowAsDateTime(bool local) {
  V_DATETIME date = {};
  struct tm now = {};
  if (BreakDown(::time(nullptr), local, now)) {
    date.year = static_cast<uint32_t>(SYSTEM_YEAR_BASE + now.tm_year);
    date.month = static_cast<uint8_t>(now.tm_mon + 1);
    date.day = static_cast<uint8_t>(now.tm_mday);
    date.hour = static_cast<uint8_t>(now.tm_hour);
    date.minute = static_cast<uint8_t>(now.tm_min);
    date.second = static_cast<uint8_t>(now.tm_sec);
  }
  return date;
}

int32_t SecondsOfDay(const struct tm& clock) {
  return clock.tm_hour * SECONDS_PER_HOUR + clock.tm_min * 60 + clock.tm_sec;
}

// Days the local date of an instant lies after its UTC date: -1, 0 or 1.
int32_t DayShift(const struct tm& local, const struct tm& utc) {
  if (local.tm_year != utc.tm_year) {
    return local.tm_year > utc.tm_year ? 1 : -1;
  }
  return local.tm_yday - utc.tm_yday;
}

}  // namespace

bool ClassVDevice::GetBatteryInfo(uint8_t& level, uint8_t& status) {
  uint16_t raw = 0;
  if (!ReadBatteryRaw(raw)) {
    level = 0;
    status = VDEVICE_BATTERY_UNKNOWN;
    return false;
  }
  level = BatteryLevelFromRaw(raw);
  status = raw >= BATTERY_RAW_EXTERNAL ? VDEVICE_BATTERY_EXTERNAL : VDEVICE_BATTERY_ONBATTERY;
  return true;
}

uint8_t ClassVDevice::GetBatteryLevel() {
  uint8_t level = 0;
  uint8_t status = 0;
  GetBatteryInfo(level, status);
  return level;
}

uint8_t ClassVDevice::GetBatteryStatus() {
  uint8_t level = 0;
  uint8_t status = 0;
  GetBatteryInfo(level, status);
  return status;
}

void ClassVDevice::GetModelName(char* text) {
  CopyName(text, MODEL_NAME);
}

void ClassVDevice::GetModelName(char16_t* text) {
  CopyName(text, MODEL_NAME);
}

uint32_t ClassVDevice::GetModelID() {
  return 0;
}

void ClassVDevice::GetOSName(char* text) {
  CopyName(text, OS_NAME);
}

void ClassVDevice::GetOSName(char16_t* text) {
  CopyName(text, OS_NAME);
}

void ClassVDevice::GetOwnerName(char* text) {
  CopyName(text, EMPTY_TEXT);
}

void ClassVDevice::GetOwnerName(char16_t* text) {
  CopyName(text, EMPTY_TEXT);
}

void ClassVDevice::GetIMEI(char* text, uint32_t size) {
  if (size > 0) {
    CopyName(text, EMPTY_TEXT);
  }
}

void ClassVDevice::CurrentTime(uint8_t& hour, uint8_t& minute, uint8_t& second, bool local) {
  const V_DATETIME now = NowAsDateTime(local);
  hour = now.hour;
  minute = now.minute;
  second = now.second;
}

void ClassVDevice::CurrentDate(uint32_t& year, uint8_t& month, uint8_t& day, bool local) {
  const V_DATETIME now = NowAsDateTime(local);
  year = now.year;
  month = now.month;
  day = now.day;
}

int32_t ClassVDevice::LocalTimeOffset() {
  // Both clocks of one instant: today's daylight saving and the zone's present
  // offset count, and zones west of UTC come out negative, as the file layer
  // expects (the local clock of the epoch's start would be 1969-12-31 there).
  const time_t now = ::time(nullptr);
  struct tm local = {};
  struct tm utc = {};
  if (!BreakDown(now, true, local) || !BreakDown(now, false, utc)) {
    return 0;
  }
  return DayShift(local, utc) * SECONDS_PER_DAY + SecondsOfDay(local) - SecondsOfDay(utc);
}

uint32_t ClassVDevice::TimestampNow(bool local) {
  return ClassVStd::DateTimeToTimestamp(NowAsDateTime(local));
}

// vmod_device.h - what the framework knows about the handheld: battery,
// model, system names and the wall clock.
//
// Depends on: platform/platform.h ("/dev/batt"), util/vmod_std.h (timestamps),
// the C library's time, localtime_r and gmtime_r.
#pragma once

#include <cstdint>

// Battery status codes of GetBatteryInfo.
constexpr uint8_t VDEVICE_BATTERY_UNKNOWN = 0;   // "/dev/batt" could not be read
constexpr uint8_t VDEVICE_BATTERY_ONBATTERY = 4; // running on the batteries
constexpr uint8_t VDEVICE_BATTERY_EXTERNAL = 5;  // running on external power

// Room a text buffer needs for every name of the device module.
constexpr uint32_t VDEVICE_NAMESIZE = 16;

class ClassVDevice {
 public:
  bool GetBatteryInfo(uint8_t& level, uint8_t& status);       // level 0..255 and status; false (0, unknown) if unreadable
  uint8_t GetBatteryLevel();                                  // 0 (empty) .. 255 (full or external power)
  uint8_t GetBatteryStatus();                                 // VDEVICE_BATTERY_ONBATTERY or _EXTERNAL

  void GetModelName(char* text);                              // "GP2X F-100"; text holds VDEVICE_NAMESIZE
  void GetModelName(char16_t* text);                          // the same, wide
  uint32_t GetModelID();                                      // 0
  void GetOSName(char* text);                                 // "Linux"; text holds VDEVICE_NAMESIZE
  void GetOSName(char16_t* text);                             // the same, wide
  void GetOwnerName(char* text);                              // empty text; the handheld has no owner name
  void GetOwnerName(char16_t* text);                          // the same, wide
  void GetIMEI(char* text, uint32_t size);                    // empty text (no phone), when size allows one

  void CurrentTime(uint8_t& hour, uint8_t& minute, uint8_t& second, bool local); // now, local or UTC
  void CurrentDate(uint32_t& year, uint8_t& month, uint8_t& day, bool local);    // full year, month 1..12
  int32_t LocalTimeOffset();                                  // seconds east of UTC now, daylight saving included; negative west
  uint32_t TimestampNow(bool local);                          // now as seconds since 1970, local or UTC
};

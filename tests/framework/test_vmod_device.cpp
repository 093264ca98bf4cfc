// Tests of the device module: battery scale from the emulated "/dev/batt",
// names in both widths, and the wall clock in several time zones.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <time.h>

#include <gtest/gtest.h>

#include "framework/vmod_device.h"
#include "platform/host/host_devices.h"
#include "platform/platform.h"
#include "util/vmod_std.h"

namespace {

// --- battery ---------------------------------------------------------------------

struct BatteryCase {
  uint16_t raw;
  uint8_t level;
  uint8_t status;
};

// Level = (raw * 255 - 153000) / 300 on batteries, from 600 (0) to 900 (255).
const BatteryCase BATTERY_READINGS[] = {
    {0, 0, VDEVICE_BATTERY_ONBATTERY},
    {599, 0, VDEVICE_BATTERY_ONBATTERY},
    {600, 0, VDEVICE_BATTERY_ONBATTERY},
    {601, 0, VDEVICE_BATTERY_ONBATTERY},     // 0.85
    {602, 1, VDEVICE_BATTERY_ONBATTERY},     // 1.7
    {750, 127, VDEVICE_BATTERY_ONBATTERY},   // 127.5
    {899, 254, VDEVICE_BATTERY_ONBATTERY},   // 254.15
    {900, 255, VDEVICE_BATTERY_EXTERNAL},
    {1023, 255, VDEVICE_BATTERY_EXTERNAL},
    {0xFFFF, 255, VDEVICE_BATTERY_EXTERNAL},
};

void PrintTo(const BatteryCase& c, std::ostream* os) { *os << "raw " << c.raw; }

class BatteryReading : public ::testing::TestWithParam<BatteryCase> {};

TEST_P(BatteryReading, RawValueMapsToLevelAndStatus) {
  const BatteryCase& c = GetParam();
  HostDevices_SetBattery(c.raw);
  ClassVDevice device;
  uint8_t level = 0xAA;
  uint8_t status = 0xAA;
  EXPECT_TRUE(device.GetBatteryInfo(level, status));
  EXPECT_EQ(level, c.level);
  EXPECT_EQ(status, c.status);
  EXPECT_EQ(device.GetBatteryLevel(), c.level);
  EXPECT_EQ(device.GetBatteryStatus(), c.status);
}

INSTANTIATE_TEST_SUITE_P(Raw, BatteryReading, ::testing::ValuesIn(BATTERY_READINGS));

TEST(Device, BatteryDefaultsToExternalPower) {
  ClassVDevice device;
  EXPECT_EQ(device.GetBatteryLevel(), 255u);
  EXPECT_EQ(device.GetBatteryStatus(), VDEVICE_BATTERY_EXTERNAL);
}

TEST(Device, BatteryDeviceIsClosedAfterEveryRead) {
  // Far more reads than the emulation has descriptors: a leaked one per read
  // would make the later reads fail.
  HostDevices_SetBattery(750);
  ClassVDevice device;
  for (int i = 0; i < 200; ++i) {
    ASSERT_EQ(device.GetBatteryLevel(), 127u) << "read " << i;
  }
}

TEST(Device, UnreadableBatteryReportsFailure) {
  std::vector<int> held;
  for (int fd = Platform_Open("/dev/batt", O_RDONLY); fd >= 0; fd = Platform_Open("/dev/batt", O_RDONLY)) {
    held.push_back(fd);
  }
  ASSERT_FALSE(held.empty());
  ClassVDevice device;
  uint8_t level = 0xAA;
  uint8_t status = 0xAA;
  EXPECT_FALSE(device.GetBatteryInfo(level, status));
  EXPECT_EQ(level, 0u);
  EXPECT_EQ(status, VDEVICE_BATTERY_UNKNOWN);
  for (int fd : held) {
    Platform_Close(fd);
  }
}

// --- names ---------------------------------------------------------------------------

struct NameCase {
  const char* name;
  void (ClassVDevice::*narrow)(char*);
  void (ClassVDevice::*wide)(char16_t*);
  const char* expected;
};

const NameCase NAMES[] = {
    {"ModelName", &ClassVDevice::GetModelName, &ClassVDevice::GetModelName, "GP2X F-100"},
    {"OSName", &ClassVDevice::GetOSName, &ClassVDevice::GetOSName, "Linux"},
    {"OwnerName", &ClassVDevice::GetOwnerName, &ClassVDevice::GetOwnerName, ""},
};

void PrintTo(const NameCase& c, std::ostream* os) { *os << c.name; }

class DeviceName : public ::testing::TestWithParam<NameCase> {};

TEST_P(DeviceName, IsTheSameTextInBothWidths) {
  const NameCase& c = GetParam();
  ClassVDevice device;
  char narrow[VDEVICE_NAMESIZE];
  char16_t wide[VDEVICE_NAMESIZE];
  std::fill(std::begin(narrow), std::end(narrow), 'x');
  std::fill(std::begin(wide), std::end(wide), u'x');
  (device.*c.narrow)(narrow);
  (device.*c.wide)(wide);
  EXPECT_EQ(std::string(narrow), c.expected);
  EXPECT_EQ(std::u16string(wide), std::u16string(c.expected, c.expected + std::string(c.expected).size()));
}

INSTANTIATE_TEST_SUITE_P(Names, DeviceName, ::testing::ValuesIn(NAMES),
                         [](const ::testing::TestParamInfo<NameCase>& info) { return info.param.name; });

TEST(Device, ModelIdIsZero) {
  ClassVDevice device;
  EXPECT_EQ(device.GetModelID(), 0u);
}

TEST(Device, ImeiIsEmptyAndRespectsAZeroSize) {
  ClassVDevice device;
  char text[4] = {'x', 'x', 'x', 'x'};
  device.GetIMEI(text, 0);
  EXPECT_EQ(text[0], 'x');
  device.GetIMEI(text, sizeof(text));
  EXPECT_EQ(text[0], '\0');
}

// --- wall clock ------------------------------------------------------------------------

// Sets TZ for one test and restores the previous zone afterwards.
class ZoneGuard {
 public:
  explicit ZoneGuard(const char* zone) {
    const char* old = std::getenv("TZ");
    hadzone_ = old != nullptr;
    if (hadzone_) {
      oldzone_ = old;
    }
    setenv("TZ", zone, 1);
    tzset();
  }
  ~ZoneGuard() {
    if (hadzone_) {
      setenv("TZ", oldzone_.c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }
  ZoneGuard(const ZoneGuard&) = delete;
  ZoneGuard& operator=(const ZoneGuard&) = delete;

 private:
  bool hadzone_ = false;
  std::string oldzone_;
};

struct ZoneCase {
  const char* name;
  const char* tz;
  int32_t offset;  // seconds east of UTC, from the zone's definition
};

// Zones without daylight saving, so the offset is fixed whatever today is.
const ZoneCase FIXED_ZONES[] = {
    {"Utc", "UTC0", 0},
    {"NewYorkStandard", "EST5", -5 * 3600},
    {"Newfoundland", "NST3:30", -(3 * 3600 + 30 * 60)},
    {"BakerIsland", "AOE12", -12 * 3600},
    {"Tokyo", "JST-9", 9 * 3600},
    {"India", "IST-5:30", 5 * 3600 + 30 * 60},
    {"LineIslands", "LINT-14", 14 * 3600},
};

void PrintTo(const ZoneCase& c, std::ostream* os) { *os << c.tz; }

class FixedZone : public ::testing::TestWithParam<ZoneCase> {};

TEST_P(FixedZone, LocalTimeOffsetIsSecondsEastOfUtc) {
  const ZoneGuard zone(GetParam().tz);
  ClassVDevice device;
  EXPECT_EQ(device.LocalTimeOffset(), GetParam().offset);
}

// Calendar fields of the device, as a timestamp of the same clock.
uint32_t DeviceClockAsTimestamp(ClassVDevice& device, bool local) {
  V_DATETIME date = {};
  device.CurrentDate(date.year, date.month, date.day, local);
  device.CurrentTime(date.hour, date.minute, date.second, local);
  return ClassVStd::DateTimeToTimestamp(date);
}

// Runs read until the system clock shows the same second before and after it,
// so the reading can be compared with that second exactly. False if the clock
// never held still.
template <typename READ>
bool ReadWithinOneSecond(READ read, uint32_t& value, uint32_t& second) {
  for (int attempt = 0; attempt < 5; ++attempt) {
    const uint32_t before = static_cast<uint32_t>(::time(nullptr));
    value = read();
    const uint32_t after = static_cast<uint32_t>(::time(nullptr));
    if (before == after) {
      second = before;
      return true;
    }
  }
  return false;
}

TEST_P(FixedZone, LocalClockIsUtcMovedByTheOffset) {
  const ZoneGuard zone(GetParam().tz);
  ClassVDevice device;
  const uint32_t offset = static_cast<uint32_t>(GetParam().offset);
  uint32_t value = 0;
  uint32_t second = 0;
  ASSERT_TRUE(ReadWithinOneSecond([&] { return device.TimestampNow(true); }, value, second));
  EXPECT_EQ(value - offset, second);
  ASSERT_TRUE(ReadWithinOneSecond([&] { return DeviceClockAsTimestamp(device, true); }, value, second));
  EXPECT_EQ(value - offset, second);
}

TEST_P(FixedZone, UtcClockIgnoresTheZone) {
  const ZoneGuard zone(GetParam().tz);
  ClassVDevice device;
  uint32_t value = 0;
  uint32_t second = 0;
  ASSERT_TRUE(ReadWithinOneSecond([&] { return device.TimestampNow(false); }, value, second));
  EXPECT_EQ(value, second);
  ASSERT_TRUE(ReadWithinOneSecond([&] { return DeviceClockAsTimestamp(device, false); }, value, second));
  EXPECT_EQ(value, second);
}

INSTANTIATE_TEST_SUITE_P(Zones, FixedZone, ::testing::ValuesIn(FIXED_ZONES),
                         [](const ::testing::TestParamInfo<ZoneCase>& info) { return info.param.name; });

TEST(Device, LocalTimeOffsetCountsTodaysDaylightSaving) {
  // A southern zone whose rule also puts 1970-01-01 in summer time: only
  // today's saving may count, once.
  const ZoneGuard zone("AEST-10AEDT,M10.1.0,M4.1.0/3");
  const time_t now = ::time(nullptr);
  struct tm local = {};
  ASSERT_NE(localtime_r(&now, &local), nullptr);
  ClassVDevice device;
  EXPECT_EQ(device.LocalTimeOffset(), 10 * 3600 + (local.tm_isdst > 0 ? 3600 : 0));
}

}  // namespace

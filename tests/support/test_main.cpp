// Test entry: every suite runs against the emulated devices with a fresh
// state per test, so no test can reach the machine's real device files.
#include <gtest/gtest.h>

#include "platform/host/host_devices.h"

namespace {

class HostDeviceReset : public ::testing::EmptyTestEventListener {
  void OnTestStart(const ::testing::TestInfo&) override { HostDevices_Reset(); }
};

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::UnitTest::GetInstance()->listeners().Append(new HostDeviceReset);
  return RUN_ALL_TESTS();
}

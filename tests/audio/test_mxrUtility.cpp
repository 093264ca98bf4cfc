// Tests of the mixer's helpers: byte order, the digit and capital-letter
// classes (for every byte value, so a plain char of either signedness is
// covered), the bounded path copy and the platform's identity.
#include <cstdint>
#include <cstring>

#include <gtest/gtest.h>

#include "audio/mxrUtility.h"

namespace {

TEST(mxrUtility, ByteOrderReverses) {
  EXPECT_EQ(mxrUtility::btol16(0x1234), 0x3412);
  EXPECT_EQ(mxrUtility::btol16(0xFF00), 0x00FF);
  EXPECT_EQ(mxrUtility::btol32(0x12345678u), 0x78563412u);
  EXPECT_EQ(mxrUtility::btol32(0xFF000001u), 0x010000FFu);
}

TEST(mxrUtility, DigitsAndCapitalsOverEveryByte) {
  for (int value = 0; value < 256; ++value) {
    char c = static_cast<char>(value);
    bool digit = value >= '0' && value <= '9';
    bool capital = value >= 'A' && value <= 'Z';
    EXPECT_EQ(mxrUtility::getDigit(c), digit ? value - '0' : -1) << value;
    EXPECT_EQ(mxrUtility::getUpAlpha(c), capital ? value : -1) << value;
  }
}

TEST(mxrUtility, FullPathNameCopiesUnchangedWithinTheBuffer) {
  char out[8];
  mxrUtility::fullPathName(out, "res/a.wav", sizeof out);
  EXPECT_STREQ(out, "res/a.w");
  mxrUtility::fullPathName(out, "x\\y", sizeof out);
  EXPECT_STREQ(out, "x\\y");
  mxrUtility::fullPathName(out, nullptr, sizeof out);
  EXPECT_STREQ(out, "");
}

TEST(mxrUtility, PlatformIsTheHandheld) {
  EXPECT_EQ(mxrUtility::getPlatform(), MXR_PLATFORM_GP2X);
  EXPECT_EQ(mxrUtility::getOSVersion(), 0);
}

}  // namespace

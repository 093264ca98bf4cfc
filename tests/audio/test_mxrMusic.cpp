// Tests of mxrMusic, the tune: signatures and track counts, the pattern
// count from the order table, the image size, loading in place or as a copy
// of the bytes present, short and hostile images, and the settings.
#include <cstdint>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "audio/mxrData.h"
#include "tools/common/mod_writer.h"

namespace {

using Bytes = std::vector<uint8_t>;

int Load(mxrMusic& music, const Bytes& image, bool copy = false, size_t length = SIZE_MAX) {
  return music.load(image.data(), static_cast<uint32_t>(length == SIZE_MAX ? image.size() : length), copy);
}

struct SignatureCase {
  const char* signature;
  int tracks;
};

TEST(MusicSignature, GivesTheTrackCountOrNone) {
  const SignatureCase cases[] = {{"M.K.", 4}, {"M!K!", 4}, {"8CHN", 8}, {"6CHN", 6}, {"16CH", 16},
                                 {"32CH", 32}, {"FLT4", 0}, {"m.k.", 0}, {"xCHN", 0}, {"x8CH", 8}};
  for (const SignatureCase& c : cases) {
    EXPECT_EQ(mxrMusic::translatePTSign(reinterpret_cast<const uint8_t*>(c.signature)), c.tracks) << c.signature;
  }
}

TEST(MusicLoad, AcceptsTheTrackerSignaturesAndRefusesOthers) {
  const SignatureCase cases[] = {{"M.K.", 4}, {"M!K!", 4}, {"8CHN", 8}, {"FLT4", 0}, {"m.k.", 0}};
  for (const SignatureCase& c : cases) {
    modwriter::MODULE m;
    m.tracks = c.tracks == 0 ? 4 : static_cast<unsigned>(c.tracks);
    m.signature = c.signature;
    const Bytes image = modwriter::Write(m);
    mxrMusic music;
    EXPECT_EQ(Load(music, image), c.tracks == 0 ? MXR_MOD_BADFORMAT : MXR_MOD_OK) << c.signature;
    EXPECT_EQ(music.tracks(), c.tracks) << c.signature;
    EXPECT_EQ(music.data() != nullptr, c.tracks != 0) << c.signature;
  }
}

TEST(MusicLoad, PatternCountComesFromTheSongsOrdersOnly) {
  modwriter::MODULE m;
  m.orders = {0, 5, 2};
  Bytes image = modwriter::Write(m);
  image[952 + 3] = 100;  // beyond the song length: not counted
  mxrMusic music;
  ASSERT_EQ(Load(music, image), MXR_MOD_OK);
  EXPECT_EQ(music.getNumPattern(), 6);
  EXPECT_EQ(music.size(), 1084u + 6 * 1024);
  EXPECT_EQ(music.songLength(), 3u);
  image[950] = 0;
  ASSERT_EQ(Load(music, image), MXR_MOD_OK);
  EXPECT_EQ(music.getNumPattern(), 1);
  EXPECT_EQ(music.songLength(), 0u);
}

TEST(MusicLoad, ImageSizeIsHeaderPatternsAndSamples) {
  modwriter::MODULE m;
  m.tracks = 8;
  m.orders = {1};
  m.samples.resize(3);
  m.samples[0].data.assign(100, 1);
  m.samples[2].data.assign(31, 2);  // rounded up to 16 words
  const Bytes image = modwriter::Write(m);
  mxrMusic music;
  ASSERT_EQ(Load(music, image), MXR_MOD_OK);
  EXPECT_EQ(music.size(), 1084u + 2 * 8 * 256 + 100 + 32);
  EXPECT_EQ(music.size(), image.size());
}

TEST(MusicLoad, InPlaceKeepsTheCallersBytesAndCopyOwnsItsOwn) {
  modwriter::MODULE m;
  m.samples.resize(1);
  m.samples[0].data.assign(64, 9);
  Bytes image = modwriter::Write(m);
  image.resize(image.size() + 50, 0xEE);  // trailing bytes are not part of the tune
  mxrMusic music;
  ASSERT_EQ(Load(music, image, false), MXR_MOD_OK);
  EXPECT_EQ(music.data(), image.data());
  EXPECT_FALSE(music.owned());
  ASSERT_EQ(Load(music, image, true), MXR_MOD_OK);
  EXPECT_NE(music.data(), image.data());
  EXPECT_TRUE(music.owned());
  ASSERT_EQ(music.size(), image.size() - 50);
  EXPECT_EQ(std::memcmp(music.data(), image.data(), music.size()), 0);
}

TEST(MusicLoad, TooShortForHeaderOrPatternsIsRefused) {
  modwriter::MODULE m;
  m.orders = {0, 1};
  const Bytes image = modwriter::Write(m);
  mxrMusic music;
  EXPECT_EQ(music.load(nullptr, 0, false), MXR_MOD_NODATA);
  for (size_t length : {size_t{0}, size_t{1083}, size_t{1084}, image.size() - 1}) {
    for (bool copy : {false, true}) {
      EXPECT_EQ(Load(music, image, copy, length), MXR_MOD_BADFORMAT) << length;
      EXPECT_EQ(music.data(), nullptr);
    }
  }
  EXPECT_EQ(Load(music, image, false, image.size()), MXR_MOD_OK);
}

TEST(MusicLoad, SamplesCutWhereTheDataEndsAndTheCopyHoldsOnlyWhatIsThere) {
  modwriter::MODULE m;
  m.samples.resize(2);
  m.samples[0].data.assign(40, 3);
  m.samples[0].storedwords = 0x8000;  // claims 64 KB
  m.samples[1].data.assign(10, 4);    // starts beyond the bytes present
  const Bytes image = modwriter::Write(m);
  mxrMusic music;
  ASSERT_EQ(Load(music, image, true), MXR_MOD_OK);
  EXPECT_EQ(music.size(), image.size());
  EXPECT_EQ(std::memcmp(music.data(), image.data(), image.size()), 0);
}

TEST(MusicSettings, ClampAndRatesFollowEachOther) {
  mxrMusic music;
  EXPECT_EQ(music.volume(), 64u);
  EXPECT_EQ(music.pan(), 255u);
  EXPECT_FALSE(music.loop());
  EXPECT_EQ(music.frequency(), 44100u);
  EXPECT_EQ(music.speed(), 128u);
  music.volume(65);
  EXPECT_EQ(music.volume(), 64u);
  music.pan(256);
  EXPECT_EQ(music.pan(), 255u);
  music.frequency(88200);
  EXPECT_EQ(music.speed(), 256u);
  music.speed(64);
  EXPECT_EQ(music.frequency(), 22050u);
}

}  // namespace

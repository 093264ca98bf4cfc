// Tests of mxrGP2X: fragment geometry and the device settings, every refusal
// of open (a format the device answers otherwise included), the manual pump
// (exactly the fragments due, in order, nothing while suspended), and the
// output thread: it opens suspended, writes what the callback made, keeps the
// callback out of the critical section, and closes promptly, suspended or not.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <ostream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>

#include <gtest/gtest.h>

#include "audio/mxrGP2X.h"
#include "platform/host/host_devices.h"
#include "platform/platform.h"

namespace {

constexpr uint64_t kStart = 5000000;  // virtual clock at open, us

AudioSpec Spec(uint32_t rate, uint32_t format, uint32_t channels) {
  return AudioSpec{rate, format, channels};
}

void Silent(void*, void*, unsigned) {}

// What the callback saw, shared with the output thread.
struct RECORDER {
  std::atomic<uint32_t> calls{0};
  std::atomic<uint32_t> badlengths{0};
  std::atomic<uint32_t> overlaps{0};     // callbacks that ran while the test held the critical section
  std::atomic<bool> insidecritical{false};
  uint32_t expectedlength = 0;
  std::mutex lock;
  std::condition_variable changed;
};

// Fills each fragment with its call number, so the stream shows their order.
void Record(void* user, void* buffer, unsigned bytes) {
  RECORDER* r = static_cast<RECORDER*>(user);
  if (r->insidecritical.load()) r->overlaps++;
  if (bytes != r->expectedlength) r->badlengths++;
  std::memset(buffer, int(r->calls.load() & 0xFF), bytes);
  {
    std::lock_guard<std::mutex> guard(r->lock);
    r->calls++;
  }
  r->changed.notify_all();
}

// Waits for the output thread to have made `count` callbacks; the generous
// limit only keeps a broken driver from hanging the suite.
bool WaitForCalls(RECORDER& r, uint32_t count) {
  std::unique_lock<std::mutex> guard(r.lock);
  return r.changed.wait_for(guard, std::chrono::seconds(20), [&] { return r.calls.load() >= count; });
}

// Collects the "/dev/dsp" stream.
struct STREAM {
  std::mutex lock;
  std::vector<uint8_t> bytes;
};

void Collect(const void* data, size_t length, void* user) {
  STREAM* s = static_cast<STREAM*>(user);
  std::lock_guard<std::mutex> guard(s->lock);
  const uint8_t* p = static_cast<const uint8_t*>(data);
  s->bytes.insert(s->bytes.end(), p, p + length);
}

// The lowest free emulated descriptor: the same before and after an
// operation only if the operation left no device open.
int FreeDspDescriptor() {
  int fd = Platform_Open("/dev/dsp", O_WRONLY);
  Platform_Close(fd);
  return fd;
}

class ManualDriver : public ::testing::Test {
 protected:
  void SetUp() override {
    HostClock_UseVirtual(true, kStart);
    ASSERT_EQ(driver.manual(true), 0);
  }
  mxrGP2X driver;
  RECORDER recorder;
  STREAM stream;
};

// --- geometry and device settings ---------------------------------------------

struct GEOMETRYCASE {
  const char* name;
  AudioSpec spec;
  unsigned frames;
  uint32_t count;
  uint32_t length;
  int dspformat;
  int dspstereo;
};

void PrintTo(const GEOMETRYCASE& c, std::ostream* os) { *os << c.name; }

class DriverGeometry : public ::testing::TestWithParam<GEOMETRYCASE> {};

TEST_P(DriverGeometry, FragmentsAndDeviceSettings) {
  const GEOMETRYCASE& c = GetParam();
  mxrGP2X driver;
  AudioSpec spec = c.spec;
  ASSERT_EQ(driver.open(&spec, c.frames, Silent, nullptr), 0);
  EXPECT_EQ(driver.fragmentCount(), c.count);
  EXPECT_EQ(driver.fragmentLength(), c.length);
  HOSTDSPSTATE dsp = HostDevices_DspState();
  EXPECT_EQ(dsp.rate, int(c.spec.rate));
  EXPECT_EQ(dsp.format, c.dspformat);
  EXPECT_EQ(dsp.stereo, c.dspstereo);
  EXPECT_TRUE(driver.suspended());  // output waits for resume
  EXPECT_EQ(driver.close(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DriverGeometry,
    ::testing::Values(
        GEOMETRYCASE{"Buffer60msGives3", {44100, AUDIO_FORMAT_S16, 2}, 2646, 3, 3528, PLATFORM_AFMT_S16_LE, 1},
        GEOMETRYCASE{"Buffer200msGives10", {44100, AUDIO_FORMAT_S16, 2}, 8820, 10, 3528, PLATFORM_AFMT_S16_LE, 1},
        GEOMETRYCASE{"Buffer1000msGives16", {44100, AUDIO_FORMAT_S16, 2}, 44100, 16, 3528, PLATFORM_AFMT_S16_LE, 1},
        GEOMETRYCASE{"NoFramesGives3", {44100, AUDIO_FORMAT_S16, 1}, 0, 3, 1768, PLATFORM_AFMT_S16_LE, 0},
        GEOMETRYCASE{"Mono8At22050RoundsTo448", {22050, AUDIO_FORMAT_U8, 1}, 4410, 10, 448, PLATFORM_AFMT_U8, 0},
        GEOMETRYCASE{"Stereo8At11025", {11025, AUDIO_FORMAT_U8, 2}, 11025, 16, 448, PLATFORM_AFMT_U8, 1}),
    [](const ::testing::TestParamInfo<GEOMETRYCASE>& info) { return std::string(info.param.name); });

// --- refusals ---------------------------------------------------------------------

struct REFUSALCASE {
  const char* name;
  bool withspec;
  AudioSpec spec;
  bool withcallback;
  int code;
};

void PrintTo(const REFUSALCASE& c, std::ostream* os) { *os << c.name; }

class OpenRefusal : public ::testing::TestWithParam<REFUSALCASE> {};

TEST_P(OpenRefusal, OpensNothing) {
  const REFUSALCASE& c = GetParam();
  int freefd = FreeDspDescriptor();
  mxrGP2X driver;
  AudioSpec spec = c.spec;
  EXPECT_EQ(driver.open(c.withspec ? &spec : nullptr, 8820, c.withcallback ? Silent : nullptr, nullptr), c.code);
  EXPECT_FALSE(driver.isOpen());
  EXPECT_EQ(HostDevices_DspState().rate, 0);  // the device was never set up
  EXPECT_EQ(FreeDspDescriptor(), freefd);
  EXPECT_EQ(driver.close(), MXR_DRIVER_NOTOPEN);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OpenRefusal,
    ::testing::Values(
        REFUSALCASE{"Signed8", true, {44100, 0x11, 2}, true, MXR_DRIVER_BADSPEC},
        REFUSALCASE{"Unsigned16", true, {44100, 0x22, 2}, true, MXR_DRIVER_BADSPEC},
        REFUSALCASE{"FormatZero", true, {44100, 0, 2}, true, MXR_DRIVER_BADSPEC},
        REFUSALCASE{"NoSampleWidth", true, {44100, AUDIO_FORMAT_SIGNED, 2}, true, MXR_DRIVER_BADSPEC},
        REFUSALCASE{"BothSampleWidths", true, {44100, 0x13, 2}, true, MXR_DRIVER_BADSPEC},
        REFUSALCASE{"NoChannels", true, {44100, AUDIO_FORMAT_S16, 0}, true, MXR_DRIVER_BADSPEC},
        REFUSALCASE{"ThreeChannels", true, {44100, AUDIO_FORMAT_S16, 3}, true, MXR_DRIVER_BADSPEC},
        REFUSALCASE{"RateZero", true, {0, AUDIO_FORMAT_S16, 2}, true, MXR_DRIVER_BADSPEC},
        REFUSALCASE{"NoCallback", true, {44100, AUDIO_FORMAT_S16, 2}, false, MXR_DRIVER_NOCALLBACK},
        REFUSALCASE{"NoSpec", false, {}, true, MXR_DRIVER_NOCALLBACK}),
    [](const ::testing::TestParamInfo<REFUSALCASE>& info) { return std::string(info.param.name); });

struct FORMATREPLYCASE {
  const char* name;
  uint32_t format;
  int reply;
  int code;
};

void PrintTo(const FORMATREPLYCASE& c, std::ostream* os) { *os << c.name; }

class FormatReply : public ::testing::TestWithParam<FORMATREPLYCASE> {};

TEST_P(FormatReply, AnotherFormatClosesTheDevice) {
  const FORMATREPLYCASE& c = GetParam();
  int freefd = FreeDspDescriptor();
  HostDevices_SetDspFormatReply(c.reply);
  mxrGP2X driver;
  AudioSpec spec = Spec(22050, c.format, 1);
  EXPECT_EQ(driver.open(&spec, 4410, Silent, nullptr), c.code);
  EXPECT_EQ(driver.isOpen(), c.code == 0);
  EXPECT_EQ(FreeDspDescriptor() == freefd, c.code != 0);  // a refused open left no device open
  driver.close();
  EXPECT_EQ(FreeDspDescriptor(), freefd);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FormatReply,
    ::testing::Values(FORMATREPLYCASE{"Signed16AnsweredU8", AUDIO_FORMAT_S16, PLATFORM_AFMT_U8, MXR_DRIVER_BADSPEC},
                      FORMATREPLYCASE{"U8AnsweredSigned16", AUDIO_FORMAT_U8, PLATFORM_AFMT_S16_LE, MXR_DRIVER_BADSPEC},
                      FORMATREPLYCASE{"Signed16Accepted", AUDIO_FORMAT_S16, PLATFORM_AFMT_S16_LE, 0},
                      FORMATREPLYCASE{"U8Accepted", AUDIO_FORMAT_U8, PLATFORM_AFMT_U8, 0}),
    [](const ::testing::TestParamInfo<FORMATREPLYCASE>& info) { return std::string(info.param.name); });

TEST(mxrGP2X, OpenTwiceAndCloseTwice) {
  mxrGP2X driver;
  EXPECT_EQ(driver.close(), MXR_DRIVER_NOTOPEN);
  AudioSpec spec = Spec(44100, AUDIO_FORMAT_S16, 2);
  ASSERT_EQ(driver.open(&spec, 8820, Silent, nullptr), 0);
  EXPECT_EQ(driver.open(&spec, 8820, Silent, nullptr), MXR_DRIVER_ALREADYOPEN);
  EXPECT_EQ(driver.close(), 0);
  EXPECT_EQ(driver.close(), MXR_DRIVER_NOTOPEN);
  EXPECT_EQ(driver.open(&spec, 8820, Silent, nullptr), 0);  // and again after closing
}

// --- manual mode -----------------------------------------------------------------

struct PUMPCASE {
  const char* name;
  AudioSpec spec;
  std::vector<std::pair<uint64_t, int>> steps;  // time after open (us), fragments that call writes
};

void PrintTo(const PUMPCASE& c, std::ostream* os) { *os << c.name; }

class Pump : public ::testing::TestWithParam<PUMPCASE> {};

// 44100 Hz: 882 frames, exactly 20000 us per fragment. 22050 Hz 8-bit mono:
// 448 frames, 20317.46 us per fragment, so 1 s holds 49 of them.
TEST_P(Pump, WritesExactlyTheFragmentsDue) {
  const PUMPCASE& c = GetParam();
  HostClock_UseVirtual(true, kStart);
  mxrGP2X driver;
  ASSERT_EQ(driver.manual(true), 0);
  RECORDER recorder;
  STREAM stream;
  HostDevices_SetDspSink(Collect, &stream);
  AudioSpec spec = c.spec;
  ASSERT_EQ(driver.open(&spec, 8820, Record, &recorder), 0);
  recorder.expectedlength = driver.fragmentLength();
  driver.resume();
  int total = 0;
  for (const auto& step : c.steps) {
    EXPECT_EQ(driver.pump(kStart + step.first), step.second) << step.first;
    total += step.second;
  }
  EXPECT_EQ(recorder.calls.load(), uint32_t(total));
  EXPECT_EQ(recorder.badlengths.load(), 0u);
  EXPECT_EQ(HostDevices_DspState().byteswritten, uint64_t(total) * driver.fragmentLength());
  ASSERT_EQ(stream.bytes.size(), size_t(total) * driver.fragmentLength());
  for (size_t i = 0; i < stream.bytes.size(); ++i) {
    ASSERT_EQ(stream.bytes[i], uint8_t(i / driver.fragmentLength())) << i;  // fragments in call order
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Pump,
    ::testing::Values(
        PUMPCASE{"Stereo16At44100", {44100, AUDIO_FORMAT_S16, 2},
                 {{0, 0}, {19999, 0}, {20000, 1}, {20000, 0}, {59999, 1}, {60000, 1}, {1000000, 47}}},
        PUMPCASE{"Mono8At22050", {22050, AUDIO_FORMAT_U8, 1},
                 {{20317, 0}, {20318, 1}, {40634, 0}, {40635, 1}, {1000000, 47}, {1015873, 0}, {1015874, 1}}},
        PUMPCASE{"TimeGoingBackWritesNothing", {44100, AUDIO_FORMAT_S16, 2}, {{0, 0}, {40000, 2}, {20000, 0}}}),
    [](const ::testing::TestParamInfo<PUMPCASE>& info) { return std::string(info.param.name); });

TEST_F(ManualDriver, OpensSuspendedAndSkipsWhatFallsDueWhileSuspended) {
  HostDevices_SetDspSink(Collect, &stream);
  AudioSpec spec = Spec(44100, AUDIO_FORMAT_S16, 2);
  ASSERT_EQ(driver.open(&spec, 8820, Record, &recorder), 0);
  EXPECT_EQ(driver.pump(kStart + 100000), 0);  // 5 due, none written before resume
  driver.resume();
  EXPECT_EQ(driver.pump(kStart + 200000), 5);  // only those due since
  driver.suspend();
  EXPECT_EQ(driver.pump(kStart + 300000), 0);
  driver.resume();
  EXPECT_EQ(driver.pump(kStart + 320000), 1);
  EXPECT_EQ(recorder.calls.load(), 6u);
  EXPECT_EQ(stream.bytes.size(), 6u * 3528u);
}

TEST_F(ManualDriver, ACallbackThatWritesNothingLeavesSilence) {
  for (uint32_t format : {AUDIO_FORMAT_S16, AUDIO_FORMAT_U8}) {
    STREAM silence;
    HostDevices_SetDspSink(Collect, &silence);
    AudioSpec spec = Spec(22050, format, 1);
    ASSERT_EQ(driver.open(&spec, 4410, Silent, nullptr), 0);
    driver.resume();
    EXPECT_EQ(driver.pump(kStart + 250000), 12);  // more than the 10 fragments of the buffer
    ASSERT_FALSE(silence.bytes.empty());
    uint8_t expected = format == AUDIO_FORMAT_U8 ? 128 : 0;
    for (uint8_t byte : silence.bytes) ASSERT_EQ(byte, expected);
    EXPECT_EQ(driver.close(), 0);
  }
}

TEST_F(ManualDriver, PumpNeedsAnOpenManualDriver) {
  EXPECT_EQ(driver.pump(kStart + 100000), MXR_DRIVER_NOTOPEN);
  AudioSpec spec = Spec(44100, AUDIO_FORMAT_S16, 2);
  ASSERT_EQ(driver.open(&spec, 8820, Silent, nullptr), 0);
  EXPECT_EQ(driver.manual(false), MXR_DRIVER_ALREADYOPEN);
  EXPECT_TRUE(driver.manual());
  driver.close();

  mxrGP2X threaded;
  ASSERT_EQ(threaded.open(&spec, 8820, Silent, nullptr), 0);
  EXPECT_EQ(threaded.pump(kStart + 100000), MXR_DRIVER_NOTOPEN);
}

TEST(mxrGP2X, ManualByDefaultAppliesToDriversMadeAfterwards) {
  mxrGP2X before;
  mxrGP2X::manualByDefault(true);
  mxrGP2X after;
  mxrGP2X::manualByDefault(false);
  mxrGP2X later;
  EXPECT_FALSE(before.manual());
  EXPECT_TRUE(after.manual());
  EXPECT_FALSE(later.manual());
}

// --- the output thread ------------------------------------------------------------

TEST(mxrGP2X, ThreadWritesNothingUntilResumedAndClosesPromptlyWhileSuspended) {
  RECORDER recorder;
  mxrGP2X driver;
  AudioSpec spec = Spec(44100, AUDIO_FORMAT_S16, 2);
  ASSERT_EQ(driver.open(&spec, 8820, Record, &recorder), 0);
  // Time for the thread to take many turns; a correct driver writes nothing
  // however long this lasts.
  std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(driver.close(), 0);  // joins a thread that never left suspension
  EXPECT_EQ(recorder.calls.load(), 0u);
  EXPECT_EQ(HostDevices_DspState().byteswritten, 0u);
}

TEST(mxrGP2X, ThreadWritesWhatTheCallbackMadeAndStopsOnClose) {
  RECORDER recorder;
  STREAM stream;
  HostDevices_SetDspSink(Collect, &stream);
  mxrGP2X driver;
  AudioSpec spec = Spec(22050, AUDIO_FORMAT_U8, 1);
  ASSERT_EQ(driver.open(&spec, 4410, Record, &recorder), 0);
  recorder.expectedlength = driver.fragmentLength();
  const uint32_t length = driver.fragmentLength();
  driver.resume();
  ASSERT_TRUE(WaitForCalls(recorder, 25));  // more than one trip round the 10 fragments
  driver.suspend();
  EXPECT_EQ(driver.close(), 0);
  uint32_t calls = recorder.calls.load();
  EXPECT_EQ(recorder.badlengths.load(), 0u);
  EXPECT_EQ(HostDevices_DspState().byteswritten, uint64_t(calls) * length);
  std::lock_guard<std::mutex> guard(stream.lock);
  ASSERT_EQ(stream.bytes.size(), size_t(calls) * length);
  for (size_t i = 0; i < stream.bytes.size(); ++i) ASSERT_EQ(stream.bytes[i], uint8_t(i / length)) << i;
}

TEST(mxrGP2X, CriticalSectionExcludesTheCallback) {
  RECORDER recorder;
  mxrGP2X driver;
  AudioSpec spec = Spec(44100, AUDIO_FORMAT_S16, 2);
  ASSERT_EQ(driver.open(&spec, 8820, Record, &recorder), 0);
  recorder.expectedlength = driver.fragmentLength();
  driver.resume();
  for (uint32_t round = 1; round <= 20; ++round) {
    ASSERT_TRUE(WaitForCalls(recorder, round));  // the callback runs between the rounds
    driver.enterCriticalSection();
    recorder.insidecritical.store(true);
    uint32_t before = recorder.calls.load();
    std::this_thread::sleep_for(std::chrono::microseconds(300));
    EXPECT_EQ(recorder.calls.load(), before);
    recorder.insidecritical.store(false);
    driver.leaveCriticalSection();
  }
  EXPECT_EQ(driver.close(), 0);
  EXPECT_EQ(recorder.overlaps.load(), 0u);
}

TEST(mxrGP2X, DestructorClosesARunningDriver) {
  int freefd = FreeDspDescriptor();
  RECORDER recorder;
  {
    mxrGP2X driver;
    AudioSpec spec = Spec(44100, AUDIO_FORMAT_S16, 1);
    ASSERT_EQ(driver.open(&spec, 8820, Record, &recorder), 0);
    recorder.expectedlength = driver.fragmentLength();
    driver.resume();
    ASSERT_TRUE(WaitForCalls(recorder, 3));
  }
  uint32_t calls = recorder.calls.load();
  EXPECT_EQ(FreeDspDescriptor(), freefd);
  EXPECT_EQ(recorder.calls.load(), calls);  // no thread left to call back
  EXPECT_EQ(recorder.badlengths.load(), 0u);
}

}  // namespace

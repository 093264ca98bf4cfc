// The host executable's option table: every option reaches its field, the
// mistakes a user makes get a reason, and what the game needs of the options
// reaches it through the platform.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/host/host_options.h"
#include "platform/platform.h"

namespace {

struct Parsed {
  bool ok;
  HOSTOPTIONS options;
  std::string error;
};

Parsed Parse(std::vector<const char*> words) {
  words.insert(words.begin(), HOST_PROGRAM);
  Parsed parsed{};
  parsed.ok = HostOptions_Parse(int(words.size()), words.data(), &parsed.options, &parsed.error);
  return parsed;
}

std::string HelpText() {
  char* text = nullptr;
  size_t size = 0;
  FILE* out = open_memstream(&text, &size);
  HostOptions_PrintHelp(out);
  std::fclose(out);
  std::string help(text, size);
  std::free(text);
  return help;
}

TEST(HostOptions, NoOptionRunsTheGameWhereverADisplayIs) {
  Parsed parsed = Parse({});
  ASSERT_TRUE(parsed.ok) << parsed.error;
  EXPECT_EQ(parsed.options.action, HostAction::Run);
  EXPECT_EQ(parsed.options.frontend, HostFrontEnd::Automatic);
  EXPECT_EQ(parsed.options.frames, 0u);
  EXPECT_FALSE(parsed.options.hasseed);
}

TEST(HostOptions, EveryRunOptionReachesItsField) {
  Parsed window = Parse({"--window", "--scale", "4", "--fullscreen", "--frames", "900", "--seed", "4294967295",
                         "--screenshot", "last.PNG", "--record", "in.rec", "--replay", "old.rec", "--data", "game",
                         "--shots", "300,60,120,60", "pictures", "--trace", "field.txt"});
  ASSERT_TRUE(window.ok) << window.error;
  const HOSTOPTIONS& o = window.options;
  EXPECT_EQ(o.frontend, HostFrontEnd::Window);
  EXPECT_EQ(o.scale, 4u);
  EXPECT_TRUE(o.fullscreen);
  EXPECT_EQ(o.frames, 900u);
  EXPECT_TRUE(o.hasseed);
  EXPECT_EQ(o.seed, 4294967295u);
  EXPECT_EQ(o.screenshot, "last.PNG");
  EXPECT_EQ(o.record, "in.rec");
  EXPECT_EQ(o.replay, "old.rec");
  EXPECT_EQ(o.trace, "field.txt");
  EXPECT_EQ(o.data, "game");
  EXPECT_EQ(o.shotsfolder, "pictures");
  EXPECT_EQ(o.shotframes, (std::vector<uint32_t>{60, 120, 300}));  // ascending, each once

  Parsed headless = Parse({"--headless", "--seed", "0"});
  ASSERT_TRUE(headless.ok) << headless.error;
  EXPECT_EQ(headless.options.frontend, HostFrontEnd::Headless);
  EXPECT_TRUE(headless.options.hasseed);
  EXPECT_EQ(headless.options.seed, 0u);
}

TEST(HostOptions, ActionsStandAlone) {
  struct Case {
    const char* option;
    HostAction action;
  };
  for (const Case& c : {Case{"--help", HostAction::Help}, Case{"--version", HostAction::Version},
                        Case{"--self-check", HostAction::SelfCheck}}) {
    Parsed alone = Parse({c.option});
    ASSERT_TRUE(alone.ok) << c.option << ": " << alone.error;
    EXPECT_EQ(alone.options.action, c.action) << c.option;
    Parsed mixed = Parse({"--headless", c.option});
    EXPECT_FALSE(mixed.ok) << c.option;
    EXPECT_NE(mixed.error.find(c.option), std::string::npos) << mixed.error;
  }
}

TEST(HostOptions, MistakesAreRefusedWithTheirReason) {
  struct Case {
    std::vector<const char*> words;
    const char* reason;  // a part of the error text
  };
  const Case cases[] = {
      {{"--speed"}, "unknown option \"--speed\""},
      {{"-h"}, "unknown option \"-h\""},
      {{"--scale"}, "--scale needs N"},
      {{"--scale", "0"}, "from 1 to 16, not \"0\""},
      {{"--scale", "17"}, "from 1 to 16, not \"17\""},
      {{"--scale", "2x"}, "not \"2x\""},
      {{"--frames", "--headless"}, "--frames needs N"},
      {{"--frames", "0"}, "--frames needs a whole number from 1"},
      {{"--frames", "-5"}, "not \"-5\""},
      {{"--seed", "4294967296"}, "to 4294967295, not \"4294967296\""},
      {{"--seed", "99999999999999999999"}, "not \"99999999999999999999\""},
      {{"--seed", "+3"}, "not \"+3\""},
      {{"--screenshot", "last.bmp"}, "ending in .png"},
      {{"--screenshot", ".png"}, "ending in .png"},
      {{"--record", ""}, "--record needs FILE"},
      {{"--data"}, "--data needs DIR"},
      {{"--shots", "60,120"}, "--shots needs F1,F2,... DIR"},
      {{"--shots", "60,,120", "dir"}, "not \"60,,120\""},
      {{"--shots", "60,", "dir"}, "not \"60,\""},
      {{"--shots", "0,60", "dir"}, "frame numbers from 1"},
      {{"--frames", "10", "--frames", "20"}, "--frames is given twice"},
      {{"--headless", "--window"}, "--headless and --window exclude each other"},
      {{"--headless", "--scale", "2"}, "--headless and --scale exclude each other"},
      {{"--fullscreen", "--headless"}, "--headless and --fullscreen exclude each other"},
      {{"--frames", "600", "--shots", "60,700", "dir"}, "frame 700, after the last of --frames 600"},
  };
  for (const Case& c : cases) {
    Parsed parsed = Parse(c.words);
    EXPECT_FALSE(parsed.ok) << c.reason;
    EXPECT_NE(parsed.error.find(c.reason), std::string::npos) << "got: " << parsed.error;
  }
}

TEST(HostOptions, HelpShowsEveryOptionWithItsArgument) {
  std::string help = HelpText();
  EXPECT_EQ(help.rfind(std::string("usage: ") + HOST_PROGRAM, 0), 0u) << help;
  const char* synopses[] = {"--headless",
                            "--window",
                            "--scale N",
                            "--fullscreen",
                            "--frames N",
                            "--seed N",
                            "--screenshot FILE.png",
                            "--record FILE",
                            "--replay FILE",
                            "--data DIR",
                            "--shots F1,F2,... DIR",
                            "--trace FILE",
                            "--version",
                            "--help",
                            "--self-check"};
  for (const char* synopsis : synopses)
    EXPECT_NE(help.find(std::string("  ") + synopsis + " "), std::string::npos) << synopsis;
}

TEST(HostOptions, AnchorMakesRelativeNamesAbsolute) {
  Parsed parsed = Parse(
      {"--screenshot", "shots/last.png", "--record", "/abs/in.rec", "--data", "res-folder", "--shots", "1", "pics",
       "--trace", "runs/field.txt"});
  ASSERT_TRUE(parsed.ok) << parsed.error;
  HostOptions_Anchor(&parsed.options, "/start/here");
  EXPECT_EQ(parsed.options.screenshot, "/start/here/shots/last.png");
  EXPECT_EQ(parsed.options.record, "/abs/in.rec");
  EXPECT_EQ(parsed.options.replay, "");  // not given: stays empty
  EXPECT_EQ(parsed.options.data, "/start/here/res-folder");
  EXPECT_EQ(parsed.options.shotsfolder, "/start/here/pics");
  EXPECT_EQ(parsed.options.trace, "/start/here/runs/field.txt");
}

TEST(HostOptions, SeedRecordingAndPlaybackReachTheGameUntilWithdrawn) {
  Parsed parsed = Parse({"--seed", "77", "--record", "/tmp/a.rec", "--replay", "/tmp/b.rec", "--trace", "/tmp/c.txt"});
  ASSERT_TRUE(parsed.ok) << parsed.error;
  HostOptions_Publish(parsed.options);
  const PLATFORM_OPTIONS* seen = Platform_GetOptions();
  EXPECT_TRUE(seen->hasseed);
  EXPECT_EQ(seen->seed, 77u);
  ASSERT_NE(seen->record, nullptr);
  ASSERT_NE(seen->replay, nullptr);
  EXPECT_STREQ(seen->record, "/tmp/a.rec");
  EXPECT_STREQ(seen->replay, "/tmp/b.rec");
  ASSERT_NE(seen->trace, nullptr);
  EXPECT_STREQ(seen->trace, "/tmp/c.txt");
  HostOptions_Withdraw();
  EXPECT_FALSE(Platform_GetOptions()->hasseed);
  EXPECT_EQ(Platform_GetOptions()->record, nullptr);
  EXPECT_EQ(Platform_GetOptions()->replay, nullptr);
  EXPECT_EQ(Platform_GetOptions()->trace, nullptr);
}

}  // namespace

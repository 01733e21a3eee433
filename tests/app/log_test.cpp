#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <thread>
#include <vector>

#include "app/app_log.h"
#include "app/phone_log.h"
#include "app/trace_log.h"
#include "support/temp_folder.h"

namespace corvel {
namespace {

using testing::Exists;
using testing::ReadFile;
using testing::TempFolder;
using testing::WriteFile;

// A clock the test moves by hand.
struct FakeClock {
  LocalTime now{2026, 3, 7, 9, 5, 4, 7};
  LocalClock clock() {
    return [this] { return now; };
  }
};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    lines.push_back(line);
  return lines;
}

TEST(TraceLog, StampsLinesWithDashesOrSlashes) {
  TempFolder folder;
  FakeClock clock;
  {
    TraceLog log(folder / "t.log", 0, 1, clock.clock());
    log.Write("direct %d\n", 1);
    log.WriteLevel(0, "%s\n", "through AppLog");
  }
  EXPECT_EQ(ReadFile(folder / "t.log"),
            "2026-03-07 09:05:04 direct 1\n"
            "2026/03/07 09:05:04 through AppLog\n");
}

TEST(TraceLog, YearIsSpacePaddedAndFieldsZeroPadded) {
  TempFolder folder;
  FakeClock clock;
  clock.now = {999, 1, 2, 3, 4, 5, 0};
  { TraceLog(folder / "t.log", 0, 1, clock.clock()).Write("x\n"); }
  EXPECT_EQ(ReadFile(folder / "t.log"), " 999-01-02 03:04:05 x\n");
}

TEST(TraceLog, LevelAndModeFilter) {
  TempFolder folder;
  {
    TraceLog log(folder / "t.log", 1, 1);
    log.WriteLevel(2, "too detailed\n");
    log.WriteLevel(1, "kept\n");
    log.setMode(0);
    log.Write("off\n");
    log.WriteLevel(0, "off\n");
  }
  const auto lines = Lines(ReadFile(folder / "t.log"));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_TRUE(lines[0].ends_with(" kept"));
}

TEST(TraceLog, MissingFolderMeansNoFileAndNoComplaint) {
  TempFolder folder;
  TraceLog log(folder / "no-such-folder/UdpNetwork.log", 0, 1);
  EXPECT_FALSE(log.isOpen());
  log.Write("dropped\n");
  EXPECT_FALSE(Exists(folder / "no-such-folder"));
}

TEST(TraceLog, EarlierFileIsMovedAsideAtConstruction) {
  TempFolder folder;
  FakeClock clock;
  WriteFile(folder / "UdpNetwork.log", "old run\n");
  TraceLog log(folder / "UdpNetwork.log", 0, 1, clock.clock());
  EXPECT_EQ(ReadFile(folder / "UdpNetwork202603070905.log"), "old run\n");
  EXPECT_EQ(ReadFile(folder / "UdpNetwork.log"), "");
}

TEST(TraceLog, RollsOverAtMaxLinesAndSameMinuteReplaces) {
  TempFolder folder;
  FakeClock clock;
  TraceLog log(folder / "UdpNetwork.log", 0, 1, clock.clock(), 3);
  for (int i = 1; i <= 3; ++i)
    log.Write("first %d\n", i);
  const std::string rolled = folder / "UdpNetwork202603070905.log";
  EXPECT_EQ(Lines(ReadFile(rolled)).size(), 3u);
  EXPECT_EQ(ReadFile(folder / "UdpNetwork.log"), "");

  for (int i = 1; i <= 3; ++i)
    log.Write("second %d\n", i);
  const std::string second = ReadFile(rolled);
  EXPECT_NE(second.find("second 3"), std::string::npos);
  EXPECT_EQ(second.find("first"), std::string::npos);

  clock.now.minute = 6;
  log.Write("third\n");
  EXPECT_TRUE(ReadFile(folder / "UdpNetwork.log").ends_with(" third\n"));
}

TEST(TraceLog, RealLimitIsTwoHundredThousandLines) {
  TempFolder folder;
  FakeClock clock;
  TraceLog log(folder / "UdpNetwork.log", 0, 1, clock.clock());
  for (int i = 0; i < TraceLog::kMaxLines - 1; ++i)
    log.Write("l\n");
  EXPECT_FALSE(Exists(folder / "UdpNetwork202603070905.log"));
  log.Write("last\n");
  EXPECT_TRUE(Exists(folder / "UdpNetwork202603070905.log"));
  EXPECT_EQ(ReadFile(folder / "UdpNetwork.log"), "");
}

TEST(TraceLog, RolledNameUsesOnlyTheFileNamesDot) {
  const LocalTime t{2026, 12, 9, 23, 59, 0, 0};
  EXPECT_EQ(TraceLog::RolledName("./log/UdpNetwork.log", t), "./log/UdpNetwork202612092359.log");
  EXPECT_EQ(TraceLog::RolledName("./log/trace", t), "./log/trace202612092359.log");
  EXPECT_EQ(TraceLog::RolledName("a.b/trace", t), "a.b/trace202612092359.log");
}

TEST(TraceLog, WritesFromManyThreadsStayWholeLines) {
  TempFolder folder;
  {
    TraceLog log(folder / "t.log", 0, 1);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
      threads.emplace_back([&log, t] {
        for (int i = 0; i < 2000; ++i)
          log.WriteLevel(0, "thread %d line %d payload-payload\n", t, i);
      });
    }
    for (auto& thread : threads)
      thread.join();
  }
  const auto lines = Lines(ReadFile(folder / "t.log"));
  ASSERT_EQ(lines.size(), 8000u);
  const std::regex shape(R"(\d{4}/\d\d/\d\d \d\d:\d\d:\d\d thread \d line \d+ payload-payload)");
  for (const auto& line : lines)
    ASSERT_TRUE(std::regex_match(line, shape)) << line;
}

TEST(PhoneLog, WritesTextUnchangedWithMillisecondStamp) {
  TempFolder folder;
  FakeClock clock;
  {
    PhoneLog log(clock.clock());
    ASSERT_TRUE(log.Open(folder / "SIPPhone.log"));
    log.Write("100% sure %s %d %n\n");
    log.Write("");
  }
  EXPECT_EQ(ReadFile(folder / "SIPPhone.log"), "2026/03/07 09:05:04 007 :100% sure %s %d %n\n");
}

TEST(PhoneLog, OpenOnlyOnceAndNothingBeforeOpen) {
  TempFolder folder;
  PhoneLog log;
  log.Write("lost\n");
  ASSERT_TRUE(log.Open(folder / "a.log"));
  EXPECT_TRUE(log.Open(folder / "b.log"));
  log.Write("kept\n");
  EXPECT_FALSE(Exists(folder / "b.log"));
  EXPECT_TRUE(ReadFile(folder / "a.log").ends_with(":kept\n"));
}

TEST(PhoneLog, LongMessageIsCutAtACharacterAndKeepsItsLineEnd) {
  TempFolder folder;
  {
    PhoneLog log;
    ASSERT_TRUE(log.Open(folder / "p.log"));
    std::string text;
    while (text.size() < 9000)
      text += "\xE4\xB8\xAD";  // 中
    log.Write(text + "\n");
    log.Write("next\n");
  }
  const auto lines = Lines(ReadFile(folder / "p.log"));
  ASSERT_EQ(lines.size(), 2u);
  const std::string message = lines[0].substr(lines[0].find(" :") + 2);
  EXPECT_LE(message.size() + 1, PhoneLog::kMessageBufferSize - 1);
  EXPECT_EQ(message.size() % 3, 0u);
  EXPECT_TRUE(lines[1].ends_with(":next"));
}

TEST(PhoneLogger, CreatesTheFolderAndMovesTheEarlierFile) {
  TempFolder folder;
  FakeClock clock;
  {
    PhoneLogger first(folder.path(), clock.clock());
    first.Log("[MODULE] Create Module %s\n", "x");
  }
  EXPECT_TRUE(ReadFile(folder / "log/SIPPhone.log").ends_with(":[MODULE] Create Module x\n"));
  {
    PhoneLogger second(folder.path(), clock.clock());
    second.Log("again %d%%\n", 5);
  }
  EXPECT_TRUE(ReadFile(folder / "log/20260307-090504.log").ends_with("Create Module x\n"));
  EXPECT_TRUE(ReadFile(folder / "log/SIPPhone.log").ends_with(":again 5%\n"));
}

TEST(AppLog, WritesOnlyWhileATargetIsInstalled) {
  TempFolder folder;
  AppLog(0, "before");
  auto trace = std::make_shared<TraceLog>(folder / "UdpNetwork.log", 0, 1);
  SetAppLogTarget(trace);
  AppLog(0, "Mail Dialog %s", "Exit");
  AppLog(1, "above the level");
  SetAppLogTarget(nullptr);
  AppLog(0, "after");
  const auto lines = Lines(ReadFile(folder / "UdpNetwork.log"));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_TRUE(
      std::regex_match(lines[0], std::regex(R"(\d{4}/\d\d/\d\d \d\d:\d\d:\d\d Mail Dialog Exit)")));
}

TEST(AppLog, TargetRemovedWhileOtherThreadsLog) {
  TempFolder folder;
  auto trace = std::make_shared<TraceLog>(folder / "UdpNetwork.log", 0, 1);
  SetAppLogTarget(trace);
  std::atomic<bool> go{true};
  std::thread writer([&] {
    while (go)
      AppLog(0, "busy");
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  SetAppLogTarget(nullptr);
  trace.reset();  // the module is gone; a line in flight keeps its log alive until done
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  go = false;
  writer.join();
  const std::string text = ReadFile(folder / "UdpNetwork.log");
  EXPECT_NE(text.find("busy"), std::string::npos);
}

}  // namespace
}  // namespace corvel

// Running a helper program within bounds: its answer and how it ended come back, and a helper
// that hangs or writes without end is killed and reaped in time.
#include "store/helper_process.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "helper_scripts.h"
#include "support/temp_folder.h"

namespace corvel::store_detail {
namespace {

using End = HelperResult::End;
using testing::HelperScript;
using testing::ProcessGone;
using testing::ScriptPid;
using testing::TempFolder;

constexpr HelperLimits kRoomy{1 << 20, 10000};

long long MillisecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                               start)
      .count();
}

TEST(HelperProcess, AnswerAndExitStatusComeBack) {
  TempFolder folder;
  const HelperResult answered =
      RunHelper({HelperScript(folder, "answer", "printf 'hello %s' \"$1\""), "world"}, kRoomy);
  EXPECT_EQ(answered.end, End::kExited);
  EXPECT_EQ(answered.code, 0);
  EXPECT_EQ(answered.output, "hello world");

  const HelperResult failed = RunHelper({HelperScript(folder, "fail", "printf x; exit 3")}, kRoomy);
  EXPECT_EQ(failed.end, End::kExited);
  EXPECT_EQ(failed.code, 3);
}

TEST(HelperProcess, ArgumentsReachTheHelperUntouchedByAShell) {
  TempFolder folder;
  const std::string tricky = "a b;$(touch " + folder.path() + "pwned)'\"*";
  const HelperResult result =
      RunHelper({HelperScript(folder, "echo", "printf '%s|' \"$@\""), tricky, ""}, kRoomy);
  EXPECT_EQ(result.output, tricky + "||");
  EXPECT_FALSE(testing::Exists(folder / "pwned"));
}

TEST(HelperProcess, CrashIsReportedAsTheSignal) {
  TempFolder folder;
  const HelperResult result =
      RunHelper({HelperScript(folder, "crash", "printf partial; kill -SEGV $$")}, kRoomy);
  EXPECT_EQ(result.end, End::kSignalled);
  EXPECT_EQ(result.code, SIGSEGV);
  EXPECT_EQ(result.output, "") << "no answer from a helper that did not exit";
}

TEST(HelperProcess, MissingOrUnrunnableHelperDoesNotStart) {
  TempFolder folder;
  EXPECT_EQ(RunHelper({folder / "missing"}, kRoomy).end, End::kNotStarted);
  EXPECT_EQ(RunHelper({folder / "missing"}, kRoomy).code, ENOENT);
  testing::WriteFile(folder / "plain", "#!/bin/sh\nexit 0\n");  // not executable
  EXPECT_EQ(RunHelper({folder / "plain"}, kRoomy).end, End::kNotStarted);
  EXPECT_EQ(RunHelper({}, kRoomy).end, End::kNotStarted);
}

TEST(HelperProcess, HangingHelperIsKilledAndReapedAtTheTimeLimit) {
  TempFolder folder;
  struct Case {
    const char* name;
    const char* body;
  } cases[] = {
      {"silent", "exec sleep 30"},
      {"answers then hangs", "printf partial; exec sleep 30"},
      {"closes stdout then hangs", "exec >/dev/null; exec sleep 30"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string script = HelperScript(folder, c.name, c.body);
    const auto start = std::chrono::steady_clock::now();
    const HelperResult result = RunHelper({script}, {1 << 20, 1000});
    const long long elapsed = MillisecondsSince(start);
    EXPECT_EQ(result.end, End::kTimedOut);
    EXPECT_EQ(result.output, "");
    EXPECT_GE(elapsed, 900);
    EXPECT_LT(elapsed, 5000);
    const pid_t pid = ScriptPid(script);
    ASSERT_GT(pid, 0) << "the script did not start within the time limit";
    EXPECT_TRUE(ProcessGone(pid)) << "still running or not reaped";
  }
}

TEST(HelperProcess, EndlessOutputIsCutAtTheLimitAndTheHelperKilled) {
  TempFolder folder;
  const std::string script = HelperScript(folder, "babble", "exec yes");
  const auto start = std::chrono::steady_clock::now();
  const HelperResult result = RunHelper({script}, {64 * 1024, 10000});
  EXPECT_EQ(result.end, End::kTooMuchOutput);
  EXPECT_EQ(result.output, "");
  EXPECT_LT(MillisecondsSince(start), 5000);
  EXPECT_TRUE(ProcessGone(ScriptPid(script)));

  // Exactly at the limit is still an answer.
  const std::string exact = HelperScript(folder, "exact", "head -c 65536 /dev/zero");
  const HelperResult atLimit = RunHelper({exact}, {64 * 1024, 10000});
  EXPECT_EQ(atLimit.end, End::kExited);
  EXPECT_EQ(atLimit.output, std::string(65536, '\0'));
}

TEST(HelperProcess, LargeAnswerArrivesWhole) {
  TempFolder folder;
  const HelperResult result =
      RunHelper({HelperScript(folder, "large", "head -c 5000000 /dev/zero")}, {8 << 20, 20000});
  EXPECT_EQ(result.end, End::kExited);
  EXPECT_EQ(result.output.size(), 5000000u);
}

TEST(HelperProcess, HelperGetsNullStdinAndNoOtherDescriptors) {
  TempFolder folder;
  // A descriptor of ours that is inherited by default (no O_CLOEXEC).
  const int leaky = open("/dev/null", O_RDONLY);
  ASSERT_GE(leaky, 0);
  const std::string fd = std::to_string(leaky);
  const HelperResult result =
      RunHelper({HelperScript(folder, "descriptors",
                              "readlink /proc/$$/fd/0; cat; [ -e /proc/$$/fd/1 ] && echo stdout; "
                              "[ -e /proc/$$/fd/" +
                                  fd + " ] && echo leaked; exit 0")},
                kRoomy);
  close(leaky);
  EXPECT_EQ(result.end, End::kExited);
  EXPECT_EQ(result.output, "/dev/null\nstdout\n");
}

// Ignores or blocks a signal for one scope, as a client might.
class SignalScope {
 public:
  SignalScope(int ignored, int blocked) : ignored_(ignored) {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigaction(ignored_, &ignore, &old_);
    sigset_t block;
    sigemptyset(&block);
    sigaddset(&block, blocked);
    pthread_sigmask(SIG_BLOCK, &block, &oldMask_);
  }
  ~SignalScope() {
    pthread_sigmask(SIG_SETMASK, &oldMask_, nullptr);
    sigaction(ignored_, &old_, nullptr);
  }
  SignalScope(const SignalScope&) = delete;
  SignalScope& operator=(const SignalScope&) = delete;

 private:
  int ignored_;
  struct sigaction old_ {};
  sigset_t oldMask_{};
};

TEST(HelperProcess, HelperDoesNotInheritIgnoredOrBlockedSignals) {
  TempFolder folder;
  const SignalScope scope(SIGUSR1, SIGUSR2);
  for (const int signal : {SIGUSR1, SIGUSR2}) {
    const HelperResult result = RunHelper(
        {HelperScript(folder, "signal", "kill -" + std::to_string(signal) + " $$; echo survived")},
        kRoomy);
    EXPECT_EQ(result.end, End::kSignalled) << result.output;
    EXPECT_EQ(result.code, signal);
  }
}

TEST(HelperProcess, RunsFromSeveralThreadsAtOnce) {
  TempFolder folder;
  const std::string script = HelperScript(folder, "answer", "sleep 0.1; printf '%s' \"$1\"");
  std::vector<HelperResult> results(4);
  std::vector<std::thread> threads;
  for (std::size_t i = 0; i < results.size(); ++i) {
    threads.emplace_back([&, i] {
      results[i] = RunHelper({script, "thread " + std::to_string(i)}, kRoomy);
    });
  }
  for (std::thread& thread : threads)
    thread.join();
  for (std::size_t i = 0; i < results.size(); ++i) {
    EXPECT_EQ(results[i].end, End::kExited);
    EXPECT_EQ(results[i].output, "thread " + std::to_string(i));
  }
}

}  // namespace
}  // namespace corvel::store_detail

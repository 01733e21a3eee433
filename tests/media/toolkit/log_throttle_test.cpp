#include "media/toolkit/log_throttle.h"

#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <thread>
#include <vector>

namespace corvel {
namespace {

struct Step {
  std::uint32_t at;  // ms after the start
  std::uint64_t source;
  std::uint64_t expected;  // what Admit returns
};

struct Scenario {
  const char* name;
  std::uint32_t start;
  LogThrottle::Limits limits;
  std::vector<Step> steps;
};

class LogThrottleScenario : public ::testing::TestWithParam<Scenario> {};

TEST_P(LogThrottleScenario, AdmitsAsTheLimitsSay) {
  const Scenario& scenario = GetParam();
  std::uint32_t now = scenario.start;
  LogThrottle throttle(scenario.limits, [&now] { return now; });
  std::uint64_t lines = 0;
  for (const Step& step : scenario.steps) {
    now = scenario.start + step.at;
    EXPECT_EQ(throttle.Admit(step.source), step.expected)
        << "at " << step.at << " ms from source " << step.source;
    if (step.expected > 0) ++lines;
  }
  EXPECT_EQ(throttle.events(), scenario.steps.size());
  EXPECT_EQ(throttle.lines(), lines);
}

constexpr LogThrottle::Limits kSmall{1000, 2, 3};

INSTANTIATE_TEST_SUITE_P(
    Cases, LogThrottleScenario,
    ::testing::Values(
        Scenario{"OneSourceOneLinePerIntervalCarryingItsRepeats",
                 0,
                 kSmall,
                 {{0, 1, 1},
                  {10, 1, 0},
                  {20, 1, 0},
                  {999, 1, 0},
                  {1000, 1, 4},
                  {1500, 1, 0},
                  {2000, 1, 2},
                  {9000, 1, 1}}},
        Scenario{"AllSourcesShareTheBudgetOfAnInterval",
                 0,
                 kSmall,
                 {{0, 1, 1},
                  {1, 2, 1},
                  {2, 3, 0},  // budget spent: held back
                  {3, 3, 0},
                  {1000, 3, 3},  // a new interval: its line counts the two held back
                  {1001, 2, 1},
                  {1002, 1, 0},  // budget spent again
                  {2000, 1, 2}}},
        Scenario{
            "TheQuietestSourceMakesRoomAndItsCountIsForgotten",
            0,
            LogThrottle::Limits{1000, 10, 2},
            {{0, 1, 1},
             {1, 1, 0},  // source 1 holds one back
             {2, 2, 1},
             {3, 2, 0},
             {4, 3, 1},  // table full: source 1, quiet longest, is forgotten
             {5, 2, 0},  // source 2 is still remembered
             {6, 1, 1},  // back as a new source (source 3 makes room), its held-back event gone
             {7, 2, 0}}},
        Scenario{"TheTickWrapsAround",
                 0xFFFFFF00u,
                 kSmall,
                 {{0, 7, 1}, {0x80, 7, 0}, {0x100, 7, 0}, {1000, 7, 3}, {1100, 7, 0}}},
        Scenario{"NoBudgetNoLines", 0, LogThrottle::Limits{1000, 0, 4}, {{0, 1, 0}, {5000, 1, 0}}}),
    [](const ::testing::TestParamInfo<Scenario>& row) { return std::string(row.param.name); });

TEST(LogThrottleForget, ForgottenSourcesAreDueAgainWithinTheBudget) {
  std::uint32_t now = 0;
  LogThrottle throttle(LogThrottle::Limits{1000, 2, 8}, [&now] { return now; });
  EXPECT_EQ(throttle.Admit(1), 1u);
  EXPECT_EQ(throttle.Admit(1), 0u);
  throttle.ForgetSources();
  now = 10;
  EXPECT_EQ(throttle.Admit(1), 1u) << "due again, its held-back event forgotten";
  EXPECT_EQ(throttle.Admit(2), 0u) << "the interval's budget is still spent";
}

// Many sources at random over a simulated minute: the lines stay under the bound and, while the
// table holds every source, no event is lost from the counts.
TEST(LogThrottleFlood, LinesStayUnderTheBoundAndCountEveryEvent) {
  std::uint32_t now = 0;
  const LogThrottle::Limits limits{5000, 4, 64};
  LogThrottle throttle(limits, [&now] { return now; });
  std::mt19937 random(11);
  std::uint64_t counted = 0;
  std::vector<std::uint32_t> lineTimes;
  const std::uint32_t span = 60000;
  for (now = 0; now < span; now += 2) {  // 500 events a second, the service socket's top rate
    const std::uint64_t standsFor = throttle.Admit(random() % 40);
    if (standsFor > 0) lineTimes.push_back(now);
    counted += standsFor;
  }
  const std::size_t bound = limits.linesPerInterval * (span / limits.intervalMs + 1);
  EXPECT_LE(lineTimes.size(), bound);
  EXPECT_GE(lineTimes.size(), bound - limits.linesPerInterval) << "the budget is used";
  EXPECT_EQ(throttle.lines(), lineTimes.size());
  EXPECT_EQ(throttle.events(), span / 2);
  // What is not counted yet waits in the sources' held-back counts: one more line each shows it.
  now += limits.intervalMs;
  for (std::uint64_t source = 0; source < 40; ++source) {
    counted += throttle.Admit(source) - 1;
    if (source % 4 == 3) now += limits.intervalMs;
  }
  EXPECT_EQ(counted, span / 2);
}

TEST(LogThrottleThreads, ConcurrentCallersShareOneBudget) {
  const LogThrottle::Limits limits{60000, 5, 16};
  LogThrottle throttle(limits);
  std::atomic<std::uint64_t> lines{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 5000; ++i) {
        if (throttle.Admit(static_cast<std::uint64_t>(t * 100 + i % 10)) > 0) ++lines;
      }
    });
  }
  for (std::thread& thread : threads)
    thread.join();
  // All of it falls in the first window of the real clock.
  EXPECT_EQ(lines.load(), 5u);
  EXPECT_EQ(throttle.events(), 20000u);
}

}  // namespace
}  // namespace corvel

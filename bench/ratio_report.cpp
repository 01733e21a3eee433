#include "ratio_report.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

namespace corvel::bench {
namespace {

// The console report, keeping the CPU time per iteration of each benchmark: the median when it
// ran repeatedly, its only run otherwise.
class RecordingReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      if (single || median) {
        nanoseconds_[run.run_name.function_name] =
            run.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(run.time_unit) * 1e9;
      }
    }
  }

  const double* Find(const std::string& name) const {
    const auto found = nanoseconds_.find(name);
    return found == nanoseconds_.end() ? nullptr : &found->second;
  }

 private:
  std::map<std::string, double> nanoseconds_;
};

}  // namespace

int RunAndCompare(int argc, char** argv, const std::vector<Comparison>& comparisons) {
  // Repetitions of ours and of the reference take turns, so a busy moment of a shared machine
  // falls on both alike; a later flag on the command line still wins.
  std::string interleave = "--benchmark_enable_random_interleaving=true";
  std::vector<char*> arguments(argv, argv + argc);
  arguments.insert(arguments.begin() + 1, interleave.data());
  int count = static_cast<int>(arguments.size());
  benchmark::Initialize(&count, arguments.data());
  if (benchmark::ReportUnrecognizedArguments(count, arguments.data())) return 1;
  RecordingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  bool printedHeading = false;
  for (const Comparison& comparison : comparisons) {
    const double* ours = reporter.Find(comparison.ours);
    const double* reference = reporter.Find(comparison.reference);
    if (ours == nullptr || reference == nullptr || *ours <= 0 || *reference <= 0) continue;
    if (!printedHeading) {
      std::printf("\n%-28s %14s %14s  %s\n", "comparison", "ours ns/iter", "ref. ns/iter",
                  "result");
      printedHeading = true;
    }
    if (comparison.asSpeedUp) {
      std::printf("%-28s %14.1f %14.1f  %.2fx as fast\n", comparison.label.c_str(), *ours,
                  *reference, *reference / *ours);
    } else {
      std::printf("%-28s %14.1f %14.1f  %+.2f%% overhead\n", comparison.label.c_str(), *ours,
                  *reference, (*ours / *reference - 1) * 100);
    }
  }
  return 0;
}

}  // namespace corvel::bench

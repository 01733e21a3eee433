// Runs the registered benchmarks with the console output as usual, then prints how pairs of them
// compare: ours against a reference measured in the same run.
#pragma once

#include <string>
#include <vector>

namespace corvel::bench {

struct Comparison {
  std::string label;  // what the line is about
  std::string ours;   // benchmark names, as registered
  std::string reference;
  // true: print reference time / our time ("x as fast"); false: our time / reference time as an
  // overhead in percent.
  bool asSpeedUp;
};

// Runs every benchmark that the command line selects, repetitions in random interleaving; 0 when
// all ran.
int RunAndCompare(int argc, char** argv, const std::vector<Comparison>& comparisons);

}  // namespace corvel::bench

// Decides which of many repeats of a log line that a remote party can trigger get written, so
// that a flood cannot fill the disk: per source at most one line each interval, and at most
// linesPerInterval lines each interval for all sources together. A line that is written can say
// how many events it stands for: itself and those held back from its source since its last line.
// Safe to call from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

namespace corvel {

class LogThrottle {
 public:
  struct Limits {
    std::uint32_t intervalMs = 5000;
    std::size_t linesPerInterval = 4;
    // Sources remembered at once; beyond it the longest-quiet one is forgotten, together with
    // its count of held-back events.
    std::size_t sources = 64;
  };
  using Clock = std::function<std::uint32_t()>;  // a millisecond tick, modulo 2^32

  LogThrottle();  // default limits on TickCount
  explicit LogThrottle(Limits limits, Clock clock = {});

  // An event from source: 0 when its line is held back, otherwise the number of events the line
  // stands for (1 + those held back from this source since its previous line).
  std::uint64_t Admit(std::uint64_t source);

  // Forgets every source (a new call, say), so each one's next event is due again; the budget of
  // the running interval stays spent.
  void ForgetSources();

  // Events seen and lines let through since construction.
  std::uint64_t events() const;
  std::uint64_t lines() const;

 private:
  struct Source {
    std::uint64_t key = 0;
    std::uint32_t lastSeen = 0;
    std::uint32_t lastLine = 0;
    bool logged = false;  // lastLine is meaningful
    std::uint64_t heldBack = 0;
  };

  Source& Find(std::uint64_t key, std::uint32_t now);

  const Limits limits_;
  const Clock clock_;
  mutable std::mutex mutex_;  // guards everything below
  std::vector<Source> sources_;
  std::uint32_t windowStart_ = 0;
  bool windowOpen_ = false;
  std::size_t linesInWindow_ = 0;
  std::uint64_t events_ = 0;
  std::uint64_t lines_ = 0;
};

}  // namespace corvel

#include "media/toolkit/log_throttle.h"

#include <algorithm>

#include "media/toolkit/tick.h"

namespace corvel {

LogThrottle::LogThrottle() : LogThrottle(Limits{}) {}

LogThrottle::LogThrottle(Limits limits, Clock clock)
    : limits_(limits), clock_(clock ? std::move(clock) : Clock(TickCount)) {
  sources_.reserve(std::max<std::size_t>(limits_.sources, 1));
}

std::uint64_t LogThrottle::Admit(std::uint64_t source) {
  const std::uint32_t now = clock_();
  std::lock_guard lock(mutex_);
  ++events_;
  // Fixed windows, each opened by the first event after the previous one ran out: any stretch of
  // time T then holds at most linesPerInterval * (T / intervalMs + 1) lines.
  if (!windowOpen_ || TickSince(windowStart_, now) >= limits_.intervalMs) {
    windowOpen_ = true;
    windowStart_ = now;
    linesInWindow_ = 0;
  }
  Source& entry = Find(source, now);
  entry.lastSeen = now;
  const bool due = !entry.logged || TickSince(entry.lastLine, now) >= limits_.intervalMs;
  if (!due || linesInWindow_ >= limits_.linesPerInterval) {
    ++entry.heldBack;
    return 0;
  }
  ++linesInWindow_;
  ++lines_;
  const std::uint64_t standsFor = entry.heldBack + 1;
  entry.heldBack = 0;
  entry.logged = true;
  entry.lastLine = now;
  return standsFor;
}

LogThrottle::Source& LogThrottle::Find(std::uint64_t key, std::uint32_t now) {
  const auto found = std::find_if(sources_.begin(), sources_.end(),
                                  [key](const Source& entry) { return entry.key == key; });
  if (found != sources_.end()) return *found;
  if (sources_.size() < std::max<std::size_t>(limits_.sources, 1)) {
    sources_.push_back(Source{key, now});
    return sources_.back();
  }
  // Full: the source quiet for longest makes room.
  const auto quietest =
      std::max_element(sources_.begin(), sources_.end(), [now](const Source& a, const Source& b) {
        return TickSince(a.lastSeen, now) < TickSince(b.lastSeen, now);
      });
  *quietest = Source{key, now};
  return *quietest;
}

void LogThrottle::ForgetSources() {
  std::lock_guard lock(mutex_);
  sources_.clear();
}

std::uint64_t LogThrottle::events() const {
  std::lock_guard lock(mutex_);
  return events_;
}

std::uint64_t LogThrottle::lines() const {
  std::lock_guard lock(mutex_);
  return lines_;
}

}  // namespace corvel

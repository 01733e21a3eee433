// The local wall-clock time that log stamps and rolled-over file names are made from.
#pragma once

#include <functional>

namespace corvel {

struct LocalTime {
  int year = 0;
  int month = 0;  // 1-12
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

// Tests replace the clock to make roll-over names predictable.
using LocalClock = std::function<LocalTime()>;

LocalTime CurrentLocalTime();

}  // namespace corvel

// How code below the windows hands a numbered message to a window: the window (or a test)
// implements it; Post may be called from any thread and must only queue the message.
#pragma once

#include <cstdint>

namespace corvel {

class WindowPoster {
 public:
  virtual ~WindowPoster() = default;
  virtual void Post(int message, std::uint32_t wParam, std::intptr_t lParam) = 0;
};

}  // namespace corvel

// The phone's log file (log/SIPPhone.log): one millisecond-stamped line per message, written
// from the UI thread, the SIP event thread and the RTP threads.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "app/format.h"
#include "app/local_time.h"

namespace corvel {

class PhoneLog {
 public:
  // The message buffer's size, terminating zero included.
  static constexpr std::size_t kMessageBufferSize = 8096;

  explicit PhoneLog(LocalClock clock = CurrentLocalTime) : clock_(std::move(clock)) {}
  ~PhoneLog();
  PhoneLog(const PhoneLog&) = delete;
  PhoneLog& operator=(const PhoneLog&) = delete;

  // Opens path for writing, truncating; later calls do nothing.
  bool Open(const std::string& path);
  bool isOpen() const;

  // Writes text as one line "yyyy/mm/dd hh:mm:ss mmm :text". No line end is added; the text
  // is never taken as a format. Text longer than the message buffer is cut at a character
  // boundary, keeping its final line end.
  void Write(std::string_view text);

 private:
  const LocalClock clock_;
  mutable std::mutex mutex_;  // guards file_ and serialises whole lines
  std::FILE* file_ = nullptr;
};

// The main window's log call: creates log/SIPPhone.log in the application folder on first use
// (moving an earlier file to a second-stamped name) and writes formatted messages into it.
class PhoneLogger {
 public:
  explicit PhoneLogger(std::string programFolder, LocalClock clock = CurrentLocalTime);

  void Log(const char* format, ...) CORVEL_PRINTF(2, 3);
  // The writer handed to the SIP endpoint and the RTP server; created on first use.
  PhoneLog& log();

 private:
  const std::string programFolder_;
  const LocalClock clock_;
  std::once_flag created_;
  std::unique_ptr<PhoneLog> log_;
};

}  // namespace corvel

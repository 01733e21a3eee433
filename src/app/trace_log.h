// The service link's log file (log/UdpNetwork.log): dated lines, a level filter, and a roll-over
// to a minute-stamped name every 200000 lines. Safe to call from any thread.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>

#include "app/format.h"
#include "app/local_time.h"

namespace corvel {

class TraceLog {
 public:
  static constexpr int kMaxLines = 200000;

  // A file already at path is first moved aside (see RolledName); then path is opened,
  // truncating. When it cannot be opened nothing is ever written and nothing is reported.
  TraceLog(std::string path, int level, int mode, LocalClock clock = CurrentLocalTime,
           int maxLines = kMaxLines);
  ~TraceLog();
  TraceLog(const TraceLog&) = delete;
  TraceLog& operator=(const TraceLog&) = delete;

  // One line stamped "yyyy-mm-dd hh:mm:ss "; the text carries its own line end.
  void Write(const char* format, ...) CORVEL_PRINTF(2, 3);
  // One line stamped "yyyy/mm/dd hh:mm:ss ", written only when level is not above the log's.
  void WriteLevel(int level, const char* format, ...) CORVEL_PRINTF(3, 4);
  void WriteV(const char* format, va_list args);
  void WriteLevelV(int level, const char* format, va_list args);

  bool isOpen() const;
  void setMode(int mode);
  void setLevel(int level);
  const std::string& path() const { return path_; }

  // Where a file at path is moved: the path up to the file name's last '.' (all of it when
  // there is none) followed by "yyyymmddhhmm.log".
  static std::string RolledName(const std::string& path, const LocalTime& time);

 private:
  void WriteLine(char dateSeparator, const char* format, va_list args);
  void MoveAside();
  void OpenFresh();

  const std::string path_;
  const LocalClock clock_;
  const int maxLines_;
  mutable std::mutex mutex_;  // guards everything below
  std::FILE* file_ = nullptr;
  int mode_;
  int level_;
  bool flushEachLine_ = true;
  int lineCount_ = 0;
};

}  // namespace corvel

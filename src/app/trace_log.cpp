#include "app/trace_log.h"

#include <unistd.h>

#include <cstdio>

namespace corvel {

TraceLog::TraceLog(std::string path, int level, int mode, LocalClock clock, int maxLines)
    : path_(std::move(path)),
      clock_(std::move(clock)),
      maxLines_(maxLines > 0 ? maxLines : kMaxLines),
      mode_(mode),
      level_(level) {
  std::lock_guard lock(mutex_);
  MoveAside();
  OpenFresh();
}

TraceLog::~TraceLog() {
  std::lock_guard lock(mutex_);
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
}

std::string TraceLog::RolledName(const std::string& path, const LocalTime& time) {
  // Only a dot in the file name marks the extension; "./log/name" has none.
  const std::size_t slash = path.find_last_of('/');
  const std::size_t dot = path.find_last_of('.');
  const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  const std::string stem = hasExtension ? path.substr(0, dot) : path;
  return stem + Format("%04d%02d%02d%02d%02d.log", time.year, time.month, time.day, time.hour,
                       time.minute);
}

void TraceLog::MoveAside() {
  if (access(path_.c_str(), F_OK) != 0) return;
  const std::string rolled = RolledName(path_, clock_());
  std::remove(rolled.c_str());
  std::rename(path_.c_str(), rolled.c_str());
}

void TraceLog::OpenFresh() {
  file_ = std::fopen(path_.c_str(), "w");
  lineCount_ = 0;
}

void TraceLog::Write(const char* format, ...) {
  va_list args;
  va_start(args, format);
  WriteV(format, args);
  va_end(args);
}

void TraceLog::WriteLevel(int level, const char* format, ...) {
  va_list args;
  va_start(args, format);
  WriteLevelV(level, format, args);
  va_end(args);
}

void TraceLog::WriteV(const char* format, va_list args) {
  WriteLine('-', format, args);
}

void TraceLog::WriteLevelV(int level, const char* format, va_list args) {
  {
    std::lock_guard lock(mutex_);
    if (level > level_) return;
  }
  WriteLine('/', format, args);
}

void TraceLog::WriteLine(char dateSeparator, const char* format, va_list args) {
  const std::string text = FormatV(format, args);
  std::lock_guard lock(mutex_);
  if (file_ == nullptr || mode_ == 0) return;
  // Stamped under the lock so that stamps never go backwards in the file.
  const LocalTime now = clock_();
  const std::string stamp =
      Format("%4d%c%02d%c%02d %02d:%02d:%02d ", now.year, dateSeparator, now.month, dateSeparator,
             now.day, now.hour, now.minute, now.second);
  std::fwrite(stamp.data(), 1, stamp.size(), file_);
  std::fwrite(text.data(), 1, text.size(), file_);
  if (++lineCount_ >= maxLines_) {
    std::fclose(file_);
    file_ = nullptr;
    MoveAside();
    OpenFresh();
  }
  if (flushEachLine_ && file_ != nullptr) std::fflush(file_);
}

bool TraceLog::isOpen() const {
  std::lock_guard lock(mutex_);
  return file_ != nullptr;
}

void TraceLog::setMode(int mode) {
  std::lock_guard lock(mutex_);
  mode_ = mode;
}

void TraceLog::setLevel(int level) {
  std::lock_guard lock(mutex_);
  level_ = level;
}

}  // namespace corvel

#include "app/phone_log.h"

#include <sys/stat.h>
#include <unistd.h>

#include "media/toolkit/text_codec.h"

namespace corvel {

PhoneLog::~PhoneLog() {
  std::lock_guard lock(mutex_);
  if (file_ != nullptr) std::fclose(file_);
}

bool PhoneLog::Open(const std::string& path) {
  std::lock_guard lock(mutex_);
  if (file_ == nullptr) file_ = std::fopen(path.c_str(), "w");
  return file_ != nullptr;
}

bool PhoneLog::isOpen() const {
  std::lock_guard lock(mutex_);
  return file_ != nullptr;
}

void PhoneLog::Write(std::string_view text) {
  if (text.empty()) return;
  std::string message(CutUtf8(text, kMessageBufferSize - 1));
  if (message.size() < text.size() && text.back() == '\n') {
    // Keep the cut message a line of its own.
    message = std::string(CutUtf8(text, kMessageBufferSize - 2)) + '\n';
  }
  std::lock_guard lock(mutex_);
  if (file_ == nullptr) return;
  const LocalTime now = clock_();
  const std::string stamp = Format("%04d/%02d/%02d %02d:%02d:%02d %03d :", now.year, now.month,
                                   now.day, now.hour, now.minute, now.second, now.millisecond);
  std::fwrite(stamp.data(), 1, stamp.size(), file_);
  std::fwrite(message.data(), 1, message.size(), file_);
  std::fflush(file_);
}

PhoneLogger::PhoneLogger(std::string programFolder, LocalClock clock)
    : programFolder_(std::move(programFolder)), clock_(std::move(clock)) {}

PhoneLog& PhoneLogger::log() {
  std::call_once(created_, [this] {
    const std::string folder = programFolder_ + "log/";
    mkdir(folder.c_str(), 0755);
    const std::string path = folder + "SIPPhone.log";
    if (access(path.c_str(), F_OK) == 0) {
      const LocalTime now = clock_();
      const std::string rolled =
          folder + Format("%04d%02d%02d-%02d%02d%02d.log", now.year, now.month, now.day, now.hour,
                          now.minute, now.second);
      std::rename(path.c_str(), rolled.c_str());
    }
    log_ = std::make_unique<PhoneLog>(clock_);
    log_->Open(path);
  });
  return *log_;
}

void PhoneLogger::Log(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const std::string text = FormatV(format, args);
  va_end(args);
  log().Write(text);
}

}  // namespace corvel

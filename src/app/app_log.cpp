#include "app/app_log.h"

#include <mutex>

#include "app/trace_log.h"

namespace corvel {
namespace {

std::mutex targetMutex;  // guards target
std::shared_ptr<TraceLog> target;

std::shared_ptr<TraceLog> CurrentTarget() {
  std::lock_guard lock(targetMutex);
  return target;
}

}  // namespace

void SetAppLogTarget(std::shared_ptr<TraceLog> newTarget) {
  std::lock_guard lock(targetMutex);
  target = std::move(newTarget);
}

void ReleaseAppLogTarget(const TraceLog* oldTarget) {
  std::lock_guard lock(targetMutex);
  if (target.get() == oldTarget) target.reset();
}

void AppLog(int level, const char* format, ...) {
  const std::shared_ptr<TraceLog> log = CurrentTarget();
  if (!log) return;
  va_list args;
  va_start(args, format);
  const std::string text = FormatV(format, args);
  va_end(args);
  log->WriteLevel(level, "%s\n", text.c_str());
}

}  // namespace corvel

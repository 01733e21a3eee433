#include "sip/stack_trace.h"

#include <sys/time.h>

#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <memory>
#include <mutex>

#include <osip2/osip.h>

namespace corvel {
namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

std::mutex& TraceMutex() {  // guards TraceFile()
  static std::mutex mutex;
  return mutex;
}

std::unique_ptr<std::FILE, FileCloser>& TraceFile() {
  static std::unique_ptr<std::FILE, FileCloser> file;
  return file;
}

void WriteTrace(const char* file, int line, osip_trace_level_t level, const char* format,
                va_list args) {
  const std::lock_guard<std::mutex> guard(TraceMutex());
  std::FILE* out = TraceFile().get();
  if (out == nullptr) return;
  std::fprintf(out, "%d <%s:%d> ", static_cast<int>(level), file != nullptr ? file : "", line);
  std::vfprintf(out, format, args);
  std::fflush(out);
}

void WriteNothing(const char*, int, osip_trace_level_t, const char*, va_list) {}

}  // namespace

bool StackTrace::Open(const std::string& path, int level) {
  {
    const std::lock_guard<std::mutex> guard(TraceMutex());
    TraceFile().reset(std::fopen(path.c_str(), "w"));
    if (!TraceFile()) return false;
  }
  const int top = level < 0 || level > END_TRACE_LEVEL ? END_TRACE_LEVEL : level;
  osip_trace_initialize_func(static_cast<osip_trace_level_t>(top), WriteTrace);
  return true;
}

void StackTrace::Close() {
  // A function that writes nothing: without one osip2 falls back to printing on the terminal.
  osip_trace_initialize_func(TRACE_LEVEL0, WriteNothing);
  const std::lock_guard<std::mutex> guard(TraceMutex());
  TraceFile().reset();
}

}  // namespace corvel

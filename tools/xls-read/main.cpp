// corvel-xls-read FILE: reads the .xls workbook and writes it to stdout as a workbook stream
// (store/workbook_stream.h). The client runs it for every .xls it opens, so a file that makes
// FreeXL misbehave harms only this short-lived process.
// Exit status: 0 with the stream written; 1 with nothing written when the file is no readable
// workbook; 2 for a wrong command line.
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "store/workbook_stream.h"
#include "store/xls_reader.h"

namespace {

// A backstop of CPU seconds for a file that sends FreeXL spinning, should the client that
// would stop us be gone.
constexpr rlim_t kCpuSeconds = 60;

void LimitSelf() {
  // The client waits for the answer; once it is gone nobody reads it.
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  rlimit cpu{};
  if (getrlimit(RLIMIT_CPU, &cpu) == 0 &&
      (cpu.rlim_cur == RLIM_INFINITY || cpu.rlim_cur > kCpuSeconds)) {
    cpu.rlim_cur =
        cpu.rlim_max == RLIM_INFINITY || cpu.rlim_max > kCpuSeconds ? kCpuSeconds : cpu.rlim_max;
    setrlimit(RLIMIT_CPU, &cpu);
  }
}

bool WriteAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

int Run(const char* path) {
  const auto workbook = corvel::ReadXls(path);
  if (!workbook) return 1;
  return WriteAll(STDOUT_FILENO, corvel::EncodeWorkbook(*workbook)) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  LimitSelf();
  if (argc != 2) {
    std::fprintf(stderr, "usage: corvel-xls-read FILE\n");
    return 2;
  }
  try {
    return Run(argv[1]);
  } catch (...) {
    return 1;  // out of memory; the stream is written only once it is whole
  }
}

#include "stop_signals.h"

#include <pthread.h>
#include <sys/signalfd.h>

#include <cerrno>
#include <csignal>

namespace corvel::devservice {

std::optional<StopSignals> StopSignals::Block() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  if (pthread_sigmask(SIG_BLOCK, &set, nullptr) != 0) return std::nullopt;
  UniqueFd fd(signalfd(-1, &set, SFD_CLOEXEC));
  if (!fd) return std::nullopt;
  return StopSignals(std::move(fd));
}

int StopSignals::Wait() {
  for (;;) {
    signalfd_siginfo info{};
    const ssize_t n = read(fd_.get(), &info, sizeof info);
    if (n == static_cast<ssize_t>(sizeof info)) return static_cast<int>(info.ssi_signo);
    if (n < 0 && errno != EINTR) return SIGTERM;  // cannot wait any longer: treat as a stop
  }
}

}  // namespace corvel::devservice

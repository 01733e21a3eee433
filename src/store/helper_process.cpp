#include "store/helper_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

#include "media/toolkit/deadline.h"
#include "media/toolkit/unique_fd.h"

extern char** environ;

namespace corvel::store_detail {
namespace {

using End = HelperResult::End;

constexpr std::size_t kChunkBytes = 64 * 1024;
// A killed process is normally gone at once; one stuck in the kernel is left to a thread.
constexpr int kReapGraceMs = 2000;

// Moves a pipe end off 0-2, so that the child's dup2 onto stdout never meets it.
UniqueFd AboveStandardDescriptors(UniqueFd fd) {
  if (!fd || fd.get() > STDERR_FILENO) return fd;
  return UniqueFd(fcntl(fd.get(), F_DUPFD_CLOEXEC, STDERR_FILENO + 1));
}

class SpawnActions {
 public:
  SpawnActions() { ok_ = posix_spawn_file_actions_init(&actions_) == 0; }
  ~SpawnActions() {
    if (ok_) posix_spawn_file_actions_destroy(&actions_);
  }
  SpawnActions(const SpawnActions&) = delete;
  SpawnActions& operator=(const SpawnActions&) = delete;

  // stdin from /dev/null, stdout into the pipe, every other inherited descriptor closed.
  bool Prepare(int stdoutFd) {
    return ok_ &&
           posix_spawn_file_actions_addopen(&actions_, STDIN_FILENO, "/dev/null", O_RDONLY, 0) ==
               0 &&
           posix_spawn_file_actions_adddup2(&actions_, stdoutFd, STDOUT_FILENO) == 0 &&
           posix_spawn_file_actions_addclosefrom_np(&actions_, STDERR_FILENO + 1) == 0;
  }
  const posix_spawn_file_actions_t* get() const { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_{};
  bool ok_ = false;
};

class SpawnAttributes {
 public:
  SpawnAttributes() { ok_ = posix_spawnattr_init(&attributes_) == 0; }
  ~SpawnAttributes() {
    if (ok_) posix_spawnattr_destroy(&attributes_);
  }
  SpawnAttributes(const SpawnAttributes&) = delete;
  SpawnAttributes& operator=(const SpawnAttributes&) = delete;

  // The caller's blocked or ignored signals (SIGPIPE, say) are not the helper's business.
  bool Prepare() {
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    return ok_ && posix_spawnattr_setsigmask(&attributes_, &none) == 0 &&
           posix_spawnattr_setsigdefault(&attributes_, &all) == 0 &&
           posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF) ==
               0;
  }
  const posix_spawnattr_t* get() const { return &attributes_; }

 private:
  posix_spawnattr_t attributes_{};
  bool ok_ = false;
};

// A started child: killed and reaped on destruction unless it was reaped before.
class Child {
 public:
  enum class State { kRunning, kEnded, kLost };

  explicit Child(pid_t pid) : pid_(pid) {}
  ~Child() {
    if (!reaped_) KillAndReap();
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  // kEnded with its wait status, kRunning when it is still running at the deadline.
  State WaitUntil(const Deadline& deadline, int& status) {
    int pauseMs = 1;
    for (;;) {
      const State state = TryReap(status);
      if (state != State::kRunning) return state;
      const int left = deadline.remainingMs();
      if (left == 0) return State::kRunning;
      std::this_thread::sleep_for(std::chrono::milliseconds(std::min(pauseMs, left)));
      pauseMs = std::min(pauseMs * 2, 20);
    }
  }

 private:
  State TryReap(int& status) {
    for (;;) {
      const pid_t done = waitpid(pid_, &status, WNOHANG);
      if (done == pid_) {
        reaped_ = true;
        return State::kEnded;
      }
      if (done == 0) return State::kRunning;
      if (errno != EINTR) {
        // Reaped by someone else: the number may already be another process's.
        reaped_ = true;
        return State::kLost;
      }
    }
  }

  void KillAndReap() noexcept {
    kill(pid_, SIGKILL);
    int status = 0;
    if (WaitUntil(Deadline::AfterMs(kReapGraceMs), status) != State::kRunning) return;
    // Stuck in the kernel (a hung network file system): the caller is not held for it.
    reaped_ = true;
    try {
      std::thread([pid = pid_] {
        int ignored = 0;
        while (waitpid(pid, &ignored, 0) < 0 && errno == EINTR) {
        }
      }).detach();
    } catch (...) {
      // No thread to be had: it stays a zombie, which harms nobody but the process table.
    }
  }

  const pid_t pid_;
  bool reaped_ = false;
};

// Reads the pipe to its end into output; false with result.end set when a limit is passed.
bool ReadToEnd(int fd, const HelperLimits& limits, const Deadline& deadline, HelperResult& result) {
  std::string& output = result.output;
  for (;;) {
    const int left = deadline.remainingMs();
    if (left == 0) {
      result.end = End::kTimedOut;
      return false;
    }
    pollfd ready{fd, POLLIN, 0};
    const int polled = poll(&ready, 1, left);
    if (polled < 0 && errno != EINTR) {
      result.end = End::kFailed;
      return false;
    }
    if (polled <= 0) continue;
    // One byte beyond the limit is enough to know it is too much.
    const std::size_t have = output.size();
    const std::size_t room = limits.maxOutputBytes - have;
    output.resize(have + (room < kChunkBytes ? room + 1 : kChunkBytes));
    const ssize_t n = read(fd, output.data() + have, output.size() - have);
    output.resize(have + static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
    if (n == 0) return true;
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      result.end = End::kFailed;
      return false;
    }
    if (output.size() > limits.maxOutputBytes) {
      result.end = End::kTooMuchOutput;
      return false;
    }
  }
}

void Run(const std::vector<std::string>& args, const HelperLimits& limits, HelperResult& result) {
  result.end = End::kNotStarted;
  if (args.empty() || args[0].empty()) {
    result.code = ENOENT;
    return;
  }
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) {
    result.code = errno;
    return;
  }
  UniqueFd readEnd = AboveStandardDescriptors(UniqueFd(fds[0]));
  UniqueFd writeEnd = AboveStandardDescriptors(UniqueFd(fds[1]));
  SpawnActions actions;
  SpawnAttributes attributes;
  if (!readEnd || !writeEnd || !actions.Prepare(writeEnd.get()) || !attributes.Prepare()) {
    result.code = EMFILE;
    return;
  }
  std::vector<char*> argv;
  for (const std::string& arg : args)
    argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);

  pid_t pid = 0;
  const int failed =
      posix_spawn(&pid, argv[0], actions.get(), attributes.get(), argv.data(), environ);
  if (failed != 0) {
    result.code = failed;
    return;
  }
  Child child(pid);
  writeEnd.reset();  // the end of output is then the child closing its copy

  const Deadline deadline = Deadline::AfterMs(std::max(limits.timeLimitMs, 0));
  if (!ReadToEnd(readEnd.get(), limits, deadline, result)) return;
  readEnd.reset();
  int status = 0;
  switch (child.WaitUntil(deadline, status)) {
    case Child::State::kRunning:
      result.end = End::kTimedOut;
      return;
    case Child::State::kLost:
      result.end = End::kFailed;
      return;
    case Child::State::kEnded:
      break;
  }
  if (WIFEXITED(status)) {
    result.end = End::kExited;
    result.code = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    result.end = End::kSignalled;
    result.code = WTERMSIG(status);
  } else {
    result.end = End::kFailed;
  }
}

}  // namespace

HelperResult RunHelper(const std::vector<std::string>& args, const HelperLimits& limits) noexcept {
  HelperResult result;
  try {
    Run(args, limits, result);
  } catch (...) {
    // Memory for the output ran out; the child was killed and reaped on the way out.
    result.end = End::kFailed;
  }
  if (result.end != End::kExited) std::string().swap(result.output);
  return result;
}

}  // namespace corvel::store_detail

// A child process for the process-level tests: its stdout read through a pipe, its stderr in a
// file, and killed and reaped on destruction if the test did not end it.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "media/toolkit/deadline.h"
#include "media/toolkit/unique_fd.h"

extern char** environ;

namespace corvel::testing {

class ChildProcess {
 public:
  // args[0] is the program's path. Null when it cannot be started.
  static std::unique_ptr<ChildProcess> Start(const std::vector<std::string>& args,
                                             const std::string& stderrPath) {
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) return nullptr;
    UniqueFd readEnd(pipeFds[0]);
    UniqueFd writeEnd(pipeFds[1]);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, writeEnd.get(), STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, stderrPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char*> argv;
    for (const std::string& arg : args)
      argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int failed = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0) return nullptr;
    return std::unique_ptr<ChildProcess>(new ChildProcess(pid, std::move(readEnd)));
  }

  ~ChildProcess() {
    if (reaped_) return;
    kill(pid_, SIGKILL);
    int status = 0;
    waitpid(pid_, &status, 0);
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t pid() const { return pid_; }

  // The next line of stdout without its newline; none on time-out or end of output.
  std::optional<std::string> ReadLine(int timeoutMs) {
    const Deadline deadline = Deadline::AfterMs(timeoutMs);
    for (;;) {
      const std::size_t newline = buffer_.find('\n');
      if (newline != std::string::npos) {
        std::string line = buffer_.substr(0, newline);
        buffer_.erase(0, newline + 1);
        return line;
      }
      if (!Fill(deadline)) return std::nullopt;
    }
  }

  // All of stdout until the child closes it; what arrived so far on time-out.
  std::string ReadAll(int timeoutMs) {
    const Deadline deadline = Deadline::AfterMs(timeoutMs);
    while (Fill(deadline)) {
    }
    return std::exchange(buffer_, {});
  }

  bool Signal(int signal) { return !reaped_ && kill(pid_, signal) == 0; }

  // The wait status once the child has ended, none when it is still running at the deadline.
  std::optional<int> Wait(int timeoutMs) {
    const Deadline deadline = Deadline::AfterMs(timeoutMs);
    for (;;) {
      int status = 0;
      const pid_t done = waitpid(pid_, &status, WNOHANG);
      if (done == pid_) {
        reaped_ = true;
        return status;
      }
      if (done < 0 || deadline.remainingMs() == 0) return std::nullopt;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }

 private:
  ChildProcess(pid_t pid, UniqueFd out) : pid_(pid), out_(std::move(out)) {}

  bool Fill(const Deadline& deadline) {
    const int left = deadline.remainingMs();
    if (left == 0) return false;
    pollfd fd{out_.get(), POLLIN, 0};
    if (poll(&fd, 1, left) <= 0) return false;
    char chunk[512];
    const ssize_t n = read(out_.get(), chunk, sizeof chunk);
    if (n <= 0) return false;
    buffer_.append(chunk, static_cast<std::size_t>(n));
    return true;
  }

  const pid_t pid_;
  const UniqueFd out_;
  std::string buffer_;
  bool reaped_ = false;
};

}  // namespace corvel::testing

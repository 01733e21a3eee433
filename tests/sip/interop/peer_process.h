// A peer program (Kamailio, sipp, a softphone) started in a process group of its own with its
// output in a file and, when asked for, its input from a socket the test writes commands into; on
// destruction the whole group is stopped (SIGTERM, then SIGKILL) and reaped.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace corvel::testing {

class PeerProcess {
 public:
  // args[0] is the program's path; stdout and stderr go to outputPath; stdin is /dev/null, or a
  // socket fed by Write with `withInput`. Null when it cannot start.
  static std::unique_ptr<PeerProcess> Start(const std::vector<std::string>& args,
                                            const std::string& outputPath, bool withInput = false) {
    // A socket pair rather than a pipe: a write after the program is gone fails instead of
    // raising SIGPIPE in the test. Close-on-exec: no other child may hold this process's end.
    int input[2] = {-1, -1};
    if (withInput && socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, input) != 0) return nullptr;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (withInput) {
      posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
    } else {
      posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    }
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    std::vector<char*> argv;
    for (const std::string& arg : args)
      argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int failed = posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (withInput) close(input[0]);
    if (failed != 0) {
      if (withInput) close(input[1]);
      return nullptr;
    }
    return std::unique_ptr<PeerProcess>(new PeerProcess(pid, input[1]));
  }

  ~PeerProcess() {
    Stop();
    CloseInput();
  }
  PeerProcess(const PeerProcess&) = delete;
  PeerProcess& operator=(const PeerProcess&) = delete;

  pid_t pid() const { return pid_; }

  // Writes all of `text` to the program's input; false without an input socket or once the program
  // stopped reading it.
  bool Write(const std::string& text) {
    std::size_t done = 0;
    while (input_ >= 0 && done < text.size()) {
      const ssize_t written = send(input_, text.data() + done, text.size() - done, MSG_NOSIGNAL);
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) return false;
      done += static_cast<std::size_t>(written);
    }
    return input_ >= 0;
  }

  // The program reads end of input.
  void CloseInput() {
    if (input_ >= 0) close(input_);
    input_ = -1;
  }

  // The exit status once the program ended by itself, none at the deadline.
  std::optional<int> Wait(int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      if (Reap(WNOHANG)) return status_;
      if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }

  // Ends the group: SIGTERM, up to 3 s for the leader, then SIGKILL; reaps every member.
  void Stop() {
    if (!reaped_) {
      kill(-pid_, SIGTERM);
      if (!Wait(3000)) {
        kill(-pid_, SIGKILL);
        Reap(0);
      }
    }
    // Members whose leader went first were handed to this process (the subreaper).
    kill(-pid_, SIGKILL);
    while (waitpid(-pid_, nullptr, 0) > 0) {
    }
  }

 private:
  PeerProcess(pid_t pid, int input) : pid_(pid), input_(input) {}

  bool Reap(int options) {
    if (reaped_) return true;
    int status = 0;
    if (waitpid(pid_, &status, options) == pid_) {
      reaped_ = true;
      status_ = status;
    }
    return reaped_;
  }

  const pid_t pid_;
  int input_ = -1;  // write end of the program's stdin, or -1
  bool reaped_ = false;
  int status_ = 0;
};

}  // namespace corvel::testing

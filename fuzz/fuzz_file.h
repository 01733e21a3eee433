// Files for the targets whose readers take a path. A memory file needs no cleaning up and no
// disk; a folder of its own is for writers that replace their file by renaming a new one.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>

#include "media/toolkit/unique_fd.h"

namespace corvel::fuzz {

// An anonymous memory file holding the input, named by its /proc/self/fd path while it lives.
class MemoryFile {
 public:
  MemoryFile(const std::uint8_t* data, std::size_t size)
      : fd_(memfd_create("corvel-fuzz", MFD_CLOEXEC)) {
    for (std::size_t done = 0; fd_ && done < size;) {
      const ssize_t n = write(fd_.get(), data + done, size - done);
      if (n <= 0) {
        fd_ = UniqueFd();
        break;
      }
      done += static_cast<std::size_t>(n);
    }
  }
  bool ok() const { return static_cast<bool>(fd_); }
  std::string path() const { return "/proc/self/fd/" + std::to_string(fd_.get()); }

 private:
  UniqueFd fd_;
};

// A folder named by the process id, in a memory file system when there is one (the writers
// under test sync every file they write), removed with everything in it when the process ends.
class ScratchFolder {
 public:
  explicit ScratchFolder(const std::string& name) {
    std::error_code error;
    const std::filesystem::path shm = "/dev/shm";
    const std::filesystem::path base =
        std::filesystem::is_directory(shm, error) ? shm : std::filesystem::temp_directory_path();
    path_ = base / (name + "-" + std::to_string(getpid()));
    std::filesystem::remove_all(path_, error);
    std::filesystem::create_directories(path_, error);
  }
  ~ScratchFolder() {
    std::error_code error;
    std::filesystem::remove_all(path_, error);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  std::string file(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

}  // namespace corvel::fuzz

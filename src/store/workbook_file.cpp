#include "store/workbook_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "media/toolkit/unique_fd.h"
#include "store/csv_file.h"
#include "store/xls_helper.h"
#include "store/xls_writer.h"
#include "store/xlsx_reader.h"
#include "store/xlsx_writer.h"

namespace corvel {
namespace {

constexpr std::size_t kMaxCsvBytes = 256u << 20;

std::string Head(const std::string& path, std::size_t n) {
  std::ifstream in(path, std::ios::binary);
  std::string bytes(n, '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(n));
  bytes.resize(static_cast<std::size_t>(in.gcount()));
  return bytes;
}

bool IsRegularFile(const std::string& path, off_t& size) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  size = info.st_size;
  return true;
}

bool WriteAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// Read without changing it (umask() would, for a moment, for every thread).
mode_t ProcessUmask() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("Umask:", 0) == 0)
      return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8) & 0777);
  }
  return 022;
}

// A temporary file in path's folder; empty name when none can be made.
std::string MakeTemporary(const std::string& path, UniqueFd& fd) {
  const std::size_t slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  std::string pattern = folder + "." + name + ".XXXXXX";
  const int raw = mkstemp(pattern.data());
  if (raw < 0) return {};
  fd = UniqueFd(raw);
  // New files get the usual permissions, an existing one keeps its own.
  struct stat info {};
  mode_t mode = 0;
  if (stat(path.c_str(), &info) == 0) {
    mode = info.st_mode & 07777;
  } else {
    mode = 0666 & ~ProcessUmask();
  }
  fchmod(raw, mode);
  return pattern;
}

}  // namespace

std::optional<Workbook> ReadWorkbookFile(const std::string& path) {
  off_t size = 0;
  if (!IsRegularFile(path, size)) return std::nullopt;
  const std::string head = Head(path, 8);
  // FreeXL runs in a process of its own: a hostile file can corrupt only that one.
  if (head == std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8)) return ReadXlsInHelper(path);
  if (head.substr(0, 4) == std::string("PK\x03\x04", 4)) return ReadXlsx(path);
  if (FormatForPath(path) != WorkbookFormat::kCsv ||
      static_cast<std::size_t>(size) > kMaxCsvBytes) {
    return std::nullopt;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return ParseCsv(bytes);
}

bool WriteWorkbookFile(const std::string& path, const Workbook& workbook) {
  if (path.empty()) return false;
  UniqueFd fd;
  const std::string temporary = MakeTemporary(path, fd);
  if (temporary.empty()) return false;
  bool written = false;
  switch (FormatForPath(path)) {
    case WorkbookFormat::kXls:
      if (const auto bytes = BuildXls(workbook)) written = WriteAll(fd.get(), *bytes);
      break;
    case WorkbookFormat::kCsv:
      written = WriteAll(fd.get(), FormatCsv(workbook));
      break;
    case WorkbookFormat::kXlsx:
      written = WriteXlsx(temporary, workbook);
      break;
  }
  written = written && fsync(fd.get()) == 0;
  fd = UniqueFd();
  if (!written || std::rename(temporary.c_str(), path.c_str()) != 0) {
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace corvel

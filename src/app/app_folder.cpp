#include "app/app_folder.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "app/config.h"

#ifndef CORVEL_INSTALLED_DEFAULTS
#define CORVEL_INSTALLED_DEFAULTS "/usr/local/share/corvel/defaults"
#endif

namespace corvel {
namespace fs = std::filesystem;
namespace {

std::string WithSlash(std::string folder) {
  if (!folder.empty() && folder.back() != '/') folder += '/';
  return folder;
}

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

bool IsFolder(const std::string& path) {
  std::error_code error;
  return !path.empty() && fs::is_directory(path, error);
}

}  // namespace

std::string ExecutableFolder() {
  std::error_code error;
  const fs::path binary = fs::read_symlink("/proc/self/exe", error);
  if (error) return {};
  return WithSlash(binary.parent_path().string());
}

FolderEnvironment FolderEnvironment::FromProcess() {
  FolderEnvironment environment;
  environment.corvelHome = Environment("CORVEL_HOME");
  environment.executableFolder = ExecutableFolder();
  environment.xdgDataHome = Environment("XDG_DATA_HOME");
  environment.home = Environment("HOME");
  // An installed tree keeps its defaults beside the binary's folder; otherwise the
  // configured installation prefix is used.
  const std::string besideBinary = environment.executableFolder + "../share/corvel/defaults/";
  environment.defaultsFolder = IsFolder(besideBinary) && !environment.executableFolder.empty()
                                   ? besideBinary
                                   : WithSlash(CORVEL_INSTALLED_DEFAULTS);
  return environment;
}

std::string ChooseApplicationFolder(const FolderEnvironment& environment) {
  if (!environment.corvelHome.empty()) {
    std::error_code error;
    fs::create_directories(environment.corvelHome, error);
    return WithSlash(environment.corvelHome);
  }
  const std::string& binaryFolder = environment.executableFolder;
  if (!binaryFolder.empty()) {
    std::error_code error;
    const bool hasConfig = fs::is_regular_file(binaryFolder + kConfigFileName, error);
    if (hasConfig && access(binaryFolder.c_str(), W_OK) == 0) return binaryFolder;
  }
  std::string dataHome = environment.xdgDataHome;
  if (dataHome.empty() && !environment.home.empty()) dataHome = environment.home + "/.local/share";
  if (dataHome.empty()) return {};
  const std::string folder = WithSlash(dataHome) + "corvel/";
  std::error_code error;
  fs::create_directories(folder, error);
  if (!IsFolder(folder)) return {};
  SeedFolder(folder, environment.defaultsFolder);
  return folder;
}

int SeedFolder(const std::string& folder, const std::string& defaults) {
  if (!IsFolder(defaults)) return 0;
  int copied = 0;
  std::error_code error;
  const fs::path source(defaults);
  for (auto it = fs::recursive_directory_iterator(source, error);
       !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    const fs::path relative = fs::relative(it->path(), source, error);
    if (error) break;
    const fs::path target = fs::path(folder) / relative;
    std::error_code stepError;
    if (it->is_directory(stepError)) {
      fs::create_directories(target, stepError);
    } else if (it->is_regular_file(stepError) && !fs::exists(target, stepError)) {
      if (fs::copy_file(it->path(), target, stepError)) ++copied;
    }
  }
  return copied;
}

void EmptyLogFolder(const std::string& logFolder) {
  std::error_code error;
  if (!fs::exists(logFolder, error)) {
    fs::create_directory(logFolder, error);
    return;
  }
  // Symbolic links are removed as entries, never followed, so nothing outside is touched.
  for (auto it = fs::recursive_directory_iterator(logFolder, error);
       !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    std::error_code stepError;
    if (!it->is_directory(stepError) || it->is_symlink(stepError)) {
      fs::remove(it->path(), stepError);
    }
  }
}

}  // namespace corvel

// Stand-ins for the .xls reading helper: small shell scripts that answer, hang, crash or babble,
// each writing its process number to a file first so a test can see it is gone afterwards.
#pragma once

#include <signal.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "support/temp_folder.h"

namespace corvel::testing {

// An executable /bin/sh script in the folder; body runs after the pid has been written to
// name + ".pid".
inline std::string HelperScript(const TempFolder& folder, const std::string& name,
                                const std::string& body) {
  const std::string path = folder / name;
  WriteFile(path, "#!/bin/sh\necho $$ > '" + path + ".pid'\n" + body + "\n");
  chmod(path.c_str(), 0755);
  return path;
}

// The process number the script wrote, -1 when it wrote none.
inline pid_t ScriptPid(const std::string& script) {
  const std::string text = ReadFile(script + ".pid");
  return text.empty() ? -1 : static_cast<pid_t>(std::atoi(text.c_str()));
}

// Neither running nor a zombie waiting to be reaped.
inline bool ProcessGone(pid_t pid) {
  return pid > 0 && kill(pid, 0) != 0 && errno == ESRCH;
}

// Sets or clears an environment variable for one scope.
class EnvironmentScope {
 public:
  EnvironmentScope(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) {
      old_ = old;
      hadOld_ = true;
    }
    if (value) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~EnvironmentScope() {
    if (hadOld_) {
      setenv(name_, old_.c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }
  EnvironmentScope(const EnvironmentScope&) = delete;
  EnvironmentScope& operator=(const EnvironmentScope&) = delete;

 private:
  const char* name_;
  std::string old_;
  bool hadOld_ = false;
};

}  // namespace corvel::testing

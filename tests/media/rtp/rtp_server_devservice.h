// The development service's NAT helper, run as a real process for the NAT tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <string>

#include "support/child_process.h"
#include "support/temp_folder.h"

namespace corvel::testing {

class DevService {
 public:
  // Starts the service on ports the kernel picks; false (with the reason in `error`) when it
  // does not come up.
  bool Start(const TempFolder& folder, std::string& error) {
    process_ = ChildProcess::Start({CORVEL_DEVSERVICE_EXE, "--host", "127.0.0.1", "--account-port",
                                    "0", "--nat-port", "0", "--control-port", "0", "--quiet"},
                                   folder / "devservice.err");
    if (!process_) {
      error = "cannot start " CORVEL_DEVSERVICE_EXE;
      return false;
    }
    const std::optional<std::string> line = process_->ReadLine(10000);
    std::smatch match;
    static const std::regex kPorts(
        "devservice account=[0-9.]+:([0-9]+) nat=([0-9.]+):([0-9]+) control=([0-9.]+):([0-9]+)");
    if (!line || !std::regex_match(*line, match, kPorts)) {
      error = "no ports line from the service: " + line.value_or("(none)");
      return false;
    }
    natHost_ = match[2];
    natPort_ = static_cast<uint16_t>(std::stoi(match[3]));
    control_ = match[4].str() + ":" + match[5].str();
    return true;
  }

  ~DevService() {
    if (process_) {
      process_->Signal(SIGTERM);
      process_->Wait(3000);  // killed by the ChildProcess if it does not end
    }
  }

  const std::string& natHost() const { return natHost_; }
  uint16_t natPort() const { return natPort_; }

  // One control command through the service's own client; its answer, or "" when it failed.
  std::string Control(const std::string& command) {
    const std::string text = std::string(CORVEL_DEVSERVICE_EXE) + " control " + control_ + " " +
                             command + " 2>/dev/null";
    FILE* pipe = popen(text.c_str(), "r");
    if (pipe == nullptr) return "";
    std::string answer;
    char chunk[256];
    while (std::fgets(chunk, sizeof chunk, pipe) != nullptr)
      answer += chunk;
    return pclose(pipe) == 0 ? answer : "";
  }

  // NAT probes ("GetNAT" packets) the service has received so far; -1 when it cannot say.
  int NatProbes() {
    const std::string answer = Control("received");
    std::smatch match;
    static const std::regex kProbes("nat-probes=([0-9]+)");
    if (!std::regex_search(answer, match, kProbes)) return -1;
    return std::stoi(match[1]);
  }

 private:
  std::unique_ptr<ChildProcess> process_;
  std::string natHost_;
  uint16_t natPort_ = 0;
  std::string control_;
};

}  // namespace corvel::testing

// The service's command line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace corvel::devservice {

// The defaults are the addresses the client's shipped configuration points at.
struct Options {
  std::string host = "127.0.0.1";
  std::uint16_t accountPort = 3905;
  std::uint16_t natPort = 10000;
  std::uint16_t controlPort = 3906;
  int natType = 120;
  std::string accountsFile;  // empty: accounts.txt in the binary's folder
  int callbackIdDelayMs = 200;
  std::string portsFile;
  bool quiet = false;
};

struct ParsedOptions {
  std::optional<Options> options;  // none with an error, or when help was asked for
  std::string error;
  bool help = false;
};

ParsedOptions ParseOptions(const std::vector<std::string>& args);

const char* UsageText();

// accounts.txt next to the running binary.
std::string DefaultAccountsPath();

}  // namespace corvel::devservice

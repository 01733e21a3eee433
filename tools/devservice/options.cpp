#include "options.h"

#include <charconv>
#include <filesystem>
#include <system_error>

#include "media/toolkit/host_address.h"

namespace corvel::devservice {
namespace {

std::optional<long> Integer(const std::string& text, long low, long high) {
  long value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return {};
  if (value < low || value > high) return {};
  return value;
}

ParsedOptions Failure(std::string error) {
  return {std::nullopt, std::move(error), false};
}

}  // namespace

const char* UsageText() {
  return "usage: corvel-devservice [--host 127.0.0.1] [--account-port 3905] [--nat-port 10000]\n"
         "                         [--control-port 3906] [--nat-type 120] [--accounts FILE]\n"
         "                         [--callback-id-delay-ms 200] [--ports-file FILE] [--quiet]\n"
         "       corvel-devservice control HOST:PORT COMMAND...\n"
         "A development account server and NAT helper for the Corvel client. Port 0 picks a\n"
         "free port; the ports line on stdout tells which. Runs until SIGINT or SIGTERM.\n";
}

ParsedOptions ParseOptions(const std::vector<std::string>& args) {
  Options options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& name = args[i];
    if (name == "--help" || name == "-h") return {std::nullopt, {}, true};
    if (name == "--quiet") {
      options.quiet = true;
      continue;
    }
    if (i + 1 >= args.size()) return Failure(name + " needs a value");
    const std::string& value = args[++i];
    if (name == "--host") {
      if (!Ipv4FromText(value)) return Failure("--host needs a dotted IPv4 address");
      options.host = value;
    } else if (name == "--account-port" || name == "--nat-port" || name == "--control-port") {
      const std::optional<long> port = Integer(value, 0, 65535);
      if (!port) return Failure(name + " needs a port number 0-65535");
      std::uint16_t& field = name == "--account-port" ? options.accountPort
                             : name == "--nat-port"   ? options.natPort
                                                      : options.controlPort;
      field = static_cast<std::uint16_t>(*port);
    } else if (name == "--nat-type") {
      const std::optional<long> type = Integer(value, 0, 127);
      if (!type) return Failure("--nat-type needs an RTP payload type 0-127");
      options.natType = static_cast<int>(*type);
    } else if (name == "--callback-id-delay-ms") {
      const std::optional<long> delay = Integer(value, 0, 600000);
      if (!delay) return Failure("--callback-id-delay-ms needs milliseconds 0-600000");
      options.callbackIdDelayMs = static_cast<int>(*delay);
    } else if (name == "--accounts") {
      options.accountsFile = value;
    } else if (name == "--ports-file") {
      options.portsFile = value;
    } else {
      return Failure("unknown option " + name);
    }
  }
  return {options, {}, false};
}

std::string DefaultAccountsPath() {
  std::error_code error;
  const std::filesystem::path binary = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return "accounts.txt";
  // A build keeps the file beside the binary; an installed tree under share/.
  const std::filesystem::path beside = binary.parent_path() / "accounts.txt";
  const std::filesystem::path installed =
      binary.parent_path() / "../share/corvel-devservice/accounts.txt";
  if (!std::filesystem::exists(beside, error) && std::filesystem::exists(installed, error))
    return installed.lexically_normal().string();
  return beside.string();
}

}  // namespace corvel::devservice

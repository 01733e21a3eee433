// corvel-devservice: a development account server and NAT helper for the Corvel client, for
// tests and demos. Not part of the client and not a production service.
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "account_book.h"
#include "control_client.h"
#include "dev_service.h"
#include "options.h"
#include "packet_log.h"
#include "stop_signals.h"

namespace corvel::devservice {
namespace {

// Written under a temporary name and renamed, so a reader never sees half a line.
bool WritePortsFile(const std::string& path, const std::string& line) {
  const std::string temporary = path + ".tmp";
  {
    std::ofstream file(temporary, std::ios::trunc);
    if (!(file << line << '\n')) return false;
  }
  std::error_code error;
  std::filesystem::rename(temporary, path, error);
  return !error;
}

int Serve(const Options& options) {
  const std::string accountsPath =
      options.accountsFile.empty() ? DefaultAccountsPath() : options.accountsFile;
  std::string error;
  std::optional<AccountBook> book = AccountBook::Load(accountsPath, error);
  if (!book) {
    std::fprintf(stderr, "corvel-devservice: %s\n", error.c_str());
    return 1;
  }
  std::optional<StopSignals> signals = StopSignals::Block();
  if (!signals) {
    std::fprintf(stderr, "corvel-devservice: cannot take SIGINT and SIGTERM\n");
    return 1;
  }
  PacketLog log(stderr, options.quiet);
  const std::size_t accounts = book->size();
  std::unique_ptr<DevService> service = DevService::Start(options, std::move(*book), log, error);
  if (!service) {
    std::fprintf(stderr, "corvel-devservice: %s\n", error.c_str());
    return 1;
  }
  const std::string line = service->PortsLine();
  // The file first: whoever reads the stdout line may look for the file straight away.
  if (!options.portsFile.empty() && !WritePortsFile(options.portsFile, line)) {
    log.Info("cannot write the ports file " + options.portsFile);
  }
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
  log.Info(line + "; " + std::to_string(accounts) + " accounts from " + accountsPath +
           "; NAT payload type " + std::to_string(options.natType));
  const int signal = signals->Wait();
  log.Info(std::string("stopping on ") + (signal == SIGINT ? "SIGINT" : "SIGTERM"));
  service->Stop();
  return 0;
}

}  // namespace
}  // namespace corvel::devservice

int main(int argc, char** argv) {
  using namespace corvel::devservice;
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (!args.empty() && args[0] == "control") {
    return RunControlClient({args.begin() + 1, args.end()}, stdout, stderr);
  }
  const ParsedOptions parsed = ParseOptions(args);
  if (parsed.help) {
    std::fputs(UsageText(), stdout);
    return 0;
  }
  if (!parsed.options) {
    std::fprintf(stderr, "corvel-devservice: %s\n%s", parsed.error.c_str(), UsageText());
    return 2;
  }
  return Serve(*parsed.options);
}

// Kamailio and sipp as test peers on 127.0.0.1, each on free ports, with what the tests read
// back from them (Kamailio's request lines, sipp's exit status and message log).
#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "sip/interop/peer_process.h"
#include "sip/raw_peer.h"
#include "sip/sip_test_support.h"
#include "support/temp_folder.h"

#ifndef CORVEL_SIP_INTEROP_DIR
#error "CORVEL_SIP_INTEROP_DIR must name tests/sip/interop"
#endif

namespace corvel::testing {

inline std::string InteropFile(const std::string& name) {
  return std::string(CORVEL_SIP_INTEROP_DIR) + "/" + name;
}

// Kamailio as registrar and proxy, unprivileged, in the foreground. One UDP worker: with two, a
// 180 and the 200 right after it could be relayed by different processes and overtake each other.
class Kamailio {
 public:
  // Null when it cannot be started or does not answer an OPTIONS within 5 s.
  static std::unique_ptr<Kamailio> Start(const TempFolder& folder) {
    auto kamailio = std::unique_ptr<Kamailio>(new Kamailio());
    kamailio->port_ = FreeUdpPort();
    // The unprivileged user must be able to read the configuration.
    const std::string dir = folder / "kamailio";
    std::filesystem::create_directories(dir);
    chmod(folder.path().c_str(), 0755);
    chmod(dir.c_str(), 0755);
    const std::string config = dir + "/kamailio.cfg";
    WriteFile(config, ReadFile(InteropFile("kamailio.cfg")));
    chmod(config.c_str(), 0644);
    kamailio->logPath_ = folder / "kamailio.log";
    kamailio->process_ = PeerProcess::Start(
        {"/usr/bin/setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups",
         "/usr/sbin/kamailio", "-f", config, "-DD", "-E", "-n", "1", "-m", "32", "-M", "8", "-l",
         "udp:127.0.0.1:" + std::to_string(kamailio->port_)},
        kamailio->logPath_);
    if (!kamailio->process_ || !kamailio->Answers(5000)) return nullptr;
    return kamailio;
  }

  int port() const { return port_; }
  const std::string& logPath() const { return logPath_; }
  void Stop() { process_.reset(); }

  // Kamailio's "REQ <method> ..." lines so far.
  std::vector<std::string> Requests(const std::string& method) const {
    std::vector<std::string> lines;
    const std::string log = ReadFile(logPath_);
    const std::string key = "REQ " + method + " ";
    for (std::size_t at = log.find(key); at != std::string::npos; at = log.find(key, at + 1)) {
      lines.push_back(log.substr(at, log.find('\n', at) - at));
    }
    return lines;
  }

 private:
  Kamailio() = default;

  bool Answers(int timeoutMs) {
    RawPeer probe;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (int attempt = 0; std::chrono::steady_clock::now() < deadline; ++attempt) {
      const std::string branch = "probe" + std::to_string(attempt);
      probe.Send(
          "OPTIONS sip:127.0.0.1:{port} SIP/2.0\n"
          "Via: SIP/2.0/UDP 127.0.0.1:{me};branch=z9hG4bK{branch}\n"
          "From: <sip:probe@127.0.0.1>;tag=p\nTo: <sip:127.0.0.1:{port}>\n"
          "Call-ID: {branch}@probe\nCSeq: 1 OPTIONS\nMax-Forwards: 70\n"
          "Content-Length: 0\n\n",
          port_,
          {{"port", std::to_string(port_)},
           {"me", std::to_string(probe.port())},
           {"branch", branch}});
      std::optional<std::string> answer = probe.ReceiveStarting("SIP/2.0 200", 200);
      if (answer) return true;
    }
    return false;
  }

  int port_ = 0;
  std::string logPath_;
  std::unique_ptr<PeerProcess> process_;
};

// One sipp run of a scenario.
class Sipp {
 public:
  // remote: "127.0.0.1:PORT" for a UAC, empty for a UAS. Extra arguments go last.
  static std::unique_ptr<Sipp> Start(const TempFolder& folder, const std::string& scenario,
                                     const std::string& remote, int localPort,
                                     const std::vector<std::string>& extra = {}) {
    auto sipp = std::unique_ptr<Sipp>(new Sipp());
    sipp->port_ = localPort > 0 ? localPort : FreeUdpPort();
    const std::string name = std::filesystem::path(scenario).stem().string();
    sipp->messagePath_ = folder / (name + "-messages.log");
    sipp->errorPath_ = folder / (name + "-errors.log");
    sipp->outputPath_ = folder / (name + "-output.log");
    std::vector<std::string> args = {"/usr/bin/sipp"};
    if (!remote.empty()) args.push_back(remote);
    const std::vector<std::string> common = {"-sf",
                                             scenario,
                                             "-i",
                                             "127.0.0.1",
                                             "-p",
                                             std::to_string(sipp->port_),
                                             "-m",
                                             "1",
                                             "-cp",
                                             std::to_string(FreeUdpPort()),
                                             "-mp",
                                             std::to_string(FreeUdpPort() & ~1),
                                             "-timeout",
                                             "20",
                                             "-timeout_error",
                                             "-nostdin",
                                             "-trace_msg",
                                             "-message_file",
                                             sipp->messagePath_,
                                             "-trace_err",
                                             "-error_file",
                                             sipp->errorPath_};
    args.insert(args.end(), common.begin(), common.end());
    args.insert(args.end(), extra.begin(), extra.end());
    sipp->process_ = PeerProcess::Start(args, sipp->outputPath_);
    if (!sipp->process_) return nullptr;
    return sipp;
  }

  int port() const { return port_; }

  // True when sipp ended within timeoutMs with every call successful (exit status 0).
  bool Succeeded(int timeoutMs) {
    const std::optional<int> status = process_->Wait(timeoutMs);
    return status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0;
  }

  // For failure messages: what sipp reported.
  std::string Report() const {
    return "sipp errors:\n" + ReadFile(errorPath_) + "\nsipp output tail:\n" + Tail(outputPath_);
  }

  std::string Messages() const { return ReadFile(messagePath_); }

 private:
  Sipp() = default;

  static std::string Tail(const std::string& path) {
    const std::string text = ReadFile(path);
    return text.size() > 3000 ? text.substr(text.size() - 3000) : text;
  }

  int port_ = 0;
  std::string messagePath_;
  std::string errorPath_;
  std::string outputPath_;
  std::unique_ptr<PeerProcess> process_;
};

}  // namespace corvel::testing

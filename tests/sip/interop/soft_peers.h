// Softphones as call peers on 127.0.0.1: baresip (PCMU, PCMA, DTMF) and linphonec (G.729), each
// registered with the test's Kamailio, auto-answering, playing a WAV file into its calls and
// recording what it receives.
#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "sip/interop/peer_process.h"
#include "sip/interop/peers.h"
#include "sip/sip_test_support.h"
#include "support/temp_folder.h"

namespace corvel::testing {

// baresip 1.0 with its own configuration folder. The sndfile module writes what the peer sends
// (dump-*-enc.wav) and what it receives and decodes (dump-*-dec.wav) into that folder.
class Baresip {
 public:
  struct Options {
    std::string user = "3002";
    int registrarPort = 0;
    std::string codec = "PCMU";  // the only audio format it offers and accepts
    std::string playFile;        // played into every call
    std::string dial;            // a URI to call once registered; empty: wait for calls
    int quitAfterSeconds = 60;
  };

  static std::unique_ptr<Baresip> Start(const TempFolder& folder, const Options& options) {
    auto peer = std::unique_ptr<Baresip>(new Baresip());
    peer->dir_ = folder / ("baresip-" + options.user);
    std::filesystem::create_directories(peer->dir_);
    peer->port_ = FreeUdpPort();
    const std::string codecModule = "g711.so";
    int rtpBase = FreeUdpPort() & ~1;
    if (rtpBase > 65000) rtpBase = 40000;
    std::ofstream config(peer->dir_ + "/config");
    config << "poll_method epoll\n"
           << "sip_listen 127.0.0.1:" << peer->port_ << "\n"
           << "net_interface 127.0.0.1\n"
           << "audio_player alsa,null\n"
           << "audio_alert alsa,null\n"
           << "audio_source aufile," << options.playFile << "\n"
           << "audio_buffer 20-160\n"
           << "rtp_ports " << rtpBase << "-" << (rtpBase + 200) << "\n"
           << "call_local_timeout 120\n"
           << "snd_path " << peer->dir_ << "\n"
           << "module_path /usr/lib/baresip/modules\n"
           << "module stdio.so\n"
           << "module " << codecModule << "\n"
           << "module aufile.so\n"
           << "module alsa.so\n"
           << "module sndfile.so\n"
           << "module_tmp account.so\n"
           << "module_app menu.so\n";
    config.close();
    std::ofstream accounts(peer->dir_ + "/accounts");
    accounts << "<sip:" << options.user << "@127.0.0.1:" << options.registrarPort
             << ">;answermode=auto;regint=600;audio_codecs=" << options.codec << "\n";
    accounts.close();
    std::ofstream(peer->dir_ + "/contacts") << "";
    peer->logPath_ = peer->dir_ + "/output.log";
    std::vector<std::string> args = {
        "/usr/bin/baresip", "-f", peer->dir_, "-v", "-t", std::to_string(options.quitAfterSeconds)};
    if (!options.dial.empty()) {
      args.push_back("-e");
      args.push_back("/dial " + options.dial);
    }
    peer->process_ = PeerProcess::Start(args, peer->logPath_);
    if (!peer->process_) return nullptr;
    return peer;
  }

  int port() const { return port_; }
  const std::string& dir() const { return dir_; }
  std::string Output() const { return ReadFile(logPath_); }
  bool OutputHas(const std::string& text) const { return Output().find(text) != std::string::npos; }
  // Ends baresip (its recordings are complete once it is gone).
  void Stop() { process_.reset(); }

  // The recording of what it received and decoded; empty when there is none.
  std::string DecodedRecording() const {
    for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
      const std::string name = entry.path().filename().string();
      if (name.rfind("dump-", 0) == 0 && name.find("-dec.wav") != std::string::npos)
        return entry.path().string();
    }
    return {};
  }

 private:
  Baresip() = default;

  std::string dir_;
  std::string logPath_;
  int port_ = 0;
  std::unique_ptr<PeerProcess> process_;
};

}  // namespace corvel::testing

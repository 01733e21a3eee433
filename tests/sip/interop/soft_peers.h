// Softphones as call peers on 127.0.0.1: baresip (PCMU, PCMA, DTMF) and linphonec (G.729), each
// registered with the test's Kamailio, auto-answering, playing a WAV file into its calls and
// recording what it receives.
#pragma once

#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "media/audio/audio_test_support.h"
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

// linphonec 5.1 driven through its standard input, with a home folder of its own (it opens no SIP
// port unless ~/.local/share/linphone exists) and a configuration that enables one audio format.
// In its file mode it plays a WAV into each call, once from the start, and records what it
// receives at a rate of its own choosing (8 and 48 kHz both seen for G.729).
class Linphonec {
 public:
  struct Options {
    std::string user = "3003";
    int registrarPort = 0;
    std::string codec = "G729";  // the mime of the only audio format it offers and accepts
    std::string playFile;        // played into the call
  };

  static std::unique_ptr<Linphonec> Start(const TempFolder& folder, const Options& options) {
    auto peer = std::unique_ptr<Linphonec>(new Linphonec());
    peer->dir_ = folder / ("linphonec-" + options.user);
    const std::string home = peer->dir_ + "/home";
    std::filesystem::create_directories(home + "/.local/share/linphone");
    std::filesystem::create_directories(home + "/.config");
    peer->recordPath_ = peer->dir_ + "/received.wav";
    peer->logPath_ = peer->dir_ + "/output.log";
    const std::string config = peer->dir_ + "/linphonerc";
    WriteFile(config, Configuration(options, FreeUdpPort(), FreeUdpPort() & ~1));
    peer->process_ = PeerProcess::Start(
        {"/usr/bin/env", "HOME=" + home, "XDG_DATA_HOME=" + home + "/.local/share",
         "XDG_CONFIG_HOME=" + home + "/.config", "/usr/bin/linphonec", "-c", config, "-a"},
        peer->logPath_, true);
    if (!peer->process_) return nullptr;
    if (!peer->Command("soundcard use files") || !peer->Command("play " + options.playFile) ||
        !peer->Command("record " + peer->recordPath_) || !peer->Command("codec list")) {
      return nullptr;
    }
    return peer;
  }

  const std::string& dir() const { return dir_; }
  std::string Output() const { return ReadFile(logPath_); }
  bool OutputHas(const std::string& text) const { return Output().find(text) != std::string::npos; }
  bool WaitForOutput(const std::string& text, int timeoutMs) const {
    return WaitUntil([&] { return OutputHas(text); }, timeoutMs);
  }

  // One line for its prompt ("call sip:...", "terminate"); false once it is gone.
  bool Command(const std::string& line) { return process_ && process_->Write(line + "\n"); }

  // Asks for the registration state until the registrar has accepted it.
  bool WaitRegistered(int timeoutMs) {
    return WaitUntil(
        [&] {
          if (OutputHas("registered, identity=")) return true;
          Command("status register");
          std::this_thread::sleep_for(std::chrono::milliseconds(200));
          return OutputHas("registered, identity=");
        },
        timeoutMs);
  }

  // The formats "codec list" showed enabled, as "G729 (8000)".
  std::vector<std::string> EnabledCodecs() const {
    std::vector<std::string> enabled;
    std::istringstream lines(Output());
    for (std::string line; std::getline(lines, line);) {
      const std::string suffix = ") enabled";
      const std::size_t colon = line.find(": ");
      if (colon == std::string::npos || line.size() < suffix.size() ||
          line.compare(line.size() - suffix.size(), suffix.size(), suffix) != 0) {
        continue;
      }
      enabled.push_back(line.substr(colon + 2, line.size() - colon - 2 - suffix.size() + 1));
    }
    return enabled;
  }

  // Ends linphonec, by its own command first so that the recording is closed.
  void Stop() {
    if (!process_) return;
    if (Command("quit")) process_->Wait(5000);
    process_.reset();
  }

  // What it received in its call, at 8 kHz; empty before Stop or without a recording.
  Samples Received() const {
    const std::string resampled = dir_ + "/received-8k.wav";
    const std::string command =
        "sox -V1 '" + recordPath_ + "' -r 8000 -c 1 -b 16 -e signed-integer '" + resampled + "'";
    if (!std::filesystem::exists(recordPath_) || std::system(command.c_str()) != 0) return {};
    const WavContent wav = ReadWav(resampled);
    return wav.ok && wav.rate == 8000 ? wav.samples : Samples();
  }

 private:
  Linphonec() = default;

  static std::string Configuration(const Options& options, int sipPort, int rtpPort) {
    std::ostringstream text;
    // No GRUU: its Contact would be the bare address of record, which routes back into the proxy,
    // so that no in-dialog request ever reaches linphonec.
    text << "[sip]\nbind_address=127.0.0.1\nsip_port=" << sipPort
         << "\nsip_tcp_port=0\nsip_tls_port=0\nsupported=replaces\nauto_send_ringing=1\n"
         << "register_only_when_network_is_up=0\nregister_only_when_upnp_is_ok=0\n"
         << "inc_timeout=30\ndefault_proxy=0\n"
         << "[rtp]\naudio_rtp_port=" << rtpPort << "\naudio_jitt_comp=60\n"
         << "[video]\ncapture=0\ndisplay=0\nautomatically_initiate=0\nautomatically_accept=0\n"
         << "[proxy_0]\nreg_proxy=<sip:127.0.0.1:" << options.registrarPort
         << ">\nreg_identity=sip:" << options.user
         << "@127.0.0.1\nreg_expires=600\nreg_sendregister=1\npublish=0\n";
    // Every format it knows is listed: one left out would be added back enabled or not, as its
    // own defaults say.
    struct Format {
      const char* mime;
      int rate;
      int channels;
    };
    constexpr Format kFormats[] = {
        {"opus", 48000, 2},        {"speex", 16000, 1},       {"speex", 8000, 1},
        {"PCMU", 8000, 1},         {"PCMA", 8000, 1},         {"GSM", 8000, 1},
        {"G722", 8000, 1},         {"G729", 8000, 1},         {"speex", 32000, 1},
        {"G726-16", 8000, 1},      {"G726-24", 8000, 1},      {"G726-32", 8000, 1},
        {"G726-40", 8000, 1},      {"AAL2-G726-16", 8000, 1}, {"AAL2-G726-24", 8000, 1},
        {"AAL2-G726-32", 8000, 1}, {"AAL2-G726-40", 8000, 1}, {"L16", 44100, 2},
        {"L16", 44100, 1},
    };
    int index = 0;
    for (const Format& format : kFormats) {
      text << "[audio_codec_" << index++ << "]\nmime=" << format.mime << "\nrate=" << format.rate
           << "\nchannels=" << format.channels
           << "\nenabled=" << (options.codec == format.mime ? 1 : 0) << "\n";
    }
    return text.str();
  }

  std::string dir_;
  std::string logPath_;
  std::string recordPath_;
  std::unique_ptr<PeerProcess> process_;
};

}  // namespace corvel::testing

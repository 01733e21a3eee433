// The client's phone module as the main window builds it, for the interop tests: its own
// application folder and configuration against the test's Kamailio, file-backed microphone and
// speaker, its reports recorded; and speech to play and a way to find it again in a recording.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/phone_log.h"
#include "media/audio/audio_backend_registry.h"
#include "media/audio/audio_test_support.h"
#include "sip/phone_module.h"
#include "sip/sip_test_support.h"
#include "support/temp_folder.h"

namespace corvel::testing {

// Speech at 8 kHz from espeak-ng, or empty without the tools.
inline Samples Speech(const TempFolder& folder, const std::string& name, const std::string& text) {
  const std::string spoken = folder / (name + "-spoken.wav");
  const std::string speech = folder / (name + ".wav");
  const std::string command = "espeak-ng -w '" + spoken + "' '" + text + "' && sox '" + spoken +
                              "' -r 8000 -c 1 -b 16 -e signed-integer '" + speech + "'";
  if (std::system(command.c_str()) != 0) return {};
  const WavContent wav = ReadWav(speech);
  return wav.ok && wav.rate == 8000 && wav.channels == 1 ? wav.samples : Samples();
}

// The phone module as the main window builds it, with its reports recorded.
class PhoneUnderTest {
 public:
  PhoneUnderTest(const TempFolder& folder, int registrarPort, const std::string& sipNumber,
                 const std::string& microphoneWav)
      : folder_(folder / ("phone-" + sipNumber)) {
    std::filesystem::create_directories(folder_ + "/out");
    configPath_ = folder_ + "/CorvelConfig.ini";
    rtpPort_ = FreeUdpPort() & ~1;
    sipPort_ = FreeUdpPort();
    WriteFile(configPath_, "[RTP]\nrtpHost=127.0.0.1\nrtpPort=" + std::to_string(rtpPort_) +
                               "\nnatMode=0\n[WAVE]\nsilenceValue=0\n[SIP]\nsipHost=127.0.0.1\n"
                               "sipPort=" +
                               std::to_string(sipPort_) + "\nsipSvrHost=127.0.0.1\nsipSvrPort=" +
                               std::to_string(registrarPort) + "\nsipRegTime=40\n");
    log_.Open(folder_ + "/SIPPhone.log");
    PhoneModuleSetup setup;
    setup.configPath = configPath_;
    setup.programFolder = folder_ + "/";
    setup.sipNumber = sipNumber;
    setup.log = &log_;
    setup.window = &window_;
    setup.audio = CreateAudioBackend("file:" + microphoneWav + "," + folder_ + "/out");
    setup.report = [this](SipCall& call) {
      std::lock_guard lock(mutex_);
      states_.push_back(call.state);
      last_ = call;
      return 0;
    };
    setup.showBox = [this](const std::string& text) {
      std::lock_guard lock(mutex_);
      boxes_.push_back(text);
    };
    module_ = std::make_unique<PhoneModule>(std::move(setup));
  }

  // Writes the formats into the configuration before the module is built.
  void SetCodecs(const std::string& waveLines) {
    std::string config = ReadFile(configPath_);
    config.replace(config.find("[WAVE]\n") + 7, 0, waveLines);
    WriteFile(configPath_, config);
  }

  PhoneModule& module() { return *module_; }
  const std::string& folder() const { return folder_; }
  std::string Log() const { return ReadFile(folder_ + "/SIPPhone.log"); }

  bool Registered(int timeoutMs = 5000) {
    return WaitUntil(
        [&] { return module_->sipServer() && module_->sipServer()->registCounter() > 0; },
        timeoutMs);
  }
  std::vector<int> States() {
    std::lock_guard lock(mutex_);
    return states_;
  }
  SipCall Last() {
    std::lock_guard lock(mutex_);
    return last_;
  }
  bool WaitForState(int state, int timeoutMs) {
    return WaitUntil(
        [&] {
          const std::vector<int> states = States();
          return std::find(states.begin(), states.end(), state) != states.end();
        },
        timeoutMs);
  }
  // What the peer sent, as this side's player recorded it.
  Samples Heard() {
    Samples heard;
    for (const auto& entry : std::filesystem::directory_iterator(folder_ + "/out")) {
      const WavContent wav = ReadWav(entry.path().string());
      if (wav.ok && wav.samples.size() > heard.size()) heard = wav.samples;
    }
    return heard;
  }

 private:
  std::string folder_;
  std::string configPath_;
  int rtpPort_ = 0;
  int sipPort_ = 0;
  PhoneLog log_;
  RecordingPoster window_;
  std::mutex mutex_;
  std::vector<int> states_;
  SipCall last_;
  std::vector<std::string> boxes_;
  std::unique_ptr<PhoneModule> module_;
};

}  // namespace corvel::testing

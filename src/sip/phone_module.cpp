#include "sip/phone_module.h"

#include <cstdarg>

#include "app/config.h"
#include "app/phone_log.h"
#include "media/audio/wave_capture.h"
#include "media/rtp/rtp_server.h"
#include "media/toolkit/host_address.h"

namespace corvel {
namespace {

// The RTP server as the SIP endpoint sees it.
class RtpServerMedia : public RtpMedia {
 public:
  explicit RtpServerMedia(RtpServer& server) : server_(server) {}

  std::string localHost() const override { return server_.localHost(); }
  uint16_t localPort() const override { return server_.localPort(); }
  bool natMode() const override { return server_.natMode(); }
  std::string natHost() const override { return server_.natHost(); }
  uint16_t natPort() const override { return server_.natPort(); }
  CodecTable codecTable() const override { return server_.codecTable(); }
  bool SetRemote(const char* hostText, uint16_t port) override {
    return server_.SetRemote(hostText, port);
  }
  bool SetSendPayloadType(uint8_t payloadType) override {
    return server_.SetSendPayloadType(payloadType);
  }
  void EndRTPSession() override { server_.EndRTPSession(); }

 private:
  RtpServer& server_;
};

uint16_t PortOf(int value) {
  return static_cast<uint16_t>(value);
}

}  // namespace

PhoneModule::PhoneModule(PhoneModuleSetup setup) : setup_(std::move(setup)) {}

PhoneModule::~PhoneModule() {
  Close();
}

void PhoneModule::Log(const char* format, ...) {
  if (setup_.log == nullptr) return;
  va_list args;
  va_start(args, format);
  const std::string text = FormatV(format, args);
  va_end(args);
  setup_.log->Write(text);
}

bool PhoneModule::Fail(const char* line, const char* box) {
  Log("%s", line);
  if (setup_.showBox) setup_.showBox(box);
  return false;
}

bool PhoneModule::CreatePhoneModule(const std::string& configFile) {
  const std::string file = configFile.empty() ? setup_.configPath : configFile;
  const Config config(file);
  Log("[MODULE] Create Module Config File:%s Phone:%s\n", file.c_str(), setup_.sipNumber.c_str());
  if (setup_.sipNumber.empty()) {
    Log("[MODULE] Get Not Phone:%s\n", setup_.sipNumber.c_str());
    if (setup_.showBox) setup_.showBox("获取SIP号码失败!");
    return false;
  }
  std::string probe;
  if (CheckLocalAddress(probe) < 0) return Fail("[MODULE] Find Not Host\n", "获取本机地址失败!");

  std::string rtpHost = config.rtpHost();
  if (CheckLocalAddress(rtpHost) == 1) Log("[MODULE] Change Config rtpHost:%s\n", rtpHost.c_str());
  rtpServer_ = std::make_unique<RtpServer>(
      [this](std::string_view line) {
        if (setup_.log != nullptr) setup_.log->Write(line);
      },
      setup_.window, setup_.audio);
  media_ = std::make_unique<RtpServerMedia>(*rtpServer_);
  int rtpPort = config.rtpPort();
  bool rtpOpen = false;
  for (int attempt = 0; attempt < kPortTries && !rtpOpen; ++attempt, rtpPort += 2) {
    rtpOpen = rtpPort > 0 && rtpPort < 65535 && rtpServer_->Open(rtpHost, PortOf(rtpPort), true);
    Log(rtpOpen ? "[MODULE] Create RTP Server %s:%d Success\n"
                : "[MODULE] Create RTP Server %s:%d Failed\n",
        rtpHost.c_str(), rtpPort);
  }
  if (!rtpOpen) return Fail("[MODULE] Create RTP Server Failed\n", "创建RTP失败!");

  const int natMode = config.natMode();
  rtpServer_->SetNatMode(natMode != 0);
  if (natMode != 0) {
    const int natType = config.natType();
    const int natPort = config.natSvrPort();
    const std::string natHost = config.natSvrHost();
    rtpServer_->SetNatServer(static_cast<uint8_t>(natType), natHost.c_str(), PortOf(natPort));
    Log("[MODULE] RTP Use NAT Mode Type:%d Server[%s:%d]\n", natType, natHost.c_str(), natPort);
  }
  rtpServer_->SetSilenceValue(config.silenceValue());
  rtpServer_->SetPlayoutDelay(config.playoutDelay());
  rtpServer_->SetLevelMeters(setup_.microphoneMeter, setup_.speakerMeter);

  waveCapture_ = std::make_unique<WaveCapture>(setup_.audio);
  if (waveCapture_->Open(1, 16, 8000, kCaptureBuffers, config.captureFrameBytes()) != 0) {
    return Fail("[MODULE] Create Wave Capture(channel:1 bits:16 rate:8000) Failed\n",
                "创建语音捕获失败!");
  }
  rtpServer_->SetCapture(waveCapture_.get());

  sipServer_ = std::make_unique<SipServer>(media_.get(), setup_.log, setup_.window);
  sipServer_->SetReport(setup_.report);
  std::string sipHost = config.sipHost();
  if (CheckLocalAddress(sipHost) == 1) Log("[MODULE] Change Config sipHost:%s\n", sipHost.c_str());
  int sipPort = config.sipPort();
  bool sipRunning = false;
  for (int attempt = 0; attempt < kPortTries && !sipRunning; ++attempt, ++sipPort) {
    sipRunning = sipPort > 0 && sipPort <= 65535 &&
                 sipServer_->CreateSIPServer(setup_.sipNumber.c_str(), sipHost.c_str(),
                                             PortOf(sipPort), SipServer::kDefaultCallTimeout, 0);
    Log(sipRunning ? "[MODULE] Create SIP Server %s:%d Success\n"
                   : "[MODULE] Create SIP Server %s:%d Failed\n",
        sipHost.c_str(), sipPort);
  }
  if (!sipRunning) return Fail("[MODULE] Create SIP Server Failed\n", "创建SIP失败!");

  const std::string proxyHost = config.sipSvrHost();
  sipServer_->SetProxy(proxyHost.c_str(), PortOf(config.sipSvrPort()));
  const SipRegistration registration = config.sipRegistration();
  if (registration.enabled) {
    sipServer_->Lock();
    sipServer_->Regist(nullptr, registration.lifetime);
    sipServer_->Unlock();
    sipServer_->StartRegistTimer(registration.period);
  }

  ringFiles_.callRing = config.ringFile(RingKind::kCallRing, setup_.programFolder);
  ringFiles_.crvtRing = config.ringFile(RingKind::kCrvtRing, setup_.programFolder);
  ringFiles_.fileRing = config.ringFile(RingKind::kFileRing, setup_.programFolder);
  ringFiles_.callBye = config.ringFile(RingKind::kCallBye, setup_.programFolder);

  CodecTable codecs;
  const auto set = [&codecs](CodecSlot slot, const CodecSetting& setting) {
    codecs.set(slot, setting.enabled, setting.payloadType);
  };
  set(CodecSlot::kDtmf, config.dtmf());
  set(CodecSlot::kAmr, config.samr());
  set(CodecSlot::kG729, config.g729());
  set(CodecSlot::kPcma, config.pcma());
  set(CodecSlot::kPcmu, config.pcmu());
  rtpServer_->SetCodecTable(codecs);

  Log("[MODULE] Create Phone Module Success\n");
  return true;
}

void PhoneModule::Close() {
  if (sipServer_) {
    Log("[CLOSE] Begin Close SIP Server\n");
    sipServer_->Lock();
    sipServer_->Regist(nullptr, 0);
    sipServer_->HangUp(0);
    sipServer_->Unlock();
  }
  if (waveCapture_) {
    Log("[CLOSE] Begin Close Wave Capture\n");
    waveCapture_->Close();
  }
  if (!sipServer_ && !rtpServer_ && !waveCapture_) return;
  Log("[CLOSE] Begin Delete SIP Server\n");
  if (sipServer_) sipServer_->Delete();
  sipServer_.reset();
  Log("[CLOSE] Begin Delete RTP Server\n");
  if (rtpServer_) {
    rtpServer_->SetCapture(nullptr);
    rtpServer_->Close();
  }
  rtpServer_.reset();
  media_.reset();
  Log("[CLOSE] Begin Delete Wave Capture\n");
  if (waveCapture_) waveCapture_->Close();
  waveCapture_.reset();
}

bool PhoneModule::Invite(const std::string& number) {
  if (!sipServer_) return false;
  sipServer_->Lock();
  const bool placed = sipServer_->Invite(number.c_str(), nullptr, 0);
  sipServer_->Unlock();
  return placed;
}

bool PhoneModule::Answer(uint32_t Identify, int code) {
  if (!sipServer_) return false;
  sipServer_->Lock();
  const bool answered = sipServer_->Answer(Identify, code);
  sipServer_->Unlock();
  return answered;
}

bool PhoneModule::HangUp(uint32_t Identify) {
  if (!sipServer_) return false;
  sipServer_->Lock();
  const bool ended = sipServer_->HangUp(Identify);
  sipServer_->Unlock();
  return ended;
}

bool PhoneModule::SendDtmf(int keyValue) {
  return rtpServer_ && rtpServer_->SendDtmf(keyValue);
}

bool PhoneModule::StartCapture() {
  return waveCapture_ && rtpServer_ && waveCapture_->Start(rtpServer_.get()) == 0;
}

}  // namespace corvel

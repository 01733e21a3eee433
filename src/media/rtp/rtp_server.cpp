#include "media/rtp/rtp_server.h"

#include <pthread.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>

#include "app/window_messages.h"
#include "app/window_poster.h"
#include "media/audio/pcm_level.h"
#include "media/audio/player_table.h"
#include "media/audio/wave_capture.h"
#include "media/rtp/rtp_server_dtmf.h"
#include "media/rtp/rtp_session.h"
#include "media/toolkit/host_address.h"

namespace corvel {
namespace {

constexpr int kLevelMax = 32767;
constexpr std::size_t kLogLineBufferSize = 8096;  // the phone log's message buffer

}  // namespace

RtpServer::RtpServer(LogSink log, WindowPoster* owner, std::shared_ptr<AudioBackend> audio)
    : log_(std::move(log)), owner_(owner), audio_(std::move(audio)) {}

RtpServer::~RtpServer() {
  Close();
}

void RtpServer::Log(const char* format, ...) const {
  if (!active_ || !log_) return;
  char buffer[kLogLineBufferSize];
  va_list arguments;
  va_start(arguments, format);
  const int written = std::vsnprintf(buffer, sizeof buffer, format, arguments);
  va_end(arguments);
  if (written < 0) return;
  const std::size_t length = std::min(static_cast<std::size_t>(written), sizeof buffer - 1);
  try {
    log_(std::string_view(buffer, length));
  } catch (...) {
    // A failing log must not take the media down with it.
  }
}

RtpServer::Media RtpServer::media() const {
  const std::lock_guard<std::mutex> guard(mediaMutex_);
  return media_;
}

void RtpServer::Wake() const {
  // An empty frame makes the send thread look at its timers again.
  if (const std::shared_ptr<FrameQueue> queue = media().captureQueue) queue->Put(Frame(), 0);
}

void RtpServer::SendProbe(RtpSession& session, std::string_view text, Ipv4Endpoint to) const {
  // Probes go only to `to` and take neither a sequence number nor timestamp.
  session.SendTo(reinterpret_cast<const uint8_t*>(text.data()), static_cast<int>(text.size()),
                 natPayloadType_, 0, true, to.address, to.port, false);
}

bool RtpServer::Open(const std::string& localHost, uint16_t localPort, bool bindAny) {
  const std::lock_guard<std::mutex> guard(lifecycleMutex_);
  if (media().session) return true;
  try {
    localHost_.set(localHost);
    localPort_ = localPort;
    Media made;
    made.players = PlayerTable::Create(audio_, kPlayerThreshold, [this](int level) {
      if (WindowPoster* meter = speakerMeter_.load()) {
        meter->Post(WM_LEVEL_METER, static_cast<uint32_t>(level), 0);
      }
    });
    made.captureQueue = FrameQueue::Create(kCaptureQueueCapacity);
    made.session = RtpSession::Create(0, localHost.empty() ? nullptr : localHost.c_str(), localPort,
                                      bindAny, true);
    if (!made.players || !made.captureQueue || !made.session) {
      CloseLocked();
      return false;
    }
    made.players->setPlayoutDelay(playoutDelayMs_);
    if (localPort == 0) localPort_ = made.session->rtpPort();
    {
      const std::lock_guard<std::mutex> mediaGuard(mediaMutex_);
      media_ = made;
    }
    active_ = true;
    receiveThread_ = std::jthread([this, made](std::stop_token stop) { ReceiveLoop(made, stop); });
    sendThread_ = std::jthread([this, made](std::stop_token stop) { SendLoop(made, stop); });
    // Named here rather than by the threads themselves, so the names hold once Open returns.
    pthread_setname_np(receiveThread_.native_handle(), "rtp-recv");
    pthread_setname_np(sendThread_.native_handle(), "rtp-send");
  } catch (...) {
    CloseLocked();
    return false;
  }
  Log("Create RTP Server %s:%d Success\n", localHost.c_str(), localPort_.load());
  return true;
}

void RtpServer::Close() {
  const std::lock_guard<std::mutex> guard(lifecycleMutex_);
  CloseLocked();
}

void RtpServer::CloseLocked() {
  active_ = false;
  capture_ = nullptr;
  const Media gone = media();
  // Each thread is woken where it waits, then joined: none is left running.
  sendThread_.request_stop();
  if (gone.captureQueue) gone.captureQueue->Close();
  if (sendThread_.joinable()) sendThread_.join();
  receiveThread_.request_stop();
  if (gone.session) gone.session->Destroy();
  if (receiveThread_.joinable()) receiveThread_.join();
  {
    const std::lock_guard<std::mutex> mediaGuard(mediaMutex_);
    media_ = Media();
  }
  // `gone` goes last: the session, then the players with their devices, then queued frames.
  localHost_.set(std::string());
  natAddress_.set(NatAddress());
}

bool RtpServer::SetNatServer(uint8_t payloadType, const char* serverHostText, uint16_t serverPort) {
  if (!active_ || serverHostText == nullptr) return false;
  const std::optional<uint32_t> address = Ipv4FromText(serverHostText);
  if (!address) return false;
  natPayloadType_ = payloadType;
  natServer_.store(Ipv4Endpoint{*address, serverPort});
  Wake();
  return true;
}

void RtpServer::SetSilenceValue(int value) {
  silenceValue_ = value;
  if (const std::shared_ptr<PlayerTable> players = media().players) players->setThreshold(value);
}

void RtpServer::SetPlayoutDelay(int delayMs) {
  playoutDelayMs_ = delayMs;
  if (const std::shared_ptr<PlayerTable> players = media().players) {
    players->setPlayoutDelay(delayMs);
  }
}

bool RtpServer::SetSendPayloadType(uint8_t payloadType) {
  if (!active_) return false;
  sendPayloadType_ = payloadType;
  return true;
}

void RtpServer::SetNatMode(bool on) {
  natMode_ = on;
  Wake();
}

void RtpServer::SetCodecTable(const CodecTable& table) {
  codecTable_.set(table);
}

void RtpServer::SetCapture(WaveCapture* capture) {
  capture_ = capture;
}

void RtpServer::SetLevelMeters(WindowPoster* microphone, WindowPoster* speaker) {
  microphoneMeter_ = microphone;
  speakerMeter_ = speaker;
}

void RtpServer::SetNatTiming(const NatTiming& timing) {
  // Intervals shorter than the send thread's granularity would turn the probes into a flood.
  const auto atLeast = [](uint32_t ms) { return std::max<uint32_t>(ms, kShortestNatIntervalMs); };
  timing_.set(NatTiming{atLeast(timing.queryRetryMs), atLeast(timing.keepAliveMs),
                        atLeast(timing.detectMs)});
  Wake();
}

bool RtpServer::SetRemote(const char* hostText, uint16_t port) {
  if (!active_ || hostText == nullptr || port == 0) return false;
  const Media current = media();
  if (!current.session) return false;
  const std::optional<uint32_t> address = Ipv4FromText(hostText);
  if (!address) {
    Log("RTP audio set remote(%s:%d) failed\n", hostText, port);
    return false;
  }
  const Ipv4Endpoint server = natServer_.load();
  const Ipv4Endpoint probe{server.address, port};
  probe_.store(probe);
  receiving_ = true;
  sending_ = true;
  if (server.address != 0 && natMode_) {
    Log("RTP Detect PType:%d [%s:%d]\n", natPayloadType_.load(), Ipv4ToText(probe.address).c_str(),
        probe.port);
    SendProbe(*current.session, kDetectProbe, probe);
  }
  Wake();
  if (current.session->FindDestination(*address, port) == 0) {
    Log("RTP audio remote(%s:%d) exist\n", hostText, port);
    return true;
  }
  if (current.session->AddDestination(0, *address, port) != 0) {
    Log("RTP audio set remote(%s:%d) failed\n", hostText, port);
    return false;
  }
  Log("RTP audio set remote(%s:%d)\n", hostText, port);
  return true;
}

bool RtpServer::PushCaptured(const uint8_t* pcm, int byteCount) {
  if (!active_ || !sending_ || pcm == nullptr || byteCount <= 0 || byteCount > kLargestFrameBytes) {
    return false;
  }
  const Media current = media();
  if (!current.session || !current.captureQueue) return false;
  try {
    if (current.captureQueue->Put(Frame(pcm, pcm + byteCount), kPushWaitMs) != 0) return false;
  } catch (...) {
    return false;  // no memory for the copy
  }
  WindowPoster* meter = microphoneMeter_.load();
  if (meter != nullptr && sending_) {
    const int peak = PeakMagnitude(pcm, byteCount);
    const int silence = silenceValue_;
    const int64_t level = peak > silence ? static_cast<int64_t>(peak) - silence : 0;
    meter->Post(WM_LEVEL_METER, static_cast<uint32_t>(std::min<int64_t>(level, kLevelMax)), 0);
  }
  return true;
}

bool RtpServer::SendDtmf(int event) {
  if (!active_ || !sending_ || event < 0 || event > kHighestDtmfEvent) return false;
  const Media current = media();
  if (!current.session) return false;
  const uint8_t type = codecTable_.get().typeOf(CodecSlot::kDtmf);
  for (const TelephoneEventPacket& packet : TelephoneEventPackets(static_cast<uint8_t>(event))) {
    current.session->SendRepeat(packet.payload.data(), static_cast<int>(packet.payload.size()),
                                type, packet.timestampStep, packet.marker, packet.repeat);
  }
  Log("RTP Send Type:%d Dtmf(%d)\n", type, event);
  return true;
}

void RtpServer::EndRTPSession() {
  if (!active_) return;
  sending_ = false;
  receiving_ = false;
  probe_.store(Ipv4Endpoint());
  if (WaveCapture* capture = capture_.load()) capture->Stop();
  const Media current = media();
  if (current.session) current.session->ClearDestinations();
  if (current.players) current.players->Reset();
  remoteFixed_ = false;
  learnLog_.ForgetSources();  // the next call's first sender is logged again
  natQueryPending_ = true;
  const Ipv4Endpoint server = natServer_.load();
  if (current.session && server.set()) SendProbe(*current.session, kGetNatProbe, server);
  Wake();
}

uint32_t RtpServer::ssrc() const {
  const std::shared_ptr<RtpSession> session = media().session;
  return session ? session->ssrc() : 0;
}

std::vector<RtpDestination> RtpServer::destinations() const {
  const std::shared_ptr<RtpSession> session = media().session;
  return session ? session->Destinations() : std::vector<RtpDestination>();
}

int RtpServer::playerCount() const {
  const std::shared_ptr<PlayerTable> players = media().players;
  return players ? players->count() : 0;
}

std::shared_ptr<const WavePlayer> RtpServer::player(uint32_t ssrc) const {
  const std::shared_ptr<PlayerTable> players = media().players;
  return players ? players->Find(ssrc) : nullptr;
}

}  // namespace corvel

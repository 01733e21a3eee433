#include "media/rtp/rtp_session.h"

#include <chrono>
#include <new>
#include <system_error>
#include <thread>
#include <utility>

#include "media/rtp/packet_buffer.h"
#include "media/rtp/rtp_receive_side.h"
#include "media/rtp/ssrc_generator.h"

namespace corvel {
namespace {

constexpr auto kDeadSessionPause = std::chrono::milliseconds(10);
constexpr uint16_t kHighestPort = 65535;

bool ValidPayload(const uint8_t* payload, int length) {
  return length >= 0 && (payload != nullptr || length == 0);
}

}  // namespace

RtpSession::RtpSession(uint32_t ssrc, std::shared_ptr<RtpReceiveSide> receiveSide,
                       std::unique_ptr<RtpDestinationList> destinations)
    : ssrc_(ssrc), receiveSide_(std::move(receiveSide)), destinations_(std::move(destinations)) {}

std::unique_ptr<RtpSession> RtpSession::Create(uint32_t ssrc, const char* localHost,
                                               uint16_t localPort, bool bindAny, bool withRtcp) {
  try {
    // The RTCP port would wrap round to 0, which binds anywhere.
    if (withRtcp && localPort == kHighestPort) return nullptr;
    const uint32_t sessionSsrc = ssrc != 0 ? ssrc : GenerateSsrc();

    auto side = std::make_shared<RtpReceiveSide>();
    side->receiveQueue = BlockingQueue<RtpPacket>::Create(kReceiveQueueCapacity);
    std::unique_ptr<RtpDestinationList> destinations = RtpDestinationList::Create();
    if (!side->receiveQueue || !destinations) return nullptr;

    side->rtpSocket = UdpSocket::Open(localHost, localPort, bindAny);
    if (!side->rtpSocket) return nullptr;
    if (withRtcp) {
      const uint16_t rtpPort = side->rtpSocket->localPort();
      if (rtpPort == 0 || rtpPort == kHighestPort) return nullptr;
      side->rtcpSocket = UdpSocket::Open(localHost, static_cast<uint16_t>(rtpPort + 1), bindAny);
      if (!side->rtcpSocket) return nullptr;
    }

    std::unique_ptr<RtpSession> session(new RtpSession(sessionSsrc, side, std::move(destinations)));
    session->rtpThread_ = WorkerThread::Create(
        [side](const std::atomic<bool>& running) { ReceiveRtpLoop(*side, running); });
    if (!session->rtpThread_) return nullptr;  // the destructor undoes the rest
    if (withRtcp) {
      session->rtcpThread_ = WorkerThread::Create(
          [side](const std::atomic<bool>& running) { DrainRtcpLoop(*side, running); });
      if (!session->rtcpThread_) return nullptr;
    }
    return session;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

RtpSession::~RtpSession() {
  Destroy();
}

void RtpSession::Destroy() {
  const std::lock_guard<std::mutex> guard(destroyMutex_);
  receiveSide_->Shutdown();
  // Both threads were woken above, so each Stop returns as soon as its loop notices.
  if (rtpThread_) rtpThread_->Stop();
  if (rtcpThread_) rtcpThread_->Stop();
}

bool RtpSession::alive() const {
  return receiveSide_->alive;
}

int RtpSession::AddDestination(uint32_t ssrc, uint32_t address, uint16_t port) {
  if (!alive()) return -1;
  return destinations_->Add(ssrc, address, port);
}

int RtpSession::FindDestination(uint32_t address, uint16_t port) const {
  if (!alive()) return -1;
  return destinations_->Contains(address, port) ? 0 : -1;
}

int RtpSession::ClearDestinations() {
  if (!alive()) return -1;
  destinations_->Clear();
  return 0;
}

std::vector<RtpDestination> RtpSession::Destinations() const {
  if (!alive()) return {};
  return destinations_->Snapshot();
}

int RtpSession::Send(const uint8_t* payload, int length, uint8_t payloadType,
                     uint32_t timestampStep, bool marker) {
  return SendPacket(payload, length, payloadType, timestampStep, marker, false, Advance::kBoth, 0,
                    0);
}

int RtpSession::SendRepeat(const uint8_t* payload, int length, uint8_t payloadType,
                           uint32_t timestampStep, bool marker, bool repeat) {
  return SendPacket(payload, length, payloadType, timestampStep, marker, repeat,
                    repeat ? Advance::kTimestampOnly : Advance::kBoth, 0, 0);
}

int RtpSession::SendTo(const uint8_t* payload, int length, uint8_t payloadType,
                       uint32_t timestampStep, bool marker, uint32_t address, uint16_t port,
                       bool advance) {
  // Without both parts the packet would fall through to the destination list.
  if (address == 0 || port == 0) return -1;
  return SendPacket(payload, length, payloadType, timestampStep, marker, false,
                    advance ? Advance::kBoth : Advance::kNone, address, port);
}

int RtpSession::SendPacket(const uint8_t* payload, int length, uint8_t payloadType,
                           uint32_t timestampStep, bool marker, bool repeatPrevious,
                           Advance advance, uint32_t address, uint16_t port) {
  if (!alive() || !ValidPayload(payload, length)) return -1;
  try {
    RtpPacket packet;
    if (packet.SetPayload(payload, length) != 0) return -1;
    packet.payloadType = payloadType & 0x7F;
    packet.marker = marker ? 1 : 0;
    packet.ssrc = ssrc_;
    packet.peerAddress = address;
    packet.peerPort = port;

    const std::lock_guard<std::mutex> guard(senderMutex_);
    packet.sequence = repeatPrevious ? static_cast<uint16_t>(sequence_ - 1) : sequence_;
    packet.timestamp = timestamp_;
    if (Transmit(packet) != 0) return -1;
    if (advance != Advance::kNone) timestamp_ += timestampStep;
    if (advance == Advance::kBoth) ++sequence_;
    return 0;
  } catch (const std::system_error&) {
    return -1;  // the sender lock could not be taken
  }
}

int RtpSession::Transmit(const RtpPacket& packet) {
  std::optional<PacketBuffer> buffer = PacketBuffer::Create(kBuildBufferBytes);
  if (!buffer || RtpPacket::Build(packet, *buffer) != 0) return -1;
  UdpSocket& socket = *receiveSide_->rtpSocket;
  if (packet.peerAddress != 0 && packet.peerPort != 0) {
    const int sent =
        socket.SendTo(buffer->data(), buffer->length(), packet.peerAddress, packet.peerPort);
    return sent == buffer->length() ? 0 : -1;
  }
  // A destination that cannot be reached must not keep the others from getting the packet.
  const bool any = destinations_->ForEach([&](const RtpDestination& destination) {
    socket.SendTo(buffer->data(), buffer->length(), destination.address, destination.port);
  });
  return any ? 0 : -1;
}

std::optional<RtpPacket> RtpSession::Receive(int timeoutMs) {
  if (!alive()) {
    std::this_thread::sleep_for(kDeadSessionPause);
    return std::nullopt;
  }
  return receiveSide_->receiveQueue->Get(timeoutMs);
}

uint16_t RtpSession::sequence() const {
  const std::lock_guard<std::mutex> guard(senderMutex_);
  return sequence_;
}

uint32_t RtpSession::timestamp() const {
  const std::lock_guard<std::mutex> guard(senderMutex_);
  return timestamp_;
}

uint16_t RtpSession::rtpPort() const {
  return receiveSide_->rtpSocket->localPort();
}

uint16_t RtpSession::rtcpPort() const {
  return receiveSide_->rtcpSocket ? receiveSide_->rtcpSocket->localPort() : 0;
}

int RtpSession::pendingCount() const {
  return receiveSide_->receiveQueue->count();
}

}  // namespace corvel

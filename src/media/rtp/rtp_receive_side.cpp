#include "media/rtp/rtp_receive_side.h"

#include <optional>
#include <utility>

namespace corvel {
namespace {

// Shutdown wakes a waiting receive at once, so this limit only bounds how long a thread can go
// without looking at its flags, not how fast it stops.
constexpr int kIdleWaitMs = 10000;

bool KeepGoing(const RtpReceiveSide& side, const std::atomic<bool>& running) {
  return running && side.alive;
}

}  // namespace

void RtpReceiveSide::Shutdown() {
  alive = false;
  rtpSocket->Wake();
  if (rtcpSocket) rtcpSocket->Wake();
  receiveQueue->Close();
}

void ReceiveRtpLoop(RtpReceiveSide& side, const std::atomic<bool>& running) {
  while (KeepGoing(side, running)) {
    std::optional<Datagram> datagram = side.rtpSocket->Receive(kIdleWaitMs);
    if (!datagram) continue;
    std::optional<RtpPacket> packet = RtpPacket::Parse(datagram->data.data(), datagram->length);
    if (!packet) continue;
    packet->peerAddress = datagram->senderAddress;
    packet->peerPort = datagram->senderPort;
    // -1 means the queue was closed by Shutdown: the packet goes and the loop ends.
    side.receiveQueue->Put(std::move(*packet), -1);
  }
}

void DrainRtcpLoop(RtpReceiveSide& side, const std::atomic<bool>& running) {
  while (KeepGoing(side, running)) {
    side.rtcpSocket->Receive(kIdleWaitMs);
  }
}

}  // namespace corvel

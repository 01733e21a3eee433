// What a session shares with its two receive threads: the sockets, the receive queue and the
// alive flag. The threads hold it by std::shared_ptr, so none of it can go while one still runs.
#pragma once

#include <atomic>
#include <memory>

#include "media/rtp/rtp_packet.h"
#include "media/toolkit/blocking_queue.h"
#include "media/toolkit/udp_socket.h"

namespace corvel {

struct RtpReceiveSide {
  // Fixed at creation; the objects lock themselves.
  std::unique_ptr<UdpSocket> rtpSocket;
  std::unique_ptr<UdpSocket> rtcpSocket;  // null without RTCP
  std::unique_ptr<BlockingQueue<RtpPacket>> receiveQueue;
  std::atomic<bool> alive{true};

  // Clears alive and releases every wait of the receive threads and of Receive at once.
  void Shutdown();
};

// The RTP receive thread: each datagram that parses is queued with its sender's address, waiting
// for a free place without limit (Shutdown ends the wait); the others are dropped.
void ReceiveRtpLoop(RtpReceiveSide& side, const std::atomic<bool>& running);

// The RTCP thread: whatever arrives is discarded, so the port never fills up.
void DrainRtcpLoop(RtpReceiveSide& side, const std::atomic<bool>& running);

}  // namespace corvel

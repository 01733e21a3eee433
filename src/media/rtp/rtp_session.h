// An RTP session: the RTP socket on the local port and, optionally, an RTCP socket on the next
// port up that is only drained; one receive thread per socket; the destinations that outgoing
// packets go to; and the sender state (SSRC, sequence number, timestamp). Every operation may be
// called from any thread. Results: 0 success, -1 failure (also on a destroyed session).
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "media/rtp/rtp_destination.h"
#include "media/rtp/rtp_destination_list.h"
#include "media/rtp/rtp_packet.h"
#include "media/toolkit/worker_thread.h"

namespace corvel {

struct RtpReceiveSide;

class RtpSession {
 public:
  static constexpr int kReceiveQueueCapacity = 10000;
  static constexpr int kBuildBufferBytes = 4096;

  // ssrc 0 asks for a generated one. With bindAny (or a null localHost) both sockets are bound to
  // the wildcard address, otherwise to localHost. localPort 0 lets the kernel choose the RTP port;
  // RTCP then takes the port above the chosen one. nullptr when a socket cannot be bound (the
  // caller tries other ports), RTCP is asked for on port 65535, or memory is short.
  static std::unique_ptr<RtpSession> Create(uint32_t ssrc, const char* localHost,
                                            uint16_t localPort, bool bindAny, bool withRtcp);

  ~RtpSession();  // Destroy(), then closes the sockets and frees any packets still queued
  RtpSession(const RtpSession&) = delete;
  RtpSession& operator=(const RtpSession&) = delete;

  // Marks the session dead, wakes and stops both receive threads (a receive thread blocked on a
  // full queue included) and any Receive that waits. Returns within a few milliseconds; later
  // operations fail. Idempotent.
  void Destroy();

  // The learning rules of RtpDestinationList::Add.
  int AddDestination(uint32_t ssrc, uint32_t address, uint16_t port);
  // 0 when an entry has this address and port, otherwise -1.
  int FindDestination(uint32_t address, uint16_t port) const;
  int ClearDestinations();
  std::vector<RtpDestination> Destinations() const;  // in list order; empty once destroyed

  // Sends one packet with the session's SSRC, sequence number and timestamp to every destination
  // (success whatever the individual sends gave; -1 when there is none). On success the
  // timestamp advances by timestampStep and the sequence number by 1; on failure neither does.
  // length 0 sends a bare header; a negative length fails.
  int Send(const uint8_t* payload, int length, uint8_t payloadType, uint32_t timestampStep,
           bool marker);

  // As Send; with repeat set the packet carries the previous packet's sequence number and the
  // sequence number does not advance (the timestamp does either way).
  int SendRepeat(const uint8_t* payload, int length, uint8_t payloadType, uint32_t timestampStep,
                 bool marker, bool repeat);

  // As Send, but only to address:port (both non-zero, else -1), succeeding only when the whole
  // datagram was accepted. Timestamp and sequence number advance only with `advance`; without it
  // the packet carries the current values and leaves them to the next packet.
  int SendTo(const uint8_t* payload, int length, uint8_t payloadType, uint32_t timestampStep,
             bool marker, uint32_t address, uint16_t port, bool advance);

  // The oldest received packet, waiting at most timeoutMs (0: not at all; -1: no limit); none
  // when nothing came. On a destroyed session none after a 10 ms pause, so a polling caller does
  // not spin.
  std::optional<RtpPacket> Receive(int timeoutMs);

  bool alive() const;
  uint32_t ssrc() const { return ssrc_; }
  uint16_t sequence() const;   // for the next packet
  uint32_t timestamp() const;  // for the next packet
  uint16_t rtpPort() const;    // as bound
  uint16_t rtcpPort() const;   // as bound; 0 without RTCP
  int pendingCount() const;    // packets received and not yet taken

 private:
  enum class Advance { kBoth, kTimestampOnly, kNone };

  RtpSession(uint32_t ssrc, std::shared_ptr<RtpReceiveSide> receiveSide,
             std::unique_ptr<RtpDestinationList> destinations);

  int SendPacket(const uint8_t* payload, int length, uint8_t payloadType, uint32_t timestampStep,
                 bool marker, bool repeatPrevious, Advance advance, uint32_t address,
                 uint16_t port);
  int Transmit(const RtpPacket& packet);

  const uint32_t ssrc_;
  // The sockets, the receive queue and the alive flag, shared with the receive threads, which
  // keep them as long as they run.
  const std::shared_ptr<RtpReceiveSide> receiveSide_;
  const std::unique_ptr<RtpDestinationList> destinations_;  // locks itself
  std::unique_ptr<WorkerThread> rtpThread_;                 // set in Create, stopped in Destroy
  std::unique_ptr<WorkerThread> rtcpThread_;                // null without RTCP
  std::mutex destroyMutex_;  // serialises Destroy, the only user of the two threads after Create

  // Taken around the whole of each send, so concurrent senders neither reuse a sequence number
  // nor put packets on the wire out of sequence order.
  mutable std::mutex senderMutex_;  // guards sequence_ and timestamp_
  uint16_t sequence_ = 0;
  uint32_t timestamp_ = 0;
};

}  // namespace corvel

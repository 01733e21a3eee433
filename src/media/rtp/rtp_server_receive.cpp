// The receive thread: NAT replies, learning and confirmation of the remote media address, then
// decoding into the player of each source. It sleeps until a packet arrives or Close wakes it.

#include <algorithm>
#include <cstring>

#include "app/window_messages.h"
#include "app/window_poster.h"
#include "media/audio/player_table.h"
#include "media/rtp/rtp_packet.h"
#include "media/rtp/rtp_server.h"
#include "media/rtp/rtp_session.h"
#include "media/toolkit/host_address.h"

namespace corvel {
namespace {

// The payload as the text it carries, up to its first zero byte.
std::string_view PayloadText(const RtpPacket& packet) {
  if (packet.payloadLength <= 0 || packet.payload.empty()) return {};
  const char* text = reinterpret_cast<const char*>(packet.payload.data());
  const std::size_t length = static_cast<std::size_t>(packet.payloadLength);
  return std::string_view(text, std::find(text, text + length, '\0') - text);
}

}  // namespace

void RtpServer::ReceiveLoop(const Media& media, const std::stop_token& stop) {
  MediaDecoder decoder;
  std::vector<int16_t> pcm(kCodecBufferBytes / 2);
  while (active_ && !stop.stop_requested()) {
    // Close destroys the session, which ends this wait at once.
    const std::optional<RtpPacket> packet = media.session->Receive(-1);
    if (!packet) continue;
    ReceivePacket(media, *packet, decoder, pcm);
  }
}

void RtpServer::ReceivePacket(const Media& media, const RtpPacket& packet, MediaDecoder& decoder,
                              std::vector<int16_t>& pcm) {
  RtpSession& session = *media.session;
  // Only packets from the NAT server's address and port count as replies, so no other sender
  // can plant a public address.
  if (packet.payloadType == natPayloadType_ && natQueryPending_ &&
      Ipv4Endpoint{packet.peerAddress, packet.peerPort} == natServer_.load()) {
    const std::string_view text = PayloadText(packet);
    if (!natAddress_.get().known())
      Log("RTP NAT %.*s \n", static_cast<int>(text.size()), text.data());
    HandleNatReply(text);
    return;
  }

  if (natMode_ && receiving_ && !remoteFixed_) {
    const std::string sender = Ipv4ToText(packet.peerAddress);
    if (session.FindDestination(packet.peerAddress, packet.peerPort) == 0) {
      Log("[RTP] Fixed Remote %s:%d\n", sender.c_str(), packet.peerPort);
      remoteFixed_ = true;
    } else {
      if (learnLog_.Admit(static_cast<uint64_t>(packet.peerAddress) << 16 | packet.peerPort) > 0) {
        Log("[RTP] Recv Remote %s:%d\n", sender.c_str(), packet.peerPort);
      }
      session.ClearDestinations();
      session.AddDestination(packet.ssrc, packet.peerAddress, packet.peerPort);
    }
  }

  // Audio is taken only from the remote media address: anyone else's packets would be heard in
  // the call, each sender's as a source of its own.
  if (session.FindDestination(packet.peerAddress, packet.peerPort) != 0) {
    ++strangerPackets_;
    return;
  }
  const std::optional<CodecSlot> codec = codecTable_.get().AudioCodecFor(packet.payloadType);
  if (!codec || packet.payloadLength <= 0) return;
  std::fill(pcm.begin(), pcm.end(), int16_t{0});
  const int decoded = decoder.Decode(*codec, packet.payload.data(), packet.payloadLength,
                                     pcm.data(), static_cast<int>(pcm.size() * sizeof(int16_t)));
  if (decoded <= 0 || !receiving_) return;
  media.players->Play(packet.ssrc, reinterpret_cast<const uint8_t*>(pcm.data()), decoded, 1, 16,
                      8000);
}

void RtpServer::HandleNatReply(std::string_view text) {
  const std::optional<NatAddress> reply = ParseNatReply(text);
  if (!reply || !natQueryPending_) return;
  const bool changed = natAddress_.with([&](NatAddress& current) {
    bool differs = false;
    if (current.host.empty() || current.host != reply->host) {
      current.host = reply->host;
      differs = true;
    }
    if (current.port != reply->port) {
      current.port = reply->port;
      differs = true;
    }
    return differs;
  });
  natQueryPending_ = false;
  if (changed) Log("Set NAT Host:%s Port:%d\n", reply->host.c_str(), reply->port);
  if (owner_ != nullptr) owner_->Post(WM_NAT_READY, 1, 0);
}

}  // namespace corvel

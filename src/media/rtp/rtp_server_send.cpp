// The send thread: NAT upkeep and "Detect" probes on their schedule, then captured frames through
// silence suppression and the encoder onto the wire. It sleeps until the next frame or the next
// probe falls due, and is woken early by anything that changes the schedule.

#include <algorithm>
#include <cstring>
#include <optional>

#include "media/audio/pcm_level.h"
#include "media/rtp/rtp_server.h"
#include "media/rtp/rtp_session.h"
#include "media/toolkit/host_address.h"
#include "media/toolkit/tick.h"

namespace corvel {
namespace {

// Milliseconds until `interval` has passed since `then`; 0 when it has.
int64_t Until(uint32_t then, uint32_t interval, uint32_t now) {
  const uint32_t elapsed = TickSince(then, now);
  return elapsed >= interval ? 0 : static_cast<int64_t>(interval - elapsed);
}

}  // namespace

void RtpServer::SendLoop(const Media& media, const std::stop_token& stop) {
  RtpSession& session = *media.session;
  FrameQueue& queue = *media.captureQueue;
  MediaEncoder encoder;
  std::vector<int16_t> pcm;
  std::vector<uint8_t> payload(kCodecBufferBytes);
  // The last NAT query or probe burst (none yet), and the last successful audio send or probe.
  std::optional<uint32_t> lastQuery;
  uint32_t lastSend = 0;

  while (active_ && !stop.stop_requested()) {
    const uint32_t now = TickCount();
    const NatTiming timing = timing_.get();
    const Ipv4Endpoint server = natServer_.load();
    const bool natUpkeep = server.set() && natMode_;
    const bool addressMissing = !natAddress_.get().known();
    std::optional<int64_t> wait;  // until something below falls due; none: nothing will
    const auto dueIn = [&](int64_t ms) { wait = wait ? std::min(*wait, ms) : ms; };

    if (natUpkeep) {
      if ((!lastQuery || TickSince(*lastQuery, now) >= timing.queryRetryMs) && addressMissing) {
        Log("RTP GetNAT PType:%d [%s:%d]\n", natPayloadType_.load(),
            Ipv4ToText(server.address).c_str(), server.port);
        SendProbe(session, kGetNatProbe, server);
        SendProbe(session, kGetNatProbe, server);
        lastQuery = lastSend = now;
      } else if (TickSince(lastSend, now) >= timing.keepAliveMs) {
        // Pending before the probe leaves: a reply quicker than this thread would be dropped.
        natQueryPending_ = true;
        SendProbe(session, kGetNatProbe, server);
        lastQuery = lastSend = now;
      }
      if (addressMissing) dueIn(Until(*lastQuery, timing.queryRetryMs, now));
      dueIn(Until(lastSend, timing.keepAliveMs, now));
    }

    const Ipv4Endpoint probe = probe_.load();
    if (!remoteFixed_ && sending_ && probe.set()) {
      if (TickSince(lastSend, now) >= timing.detectMs) {
        Log("RTP Detect PType:%d [%s:%d]\n", natPayloadType_.load(),
            Ipv4ToText(probe.address).c_str(), probe.port);
        SendProbe(session, kDetectProbe, probe);
        SendProbe(session, kDetectProbe, probe);
        lastQuery = lastSend = now;
      }
      dueIn(Until(lastSend, timing.detectMs, now));
    }

    const int waitMs = wait ? static_cast<int>(std::min<int64_t>(*wait, INT32_MAX)) : -1;
    std::optional<Frame> frame = queue.Get(waitMs);
    if (!frame || frame->empty() || !sending_) continue;

    const int bytes = static_cast<int>(frame->size());
    const int silence = silenceValue_;
    // A silent frame is not sent, and the timestamp does not move on for it.
    if (silence > 0 && Quiet(frame->data(), bytes, silence)) continue;

    const std::optional<CodecSlot> codec = codecTable_.get().AudioCodecFor(sendPayloadType_);
    if (!codec) continue;
    pcm.assign(static_cast<std::size_t>(bytes + 1) / 2, 0);
    std::memcpy(pcm.data(), frame->data(), static_cast<std::size_t>(bytes));
    std::fill(payload.begin(), payload.end(), uint8_t{0});
    const int encoded =
        encoder.Encode(*codec, pcm.data(), bytes, payload.data(), static_cast<int>(payload.size()));
    if (!sending_ || encoded <= 0) continue;
    if (session.Send(payload.data(), encoded, sendPayloadType_, static_cast<uint32_t>(bytes / 2),
                     false) == 0) {
      lastSend = TickCount();
    }
  }
}

}  // namespace corvel

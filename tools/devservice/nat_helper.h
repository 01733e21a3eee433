// The NAT helper: answers an RTP probe whose payload is "GetNAT" with an RTP packet carrying
// the address and port the probe came from, as "[a.b.c.d:port]".
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "service/service_packet.h"

namespace corvel::devservice {

inline constexpr std::string_view kProbePayload = "GetNAT";
inline constexpr int kDefaultNatType = 120;
inline constexpr std::uint32_t kHelperSsrc = 0x4E415448;  // "NATH"

// kGarbage answers with a text the client must reject, to test that path.
enum class NatMode { kOn, kOff, kGarbage };

struct RtpHeader {
  bool marker = false;
  std::uint8_t payloadType = 0;
  std::uint16_t sequence = 0;
  std::uint32_t timestamp = 0;
  std::uint32_t ssrc = 0;
};

// The probe's header, or why the bytes are not a probe of this payload type.
struct ProbeCheck {
  std::optional<RtpHeader> header;
  std::string reason;
};
ProbeCheck CheckProbe(const std::uint8_t* bytes, std::size_t count, int natType);

// "[a.b.c.d:port]"; in kGarbage mode the same numbers without the brackets and the colon.
std::string NatReplyText(Endpoint from, NatMode mode);

// An RTP packet with the probe's payload type, sequence and timestamp, marker set, the helper's
// own SSRC and text as payload.
std::vector<std::uint8_t> NatReply(const RtpHeader& probe, std::string_view text);

class NatHelper {
 public:
  explicit NatHelper(int natType) : natType_(natType) {}

  struct Answer {
    std::vector<std::uint8_t> reply;  // empty: nothing to send
    std::string note;
  };
  Answer Handle(const std::uint8_t* bytes, std::size_t count, Endpoint from);

  void setMode(NatMode mode) { mode_.store(mode); }
  NatMode mode() const { return mode_.load(); }
  int natType() const { return natType_; }
  std::uint64_t probes() const { return probes_.load(); }

 private:
  const int natType_;
  std::atomic<NatMode> mode_{NatMode::kOn};
  std::atomic<std::uint64_t> probes_{0};
};

}  // namespace corvel::devservice

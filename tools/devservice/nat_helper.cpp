#include "nat_helper.h"

#include "media/toolkit/host_address.h"

namespace corvel::devservice {
namespace {

constexpr std::size_t kRtpHeaderSize = 12;
constexpr std::uint8_t kVersion2 = 0x80;
constexpr std::uint8_t kMarkerBit = 0x80;

std::uint32_t Word(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
         static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}

void PutWord(std::vector<std::uint8_t>& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8)
    out.push_back(static_cast<std::uint8_t>(value >> shift));
}

ProbeCheck NotAProbe(std::string reason) {
  return {std::nullopt, std::move(reason)};
}

}  // namespace

ProbeCheck CheckProbe(const std::uint8_t* bytes, std::size_t count, int natType) {
  if (count < kRtpHeaderSize) return NotAProbe("shorter than an RTP header");
  if ((bytes[0] & 0xC0) != kVersion2) return NotAProbe("not RTP version 2");
  RtpHeader header;
  header.marker = (bytes[1] & kMarkerBit) != 0;
  header.payloadType = bytes[1] & 0x7F;
  header.sequence = static_cast<std::uint16_t>(bytes[2] << 8 | bytes[3]);
  header.timestamp = Word(bytes + 4);
  header.ssrc = Word(bytes + 8);
  if (header.payloadType != natType) {
    return NotAProbe("payload type " + std::to_string(header.payloadType) + ", not " +
                     std::to_string(natType));
  }
  std::size_t start = kRtpHeaderSize + 4 * static_cast<std::size_t>(bytes[0] & 0x0F);
  std::size_t end = count;
  if ((bytes[0] & 0x10) != 0 && start + 4 <= count) {
    start += 4 + 4 * static_cast<std::size_t>(bytes[start + 2] << 8 | bytes[start + 3]);
  }
  if ((bytes[0] & 0x20) != 0) {
    const std::size_t padding = bytes[count - 1];
    end = padding <= count ? count - padding : 0;
  }
  if (start > end) return NotAProbe("RTP header and padding longer than the packet");
  const std::string_view payload(reinterpret_cast<const char*>(bytes + start), end - start);
  if (payload != kProbePayload) return NotAProbe("payload is not GetNAT");
  return {header, {}};
}

std::string NatReplyText(Endpoint from, NatMode mode) {
  const std::string address = Ipv4ToText(from.address);
  const std::string port = std::to_string(from.port);
  if (mode == NatMode::kGarbage) return address + " " + port;
  return "[" + address + ":" + port + "]";
}

std::vector<std::uint8_t> NatReply(const RtpHeader& probe, std::string_view text) {
  std::vector<std::uint8_t> out;
  out.reserve(kRtpHeaderSize + text.size());
  out.push_back(kVersion2);
  out.push_back(static_cast<std::uint8_t>(kMarkerBit | (probe.payloadType & 0x7F)));
  out.push_back(static_cast<std::uint8_t>(probe.sequence >> 8));
  out.push_back(static_cast<std::uint8_t>(probe.sequence));
  PutWord(out, probe.timestamp);
  PutWord(out, kHelperSsrc);
  out.insert(out.end(), text.begin(), text.end());
  return out;
}

NatHelper::Answer NatHelper::Handle(const std::uint8_t* bytes, std::size_t count, Endpoint from) {
  const ProbeCheck check = CheckProbe(bytes, count, natType_);
  if (!check.header) return {{}, "ignored " + std::to_string(count) + " bytes: " + check.reason};
  probes_.fetch_add(1);
  const NatMode current = mode_.load();
  if (current == NatMode::kOff) return {{}, "probe not answered: replies are off"};
  const std::string text = NatReplyText(from, current);
  return {NatReply(*check.header, text), "probe answered " + text};
}

}  // namespace corvel::devservice

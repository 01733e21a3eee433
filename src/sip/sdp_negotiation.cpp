#include "sip/sdp_negotiation.h"

#include <array>

#include "sip/ua/sdp_access.h"

namespace corvel {
namespace {

constexpr int kPayloadScanLimit = 100;
constexpr unsigned long kLargestPayloadType = 127;  // seven bits in the RTP header
constexpr unsigned long kLargestPort = 65535;

// The number written as decimal digits alone, when it is at most largest; a sign, a space, a
// letter or a number out of range (which strtoul and atoi would wrap or read as 0) gives none.
std::optional<unsigned long> DecimalAtMost(const char* text, unsigned long largest) {
  if (text == nullptr || *text == '\0') return std::nullopt;
  unsigned long value = 0;
  for (; *text != '\0'; ++text) {
    if (*text < '0' || *text > '9') return std::nullopt;
    value = value * 10 + static_cast<unsigned long>(*text - '0');
    if (value > largest) return std::nullopt;
  }
  return value;
}

struct SdpFormat {
  CodecSlot slot;
  const char* encoding;  // the rtpmap value after the payload type
};

// The order of an offer; an answer tries the audio formats in the same order from AMR on.
constexpr std::array<SdpFormat, kCodecSlots> kFormats = {{
    {CodecSlot::kDtmf, "telephone-event/8000"},
    {CodecSlot::kAmr, "AMR/8000"},
    {CodecSlot::kG729, "G729/8000"},
    {CodecSlot::kPcma, "PCMA/8000"},
    {CodecSlot::kPcmu, "PCMU/8000"},
}};

const char* EncodingOf(CodecSlot slot) {
  for (const SdpFormat& format : kFormats) {
    if (format.slot == slot) return format.encoding;
  }
  return kFormats.back().encoding;
}

class SdpBuilder {
 public:
  SdpBuilder() {
    sdp_message_t* raw = nullptr;
    if (sdp_message_init(&raw) == 0) sdp_.reset(raw);
  }
  bool ok() const { return sdp_ != nullptr; }

  void Session(const SdpSession& session) {
    sdp_message_t* sdp = sdp_.get();
    sdp_message_v_version_set(sdp, ua::OsipCopy("0"));
    sdp_message_o_origin_set(sdp, ua::OsipCopy(session.user), ua::OsipCopy("0"), ua::OsipCopy("0"),
                             ua::OsipCopy("IN"), ua::OsipCopy("IP4"), ua::OsipCopy(session.host));
    sdp_message_s_name_set(sdp, ua::OsipCopy("Sip Call"));
    sdp_message_c_connection_add(sdp, -1, ua::OsipCopy("IN"), ua::OsipCopy("IP4"),
                                 ua::OsipCopy(session.address), nullptr, nullptr);
    sdp_message_t_time_descr_add(sdp, ua::OsipCopy("0"), ua::OsipCopy("0"));
    sdp_message_m_media_add(sdp, ua::OsipCopy("audio"), ua::OsipCopy(std::to_string(session.port)),
                            nullptr, ua::OsipCopy("RTP/AVP"));
  }

  void Add(const SdpFormatChoice& format) {
    sdp_message_t* sdp = sdp_.get();
    const std::string type = std::to_string(format.payloadType);
    sdp_message_m_payload_add(sdp, 0, ua::OsipCopy(type));
    const std::string map = type + " " + EncodingOf(format.slot);
    sdp_message_a_attribute_add(sdp, 0, ua::OsipCopy("rtpmap"), ua::OsipCopy(map));
    if (format.slot == CodecSlot::kDtmf) {
      sdp_message_a_attribute_add(sdp, 0, ua::OsipCopy("fmtp"), ua::OsipCopy(type + " 0-15"));
    }
  }

  std::optional<std::string> Text() {
    sdp_message_a_attribute_add(sdp_.get(), 0, ua::OsipCopy("sendrecv"), nullptr);
    char* text = nullptr;
    if (sdp_message_to_str(sdp_.get(), &text) != 0 || text == nullptr) return std::nullopt;
    const ua::OsipText owned(text);
    return std::string(text);
  }

 private:
  ua::SdpPtr sdp_;
};

}  // namespace

std::vector<int> SdpPayloadList(sdp_message_t* sdp) {
  std::vector<int> list;
  if (sdp == nullptr) return list;
  for (int at = 0; at < kPayloadScanLimit; ++at) {
    const char* payload = sdp_message_m_payload_get(sdp, 0, at);
    if (payload == nullptr) break;
    // An entry that is no payload type cannot be sent in, nor stand for type 0 (PCMU).
    if (const std::optional<unsigned long> type = DecimalAtMost(payload, kLargestPayloadType))
      list.push_back(static_cast<int>(*type));
  }
  return list;
}

std::vector<SdpFormatChoice> OfferFormats(const CodecTable& codecs) {
  std::vector<SdpFormatChoice> formats;
  for (const SdpFormat& format : kFormats) {
    if (codecs.isEnabled(format.slot)) formats.push_back({format.slot, codecs.typeOf(format.slot)});
  }
  return formats;
}

std::vector<SdpFormatChoice> AnswerFormats(const std::vector<int>& offered,
                                           const CodecTable& codecs) {
  std::vector<SdpFormatChoice> formats;
  bool dtmfAdded = false;
  bool audioAdded = false;
  for (const int type : offered) {
    if (codecs.isEnabled(CodecSlot::kDtmf) && type == codecs.typeOf(CodecSlot::kDtmf)) {
      formats.push_back({CodecSlot::kDtmf, type});
      dtmfAdded = true;
      continue;
    }
    const SdpFormat* match = nullptr;
    for (std::size_t at = 1; at < kFormats.size() && match == nullptr; ++at) {
      const CodecSlot slot = kFormats[at].slot;
      if (codecs.isEnabled(slot) && type == codecs.typeOf(slot)) match = &kFormats[at];
    }
    if (match != nullptr) {
      formats.push_back({match->slot, type});
      audioAdded = true;
    } else if (dtmfAdded && audioAdded) {
      break;
    }
  }
  if (!audioAdded) formats.clear();
  return formats;
}

std::optional<std::string> BuildSdpBody(const SdpSession& session,
                                        const std::vector<SdpFormatChoice>& formats) {
  SdpBuilder builder;
  if (!builder.ok()) return std::nullopt;
  builder.Session(session);
  for (const SdpFormatChoice& format : formats)
    builder.Add(format);
  return builder.Text();
}

std::optional<SdpAudioTarget> ReadAudioTarget(const sdp_message_t* sdp) {
  const sdp_media_t* audio = ua::GetAudioMedia(sdp);
  if (audio == nullptr || audio->m_port == nullptr) return std::nullopt;
  const sdp_connection_t* connection = ua::GetAudioConnection(sdp);
  if (connection == nullptr) return std::nullopt;
  // A port out of range or not a number is no place to send to, not one wrapped into range.
  const std::optional<unsigned long> port = DecimalAtMost(audio->m_port, kLargestPort);
  if (!port) return std::nullopt;
  return SdpAudioTarget{connection->c_addr, static_cast<std::uint16_t>(*port)};
}

PayloadMatch MatchPayloads(const std::vector<int>& outer, const std::vector<int>& inner,
                           int dtmfType) {
  PayloadMatch match;
  for (const int type : outer) {
    for (const int candidate : inner) {
      if (candidate != type) continue;
      if (type == dtmfType) {
        match.dtmfMatched = true;
      } else if (!match.audioType) {
        match.audioType = type;
      }
      if (match.dtmfMatched && match.audioType) return match;
    }
  }
  return match;
}

}  // namespace corvel

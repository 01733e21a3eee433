// The SDP offer and answer of a call: the body the endpoint sends, and what it takes from the
// negotiated pair for the RTP server.
#include <array>
#include <cstdlib>
#include <vector>

#include "sip/sip_server.h"
#include "sip/ua/sdp_access.h"

namespace corvel {
namespace {

constexpr int kPayloadScanLimit = 100;

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

// The numbers of the first m= line's payload list, up to the scan limit.
std::vector<int> PayloadList(sdp_message_t* sdp) {
  std::vector<int> list;
  if (sdp == nullptr) return list;
  for (int at = 0; at < kPayloadScanLimit; ++at) {
    const char* payload = sdp_message_m_payload_get(sdp, 0, at);
    if (payload == nullptr) break;
    list.push_back(std::atoi(payload));
  }
  return list;
}

class SdpBuilder {
 public:
  SdpBuilder() {
    sdp_message_t* raw = nullptr;
    if (sdp_message_init(&raw) == 0) sdp_.reset(raw);
  }
  bool ok() const { return sdp_ != nullptr; }

  void Session(const std::string& user, const std::string& host, const std::string& address,
               int port) {
    sdp_message_t* sdp = sdp_.get();
    sdp_message_v_version_set(sdp, ua::OsipCopy("0"));
    sdp_message_o_origin_set(sdp, ua::OsipCopy(user), ua::OsipCopy("0"), ua::OsipCopy("0"),
                             ua::OsipCopy("IN"), ua::OsipCopy("IP4"), ua::OsipCopy(host));
    sdp_message_s_name_set(sdp, ua::OsipCopy("Sip Call"));
    sdp_message_c_connection_add(sdp, -1, ua::OsipCopy("IN"), ua::OsipCopy("IP4"),
                                 ua::OsipCopy(address), nullptr, nullptr);
    sdp_message_t_time_descr_add(sdp, ua::OsipCopy("0"), ua::OsipCopy("0"));
    sdp_message_m_media_add(sdp, ua::OsipCopy("audio"), ua::OsipCopy(std::to_string(port)), nullptr,
                            ua::OsipCopy("RTP/AVP"));
  }

  void Add(const SdpFormat& format, int payloadType) {
    sdp_message_t* sdp = sdp_.get();
    sdp_message_m_payload_add(sdp, 0, ua::OsipCopy(std::to_string(payloadType)));
    const std::string map = std::to_string(payloadType) + " " + format.encoding;
    sdp_message_a_attribute_add(sdp, 0, ua::OsipCopy("rtpmap"), ua::OsipCopy(map));
    if (format.slot == CodecSlot::kDtmf) {
      sdp_message_a_attribute_add(sdp, 0, ua::OsipCopy("fmtp"),
                                  ua::OsipCopy(Format("%d 0-15", payloadType)));
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

std::optional<std::string> SipServer::MakeSDPMessage(const SipCall& call, bool offerFlag) {
  if (rtpServer_ == nullptr) return std::nullopt;
  const RtpMedia& media = *rtpServer_;
  const bool nat = media.natMode();
  std::string address = media.localHost();
  int port = media.localPort();
  if (nat) {
    const std::string natHost = media.natHost();
    const uint16_t natPort = media.natPort();
    if (natHost.empty() || natPort == 0) {
      Log("[MAKESDP] RTP NAT[%s:%d] Has Not Get\n", natHost.c_str(), natPort);
      return std::nullopt;
    }
    Log("[MAKESDP] RTP Use NAT[%s:%d]\n", natHost.c_str(), natPort);
    address = natHost;
    port = natPort;
  }

  SdpBuilder builder;
  if (!builder.ok()) return std::nullopt;
  const std::string user = userName_.get();
  const std::string host = localHost_.get();
  builder.Session(user.empty() ? "username" : user, host.empty() ? "127.0.0.1" : host, address,
                  port);

  const CodecTable codecs = media.codecTable();
  if (call.outgoing != 0 || offerFlag) {
    for (const SdpFormat& format : kFormats) {
      if (codecs.isEnabled(format.slot)) builder.Add(format, codecs.typeOf(format.slot));
    }
    return builder.Text();
  }

  ua::SdpPtr remote = stack_.GetRemoteSdp(call.did);
  bool dtmfAdded = false;
  bool audioAdded = false;
  for (const int type : PayloadList(remote.get())) {
    if (codecs.isEnabled(CodecSlot::kDtmf) && type == codecs.typeOf(CodecSlot::kDtmf)) {
      builder.Add(kFormats[0], type);
      dtmfAdded = true;
      continue;
    }
    const SdpFormat* match = nullptr;
    for (std::size_t at = 1; at < kFormats.size() && match == nullptr; ++at) {
      const CodecSlot slot = kFormats[at].slot;
      if (codecs.isEnabled(slot) && type == codecs.typeOf(slot)) match = &kFormats[at];
    }
    if (match != nullptr) {
      builder.Add(*match, type);
      audioAdded = true;
    } else if (dtmfAdded && audioAdded) {
      break;
    }
  }
  if (!audioAdded) return std::nullopt;
  return builder.Text();
}

bool SipServer::TakeSDPMessage(const SipCall& call, bool offerFlag) {
  if (rtpServer_ == nullptr) return false;
  ua::SdpPtr remote = stack_.GetRemoteSdp(call.did);
  if (!remote) return false;
  if (sdp_media_t* audio = ua::GetAudioMedia(remote.get())) {
    if (sdp_connection_t* connection = ua::GetAudioConnection(remote.get());
        connection != nullptr && audio->m_port != nullptr) {
      Log("[TAKESDP] SDP Audio Host:%s Port:%s\n", connection->c_addr, audio->m_port);
      rtpServer_->SetRemote(connection->c_addr,
                            static_cast<uint16_t>(std::strtoul(audio->m_port, nullptr, 10)));
    }
  }
  ua::SdpPtr local = stack_.GetLocalSdp(call.did);
  std::vector<int> outer = PayloadList(remote.get());
  std::vector<int> inner = PayloadList(local.get());
  if (call.outgoing == 0 && !offerFlag) std::swap(outer, inner);

  const int dtmfType = rtpServer_->codecTable().typeOf(CodecSlot::kDtmf);
  bool dtmfMatched = false;
  bool audioChosen = false;
  for (const int type : outer) {
    for (const int candidate : inner) {
      if (candidate != type) continue;
      if (type == dtmfType) {
        Log("[TAKESDP] dtmf playload match: %d\n", type);
        dtmfMatched = true;
      } else if (!audioChosen) {
        Log("[TAKESDP] audio playload match: %d\n", type);
        rtpServer_->SetSendPayloadType(static_cast<uint8_t>(type));
        audioChosen = true;
      }
      if (dtmfMatched && audioChosen) break;
    }
    if (dtmfMatched && audioChosen) break;
  }
  if (audioChosen) return true;
  Log("[TAKESDP] audio playload can not match \n");
  return false;
}

}  // namespace corvel

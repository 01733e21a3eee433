// The SDP offer and answer of a call: the body the endpoint sends, and what it takes from the
// negotiated pair for the RTP server. The reading and choosing is in sdp_negotiation.
#include <vector>

#include "sip/sdp_negotiation.h"
#include "sip/sip_server.h"

namespace corvel {

std::optional<std::string> SipServer::MakeSDPMessage(const SipCall& call, bool offerFlag) {
  if (rtpServer_ == nullptr) return std::nullopt;
  const RtpMedia& media = *rtpServer_;
  const bool nat = media.natMode();
  SdpSession session;
  session.address = media.localHost();
  session.port = media.localPort();
  if (nat) {
    const std::string natHost = media.natHost();
    const uint16_t natPort = media.natPort();
    if (natHost.empty() || natPort == 0) {
      Log("[MAKESDP] RTP NAT[%s:%d] Has Not Get\n", natHost.c_str(), natPort);
      return std::nullopt;
    }
    Log("[MAKESDP] RTP Use NAT[%s:%d]\n", natHost.c_str(), natPort);
    session.address = natHost;
    session.port = natPort;
  }
  const std::string user = userName_.get();
  const std::string host = localHost_.get();
  session.user = user.empty() ? "username" : user;
  session.host = host.empty() ? "127.0.0.1" : host;

  const CodecTable codecs = media.codecTable();
  if (call.outgoing != 0 || offerFlag) return BuildSdpBody(session, OfferFormats(codecs));

  ua::SdpPtr remote = stack_.GetRemoteSdp(call.did);
  const std::vector<SdpFormatChoice> answer = AnswerFormats(SdpPayloadList(remote.get()), codecs);
  if (answer.empty()) return std::nullopt;
  return BuildSdpBody(session, answer);
}

bool SipServer::TakeSDPMessage(const SipCall& call, bool offerFlag) {
  if (rtpServer_ == nullptr) return false;
  ua::SdpPtr remote = stack_.GetRemoteSdp(call.did);
  if (!remote) return false;
  if (const std::optional<SdpAudioTarget> target = ReadAudioTarget(remote.get())) {
    Log("[TAKESDP] SDP Audio Host:%s Port:%u\n", target->host.c_str(),
        static_cast<unsigned>(target->port));
    rtpServer_->SetRemote(target->host.c_str(), target->port);
  }
  ua::SdpPtr local = stack_.GetLocalSdp(call.did);
  std::vector<int> outer = SdpPayloadList(remote.get());
  std::vector<int> inner = SdpPayloadList(local.get());
  if (call.outgoing == 0 && !offerFlag) std::swap(outer, inner);

  const int dtmfType = rtpServer_->codecTable().typeOf(CodecSlot::kDtmf);
  const PayloadMatch match = MatchPayloads(outer, inner, dtmfType);
  if (match.dtmfMatched) Log("[TAKESDP] dtmf playload match: %d\n", dtmfType);
  if (match.audioType) {
    Log("[TAKESDP] audio playload match: %d\n", *match.audioType);
    rtpServer_->SetSendPayloadType(static_cast<uint8_t>(*match.audioType));
    return true;
  }
  Log("[TAKESDP] audio playload can not match \n");
  return false;
}

}  // namespace corvel

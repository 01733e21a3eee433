#include "sip/ua/sdp_access.h"

#include <cstring>
#include <string>

#include "sip/ua/core.h"
#include "sip/ua/message_util.h"
#include "sip/ua/user_agent.h"

namespace corvel::ua {

SdpPtr ParseSdpBody(const osip_message_t* message) {
  const char* body = BodyText(message);
  if (body == nullptr) return nullptr;
  return ParseSdpText(body);
}

SdpPtr ParseSdpText(std::string_view text) {
  // osip's SDP parser reads past the terminating NUL of a body whose last line ends in a lone
  // line feed (libosip2 5.3); the NULs after it keep that read inside the copy.
  constexpr std::size_t kParserOverreach = 8;
  std::string copy(text.substr(0, text.find('\0')));
  copy.append(kParserOverreach, '\0');
  sdp_message_t* raw = nullptr;
  if (sdp_message_init(&raw) != 0) return nullptr;
  SdpPtr sdp(raw);
  if (sdp_message_parse(raw, copy.c_str()) != 0) return nullptr;
  return sdp;
}

sdp_media_t* GetAudioMedia(const sdp_message_t* sdp) {
  if (sdp == nullptr) return nullptr;
  for (int at = 0; !osip_list_eol(&sdp->m_medias, at); ++at) {
    auto* media = static_cast<sdp_media_t*>(osip_list_get(&sdp->m_medias, at));
    if (media != nullptr && media->m_media != nullptr &&
        std::strcmp(media->m_media, "audio") == 0) {
      return media;
    }
  }
  return nullptr;
}

sdp_connection_t* GetAudioConnection(const sdp_message_t* sdp) {
  sdp_media_t* media = GetAudioMedia(sdp);
  if (media == nullptr) return nullptr;
  auto* own = static_cast<sdp_connection_t*>(osip_list_get(&media->c_connections, 0));
  if (own != nullptr && own->c_addr != nullptr) return own;
  if (sdp->c_connection != nullptr && sdp->c_connection->c_addr != nullptr)
    return sdp->c_connection;
  return nullptr;
}

SdpPtr UserAgent::GetRemoteSdp(int did) {
  try {
    const std::lock_guard<std::recursive_mutex> guard(core_->lock);
    const DialogEntry* dialog = core_->FindDialog(did);
    const CallEntry* call = dialog != nullptr ? core_->FindCall(dialog->cid) : nullptr;
    if (call == nullptr) return nullptr;
    if (call->outgoing) {
      // The answer to our offer: the 2xx, or before it a provisional response with a body.
      SdpPtr sdp = ParseSdpBody(call->answer.get());
      return sdp ? std::move(sdp) : ParseSdpBody(call->provisional.get());
    }
    // The offer of the INVITE, or of the ACK when the INVITE came without one.
    SdpPtr sdp = ParseSdpBody(call->invite.get());
    return sdp ? std::move(sdp) : ParseSdpBody(call->ack.get());
  } catch (...) {
    return nullptr;
  }
}

SdpPtr UserAgent::GetLocalSdp(int did) {
  try {
    const std::lock_guard<std::recursive_mutex> guard(core_->lock);
    const DialogEntry* dialog = core_->FindDialog(did);
    const CallEntry* call = dialog != nullptr ? core_->FindCall(dialog->cid) : nullptr;
    if (call == nullptr) return nullptr;
    return ParseSdpBody(call->outgoing ? call->invite.get() : call->answer.get());
  } catch (...) {
    return nullptr;
  }
}

}  // namespace corvel::ua

// Reading the audio part of an SDP body, as the call operations need it.
#pragma once

#include <string_view>

#include "sip/ua/osip_types.h"

namespace corvel::ua {

// The SDP of a message's first body; null when there is none or it does not parse.
SdpPtr ParseSdpBody(const osip_message_t* message);

// SDP text as osip reads it, up to its first NUL; null when it does not parse.
SdpPtr ParseSdpText(std::string_view text);

// The first "audio" media of sdp; null when there is none.
sdp_media_t* GetAudioMedia(const sdp_message_t* sdp);

// The connection of the first audio media: its own c= line, else the session's; null when
// there is neither.
sdp_connection_t* GetAudioConnection(const sdp_message_t* sdp);

}  // namespace corvel::ua

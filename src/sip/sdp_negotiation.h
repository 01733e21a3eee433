// The SDP side of a call without the endpoint around it: the formats an offer or an answer
// names, the body that carries them, and what a received body gives the RTP server (where to
// send, which payload type). Pure functions of their arguments, so they can be checked alone.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "media/rtp/rtp_server_codec.h"
#include "sip/ua/osip_types.h"

namespace corvel {

// One format of an m= line: the codec and the payload type it goes by.
struct SdpFormatChoice {
  CodecSlot slot = CodecSlot::kPcmu;
  int payloadType = 0;
  friend bool operator==(const SdpFormatChoice&, const SdpFormatChoice&) = default;
};

// The payload types of the first m= line's list, from its first 100 entries: entries that are
// not a decimal number from 0 to 127 are left out. None for a null body.
std::vector<int> SdpPayloadList(sdp_message_t* sdp);

// Every enabled format of the table, in the order of an offer (telephone events first, then AMR,
// G.729, PCMA, PCMU).
std::vector<SdpFormatChoice> OfferFormats(const CodecTable& codecs);

// The formats an answer to an offer of these payload types names: the offered types that are
// enabled formats of the table, in the offer's order, stopping at the first type that matches
// nothing once a telephone event and an audio format are in. Empty when no audio format matches.
std::vector<SdpFormatChoice> AnswerFormats(const std::vector<int>& offered,
                                           const CodecTable& codecs);

// The session of a body the endpoint sends.
struct SdpSession {
  std::string user;
  std::string host;     // the o= line's address
  std::string address;  // the c= line's: where the audio is to go
  int port = 0;
};

// The SDP text for the session and formats; none when osip cannot build or print it.
std::optional<std::string> BuildSdpBody(const SdpSession& session,
                                        const std::vector<SdpFormatChoice>& formats);

// Where a received body wants its audio: the host of the audio media's connection (its own c=
// line, else the session's) and the m= line's port.
struct SdpAudioTarget {
  std::string host;
  std::uint16_t port = 0;
};

// None without an audio media, a connection address or a port of decimal digits up to 65535.
std::optional<SdpAudioTarget> ReadAudioTarget(const sdp_message_t* sdp);

// The payload types two bodies have in common, outer's order first: the first audio type (any
// type but dtmfType) and whether the telephone-event type is among them.
struct PayloadMatch {
  std::optional<int> audioType;
  bool dtmfMatched = false;
};
PayloadMatch MatchPayloads(const std::vector<int>& outer, const std::vector<int>& inner,
                           int dtmfType);

}  // namespace corvel

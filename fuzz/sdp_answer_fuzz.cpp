// A received SDP body, as the other side of a call sends it: read the way a call reads it for
// the RTP server, once as the offer of an incoming call (what our answer names, and what the
// call then sends) and once as the answer to our offer (which format the call sends in). Under
// a few codec tables, every payload type the call would send must be one the body names, one
// our side named too, and one an RTP header can carry; an answer we build must read back as the
// formats chosen; the audio target must be the body's own connection address and m= port.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "sip/sdp_negotiation.h"
#include "sip/ua/sdp_access.h"

using corvel::CodecSlot;
using corvel::CodecTable;
using corvel::SdpFormatChoice;

namespace {

constexpr int kLargestPayloadType = 127;  // seven bits in the RTP header
constexpr unsigned long kLargestPort = 65535;

CodecTable Table(bool dtmf, bool amr, bool g729, bool pcma, bool pcmu, std::uint8_t dtmfType) {
  CodecTable table;
  table.set(CodecSlot::kDtmf, dtmf, dtmfType);
  table.set(CodecSlot::kAmr, amr, 98);
  table.set(CodecSlot::kG729, g729, 18);
  table.set(CodecSlot::kPcma, pcma, 8);
  table.set(CodecSlot::kPcmu, pcmu, 0);
  return table;
}

// The configuration's defaults, everything on, and a single format with another event type.
const CodecTable kTables[] = {
    Table(true, false, true, true, true, 101),
    Table(true, true, true, true, true, 101),
    Table(true, false, false, true, false, 96),
};

const corvel::SdpSession kOurSession{"fuzz", "192.0.2.1", "192.0.2.10", 40000};

corvel::ua::SdpPtr Parse(const std::string& text) {
  return corvel::ua::ParseSdpText(text);
}

bool Contains(const std::vector<int>& list, int value) {
  for (const int entry : list) {
    if (entry == value) return true;
  }
  return false;
}

bool IsDecimal(const char* text) {
  if (*text == '\0') return false;
  for (; *text != '\0'; ++text) {
    if (*text < '0' || *text > '9') return false;
  }
  return true;
}

// Whether the first m= line lists this payload type written as that number (leading zeros
// allowed).
bool NamesPayloadType(sdp_message_t* sdp, int type) {
  const std::string text = std::to_string(type);
  for (int at = 0;; ++at) {
    const char* payload = sdp_message_m_payload_get(sdp, 0, at);
    if (payload == nullptr) return false;
    if (!IsDecimal(payload)) continue;
    while (payload[0] == '0' && payload[1] != '\0')
      ++payload;
    if (text == payload) return true;
  }
}

void CheckAudioTarget(const sdp_message_t* sdp) {
  const std::optional<corvel::SdpAudioTarget> target = corvel::ReadAudioTarget(sdp);
  const sdp_media_t* audio = corvel::ua::GetAudioMedia(sdp);
  const sdp_connection_t* connection = corvel::ua::GetAudioConnection(sdp);
  // The port the call sends to is the one written, never a number wrapped into range.
  const bool usable = audio != nullptr && audio->m_port != nullptr && connection != nullptr &&
                      IsDecimal(audio->m_port) &&
                      std::strtoul(audio->m_port, nullptr, 10) <= kLargestPort;
  FUZZ_REQUIRE(target.has_value() == usable);
  if (!target) return;
  FUZZ_REQUIRE(target->host == connection->c_addr);
  FUZZ_REQUIRE(std::strtoul(audio->m_port, nullptr, 10) == target->port);
}

// The body as the offer of an incoming call: our answer and what the call sends then.
void CheckAnswer(sdp_message_t* offer, const std::vector<int>& offered, const CodecTable& table) {
  const std::vector<SdpFormatChoice> answer = corvel::AnswerFormats(offered, table);
  bool audio = false;
  for (const SdpFormatChoice& format : answer) {
    FUZZ_REQUIRE(table.isEnabled(format.slot) && table.typeOf(format.slot) == format.payloadType);
    FUZZ_REQUIRE(NamesPayloadType(offer, format.payloadType));
    audio = audio || format.slot != CodecSlot::kDtmf;
  }
  FUZZ_REQUIRE(answer.empty() || audio);
  if (answer.empty()) return;

  const std::optional<std::string> text = corvel::BuildSdpBody(kOurSession, answer);
  FUZZ_REQUIRE(text.has_value());
  const corvel::ua::SdpPtr built = Parse(*text);
  FUZZ_REQUIRE(built != nullptr);
  std::vector<int> answered = corvel::SdpPayloadList(built.get());
  std::vector<int> chosen;
  for (const SdpFormatChoice& format : answer)
    chosen.push_back(format.payloadType);
  FUZZ_REQUIRE(answered == chosen);
  const std::optional<corvel::SdpAudioTarget> ours = corvel::ReadAudioTarget(built.get());
  FUZZ_REQUIRE(ours && ours->host == kOurSession.address && ours->port == kOurSession.port);

  // Once acknowledged, the call sends the first audio format of our answer.
  const int dtmfType = table.typeOf(CodecSlot::kDtmf);
  const corvel::PayloadMatch match = corvel::MatchPayloads(answered, offered, dtmfType);
  std::optional<int> firstAudio;
  bool dtmf = false;
  for (const SdpFormatChoice& format : answer) {
    if (format.slot == CodecSlot::kDtmf) {
      dtmf = true;
    } else if (!firstAudio) {
      firstAudio = format.payloadType;
    }
  }
  FUZZ_REQUIRE(match.audioType == firstAudio && match.dtmfMatched == dtmf);
}

// The body as the answer to our offer of an outgoing call: which format the call sends.
void CheckOffer(sdp_message_t* answer, const std::vector<int>& answered, const CodecTable& table) {
  const std::optional<std::string> text =
      corvel::BuildSdpBody(kOurSession, corvel::OfferFormats(table));
  FUZZ_REQUIRE(text.has_value());
  const corvel::ua::SdpPtr built = Parse(*text);
  FUZZ_REQUIRE(built != nullptr);
  const std::vector<int> offered = corvel::SdpPayloadList(built.get());
  const int dtmfType = table.typeOf(CodecSlot::kDtmf);
  const corvel::PayloadMatch match = corvel::MatchPayloads(answered, offered, dtmfType);
  if (!match.audioType) return;
  const int type = *match.audioType;
  FUZZ_REQUIRE(type != dtmfType && type >= 0 && type <= kLargestPayloadType);
  FUZZ_REQUIRE(Contains(offered, type) && NamesPayloadType(answer, type));
  // The answer's order decides: no earlier audio type of it is one we offered.
  for (const int earlier : answered) {
    if (earlier == type) break;
    FUZZ_REQUIRE(earlier == dtmfType || !Contains(offered, earlier));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string body(reinterpret_cast<const char*>(data), size);
  const corvel::ua::SdpPtr sdp = Parse(body);
  if (sdp == nullptr) return 0;
  const std::vector<int> payloads = corvel::SdpPayloadList(sdp.get());
  FUZZ_REQUIRE(payloads.size() <= 100);
  for (const int type : payloads)
    FUZZ_REQUIRE(type >= 0 && type <= kLargestPayloadType && NamesPayloadType(sdp.get(), type));
  CheckAudioTarget(sdp.get());
  for (const CodecTable& table : kTables) {
    CheckAnswer(sdp.get(), payloads, table);
    CheckOffer(sdp.get(), payloads, table);
  }
  return 0;
}

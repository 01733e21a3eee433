// The handlers of the call events, run by the event thread with the stack lock held.
#include <strings.h>
#include <cstdlib>

#include "media/toolkit/tick.h"
#include "sip/sdp_negotiation.h"
#include "sip/sip_message_fields.h"
#include "sip/sip_server.h"
#include "sip/ua/sdp_access.h"

namespace corvel {
namespace {

// What every handler reads of its message.
struct Parties {
  std::string from;
  std::string to;
  CallId callId;
};

// The checks common to the handlers, each failure logged with the handler's tag.
std::optional<Parties> ReadParties(SipServer& server, const osip_message_t* message,
                                   const char* tag) {
  if (message == nullptr) {
    server.Log("[%s] request sip message is empty\n", tag);
    return std::nullopt;
  }
  std::optional<CallId> callId = CallIdOf(message);
  if (!callId) {
    server.Log("[%s] request sip message call_id is empty\n", tag);
    return std::nullopt;
  }
  std::optional<std::string> from = UserOf(message->from);
  std::optional<std::string> to = UserOf(message->to);
  if (!from || !to) {
    server.Log("[%s] request sip message furl or turl is empty\n", tag);
    return std::nullopt;
  }
  return Parties{*from, *to, *callId};
}

SipCall ProbeFor(const Parties& parties, const ua::Event& event, uint32_t timeout) {
  SipCall probe;
  probe.CallName = parties.from;
  probe.callId = parties.callId;
  probe.timeout = timeout;
  probe.startTick = TickCount();
  probe.tid = event.tid;
  probe.cid = event.cid;
  probe.did = event.did;
  return probe;
}

SipCall ProbeByCallId(const CallId& callId) {
  SipCall probe;
  probe.callId = callId;
  return probe;
}

// Why an INVITE's offer cannot be taken: 415 for a body that is not SDP, 488 for an SDP that
// does not parse, names no audio format of ours or says nowhere to send the audio; 0 when it
// can (or when there is no body: the offer then comes with the ACK).
int OfferFault(const osip_message_t* invite, const CodecTable* codecs) {
  if (osip_list_size(&invite->bodies) <= 0) return 0;
  const osip_content_type_t* type = invite->content_type;
  if (type == nullptr || type->type == nullptr || type->subtype == nullptr ||
      strcasecmp(type->type, "application") != 0 || strcasecmp(type->subtype, "sdp") != 0) {
    return 415;
  }
  ua::SdpPtr offer = ua::ParseSdpBody(invite);
  if (!offer || !ReadAudioTarget(offer.get())) return 488;
  if (codecs != nullptr && AnswerFormats(SdpPayloadList(offer.get()), *codecs).empty()) return 488;
  return 0;
}

bool IsFailure(const ua::Event& event) {
  const int status = event.response ? event.response->status_code : 0;
  return event.type == ua::EXOSIP_CALL_REQUESTFAILURE || status >= 400 ||
         event.type == ua::EXOSIP_CALL_SERVERFAILURE || event.type == ua::EXOSIP_CALL_GLOBALFAILURE;
}

}  // namespace

void SipServer::ProcInvite(const ua::Event& event) {
  const osip_message_t* invite = event.request.get();
  std::optional<Parties> parties = ReadParties(*this, invite, "PROCINVITE");
  if (!parties) {
    // Only a request that got that far has a transaction worth an answer.
    if (invite != nullptr && CallIdOf(invite)) AnswerCode(event.tid, 400);
    return;
  }
  Log("[PROCINVITE] From=%s To=%s Call_ID=%s@%s\n", parties->from.c_str(), parties->to.c_str(),
      parties->callId.number.c_str(), parties->callId.host.c_str());
  // Refused before it rings: the user could answer it but never talk in it.
  const CodecTable codecs = rtpServer_ != nullptr ? rtpServer_->codecTable() : CodecTable();
  if (const int fault = OfferFault(invite, rtpServer_ != nullptr ? &codecs : nullptr); fault != 0) {
    Log("[PROCINVITE] Offer Not Acceptable Code:%d\n", fault);
    AnswerCode(event.tid, fault);
    return;
  }
  SipCall probe = ProbeFor(*parties, event, callTimeout_);
  probe.state = 1;
  probe.outgoing = 0;
  if (std::optional<SipCall> existing = calls_.Find(probe)) {
    Log("[PROCINVITE] Call Have Exist Identify:%u\n", existing->Identify);
    AnswerCode(event.tid, 400);
    return;
  }
  osip_header_t* conference = nullptr;
  osip_message_header_get_byname(invite, "Conference", 0, &conference);
  if (conference != nullptr && conference->hvalue != nullptr) {
    Log("[PROCINVITE] Conference Call %s\n", conference->hvalue);
    probe.conferenceId = static_cast<uint32_t>(std::strtoul(conference->hvalue, nullptr, 10));
  }
  if (calls_.count() != 0 && (probe.conferenceId == 0 || probe.conferenceId != conferenceId_)) {
    Log("[PROCINVITE] Not Support Two Conference OR Two Call\n");
    AnswerCode(event.tid, 400);
    return;
  }
  std::string host = event.sourceHost;
  int port = event.sourcePort;
  if (host.empty()) stack_.GetRequestSource(event.tid, &host, &port);
  if (!host.empty()) probe.route = CallRoute{host, std::to_string(port)};
  probe.Identify = nextIdentify_++;
  if (!calls_.Append(probe)) {
    AnswerCode(event.tid, 500);
    return;
  }
  SipCall call = probe;
  if (Report(call) < 0) {
    Log("[PROCINVITE] Report Failed\n");
    AnswerCode(event.tid, 400);
    Bye(call);
    return;
  }
  AnswerCode(event.tid, 180);
  if (std::optional<SipCall> ringing = calls_.Find(probe)) Report(*ringing);
}

void SipServer::ProcRinging(const ua::Event& event) {
  std::optional<Parties> parties = ReadParties(*this, event.response.get(), "PROCRINGING");
  if (!parties) return;
  Log("[PROCRINGING] From=%s To=%s Call_ID=%s@%s\n", parties->from.c_str(), parties->to.c_str(),
      parties->callId.number.c_str(), parties->callId.host.c_str());
  std::optional<SipCall> call =
      calls_.Update(ProbeByCallId(parties->callId), [&event](SipCall& record) {
        record.tid = event.tid;
        record.cid = event.cid;
        record.did = event.did;
        record.state = 2;
      });
  if (!call) {
    Log("[PROCRINGING] From=%s To=%s Find Not Found\n", parties->from.c_str(), parties->to.c_str());
    return;
  }
  Report(*call);
}

void SipServer::ProcAnswer(const ua::Event& event) {
  std::optional<Parties> parties = ReadParties(*this, event.response.get(), "PROCANSWER");
  if (!parties) return;
  const int status = event.response->status_code;
  Log("[PROCANSWER] From=%s To=%s Call_ID=%s@%s Code=%d\n", parties->from.c_str(),
      parties->to.c_str(), parties->callId.number.c_str(), parties->callId.host.c_str(), status);
  const SipCall probe = ProbeByCallId(parties->callId);
  if (!calls_.Find(probe)) {
    Log("[PROCANSWER] From=%s To=%s Find Not Found\n", parties->from.c_str(), parties->to.c_str());
    return;
  }
  if (IsFailure(event)) {
    Log("[PROCANSWER] From=%s To=%s REQUESTFAILURE Code:%d\n", parties->from.c_str(),
        parties->to.c_str(), status);
    std::optional<SipCall> call = calls_.Update(probe, [status](SipCall& record) {
      record.failed = 1;
      if (status == 404) record.reason = 1;
      if (status == 406) record.reason = 2;
      if (status == 486) record.reason = 3;
    });
    if (call) Bye(*call);
    return;
  }
  std::optional<SipCall> call = calls_.Update(probe, [&event](SipCall& record) {
    record.tid = event.tid;
    record.cid = event.cid;
    record.did = event.did;
  });
  if (!call) return;
  if (!Ack(*call)) {
    Log("[PROCANSWER] From=%s To=%s Ack Failed\n", parties->from.c_str(), parties->to.c_str());
    return;
  }
  call = calls_.Update(probe, [](SipCall& record) { record.state = 5; });
  if (!call) return;
  if (TakeSDPMessage(*call, true)) {
    Report(*call);
    return;
  }
  Log("[PROCANSWER] TakeSDPMessage Failed\n");
  Bye(*call);
}

void SipServer::ProcAck(const ua::Event& event) {
  std::optional<Parties> parties = ReadParties(*this, event.ack.get(), "PROCACK");
  if (!parties) return;
  Log("[PROCACK] From=%s To=%s Call_ID=%s@%s\n", parties->from.c_str(), parties->to.c_str(),
      parties->callId.number.c_str(), parties->callId.host.c_str());
  std::optional<SipCall> call =
      calls_.Update(ProbeByCallId(parties->callId), [&event](SipCall& record) {
        record.tid = event.tid;
        record.cid = event.cid;
        record.did = event.did;
        record.state = 5;
        record.outgoing = 0;
      });
  if (!call) {
    Log("[PROCACK] From=%s To=%s Find Not Found\n", parties->from.c_str(), parties->to.c_str());
    return;
  }
  if (TakeSDPMessage(*call, false)) {
    Report(*call);
    return;
  }
  Log("[PROCACK] TakeSDPMessage Failed\n");
  Bye(*call);
}

void SipServer::ProcBye(const ua::Event& event) {
  std::optional<Parties> parties = ReadParties(*this, event.request.get(), "PROCBYE");
  if (!parties) return;
  Log("[PROCBYE] From=%s To=%s Call_ID=%s@%s\n", parties->from.c_str(), parties->to.c_str(),
      parties->callId.number.c_str(), parties->callId.host.c_str());
  std::optional<SipCall> call = calls_.FindAndRemove(ProbeByCallId(parties->callId));
  if (!call) return;
  call->failed = 1;
  call->state = -1;
  Report(*call);
  EndMediaWhenIdle();
}

void SipServer::ProcRelease(const ua::Event& event) {
  if (event.cid == 0) return;
  SipCall probe;
  probe.cid = event.cid;
  std::optional<SipCall> call = calls_.FindAndRemove(probe);
  if (!call) return;
  Log("[PROCRELEASE] CallName:%s Identify:%u released\n", call->CallName.c_str(), call->Identify);
  call->state = -1;
  Report(*call);
  EndMediaWhenIdle();
}

void SipServer::ProcMessage(const ua::Event& event) {
  const osip_message_t* request = event.request.get();
  std::optional<CallId> callId = CallIdOf(request);
  if (request == nullptr || !MSG_IS_REQUEST(request) || !callId) return;
  // Anyone can send these: their lines come only with the throttled event line.
  const bool log = strangerLineAdmitted_;
  if (log)
    Log("[PROCMESSAGE] %s %s@%s\n", request->sip_method, callId->number.c_str(),
        callId->host.c_str());
  std::optional<std::string> from = UserOf(request->from);
  std::optional<std::string> to = UserOf(request->to);
  const bool hasFrom = request->from != nullptr && request->from->url != nullptr;
  const bool hasTo = request->to != nullptr && request->to->url != nullptr;
  if (!hasFrom || !hasTo) {
    if (log)
      Log("[PROCMESSAGE] from url:%u to url:%u failed\n", hasFrom ? 1u : 0u, hasTo ? 1u : 0u);
    return;
  }
  if (log) Log("[PROCMESSAGE] from:%s to:%s\n", from ? from->c_str() : "", to ? to->c_str() : "");
  if (std::string(request->sip_method) != "BYE") return;
  // The core found this BYE in none of its dialogs (wrong or missing tags) and answered 481; a
  // call the core still holds is protected by its dialog, so only a record the core has already
  // let go of is ended by it.
  // A BYE of no call of the table changes nothing (and would only add lines to a flood).
  SipCall probe;
  probe.callId = callId;
  std::optional<SipCall> call = calls_.Find(probe);
  if (!call) return;
  if (call->cid > 0 && stack_.CallAlive(call->cid)) {
    if (log) Log("[PROCMESSAGE] BYE outside the dialog of Identify:%u ignored\n", call->Identify);
    return;
  }
  Log("[PROCMESSAGE] Change To ProcBye Function\n");
  ProcBye(event);
}

}  // namespace corvel

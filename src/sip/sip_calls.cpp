// The call operations of the SIP endpoint: placing, answering, acknowledging and ending calls.
#include <cstring>

#include "media/toolkit/tick.h"
#include "sip/sip_message_fields.h"
#include "sip/sip_server.h"

namespace corvel {
namespace {

constexpr const char* kSubject = "SipPhone";
constexpr const char* kSdpType = "application/sdp";

const char* TextOrNull(const std::optional<std::string>& text) {
  return text ? text->c_str() : "(null)";
}

// Puts the SDP text into message as its body; the log line that names a failure.
const char* SetSdpBody(osip_message_t* message, const std::string& sdp) {
  if (osip_message_set_body(message, sdp.c_str(), sdp.size()) != 0) return "body";
  if (osip_message_set_content_type(message, kSdpType) != 0) return "type";
  return nullptr;
}

}  // namespace

int SipServer::Report(SipCall& call) {
  if (!report_) return 0;
  const int result = report_(call);
  // The window decides at the connected report whether the service hears of the call; the
  // ending report needs the same answer.
  if (call.Identify != 0 && call.state != -1) {
    SipCall probe;
    probe.Identify = call.Identify;
    const uint8_t notify = call.notifyService;
    calls_.Update(probe, [notify](SipCall& record) { record.notifyService = notify; });
  }
  return result;
}

std::optional<SipCall> SipServer::FindCall(uint32_t Identify) const {
  SipCall probe;
  probe.Identify = Identify;
  return Identify != 0 ? calls_.Find(probe) : std::nullopt;
}

std::optional<std::string> SipServer::RouteFor(const SipCall& call) const {
  if (call.route) {
    return Format("<sip:%s@%s:%s;lr>", call.CallName.c_str(), call.route->host.c_str(),
                  call.route->port.c_str());
  }
  const Proxy proxy = proxy_.get();
  if (proxy.host) {
    return Format("<sip:%s@%s:%d;lr>", call.CallName.c_str(), proxy.host->c_str(), proxy.port);
  }
  return std::nullopt;
}

void SipServer::AddRoute(osip_message_t* request, const SipCall& call, const char* tag) {
  const std::optional<std::string> route = RouteFor(call);
  if (!route) return;
  if (osip_message_set_route(request, route->c_str()) == 0) {
    Log("[%s] eXosip_call_build_ack Set Route:%s\n", tag, route->c_str());
  } else {
    Log("[%s] eXosip_call_build_ack Set Route:%s Failed\n", tag, route->c_str());
  }
}

void SipServer::EndMediaWhenIdle() {
  if (calls_.count() != 0) return;
  Log("[PROCBYE] Call Count:0 EndRTPSession\n");
  if (rtpServer_ != nullptr) rtpServer_->EndRTPSession();
}

void SipServer::AnswerCode(int tid, int code) {
  stack_.CallSendAnswer(tid, code, nullptr);
}

bool SipServer::Invite(const char* number, const char* host, uint32_t conference) {
  if (state_ != 1 || number == nullptr) return false;
  SipCall probe;
  probe.outgoing = 1;
  probe.CallName = number;
  if (std::optional<SipCall> existing = calls_.Find(probe)) {
    Log("[INVITE] CallName:%s Have Exist Identify:%u\n", number, existing->Identify);
    return false;
  }
  if (calls_.count() != 0 && conferenceId_ == 0) {
    Log("[INVITE] Can Not Create Two Call\n");
    return false;
  }
  const Proxy proxy = proxy_.get();
  std::string to;
  if (host != nullptr) {
    to = Format("sip:%s@%s", number, host);
  } else if (proxy.host) {
    to = Format("sip:%s@%s:%d", number, proxy.host->c_str(), proxy.port);
  } else {
    Log("[INVITE] Proxy:%s Failed\n", TextOrNull(proxy.host));
    return false;
  }
  const std::string from =
      Format("sip:%s@%s:%d", userName_.get().c_str(), localHost_.get().c_str(), localPort_.load());

  ua::MessagePtr invite;
  const int built =
      stack_.CallBuildInitialInvite(&invite, to.c_str(), from.c_str(), nullptr, kSubject);
  if (built != 0 || !invite) {
    Log("[INVITE] eXosip_call_build_initial_invite ERROR:%d\n", built);
    return false;
  }
  if (conferenceId_ == 0 && conference != 0) conferenceId_ = conference;

  SipCall call;
  call.state = 1;
  call.outgoing = 1;
  call.conferenceId = conferenceId_;
  call.timeout = callTimeout_;
  call.startTick = TickCount();
  call.CallName = number;
  call.callId = CallIdOf(invite.get());
  if (std::optional<SipCall> existing = calls_.Find(call)) {
    Log("[INVITE] Call Have Exist Identify:%u\n", existing->Identify);
    return false;
  }
  call.Identify = nextIdentify_++;
  if (!calls_.Append(call)) return false;
  WakeEventLoop();  // from now on stale calls are looked for

  if (call.conferenceId != 0) {
    const std::string value = Format("%u SIP-Conference", call.conferenceId);
    osip_message_set_header(invite.get(), "Conference", value.c_str());
  }
  const std::optional<std::string> sdp = MakeSDPMessage(call, true);
  const char* failure = nullptr;
  if (!sdp) {
    Log("[INVITE] MakeSDPMessage ERROR\n");
    failure = "sdp";
  } else if (const char* what = SetSdpBody(invite.get(), *sdp)) {
    if (std::strcmp(what, "body") == 0) {
      Log("[INVITE] osip_message_set_content_type ERROR\n");
    } else {
      Log("[INVITE] osip_message_set_content_type ERROR:%d\n", -1);
    }
    failure = what;
  }
  if (failure != nullptr) {
    calls_.FindAndRemove(call);
    return false;
  }

  const int cid = stack_.CallSendInitialInvite(std::move(invite));
  if (cid < 0) {
    Log("[INVITE] eXosip_call_send_initial_invite ERROR:%d\n", cid);
    Bye(call);
    return false;
  }
  std::optional<SipCall> sent = calls_.Update(call, [cid](SipCall& record) {
    record.cid = cid;
    record.state = 1;
  });
  if (sent) Report(*sent);
  Log("[INVITE] Send Invite %s Identify\n", to.c_str());
  return true;
}

bool SipServer::Answer(uint32_t Identify, int code) {
  if (state_ != 1) return false;
  std::optional<SipCall> call = FindCall(Identify);
  if (!call) {
    Log("[ANSWER] Find Call Identify:%u Failed\n", Identify);
    return false;
  }
  Log("[ANSWER] CallName:%s Identify:%u Code:%d\n", call->CallName.c_str(), Identify, code);
  if (code < 200 || code > 299) {
    Log("[ANSWER] tid:%d cid:%d code:%d\n", call->tid, call->cid, code);
    stack_.CallSendAnswer(call->tid, code, nullptr);
    if (code > 399) {
      call = calls_.Update(*call, [](SipCall& record) { record.reason = 4; });
      if (call) Bye(*call);
    }
    return true;
  }

  ua::MessagePtr answer;
  if (stack_.CallBuildAnswer(call->tid, code, &answer) != 0 || !answer) {
    Log("[ANSWER] eXosip_call_build_answe tid:%d Failed\n", call->tid);
    AnswerCode(call->tid, 400);
    Bye(*call);
    return false;
  }
  call = calls_.Update(*call, [](SipCall& record) { record.outgoing = 0; });
  if (!call) return false;
  const std::optional<std::string> sdp = MakeSDPMessage(*call, false);
  bool ready = false;
  if (!sdp) {
    Log("[ANSWER] MakeSDPMessage ID:%d Failed\n", static_cast<int>(Identify));
  } else if (osip_message_set_body(answer.get(), sdp->c_str(), sdp->size()) != 0) {
    Log("[INVITE] osip_message_set_content_type ERROR\n");
  } else if (osip_message_set_content_type(answer.get(), kSdpType) != 0) {
    Log("[ANSWER] osip_message_set_content_type Failed\n");
  } else {
    ready = true;
  }
  if (!ready) {
    AnswerCode(call->tid, 400);
    Bye(*call);
    return false;
  }
  if (stack_.CallSendAnswer(call->tid, code, std::move(answer)) == 0) return true;
  Log("[ANSWER] eXosip_call_send_answer tid:%d Failed\n", call->tid);
  Bye(*call);
  return false;
}

bool SipServer::Ack(SipCall& call) {
  Log("[ACK] CallName:%s Identify:%u\n", call.CallName.c_str(), call.Identify);
  ua::MessagePtr ack;
  if (stack_.CallBuildAck(call.did, &ack) != 0 || !ack) {
    Log("[ACK] eXosip_call_build_ack did:%d Failed\n", call.did);
    Bye(call);
    return false;
  }
  AddRoute(ack.get(), call, "ACK");
  if (stack_.CallSendAck(call.did, std::move(ack)) == 0) return true;
  Log("[ACK] eXosip_call_send_ack did:%d Failed\n", call.did);
  Bye(call);
  return false;
}

bool SipServer::Bye(SipCall& call) {
  Log("[BYE] CallName:%s Identify:%u\n", call.CallName.c_str(), call.Identify);
  if (call.did > 0) {
    ua::MessagePtr bye;
    bool sent = false;
    if (stack_.CallBuildRequest(call.did, "BYE", &bye) == 0 && bye) {
      AddRoute(bye.get(), call, "BYE");
      sent = stack_.CallSendRequest(call.did, std::move(bye)) == 0;
    }
    if (!sent) Log("[BYE] Send Bye Identify:%u Failed\n", call.Identify);
  }
  if (call.cid > 0 || call.did > 0) stack_.CallTerminate(call.cid, call.did);
  call.state = -1;
  Report(call);
  calls_.FindAndRemove(call);
  if (calls_.count() == 0) {
    EndMediaWhenIdle();
    conferenceId_ = 0;
  }
  return true;
}

bool SipServer::HangUp(uint32_t Identify) {
  if (state_ != 1) return false;
  if (Identify != 0) {
    SipCall probe;
    probe.Identify = Identify;
    std::optional<SipCall> call = calls_.FindAndRemove(probe);
    if (!call) return false;
    Bye(*call);
    return true;
  }
  while (std::optional<SipCall> call = calls_.RemoveFirst())
    Bye(*call);
  Log("[PROCBYE] Call Count:0 EndRTPSession\n");
  if (rtpServer_ != nullptr) rtpServer_->EndRTPSession();
  conferenceId_ = 0;
  return true;
}

void SipServer::ReleaseStaleCalls() {
  const uint32_t now = TickCount();
  while (std::optional<SipCall> call = calls_.RemoveFirstWhere(
             [now](const SipCall& record) { return CallIsStale(record, now); })) {
    call->state = -1;
    Bye(*call);
  }
}

}  // namespace corvel

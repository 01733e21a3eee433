// Reports of the INVITE transactions: answers to our INVITE (ICT) and INVITEs received (IST),
// and answers to our requests inside a call.
#include "sip/ua/core.h"
#include "sip/ua/message_util.h"

namespace corvel::ua {
namespace {

const char* FailureText(int status) {
  const char* reason = osip_message_get_reason(status);
  return reason != nullptr ? reason : "Failure";
}

EventType FailureType(int status) {
  if (status < 400) return EXOSIP_CALL_REDIRECTED;
  if (status < 500) return EXOSIP_CALL_REQUESTFAILURE;
  if (status < 600) return EXOSIP_CALL_SERVERFAILURE;
  return EXOSIP_CALL_GLOBALFAILURE;
}

EventType InDialogAnswerType(int status) {
  if (status < 200) return EXOSIP_CALL_MESSAGE_PROCEEDING;
  if (status < 300) return EXOSIP_CALL_MESSAGE_ANSWERED;
  if (status < 400) return EXOSIP_CALL_MESSAGE_REDIRECTED;
  if (status < 500) return EXOSIP_CALL_MESSAGE_REQUESTFAILURE;
  if (status < 600) return EXOSIP_CALL_MESSAGE_SERVERFAILURE;
  return EXOSIP_CALL_MESSAGE_GLOBALFAILURE;
}

// A Require header names extensions the core does not support (RFC 3261 8.2.2.3).
bool RequiresExtension(const osip_message_t* request) {
  osip_header_t* require = nullptr;
  return osip_message_header_get_byname(request, "Require", 0, &require) >= 0 &&
         require != nullptr && require->hvalue != nullptr && require->hvalue[0] != '\0';
}

}  // namespace

void Core::OnInviteProvisional(TransactionEntry& entry, osip_message_t* response) {
  CallEntry* call = FindCall(entry.cid);
  if (call == nullptr) return;
  call->provisionalSeen = true;
  const int status = response->status_code;
  int did = 0;
  if (status > 100 && HasToTag(response)) did = UacDialogFor(*call, response, false);
  if (BodyText(response) != nullptr) call->provisional = CloneMessage(response);
  const int tid = entry.transaction->transactionid;
  const bool ringing = status == 180 || status == 183;
  Emit(ringing ? EXOSIP_CALL_RINGING : EXOSIP_CALL_PROCEEDING, ringing ? "Ringing" : "Proceeding",
       {tid, call->cid, did, 0}, entry.transaction->orig_request, response);
  // RFC 3261 9.1: a CANCEL waits for the first provisional response.
  if (call->cancelPending && !call->cancelSent) SendCancel(*call);
}

void Core::OnInviteAnswered(TransactionEntry& entry, osip_message_t* response) {
  entry.settled = true;
  CallEntry* call = FindCall(entry.cid);
  if (call == nullptr) return;
  call->finalSeen = true;
  const int did = UacDialogFor(*call, response, true);
  call->answer = CloneMessage(response);
  const int tid = entry.transaction->transactionid;
  Emit(EXOSIP_CALL_ANSWERED, "Call answered", {tid, call->cid, did, 0},
       entry.transaction->orig_request, response);
  DialogEntry* dialog = FindDialog(did);
  if (call->terminating && dialog != nullptr) {
    // Answered after the application let the call go: acknowledge and end it at once.
    SendAck(*dialog, NewAck(*dialog));
    SendBye(*dialog);
  }
}

void Core::OnInviteFailed(TransactionEntry& entry, osip_message_t* response) {
  entry.settled = true;
  CallEntry* call = FindCall(entry.cid);
  if (call == nullptr) return;
  call->finalSeen = true;
  int did = 0;
  for (auto& [id, dialog] : dialogs) {
    if (dialog.cid != call->cid || dialog.uas) continue;
    if (dialog.dialog && osip_dialog_match_as_uac(dialog.dialog.get(), response) == 0) did = id;
    dialog.closed = true;
  }
  const int status = response->status_code;
  Emit(FailureType(status), FailureText(status),
       {entry.transaction->transactionid, call->cid, did, 0}, entry.transaction->orig_request,
       response);
}

void Core::OnInviteTimeout(TransactionEntry& entry) {
  entry.settled = true;
  CallEntry* call = FindCall(entry.cid);
  if (call == nullptr) return;
  for (auto& [id, dialog] : dialogs) {
    if (dialog.cid == call->cid) dialog.closed = true;
  }
  Emit(EXOSIP_CALL_NOANSWER, "No answer", {entry.transaction->transactionid, call->cid, 0, 0},
       entry.transaction->orig_request);
}

void Core::OnInviteReceived(TransactionEntry& entry, osip_message_t* invite) {
  const int tid = entry.transaction->transactionid;
  if (HasToTag(invite)) {
    DialogEntry* dialog = MatchDialogForRequest(invite);
    if (dialog == nullptr || dialog->closed) {
      Respond(tid, 481);
      return;
    }
    // A re-INVITE: reported, and declined so that the session stays as it is (RFC 3261 14.2).
    entry.cid = dialog->cid;
    entry.did = dialog->did;
    EmitForRequest(EXOSIP_CALL_REINVITE, "Re-INVITE received", entry, tid, invite);
    Respond(tid, 488);
    return;
  }
  if (RequiresExtension(invite)) {
    Respond(tid, 420);
    return;
  }
  CallEntry call;
  call.cid = ++nextCid;
  call.outgoing = false;
  call.inviteTid = tid;
  call.invite = CloneMessage(invite);
  call.localTag = NewTag();
  // The UAS dialog exists from the start, so that the INVITE's event carries its did; it takes
  // its route set and our tag from a response skeleton (RFC 3261 12.1.1).
  MessagePtr skeleton = NewResponse(invite, 180, call.localTag.c_str());
  osip_dialog_t* raw = nullptr;
  if (!call.invite || !skeleton || osip_dialog_init_as_uas(&raw, invite, skeleton.get()) != 0 ||
      raw == nullptr) {
    Respond(tid, 500);
    return;
  }
  DialogPtr dialog(raw);
  const int cid = call.cid;
  calls[cid] = std::move(call);
  const int did = AddDialog(cid, true, std::move(dialog), CseqNumber(invite));
  entry.cid = cid;
  entry.did = did;
  if (send101) Respond(tid, 101);
  EmitForRequest(EXOSIP_CALL_INVITE, "New call received", entry, tid, invite);
}

void Core::OnInviteAnswerSent(TransactionEntry& entry, osip_message_t* response) {
  entry.settled = true;
  CallEntry* call = FindCall(entry.cid);
  DialogEntry* dialog = FindDialog(entry.did);
  if (call == nullptr || dialog == nullptr || !dialog->dialog) return;
  call->finalSeen = true;
  call->answer = CloneMessage(response);
  osip_dialog_set_state(dialog->dialog.get(), DIALOG_CONFIRMED);
  // The server transaction is over once the 2xx is out; the 2xx is the core's to repeat until
  // the ACK comes (RFC 3261 13.3.1.4).
  osip_start_200ok_retransmissions(osip.get(), dialog->dialog.get(), response, -1);
  dialog->ackPending = true;
  dialog->ackDeadline = Clock::now() + ackWait;
}

void Core::OnInviteRejectSent(TransactionEntry& entry, osip_message_t*) {
  entry.settled = true;
  CallEntry* call = FindCall(entry.cid);
  if (call == nullptr || call->inviteTid != entry.transaction->transactionid) return;
  call->finalSeen = true;
  if (DialogEntry* dialog = FindDialog(entry.did)) dialog->closed = true;
}

void Core::OnInDialogAnswer(TransactionEntry& entry, osip_message_t* response) {
  const int status = response->status_code;
  if (status >= 200) entry.settled = true;
  if (entry.purpose != Purpose::kInDialog) return;  // BYE and CANCEL answers are not reported
  DialogEntry* dialog = FindDialog(entry.did);
  // RFC 3261 12.2.1.2: 481 and 408 end the dialog.
  if (dialog != nullptr && (status == 481 || status == 408)) CloseDialog(*dialog);
  Emit(InDialogAnswerType(status), FailureText(status),
       {entry.transaction->transactionid, entry.cid, entry.did, 0}, entry.transaction->orig_request,
       response);
}

void Core::SendCancel(CallEntry& call) {
  TransactionEntry* invite = FindTransaction(call.inviteTid);
  if (invite == nullptr || invite->dead || invite->settled) return;
  MessagePtr cancel = NewCancel(invite->transaction->orig_request);
  if (!cancel) return;
  call.cancelPending = false;
  call.cancelSent = true;
  StartClientTransaction(std::move(cancel), Purpose::kCancel, call.cid, 0, 0);
}

}  // namespace corvel::ua

// Received requests other than INVITE and ACK: BYE and other requests inside a dialog, CANCEL,
// and requests outside any dialog, with the answers the core gives itself.
#include <cstring>

#include "sip/ua/core.h"
#include "sip/ua/message_util.h"

namespace corvel::ua {
namespace {

// What the core answers to a request inside a dialog that it does not act on.
int InDialogStatus(const std::string& method) {
  return method == "OPTIONS" || method == "INFO" ? 200 : 405;
}

// What the core answers to a request outside any dialog (other than INVITE): OPTIONS is a
// probe, a BYE there matches no call (RFC 3261 15.1.2), anything else is not served here.
int OutOfDialogStatus(const std::string& method) {
  if (method == "OPTIONS") return 200;
  if (method == "BYE") return 481;
  return 405;
}

}  // namespace

void Core::OnRequestReceived(TransactionEntry& entry, osip_message_t* request) {
  const std::string method = MethodOf(request);
  const int tid = entry.transaction->transactionid;
  if (method == "CANCEL") {
    OnCancelReceived(entry, request);
    return;
  }
  if (!HasToTag(request)) {
    EmitForRequest(EXOSIP_MESSAGE_NEW, "Request outside any dialog", entry, tid, request);
    Respond(tid, OutOfDialogStatus(method));
    return;
  }
  DialogEntry* dialog = MatchDialogForRequest(request);
  if (dialog == nullptr) {
    Respond(tid, 481);
    EmitForRequest(EXOSIP_MESSAGE_NEW, "Request outside any dialog", entry, tid, request);
    return;
  }
  entry.cid = dialog->cid;
  entry.did = dialog->did;
  if (method != "BYE") {
    EmitForRequest(EXOSIP_CALL_MESSAGE_NEW, "Request inside a call", entry, tid, request);
    Respond(tid, InDialogStatus(method));
    return;
  }
  const bool wasOpen = !dialog->closed;
  Respond(tid, 200);
  if (!wasOpen) return;  // both sides sent BYE
  CloseDialog(*dialog);
  if (CallEntry* call = FindCall(dialog->cid)) {
    // An INVITE of this call still unanswered is over as well (RFC 3261 15.1.2).
    TransactionEntry* invite = FindTransaction(call->inviteTid);
    if (invite != nullptr && !invite->dead && !invite->settled &&
        invite->purpose == Purpose::kInviteServer) {
      Respond(call->inviteTid, 487);
    }
  }
  EmitForRequest(EXOSIP_CALL_CLOSED, "Call closed", entry, tid, request);
}

void Core::OnCancelReceived(TransactionEntry& entry, osip_message_t* cancel) {
  const int tid = entry.transaction->transactionid;
  const std::string branch = TopBranch(cancel);
  TransactionEntry* invite = nullptr;
  int inviteTid = 0;
  for (auto& [id, candidate] : transactions) {
    if (candidate.purpose != Purpose::kInviteServer || candidate.dead) continue;
    const osip_message_t* request = candidate.transaction->orig_request;
    if (request == nullptr || !SameCallId(request, cancel)) continue;
    if (!branch.empty() && TopBranch(request) == branch) {
      invite = &candidate;
      inviteTid = id;
      break;
    }
  }
  if (invite == nullptr) {
    Respond(tid, 481);
    return;
  }
  entry.cid = invite->cid;
  entry.did = invite->did;
  Respond(tid, 200);
  if (invite->settled) return;  // already answered: the CANCEL changes nothing
  Respond(inviteTid, 487);
  if (CallEntry* call = FindCall(invite->cid)) call->terminating = true;
  Emit(EXOSIP_CALL_CANCELLED, "Call cancelled", {inviteTid, invite->cid, invite->did, 0},
       invite->transaction->orig_request, nullptr, nullptr, entry.sourceHost, entry.sourcePort);
}

}  // namespace corvel::ua

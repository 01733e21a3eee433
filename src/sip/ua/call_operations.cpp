// The call operations of the core's interface: INVITE, answers, ACK, requests inside a call,
// termination.
#include <cstring>

#include "sip/ua/core.h"
#include "sip/ua/message_util.h"
#include "sip/ua/user_agent.h"

namespace corvel::ua {
namespace {

bool HasText(const char* text) {
  return text != nullptr && text[0] != '\0';
}

}  // namespace

int UserAgent::CallBuildInitialInvite(MessagePtr* invite, const char* to, const char* from,
                                      const char* route, const char* subject) {
  try {
    const std::lock_guard<std::recursive_mutex> guard(core_->lock);
    if (!core_->osip) return OSIP_API_NOT_INITIALIZED;
    if (invite == nullptr || !HasText(to) || !HasText(from)) return OSIP_BADPARAMETER;
    MessagePtr message =
        core_->NewRequest("INVITE", to, from, core_->NewTag(), to, core_->NewCallId(), 20);
    if (!message) return OSIP_BADPARAMETER;
    osip_message_t* m = message.get();
    if (HasText(route) && osip_message_set_route(m, route) != 0) return OSIP_BADPARAMETER;
    osip_message_set_contact(m, core_->ContactFor(m->from->url).c_str());
    if (HasText(subject)) osip_message_set_header(m, "Subject", subject);
    osip_message_set_allow(m, "INVITE, ACK, CANCEL, BYE, OPTIONS, INFO");
    *invite = std::move(message);
    return OSIP_SUCCESS;
  } catch (...) {
    return OSIP_NOMEM;
  }
}

int UserAgent::CallSendInitialInvite(MessagePtr invite) {
  try {
    const std::lock_guard<std::recursive_mutex> guard(core_->lock);
    if (!core_->osip) return OSIP_API_NOT_INITIALIZED;
    if (!invite || !IsRequest(invite.get(), "INVITE")) return OSIP_BADPARAMETER;
    if (core_->calls.size() >= kMaxCalls) return OSIP_NOMEM;
    CallEntry call;
    call.cid = core_->nextCid + 1;
    call.outgoing = true;
    call.invite = CloneMessage(invite.get());
    if (!call.invite) return OSIP_NOMEM;
    const int cid = call.cid;
    core_->calls[cid] = std::move(call);
    const int tid =
        core_->StartClientTransaction(std::move(invite), Purpose::kInviteClient, cid, 0, 0);
    if (tid < 0) {
      core_->calls.erase(cid);
      return tid;
    }
    ++core_->nextCid;
    core_->calls[cid].inviteTid = tid;
    return cid;
  } catch (...) {
    return OSIP_NOMEM;
  }
}

int UserAgent::CallBuildAnswer(int tid, int status, MessagePtr* answer) {
  try {
    const std::lock_guard<std::recursive_mutex> guard(core_->lock);
    return core_->BuildAnswerFor(tid, status, answer);
  } catch (...) {
    return OSIP_NOMEM;
  }
}

int UserAgent::CallSendAnswer(int tid, int status, MessagePtr answer) {
  try {
    const std::lock_guard<std::recursive_mutex> guard(core_->lock);
    if (!answer) {
      const int built = core_->BuildAnswerFor(tid, status, &answer);
      if (built != OSIP_SUCCESS) return built;
    }
    return core_->RespondInTransaction(tid, std::move(answer));
  } catch (...) {
    return OSIP_NOMEM;
  }
}

int UserAgent::CallBuildAck(int did, MessagePtr* ack) {
  try {
    const std::lock_guard<std::recursive_mutex> guard(core_->lock);
    if (ack == nullptr) return OSIP_BADPARAMETER;
    DialogEntry* dialog = core_->FindDialog(did);
    if (dialog == nullptr) return OSIP_NOTFOUND;
    const CallEntry* call = core_->FindCall(dialog->cid);
    // Only the caller acknowledges, and only a 2xx (the transaction ACKs failures itself).
    if (dialog->uas || call == nullptr || !call->answer ||
        dialog->dialog->state != DIALOG_CONFIRMED) {
      return OSIP_WRONG_STATE;
    }
    MessagePtr built = core_->NewAck(*dialog);
    if (!built) return OSIP_NOMEM;
    *ack = std::move(built);
    return OSIP_SUCCESS;
  } catch (...) {
    return OSIP_NOMEM;
  }
}

int UserAgent::CallSendAck(int did, MessagePtr ack) {
  try {
    const std::lock_guard<std::recursive_mutex> guard(core_->lock);
    DialogEntry* dialog = core_->FindDialog(did);
    if (dialog == nullptr) return OSIP_NOTFOUND;
    if (!ack || !IsRequest(ack.get(), "ACK")) return OSIP_BADPARAMETER;
    return core_->SendAck(*dialog, std::move(ack));
  } catch (...) {
    return OSIP_NOMEM;
  }
}

int UserAgent::CallBuildRequest(int did, const char* method, MessagePtr* request) {
  try {
    const std::lock_guard<std::recursive_mutex> guard(core_->lock);
    if (request == nullptr || !HasText(method)) return OSIP_BADPARAMETER;
    const std::string name = method;
    if (name == "INVITE" || name == "ACK" || name == "CANCEL") return OSIP_BADPARAMETER;
    DialogEntry* dialog = core_->FindDialog(did);
    if (dialog == nullptr) return OSIP_NOTFOUND;
    if (dialog->closed) return OSIP_WRONG_STATE;
    // An early dialog is ended by CANCEL (caller) or a final answer (callee), never by BYE: the
    // INVITE would go on ringing (RFC 3261 9.1, 15).
    if (name == "BYE" && (!dialog->dialog || dialog->dialog->state != DIALOG_CONFIRMED)) {
      return OSIP_WRONG_STATE;
    }
    MessagePtr built = core_->NewInDialogRequest(*dialog, name);
    if (!built) return OSIP_NOMEM;
    *request = std::move(built);
    return OSIP_SUCCESS;
  } catch (...) {
    return OSIP_NOMEM;
  }
}

int UserAgent::CallSendRequest(int did, MessagePtr request) {
  try {
    const std::lock_guard<std::recursive_mutex> guard(core_->lock);
    DialogEntry* dialog = core_->FindDialog(did);
    if (dialog == nullptr) return OSIP_NOTFOUND;
    if (!request || !MSG_IS_REQUEST(request.get())) return OSIP_BADPARAMETER;
    if (dialog->closed) return OSIP_WRONG_STATE;
    const bool bye = IsRequest(request.get(), "BYE");
    if (bye) core_->CloseDialog(*dialog);
    const int tid = core_->StartClientTransaction(
        std::move(request), bye ? Purpose::kBye : Purpose::kInDialog, dialog->cid, did, 0);
    return tid > 0 ? OSIP_SUCCESS : tid;
  } catch (...) {
    return OSIP_NOMEM;
  }
}

int UserAgent::CallTerminate(int cid, int did) {
  try {
    const std::lock_guard<std::recursive_mutex> guard(core_->lock);
    if (cid <= 0 && did <= 0) return OSIP_BADPARAMETER;
    if (cid <= 0) {
      const DialogEntry* dialog = core_->FindDialog(did);
      if (dialog == nullptr) return OSIP_NOTFOUND;
      cid = dialog->cid;
    }
    CallEntry* call = core_->FindCall(cid);
    if (call == nullptr) return OSIP_NOTFOUND;
    call->terminating = true;
    TransactionEntry* invite = core_->FindTransaction(call->inviteTid);
    const bool inviteOpen = invite != nullptr && !invite->dead && !invite->settled;
    if (inviteOpen && call->outgoing) {
      if (call->provisionalSeen) {
        core_->SendCancel(*call);
      } else {
        call->cancelPending = true;  // sent with the first provisional response
      }
      return OSIP_SUCCESS;
    }
    if (inviteOpen) return core_->Respond(call->inviteTid, 603);
    for (auto& [id, dialog] : core_->dialogs) {
      if (dialog.cid != cid || dialog.closed || (did > 0 && id != did)) continue;
      if (!dialog.dialog || dialog.dialog->state != DIALOG_CONFIRMED) continue;
      if (dialog.uas && dialog.ackPending) {
        // RFC 3261 15: the callee waits for the ACK (or its time-out) before its BYE.
        dialog.byeOnAck = true;
      } else {
        core_->SendBye(dialog);
      }
    }
    // With nothing left to end (a BYE already went) this is no error for the caller.
    return OSIP_SUCCESS;
  } catch (...) {
    return OSIP_NOMEM;
  }
}

bool UserAgent::GetRequestSource(int tid, std::string* host, int* port) {
  try {
    const std::lock_guard<std::recursive_mutex> guard(core_->lock);
    const TransactionEntry* entry = core_->FindTransaction(tid);
    if (entry == nullptr || entry->sourceHost.empty() || host == nullptr || port == nullptr) {
      return false;
    }
    *host = entry->sourceHost;
    *port = entry->sourcePort;
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace corvel::ua

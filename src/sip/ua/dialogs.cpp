// The core's dialogs: made as UAC from responses with a To tag and as UAS when an INVITE
// arrives, matched for every request and 2xx, closed by BYE, and the 2xx-until-ACK timer.
#include "sip/ua/core.h"
#include "sip/ua/message_util.h"

namespace corvel::ua {

CallEntry* Core::FindCall(int cid) {
  const auto it = calls.find(cid);
  return it == calls.end() ? nullptr : &it->second;
}

DialogEntry* Core::FindDialog(int did) {
  const auto it = dialogs.find(did);
  return it == dialogs.end() ? nullptr : &it->second;
}

DialogEntry* Core::DialogOf(const osip_dialog_t* dialog) {
  if (dialog == nullptr) return nullptr;
  for (auto& [did, entry] : dialogs) {
    if (entry.dialog.get() == dialog) return &entry;
  }
  return nullptr;
}

DialogEntry* Core::MatchDialogForRequest(const osip_message_t* request) {
  if (!HasToTag(request)) return nullptr;
  auto* message = const_cast<osip_message_t*>(request);
  for (auto& [did, entry] : dialogs) {
    if (entry.dialog && osip_dialog_match_as_uas(entry.dialog.get(), message) == 0) return &entry;
  }
  return nullptr;
}

int Core::AddDialog(int cid, bool uas, DialogPtr dialog, int inviteCseq) {
  const int did = ++nextDid;
  DialogEntry entry;
  entry.did = did;
  entry.cid = cid;
  entry.uas = uas;
  entry.dialog = std::move(dialog);
  entry.inviteCseq = inviteCseq;
  dialogs[did] = std::move(entry);
  if (CallEntry* call = FindCall(cid)) call->lastDid = did;
  return did;
}

void Core::CloseDialog(DialogEntry& dialog) {
  dialog.closed = true;
  dialog.ackPending = false;
  dialog.byeOnAck = false;
  if (dialog.dialog) osip_stop_retransmissions_from_dialog(osip.get(), dialog.dialog.get());
}

int Core::UacDialogFor(CallEntry& call, osip_message_t* response, bool confirm) {
  for (auto& [did, entry] : dialogs) {
    if (entry.cid != call.cid || entry.uas || !entry.dialog) continue;
    if (osip_dialog_match_as_uac(entry.dialog.get(), response) != 0) continue;
    if (confirm && entry.dialog->state != DIALOG_CONFIRMED) {
      // The 2xx fixes the route set and remote target (RFC 3261 12.1.2, 13.2.2.4).
      osip_dialog_update_route_set_as_uac(entry.dialog.get(), response);
      osip_dialog_update_tag_as_uac(entry.dialog.get(), response);
      osip_dialog_set_state(entry.dialog.get(), DIALOG_CONFIRMED);
    }
    return did;
  }
  osip_dialog_t* raw = nullptr;
  if (osip_dialog_init_as_uac(&raw, response) != 0 || raw == nullptr) return 0;
  osip_dialog_set_state(raw, confirm ? DIALOG_CONFIRMED : DIALOG_EARLY);
  return AddDialog(call.cid, false, DialogPtr(raw), CseqNumber(call.invite.get()));
}

void Core::RunDialogTimers(Clock::time_point now) {
  for (auto& [did, dialog] : dialogs) {
    if (!dialog.ackPending || now < dialog.ackDeadline) continue;
    // RFC 3261 13.3.1.4: no ACK within 64*T1 - the session ends.
    dialog.ackPending = false;
    dialog.byeOnAck = false;
    SendBye(dialog);
  }
}

int Core::SendBye(DialogEntry& dialog) {
  if (dialog.closed) return OSIP_WRONG_STATE;
  MessagePtr bye = NewInDialogRequest(dialog, "BYE");
  if (!bye) return OSIP_NOMEM;
  CloseDialog(dialog);
  const int tid = StartClientTransaction(std::move(bye), Purpose::kBye, dialog.cid, dialog.did, 0);
  return tid > 0 ? OSIP_SUCCESS : tid;
}

int Core::SendAck(DialogEntry& dialog, MessagePtr ack) {
  if (!ack) return OSIP_BADPARAMETER;
  std::string host;
  int port = 0;
  if (!NextHop(ack.get(), &host, &port)) return OSIP_BADPARAMETER;
  const int sent = SendMessage(ack.get(), host, port);
  dialog.lastAck = std::move(ack);
  return sent == 0 ? OSIP_SUCCESS : OSIP_UNDEFINED_ERROR;
}

}  // namespace corvel::ua

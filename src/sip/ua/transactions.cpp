// osip2's transactions: the callbacks that route its reports to the core's handlers, the send
// callback, and the creation of client transactions and of answers in server transactions.
#include <cstring>

#include "sip/ua/core.h"
#include "sip/ua/message_util.h"

namespace corvel::ua {
namespace {

// The core whose state machines this thread is running: osip's 2xx retransmission sends carry no
// transaction, so the send callback cannot find its core otherwise.
thread_local Core* tRunningCore = nullptr;

Core* CoreOf(osip_transaction_t* transaction) {
  if (transaction != nullptr && transaction->config != nullptr) {
    return static_cast<Core*>(
        osip_get_application_context(static_cast<osip_t*>(transaction->config)));
  }
  return tRunningCore;
}

bool IsFinalSent(int type) {
  switch (type) {
    case OSIP_NIST_STATUS_2XX_SENT:
    case OSIP_NIST_STATUS_3XX_SENT:
    case OSIP_NIST_STATUS_4XX_SENT:
    case OSIP_NIST_STATUS_5XX_SENT:
    case OSIP_NIST_STATUS_6XX_SENT:
      return true;
    default:
      return false;
  }
}

void Dispatch(Core& core, int type, TransactionEntry& entry, osip_message_t* message) {
  switch (type) {
    case OSIP_ICT_STATUS_1XX_RECEIVED:
      core.OnInviteProvisional(entry, message);
      return;
    case OSIP_ICT_STATUS_2XX_RECEIVED:
      core.OnInviteAnswered(entry, message);
      return;
    case OSIP_ICT_STATUS_3XX_RECEIVED:
    case OSIP_ICT_STATUS_4XX_RECEIVED:
    case OSIP_ICT_STATUS_5XX_RECEIVED:
    case OSIP_ICT_STATUS_6XX_RECEIVED:
      core.OnInviteFailed(entry, message);
      return;
    case OSIP_ICT_STATUS_TIMEOUT:
      core.OnInviteTimeout(entry);
      return;
    case OSIP_IST_INVITE_RECEIVED:
      core.OnInviteReceived(entry, message);
      return;
    case OSIP_IST_STATUS_2XX_SENT:
      core.OnInviteAnswerSent(entry, message);
      return;
    case OSIP_IST_STATUS_3XX_SENT:
    case OSIP_IST_STATUS_4XX_SENT:
    case OSIP_IST_STATUS_5XX_SENT:
    case OSIP_IST_STATUS_6XX_SENT:
      core.OnInviteRejectSent(entry, message);
      return;
    case OSIP_NICT_STATUS_1XX_RECEIVED:
    case OSIP_NICT_STATUS_2XX_RECEIVED:
    case OSIP_NICT_STATUS_3XX_RECEIVED:
    case OSIP_NICT_STATUS_4XX_RECEIVED:
    case OSIP_NICT_STATUS_5XX_RECEIVED:
    case OSIP_NICT_STATUS_6XX_RECEIVED:
      if (entry.purpose == Purpose::kRegister) {
        core.OnRegisterAnswer(entry, message);
      } else {
        core.OnInDialogAnswer(entry, message);
      }
      return;
    case OSIP_NICT_STATUS_TIMEOUT:
      if (entry.purpose == Purpose::kRegister) {
        core.OnRegisterEnded(entry, false);
      } else {
        entry.settled = true;
      }
      return;
    case OSIP_NIST_REGISTER_RECEIVED:
    case OSIP_NIST_BYE_RECEIVED:
    case OSIP_NIST_OPTIONS_RECEIVED:
    case OSIP_NIST_INFO_RECEIVED:
    case OSIP_NIST_CANCEL_RECEIVED:
    case OSIP_NIST_NOTIFY_RECEIVED:
    case OSIP_NIST_SUBSCRIBE_RECEIVED:
    case OSIP_NIST_UNKNOWN_REQUEST_RECEIVED:
      core.OnRequestReceived(entry, message);
      return;
    default:
      if (IsFinalSent(type)) entry.settled = true;
      return;
  }
}

// The callbacks are entered from osip's C code: nothing may be thrown through it.
void MessageCallback(int type, osip_transaction_t* transaction, osip_message_t* message) {
  Core* core = CoreOf(transaction);
  if (core == nullptr) return;
  try {
    TransactionEntry* entry = core->EntryOf(transaction);
    if (entry == nullptr) return;
    const bool needsMessage = type != OSIP_ICT_STATUS_TIMEOUT && type != OSIP_NICT_STATUS_TIMEOUT;
    if (needsMessage && message == nullptr) return;
    Dispatch(*core, type, *entry, message);
  } catch (...) {
  }
}

void KillCallback(int, osip_transaction_t* transaction) {
  Core* core = CoreOf(transaction);
  if (core == nullptr) return;
  try {
    core->OnKilled(transaction);
  } catch (...) {
  }
}

void TransportErrorCallback(int, osip_transaction_t* transaction, int) {
  Core* core = CoreOf(transaction);
  if (core == nullptr) return;
  try {
    core->OnTransportError(transaction);
  } catch (...) {
  }
}

int SendCallback(osip_transaction_t* transaction, osip_message_t* message, char* host, int port,
                 int) {
  Core* core = CoreOf(transaction);
  if (core == nullptr || message == nullptr || host == nullptr) return -1;
  try {
    return core->SendMessage(message, host, port);
  } catch (...) {
    return -1;
  }
}

}  // namespace

void Core::InstallCallbacks() {
  osip_t* o = osip.get();
  for (int type = 0; type < OSIP_MESSAGE_CALLBACK_COUNT; ++type) {
    osip_set_message_callback(o, type, MessageCallback);
  }
  for (int type = 0; type < OSIP_KILL_CALLBACK_COUNT; ++type) {
    osip_set_kill_transaction_callback(o, type, KillCallback);
  }
  for (int type = 0; type < OSIP_TRANSPORT_ERROR_CALLBACK_COUNT; ++type) {
    osip_set_transport_error_callback(o, type, TransportErrorCallback);
  }
  osip_set_cb_send_message(o, SendCallback);
}

void Core::RunStateMachines() {
  osip_t* o = osip.get();
  if (o == nullptr) return;
  Core* const previous = tRunningCore;
  tRunningCore = this;
  // Events that handlers queue (an answer, a CANCEL) run in the second round.
  for (int round = 0; round < 2; ++round) {
    osip_ict_execute(o);
    osip_ist_execute(o);
    osip_nict_execute(o);
    osip_nist_execute(o);
    osip_timers_ict_execute(o);
    osip_timers_ist_execute(o);
    osip_timers_nict_execute(o);
    osip_timers_nist_execute(o);
    osip_retransmissions_execute(o);
  }
  tRunningCore = previous;
}

int Core::SendMessage(osip_message_t* message, const std::string& host, int port) {
  if (!transport) return -1;
  const std::string text = MessageText(message);
  if (text.empty()) return -1;
  return transport->SendTo(text, host, port) > 0 ? 0 : -1;
}

TransactionEntry* Core::FindTransaction(int tid) {
  const auto it = transactions.find(tid);
  return it == transactions.end() ? nullptr : &it->second;
}

TransactionEntry* Core::EntryOf(osip_transaction_t* transaction) {
  if (transaction == nullptr) return nullptr;
  TransactionEntry* entry = FindTransaction(transaction->transactionid);
  if (entry == nullptr || entry->transaction.get() != transaction) return nullptr;
  return entry;
}

void Core::OnKilled(osip_transaction_t* transaction) {
  // Taken out of osip's lists now, freed after the pass (never inside osip's own loop).
  osip_remove_transaction(osip.get(), transaction);
  TransactionEntry* entry = EntryOf(transaction);
  if (entry != nullptr) entry->dead = true;
}

void Core::OnTransportError(osip_transaction_t* transaction) {
  TransactionEntry* entry = EntryOf(transaction);
  if (entry == nullptr) return;
  if (entry->purpose == Purpose::kRegister) OnRegisterEnded(*entry, true);
  entry->settled = true;
}

int Core::StartClientTransaction(MessagePtr request, Purpose purpose, int cid, int did, int rid) {
  if (!osip) return OSIP_API_NOT_INITIALIZED;
  if (!request || !MSG_IS_REQUEST(request.get())) return OSIP_BADPARAMETER;
  if (transactions.size() >= kMaxTransactions) return OSIP_NOMEM;
  std::string host;
  int port = 0;
  if (!NextHop(request.get(), &host, &port)) return OSIP_BADPARAMETER;
  const bool invite = IsRequest(request.get(), "INVITE");
  osip_transaction_t* raw = nullptr;
  if (osip_transaction_init(&raw, invite ? ICT : NICT, osip.get(), request.get()) != 0 ||
      raw == nullptr) {
    return OSIP_UNDEFINED_ERROR;
  }
  TransactionPtr transaction(raw);
  if (invite) {
    osip_ict_set_destination(raw->ict_context, OsipCopy(host), port);
  } else {
    osip_nict_set_destination(raw->nict_context, OsipCopy(host), port);
  }
  osip_event_t* send = osip_new_outgoing_sipmessage(request.get());
  if (send == nullptr) return OSIP_NOMEM;
  request.release();  // now the event's, and the transaction's once it runs
  const int tid = raw->transactionid;
  send->transactionid = tid;
  TransactionEntry entry;
  entry.transaction = std::move(transaction);
  entry.purpose = purpose;
  entry.cid = cid;
  entry.did = did;
  entry.rid = rid;
  transactions[tid] = std::move(entry);
  osip_transaction_add_event(raw, send);
  if (transport) transport->Wake();
  return tid;
}

int Core::RespondInTransaction(int tid, MessagePtr response) {
  TransactionEntry* entry = FindTransaction(tid);
  if (entry == nullptr || entry->dead) return OSIP_NOTFOUND;
  osip_transaction_t* raw = entry->transaction.get();
  if (raw->ctx_type != IST && raw->ctx_type != NIST) return OSIP_BADPARAMETER;
  if (!response || !MSG_IS_RESPONSE(response.get())) return OSIP_BADPARAMETER;
  // One final answer per request; nothing after it.
  if (entry->settled) return OSIP_WRONG_STATE;
  if (response->status_code >= 200) entry->settled = true;
  osip_event_t* send = osip_new_outgoing_sipmessage(response.get());
  if (send == nullptr) return OSIP_NOMEM;
  response.release();
  send->transactionid = tid;
  osip_transaction_add_event(raw, send);
  if (transport) transport->Wake();
  return OSIP_SUCCESS;
}

void Core::RespondStateless(osip_message_t* request, int status) {
  const std::string tag = NewTag();
  MessagePtr response = NewResponse(request, status, HasToTag(request) ? nullptr : tag.c_str());
  if (!response) return;
  char* host = nullptr;
  int port = 0;
  osip_response_get_destination(response.get(), &host, &port);
  const OsipText owned(host);
  if (host != nullptr) SendMessage(response.get(), host, port);
}

}  // namespace corvel::ua

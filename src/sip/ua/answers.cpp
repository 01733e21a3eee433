// Responses to received requests, built for the application (call_build_answer) and for the
// answers the core gives by itself.
#include "sip/ua/core.h"
#include "sip/ua/message_util.h"

namespace corvel::ua {

int Core::BuildAnswerFor(int tid, int status, MessagePtr* answer) {
  if (answer == nullptr || status < 101 || status > 699) return OSIP_BADPARAMETER;
  TransactionEntry* entry = FindTransaction(tid);
  if (entry == nullptr || entry->dead) return OSIP_NOTFOUND;
  osip_transaction_t* transaction = entry->transaction.get();
  if (transaction->ctx_type != IST && transaction->ctx_type != NIST) return OSIP_BADPARAMETER;
  if (entry->settled || transaction->orig_request == nullptr) return OSIP_WRONG_STATE;
  const osip_message_t* request = transaction->orig_request;
  std::string tag;
  if (!HasToTag(request)) {
    const CallEntry* call =
        entry->purpose == Purpose::kInviteServer ? FindCall(entry->cid) : nullptr;
    tag = call != nullptr ? call->localTag : NewTag();
  }
  MessagePtr built = NewResponse(request, status, tag.empty() ? nullptr : tag.c_str());
  if (!built) return OSIP_NOMEM;
  *answer = std::move(built);
  return OSIP_SUCCESS;
}

int Core::Respond(int tid, int status) {
  MessagePtr answer;
  const int built = BuildAnswerFor(tid, status, &answer);
  if (built != OSIP_SUCCESS) return built;
  return RespondInTransaction(tid, std::move(answer));
}

}  // namespace corvel::ua

// Registrations: REGISTER built and refreshed under one Call-ID per address of record and
// registrar, sent through client transactions, and their answers reported with the rid.
#include "sip/ua/core.h"
#include "sip/ua/message_util.h"
#include "sip/ua/user_agent.h"

namespace corvel::ua {
namespace {

bool ParsesAsUri(const char* text) {
  return text != nullptr && text[0] != '\0' && ParseUri(text) != nullptr;
}

}  // namespace

int Core::BuildRegister(RegistrationEntry& registration, int expires, MessagePtr* message) {
  if (message == nullptr || expires < 0) return OSIP_BADPARAMETER;
  if (registration.pendingTid != 0) {
    const TransactionEntry* pending = FindTransaction(registration.pendingTid);
    const bool inProgress = pending != nullptr && !pending->dead && !pending->settled;
    // RFC 3261 10.2: no new REGISTER before the previous one is answered or has timed out. An
    // unregistration may still be built: it is sent directly, outside any transaction.
    if (inProgress && expires != 0) return OSIP_WRONG_STATE;
    if (!inProgress) registration.pendingTid = 0;
  }
  MessagePtr built =
      NewRequest("REGISTER", registration.registrar, registration.from, registration.fromTag,
                 registration.from, registration.callId, registration.cseq + 1);
  if (!built) return OSIP_SYNTAXERROR;
  ++registration.cseq;
  registration.expires = expires;
  const std::string contact =
      registration.contact.empty() ? ContactFor(built->from->url) : registration.contact;
  if (osip_message_set_contact(built.get(), contact.c_str()) != 0) return OSIP_SYNTAXERROR;
  osip_message_set_header(built.get(), "Expires", std::to_string(expires).c_str());
  *message = std::move(built);
  return OSIP_SUCCESS;
}

void Core::OnRegisterAnswer(TransactionEntry& entry, osip_message_t* response) {
  const int status = response->status_code;
  if (status < 200) return;
  entry.settled = true;
  const int tid = entry.transaction->transactionid;
  const auto found = registrations.find(entry.rid);
  if (found == registrations.end()) return;  // removed meanwhile: nobody to tell
  if (found->second.pendingTid == tid) found->second.pendingTid = 0;
  // No credentials are ever added, so a 401/407 challenge is a failure like any other.
  const bool success = status < 300;
  Emit(success ? EXOSIP_REGISTRATION_SUCCESS : EXOSIP_REGISTRATION_FAILURE,
       success ? "Registration succeeded" : "Registration failed", {tid, 0, 0, entry.rid},
       entry.transaction->orig_request, response);
}

void Core::OnRegisterEnded(TransactionEntry& entry, bool transportError) {
  entry.settled = true;
  const auto found = registrations.find(entry.rid);
  if (found == registrations.end()) return;
  const int tid = entry.transaction->transactionid;
  if (found->second.pendingTid == tid) found->second.pendingTid = 0;
  // A registrar that never answers leaves the registration pending (no event); a REGISTER that
  // could not even be sent is a failure.
  if (transportError) {
    Emit(EXOSIP_REGISTRATION_FAILURE, "Registration could not be sent", {tid, 0, 0, entry.rid},
         entry.transaction->orig_request);
  }
}

int UserAgent::RegisterBuildInitialRegister(const char* from, const char* proxy,
                                            const char* contact, int expires, MessagePtr* message) {
  try {
    const std::lock_guard<std::recursive_mutex> guard(core_->lock);
    if (!core_->osip) return OSIP_API_NOT_INITIALIZED;
    if (message == nullptr || !ParsesAsUri(from) || !ParsesAsUri(proxy)) return OSIP_BADPARAMETER;
    const std::string contactText = contact != nullptr ? contact : "";
    for (auto& [rid, registration] : core_->registrations) {
      if (registration.from != from || registration.registrar != proxy) continue;
      registration.contact = contactText;
      const int built = core_->BuildRegister(registration, expires, message);
      return built == OSIP_SUCCESS ? rid : built;
    }
    RegistrationEntry registration;
    registration.rid = core_->nextRid + 1;
    registration.from = from;
    registration.registrar = proxy;
    registration.contact = contactText;
    registration.callId = core_->NewCallId();
    registration.fromTag = core_->NewTag();
    const int built = core_->BuildRegister(registration, expires, message);
    if (built != OSIP_SUCCESS) return built;
    ++core_->nextRid;
    core_->registrations[registration.rid] = registration;
    return registration.rid;
  } catch (...) {
    return OSIP_NOMEM;
  }
}

int UserAgent::RegisterBuildRegister(int rid, int expires, MessagePtr* message) {
  try {
    const std::lock_guard<std::recursive_mutex> guard(core_->lock);
    const auto found = core_->registrations.find(rid);
    if (found == core_->registrations.end()) return OSIP_NOTFOUND;
    return core_->BuildRegister(found->second, expires, message);
  } catch (...) {
    return OSIP_NOMEM;
  }
}

int UserAgent::RegisterSendRegister(int rid, MessagePtr message) {
  try {
    const std::lock_guard<std::recursive_mutex> guard(core_->lock);
    const auto found = core_->registrations.find(rid);
    if (found == core_->registrations.end()) return OSIP_NOTFOUND;
    if (!message || !IsRequest(message.get(), "REGISTER")) return OSIP_BADPARAMETER;
    const int tid =
        core_->StartClientTransaction(std::move(message), Purpose::kRegister, 0, 0, rid);
    if (tid < 0) return tid;
    found->second.pendingTid = tid;
    return OSIP_SUCCESS;
  } catch (...) {
    return OSIP_NOMEM;
  }
}

int UserAgent::RegisterRemove(int rid) {
  try {
    const std::lock_guard<std::recursive_mutex> guard(core_->lock);
    return core_->registrations.erase(rid) == 1 ? OSIP_SUCCESS : OSIP_NOTFOUND;
  } catch (...) {
    return OSIP_NOMEM;
  }
}

}  // namespace corvel::ua

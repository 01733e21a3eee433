// The core's interface: life cycle, lock, options, events, direct sends and the test hooks.
#include "sip/ua/user_agent.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>

#include "sip/ua/core.h"
#include "sip/ua/message_util.h"

namespace corvel::ua {

UserAgent::UserAgent() : core_(std::make_unique<Core>()) {}

UserAgent::~UserAgent() {
  Quit();
}

int UserAgent::Init() {
  try {
    return core_->Init();
  } catch (...) {
    return OSIP_NOMEM;
  }
}

int UserAgent::ListenAddr(int protocol, const char* host, int port, int family, int secure) {
  if (protocol != IPPROTO_UDP || family != AF_INET || secure != 0) return OSIP_BADPARAMETER;
  try {
    return core_->Listen(host != nullptr ? host : "", port);
  } catch (...) {
    return OSIP_NOMEM;
  }
}

void UserAgent::Quit() {
  try {
    core_->Quit();
  } catch (...) {
  }
}

bool UserAgent::initialized() const {
  const std::lock_guard<std::recursive_mutex> guard(core_->lock);
  return core_->osip != nullptr;
}

void UserAgent::Lock() {
  core_->lock.lock();
}

void UserAgent::Unlock() {
  core_->lock.unlock();
}

int UserAgent::SetOption(Option option, int value) {
  const std::lock_guard<std::recursive_mutex> guard(core_->lock);
  switch (option) {
    case Option::kDontSend101:
      core_->send101 = value == 0;
      return OSIP_SUCCESS;
    case Option::kOwnThread:
      if (core_->transport) return OSIP_WRONG_STATE;
      core_->ownThread = value != 0;
      return OSIP_SUCCESS;
    case Option::kLoopbackOnly:
      if (!core_->transport) return OSIP_WRONG_STATE;
      core_->transport->RestrictToLoopback(value != 0);
      return OSIP_SUCCESS;
    case Option::kAckWaitMs:
      if (value <= 0) return OSIP_BADPARAMETER;
      core_->ackWait = std::chrono::milliseconds(value);
      return OSIP_SUCCESS;
  }
  return OSIP_BADPARAMETER;
}

void UserAgent::MasqueradeContact(const char* host, int port) {
  try {
    const std::lock_guard<std::recursive_mutex> guard(core_->lock);
    core_->masqueradeHost = host != nullptr ? host : "";
    core_->masqueradePort = port > 0 && port <= 65535 ? port : 0;
  } catch (...) {
  }
}

void UserAgent::SetUserAgent(const std::string& text) {
  try {
    const std::lock_guard<std::recursive_mutex> guard(core_->lock);
    core_->userAgent = text;
  } catch (...) {
  }
}

void UserAgent::EventWake() {
  core_->events.Wake();
}

EventPtr UserAgent::EventWait(int seconds, int milliseconds) {
  try {
    const long long total = static_cast<long long>(seconds) * 1000 + milliseconds;
    return core_->events.Wait(static_cast<int>(std::clamp<long long>(total, 0, 3600000)));
  } catch (...) {
    return nullptr;
  }
}

int UserAgent::SendDirect(MessagePtr message, const char* host, int port) {
  try {
    const std::lock_guard<std::recursive_mutex> guard(core_->lock);
    if (!core_->transport) return OSIP_API_NOT_INITIALIZED;
    if (!message || host == nullptr) return OSIP_BADPARAMETER;
    const std::string text = MessageText(message.get());
    if (text.empty()) return OSIP_SYNTAXERROR;
    const int sent = core_->transport->SendTo(text, host, port);
    return sent > 0 ? sent : OSIP_UNDEFINED_ERROR;
  } catch (...) {
    return OSIP_NOMEM;
  }
}

void UserAgent::InjectDatagram(const char* bytes, std::size_t length, const char* host, int port) {
  try {
    const std::lock_guard<std::recursive_mutex> guard(core_->lock);
    if (!core_->osip) return;
    core_->OnDatagram(bytes, length, host != nullptr ? host : "127.0.0.1", port);
    core_->RunStateMachines();
    core_->Housekeeping();
  } catch (...) {
  }
}

void UserAgent::RunPass(int waitMs) {
  try {
    UdpTransport* socket = nullptr;
    int timerMs = 0;
    {
      const std::lock_guard<std::recursive_mutex> guard(core_->lock);
      if (core_->ownThread) return;  // the core's thread does the passes
      socket = core_->transport.get();
      timerMs = core_->NextWaitMs();
    }
    if (socket != nullptr) socket->Wait(std::min(std::max(waitMs, 0), timerMs));
    core_->RunPass();
  } catch (...) {
  }
}

std::size_t UserAgent::TransactionCount() {
  const std::lock_guard<std::recursive_mutex> guard(core_->lock);
  std::size_t alive = 0;
  for (const auto& [tid, entry] : core_->transactions)
    alive += entry.dead ? 0 : 1;
  return alive;
}

std::size_t UserAgent::CallCount() {
  const std::lock_guard<std::recursive_mutex> guard(core_->lock);
  return core_->calls.size();
}

bool UserAgent::CallAlive(int cid) {
  const std::lock_guard<std::recursive_mutex> guard(core_->lock);
  return core_->FindCall(cid) != nullptr;
}

std::size_t UserAgent::DialogCount() {
  const std::lock_guard<std::recursive_mutex> guard(core_->lock);
  return core_->dialogs.size();
}

std::size_t UserAgent::RegistrationCount() {
  const std::lock_guard<std::recursive_mutex> guard(core_->lock);
  return core_->registrations.size();
}

std::size_t UserAgent::RejectedDatagrams() {
  const std::lock_guard<std::recursive_mutex> guard(core_->lock);
  return core_->rejectedDatagrams;
}

int UserAgent::listeningPort() {
  const std::lock_guard<std::recursive_mutex> guard(core_->lock);
  return core_->transport ? core_->transport->boundPort() : 0;
}

std::string UserAgent::listeningHost() {
  const std::lock_guard<std::recursive_mutex> guard(core_->lock);
  return core_->transport ? core_->transport->boundHost() : std::string();
}

}  // namespace corvel::ua

#include "sip/ua/core.h"

#include <array>

#ifndef CORVEL_VERSION
#define CORVEL_VERSION "0"
#endif

namespace corvel::ua {
namespace {

// osip_init and osip_release share reference-counted state machine tables inside osip2;
// cores created on several threads must not race on them.
std::mutex& OsipGlobalMutex() {
  static std::mutex mutex;
  return mutex;
}

uint64_t Seed() {
  std::random_device device;
  return (static_cast<uint64_t>(device()) << 32) ^ device();
}

}  // namespace

void OsipReleaser::operator()(osip_t* osip) const {
  const std::lock_guard<std::mutex> guard(OsipGlobalMutex());
  osip_release(osip);
}

Core::Core() : userAgent("Corvel/" CORVEL_VERSION), random(Seed()) {}

Core::~Core() {
  Quit();
}

int Core::Init() {
  const std::lock_guard<std::recursive_mutex> guard(lock);
  if (osip) return OSIP_WRONG_STATE;
  osip_t* raw = nullptr;
  {
    const std::lock_guard<std::mutex> global(OsipGlobalMutex());
    if (osip_init(&raw) != 0 || raw == nullptr) return OSIP_NOMEM;
  }
  osip.reset(raw);
  osip_set_application_context(raw, this);
  InstallCallbacks();
  events.Reopen();
  return OSIP_SUCCESS;
}

int Core::Listen(const std::string& host, int port) {
  {
    const std::lock_guard<std::recursive_mutex> guard(lock);
    if (!osip) return OSIP_API_NOT_INITIALIZED;
    if (transport) return OSIP_WRONG_STATE;
    transport = UdpTransport::Open(host == "0.0.0.0" ? "" : host, port);
    if (!transport) return OSIP_UNDEFINED_ERROR;
  }
  if (ownThread) StartThread();
  return OSIP_SUCCESS;
}

void Core::StartThread() {
  if (thread.joinable()) return;
  running = true;
  try {
    thread = std::thread([this] { ThreadLoop(); });
  } catch (...) {
    running = false;
  }
}

void Core::Quit() {
  running = false;
  {
    const std::lock_guard<std::recursive_mutex> guard(lock);
    if (transport) transport->Wake();
  }
  if (thread.joinable()) thread.join();

  const std::lock_guard<std::recursive_mutex> guard(lock);
  if (!osip) return;
  // What the application queued last (the BYE and CANCEL of a closing sequence) goes out once.
  RunStateMachines();
  // osip's 2xx retransmissions point at dialogs: stop them before the dialogs go.
  for (auto& [did, dialog] : dialogs) {
    if (dialog.dialog) osip_stop_retransmissions_from_dialog(osip.get(), dialog.dialog.get());
  }
  transactions.clear();
  dialogs.clear();
  calls.clear();
  registrations.clear();
  transport.reset();
  osip.reset();
  events.Close();
}

}  // namespace corvel::ua

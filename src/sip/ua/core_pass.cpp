// One pass of the core: what the thread does each time traffic, a timer or new work wakes it.
#include <algorithm>
#include <vector>

#include "sip/ua/core.h"
#include "sip/ua/message_util.h"

namespace corvel::ua {
namespace {

// With nothing pending the thread still looks around this often; every timer that matters
// wakes it earlier.
constexpr int kIdleWaitMs = 30000;

}  // namespace

void Core::ThreadLoop() {
  while (running) {
    int waitMs = 0;
    UdpTransport* socket = nullptr;
    {
      const std::lock_guard<std::recursive_mutex> guard(lock);
      waitMs = NextWaitMs();
      socket = transport.get();  // stays valid until Quit, which joins this thread first
    }
    if (socket == nullptr) break;
    socket->Wait(waitMs);
    if (!running) break;
    RunPass();
  }
}

void Core::RunPass() {
  const std::lock_guard<std::recursive_mutex> guard(lock);
  if (!osip) return;
  for (int received = 0; transport && received < kMaxDatagramsPerPass; ++received) {
    std::optional<ReceivedDatagram> datagram = transport->Receive();
    if (!datagram) break;
    OnDatagram(datagram->bytes.data(), datagram->length, datagram->sourceHost,
               datagram->sourcePort);
  }
  RunStateMachines();
  Housekeeping();
}

int Core::NextWaitMs() {
  if (!osip) return kIdleWaitMs;
  timeval lower{};
  osip_timers_gettimeout(osip.get(), &lower);
  long long waitMs = kIdleWaitMs;
  if (lower.tv_sec >= 0 && lower.tv_sec < kIdleWaitMs / 1000) {
    // Rounded up, so the timer is due when the thread wakes.
    waitMs = static_cast<long long>(lower.tv_sec) * 1000 + (lower.tv_usec + 999) / 1000;
  }
  const Clock::time_point now = Clock::now();
  for (const auto& [did, dialog] : dialogs) {
    if (!dialog.ackPending) continue;
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(dialog.ackDeadline - now).count();
    waitMs = std::min<long long>(waitMs, std::max<long long>(left, 0));
  }
  return static_cast<int>(std::clamp<long long>(waitMs, 0, kIdleWaitMs));
}

void Core::Housekeeping() {
  RunDialogTimers(Clock::now());
  FreeDeadTransactions();
  ReleaseFinishedCalls();
}

void Core::FreeDeadTransactions() {
  for (auto it = transactions.begin(); it != transactions.end();) {
    if (it->second.dead) {
      it = transactions.erase(it);
    } else {
      ++it;
    }
  }
}

void Core::ReleaseFinishedCalls() {
  std::vector<int> finished;
  for (const auto& [cid, call] : calls) {
    bool alive = false;
    for (const auto& [tid, entry] : transactions) {
      if (entry.cid == cid && !entry.dead && !entry.settled) {
        alive = true;
        break;
      }
    }
    for (const auto& [did, dialog] : dialogs) {
      if (alive) break;
      if (dialog.cid != cid) continue;
      const bool confirmed = dialog.dialog && dialog.dialog->state == DIALOG_CONFIRMED;
      if (dialog.ackPending || (confirmed && !dialog.closed)) alive = true;
    }
    if (!alive) finished.push_back(cid);
  }
  for (const int cid : finished)
    ReleaseCall(cid);
}

void Core::ReleaseCall(int cid) {
  CallEntry* call = FindCall(cid);
  if (call == nullptr) return;
  const int did = call->lastDid;
  const int tid = call->inviteTid;
  Emit(EXOSIP_CALL_RELEASED, "Call released", {tid, cid, did, 0}, call->invite.get());
  for (auto it = dialogs.begin(); it != dialogs.end();) {
    if (it->second.cid == cid) {
      osip_stop_retransmissions_from_dialog(osip.get(), it->second.dialog.get());
      it = dialogs.erase(it);
    } else {
      ++it;
    }
  }
  // Transactions still absorbing retransmissions outlive the call, detached from it.
  for (auto& [id, entry] : transactions) {
    if (entry.cid == cid) {
      entry.cid = 0;
      entry.did = 0;
    }
  }
  calls.erase(cid);
}

}  // namespace corvel::ua

#include "service/buss_thread.h"

#include <algorithm>
#include <system_error>

#include "app/app_log.h"
#include "media/toolkit/tick.h"
#include "service/client_requests.h"
#include "service/network_module.h"

namespace corvel {

BussThread::BussThread(ClientState& state, PacketQueue& workerQueue, WorkerPeers& peers,
                       Timing timing)
    : state_(state), workerQueue_(workerQueue), peers_(peers), timing_(timing) {}

BussThread::~BussThread() {
  RequestStop();
  if (thread_.joinable()) thread_.join();
}

bool BussThread::Resume() {
  if (thread_.joinable()) return false;
  try {
    thread_ = std::thread([this] { Loop(); });
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

void BussThread::RequestStop() {
  running_ = false;
  workerQueue_.Kick();
}

void BussThread::Loop() {
  if (NetworkModule* link = module()) link->setLastKeepAlive(0);
  stopped_ = false;
  AppLog(0, "BussThread Thread Working");
  while (running_ && module() != nullptr) {
    const int waitMs = KeepAlive();
    if (std::optional<ServicePacket> packet = workerQueue_.Pop(waitMs)) Handle(*packet);
  }
  AppLog(0, "BussThread Thread Stop Working");
  stopped_ = true;
}

int BussThread::KeepAlive() {
  NetworkModule* link = module();
  if (link == nullptr || !state_.loggedIn) return timing_.idleWaitMs;
  const std::uint32_t now = TickCount();
  const bool reset = link->TakeKeepAliveReset();
  const std::uint32_t last = link->lastKeepAlive();
  const std::uint32_t elapsed =
      reset || last == 0 ? timing_.keepAliveIntervalMs : TickSince(last, now);
  if (elapsed >= timing_.keepAliveIntervalMs) {
    const bool inConversation = peers_.HasMainWindow() && peers_.CallState() == kCallStateInCall;
    link->Send(KeepAliveRequest(state_.account.get(), inConversation));
    // 0 would read as "send at once"; the tick passes 0 only once every 49 days.
    link->setLastKeepAlive(now == 0 ? 1 : now);
    return static_cast<int>(timing_.keepAliveIntervalMs);
  }
  return static_cast<int>(timing_.keepAliveIntervalMs - elapsed);
}

}  // namespace corvel

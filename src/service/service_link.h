// The service link as start-up builds it: the worker queue, the network module and the
// business worker, with the account state pointing at them while they live.
#pragma once

#include <memory>
#include <string>

#include "app/client_state.h"
#include "service/buss_thread.h"
#include "service/network_module.h"
#include "service/packet_queue.h"
#include "service/worker_peers.h"

namespace corvel {

class ServiceLink {
 public:
  ServiceLink(ClientState& state, WorkerPeers& peers, BussThread::Timing timing = {});
  ~ServiceLink();
  ServiceLink(const ServiceLink&) = delete;
  ServiceLink& operator=(const ServiceLink&) = delete;

  // Constructs the module on configFile and starts it; false when either failed (a module
  // that was constructed stays until DestroyNetworkModule).
  bool CreateNetworkModule(const std::string& configFile);
  bool HasNetworkModule() const { return module_ != nullptr; }
  void SendLogOff(const std::string& account);
  void DestroyNetworkModule();

  bool CreateWorker();
  bool ResumeWorker();
  bool HasWorker() const { return worker_ != nullptr; }
  void RequestWorkerStop();
  bool WorkerStopped() const;
  void ReleaseWorker();

  NetworkModule* module() const { return module_.get(); }
  PacketQueue& workerQueue() { return workerQueue_; }

 private:
  ClientState& state_;
  WorkerPeers& peers_;
  const BussThread::Timing timing_;
  PacketQueue workerQueue_;
  std::unique_ptr<NetworkModule> module_;
  std::unique_ptr<BussThread> worker_;
};

}  // namespace corvel

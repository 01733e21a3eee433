#include "service/service_link.h"

#include "service/client_requests.h"

namespace corvel {

ServiceLink::ServiceLink(ClientState& state, WorkerPeers& peers, BussThread::Timing timing)
    : state_(state), peers_(peers), timing_(timing) {}

ServiceLink::~ServiceLink() {
  ReleaseWorker();
  DestroyNetworkModule();
}

bool ServiceLink::CreateNetworkModule(const std::string& configFile) {
  module_ = std::make_unique<NetworkModule>(workerQueue_, configFile);
  state_.networkModule = module_.get();
  return module_->Init();
}

void ServiceLink::SendLogOff(const std::string& account) {
  if (module_) module_->Send(LogOffRequest(account));
}

void ServiceLink::DestroyNetworkModule() {
  state_.networkModule = nullptr;
  module_.reset();
}

bool ServiceLink::CreateWorker() {
  worker_ = std::make_unique<BussThread>(state_, workerQueue_, peers_, timing_);
  state_.worker = worker_.get();
  return true;
}

bool ServiceLink::ResumeWorker() {
  return worker_ && worker_->Resume();
}

void ServiceLink::RequestWorkerStop() {
  if (worker_) worker_->RequestStop();
}

bool ServiceLink::WorkerStopped() const {
  return !worker_ || worker_->stopped();
}

void ServiceLink::ReleaseWorker() {
  state_.worker = nullptr;
  worker_.reset();  // joins its thread
}

}  // namespace corvel

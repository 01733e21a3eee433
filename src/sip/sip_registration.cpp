// Registration with the service's registrar: Regist, the refresh timer and the answers.
#include <climits>

#include "app/window_messages.h"
#include "sip/sip_server.h"

namespace corvel {
namespace {

// The lifetime asked for at each refresh: twice the period, at least ten minutes.
constexpr int kMinimumExpires = 600;

std::string ViaParam(const osip_message_t* response, const char* name) {
  auto* via = static_cast<osip_via_t*>(osip_list_get(&response->vias, 0));
  if (via == nullptr) return {};
  osip_generic_param_t* param = nullptr;
  osip_uri_param_get_byname(&via->via_params, const_cast<char*>(name), &param);
  return param != nullptr && param->gvalue != nullptr ? param->gvalue : "";
}

}  // namespace

bool SipServer::Regist(const char* registrarHost, int expires) {
  if (state_ != 1) return false;
  // Each REGISTER built lowers a positive counter: unanswered refreshes fall back to 0.
  int16_t counter = registCounter_;
  while (counter > 0 && !registCounter_.compare_exchange_weak(counter, counter - 1)) {
  }

  const std::string user = userName_.get();
  const Proxy proxy = proxy_.get();
  std::string registrar;
  if (registrarHost != nullptr) {
    registrar = Format("sip:%s@%s", user.c_str(), registrarHost);
  } else if (proxy.host && proxy.port != 0) {
    registrar = Format("sip:%s@%s:%d", user.c_str(), proxy.host->c_str(), proxy.port);
  } else {
    Log("[REGIST] Proxy:%s Failed\n", proxy.host ? proxy.host->c_str() : "(null)");
    return false;
  }
  const std::string from =
      Format("sip:%s@%s:%d", user.c_str(), localHost_.get().c_str(), localPort_.load());

  ua::MessagePtr message;
  const int rid = stack_.RegisterBuildInitialRegister(from.c_str(), registrar.c_str(), nullptr,
                                                      expires, &message);
  if (rid < 0) {
    Log("[REGIST] eXosip_register_build_initial_register Failed Rid:%d Expires:%d\n", rid, expires);
    return false;
  }
  if (expires != 0 || !message) {
    if (stack_.RegisterSendRegister(rid, std::move(message)) == 0) {
      Log("[REGIST] Send Success Rid:%d Expires:%d\n", rid, expires);
      return true;
    }
    Log("[REGIST] eXosip_register_send_register Failed Rid:%d Expires:%d\n", rid, expires);
    stack_.RegisterRemove(rid);
    return false;
  }
  // Unregistration on closing: sent once, straight to the proxy, with nobody left to wait for
  // the answer.
  const int sent =
      stack_.SendDirect(std::move(message), proxy.host ? proxy.host->c_str() : "", proxy.port);
  Log("[REGIST] Send Regist Direct Rid:%d Expires:%d Return:%d\n", rid, expires, sent);
  return false;
}

bool SipServer::StartRegistTimer(int seconds) {
  if (state_ != 1) return false;
  StopRegistTimer(true);
  if (seconds <= 0) return true;
  Log("SIP Regist Every %d seconds\n", seconds);
  const int periodSeconds = seconds > INT_MAX / 2000 ? INT_MAX / 2000 : seconds;
  registPeriod_ = periodSeconds;
  const std::lock_guard<std::mutex> guard(timerMutex_);
  registTimer_ = PeriodicTimer::Start(periodSeconds * 1000, [this] { RefreshRegistration(); });
  return registTimer_ != nullptr;
}

void SipServer::StopRegistTimer(bool log) {
  const std::lock_guard<std::mutex> guard(timerMutex_);
  if (!registTimer_) return;
  if (log) Log("SIP Kill Regist Time Event\n");
  registTimer_->Stop();
  registTimer_.reset();
}

void SipServer::RefreshRegistration() {
  if (state_ != 1) return;
  const int period = registPeriod_;
  const int expires = 2 * period < kMinimumExpires ? kMinimumExpires : 2 * period;
  Lock();
  Regist(nullptr, expires);
  Unlock();
}

void SipServer::ProcRegistAnswer(const ua::Event& event) {
  if (event.type != ua::EXOSIP_REGISTRATION_SUCCESS &&
      event.type != ua::EXOSIP_REGISTRATION_FAILURE) {
    return;
  }
  if (event.response) {
    // What the registrar saw of our address; only logged.
    Log("[PROCREGISTANSWER] NAT[%s:%s] Code:%d\n",
        ViaParam(event.response.get(), "received").c_str(),
        ViaParam(event.response.get(), "rport").c_str(), event.response->status_code);
  }
  const bool success = event.type == ua::EXOSIP_REGISTRATION_SUCCESS;
  registCounter_ = success ? 2 : -1;
  if (reportContext_ != nullptr) reportContext_->Post(WM_SIP_REGISTERED, success ? 1 : 0, 0);
}

}  // namespace corvel

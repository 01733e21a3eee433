// Creation, deletion and the proxy of the SIP endpoint.
#include "sip/sip_server.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdarg>

#include "media/toolkit/host_address.h"
#include "sip/stack_trace.h"

namespace corvel {
namespace {

constexpr const char* kTraceFile = "./log/SIPLib.log";

const char* TextOrNull(const char* text) {
  return text != nullptr ? text : "(null)";
}

}  // namespace

SipServer::SipServer(RtpMedia* rtpServer, PhoneLog* logger, WindowPoster* reportContext)
    : rtpServer_(rtpServer), logger_(logger), reportContext_(reportContext) {}

SipServer::~SipServer() {
  Delete();
}

void SipServer::Log(const char* format, ...) {
  if (state_ != 1 || logger_ == nullptr) return;
  va_list args;
  va_start(args, format);
  const std::string text = FormatV(format, args);
  va_end(args);
  logger_->Write(text);
}

bool SipServer::CreateSIPServer(const char* userName, const char* localHost, uint16_t localPort,
                                uint32_t callTimeout, int traceLevel) {
  const std::lock_guard<std::mutex> guard(lifecycleMutex_);
  // A running endpoint is not created twice over; Delete comes first.
  if (state_ == 1) return false;
  if (userName == nullptr || userName[0] == '\0' || localHost == nullptr || localPort < 1024) {
    Log("[ERROR] CreateSIPServer %s:%d Failed\n", TextOrNull(localHost), localPort);
    return false;
  }
  std::string host = localHost;
  if (CheckLocalAddress(host) < 0) {
    Log("[ERROR] CreateSIPServer %s Not Local Host\n", localHost);
    return false;
  }
  userName_.set(userName);
  localHost_.set(host);
  localPort_ = localPort;
  if (callTimeout != 0) callTimeout_ = callTimeout;

  if (traceLevel != 0) tracing_ = StackTrace::Open(kTraceFile, traceLevel);

  registCounter_ = 0;
  state_ = 1;
  if (stack_.Init() != 0) {
    Log("[ERROR] CreateSIPServer eXosip_init() Failed\n");
    DeleteLocked();
    return false;
  }
  if (stack_.ListenAddr(IPPROTO_UDP, host.c_str(), localPort, AF_INET, 0) != 0) {
    Log("[ERROR] CreateSIPServer eXosip_listen_addr(%d) Failed\n", localPort);
    DeleteLocked();
    return false;
  }
  // Our Via and Contact carry the configured address, whatever interface the system picks.
  stack_.MasqueradeContact(host.c_str(), localPort);
  if (stack_.SetOption(ua::Option::kDontSend101, 1) != 0) {
    Log("[WARNING] CreateSIPServer eXosip_set_option(EXOSIP_OPT_DONT_SEND_101,%d) Failed\n", 1);
  }
  eventThread_ =
      WorkerThread::Create([this](const std::atomic<bool>& running) { EventLoop(running); });
  if (!eventThread_) {
    Log("[ERROR] CreateSIPServer RTP_Thread_Create Failed\n");
    DeleteLocked();
    return false;
  }
  Log("[SUCCESS] CreateSIPServer %s:%d Success\n", host.c_str(), localPort);
  return true;
}

bool SipServer::Delete() {
  const std::lock_guard<std::mutex> guard(lifecycleMutex_);
  DeleteLocked();
  return true;
}

void SipServer::DeleteLocked() {
  if (eventThread_) {
    eventThread_->RequestStop();
    WakeEventLoop();
    eventThread_->Stop();
    eventThread_.reset();
  }
  StopRegistTimer(false);
  if (state_ == 1) {
    Log("SIP Delete SIP Server\n");
    stack_.Quit();
    state_ = 0;
  }
  while (calls_.RemoveFirst()) {
  }
  localHost_.set({});
  userName_.set({});
  proxy_.set({});
  if (tracing_) StackTrace::Close();
  tracing_ = false;
}

bool SipServer::SetProxy(const char* host, uint16_t port) {
  if (state_ != 1) return false;
  Proxy proxy;
  if (host != nullptr) proxy.host = host;
  proxy.port = port;
  proxy_.set(std::move(proxy));
  return true;
}

std::optional<std::string> SipServer::proxyHost() const {
  return proxy_.with([](const Proxy& proxy) { return proxy.host; });
}

uint16_t SipServer::proxyPort() const {
  return proxy_.with([](const Proxy& proxy) { return proxy.port; });
}

bool SipServer::hasRegistTimer() const {
  const std::lock_guard<std::mutex> guard(timerMutex_);
  return registTimer_ != nullptr;
}

}  // namespace corvel

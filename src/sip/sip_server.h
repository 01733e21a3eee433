// SipServer: the client's SIP user agent on the user-agent core - one UDP listening point,
// registration with the service's proxy and its periodic refresh, and the event thread that
// hands every event of the stack to its handlers; and the call side on it - the call table, the
// operations that place, answer and end calls, the handlers of the call events and the SDP offer
// and answer.
//
// Threads: the window thread creates, deletes, sets the proxy and registers; the refresh timer's
// thread refreshes; the event thread dispatches. Regist is called with the stack lock held
// (Lock/Unlock, the eXosip_lock of the stack) as the refresh and the closing sequence do;
// StartRegistTimer and Delete are called without it. Registration results reach the window only
// as the posted message WM_SIP_REGISTERED.
//
// Calls: Invite, Answer and HangUp come from the window's and the business worker's threads, each
// with the stack lock held; the handlers run on the event thread with the stack lock held; the
// stale-call sweep runs on the event thread before each wait. The report function is called on
// whichever of these threads made the change, with the record after the change; records taken
// out of the table are the taking operation's own and are gone after its last report.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "app/format.h"
#include "app/phone_log.h"
#include "app/window_poster.h"
#include "media/toolkit/log_throttle.h"
#include "media/toolkit/periodic_timer.h"
#include "media/toolkit/synchronized.h"
#include "media/toolkit/worker_thread.h"
#include "sip/rtp_media.h"
#include "sip/sip_call.h"
#include "sip/sip_call_handlers.h"
#include "sip/ua/user_agent.h"

namespace corvel {

// The report of a call change to the window: 0, or negative to refuse a new incoming call. The
// window may set notifyService in the record it is given.
using SipCallReport = std::function<int(SipCall& call)>;

class SipServer : public SipCallHandlers {
 public:
  // The longest the event thread waits in the stack before it looks at its stop conditions.
  static constexpr int kEventWaitMs = 50;
  static constexpr int kConnectedEventWaitMs = 1000;
  static constexpr int kIdleEventWaitMs = 3600000;
  static constexpr uint32_t kDefaultCallTimeout = 30;

  // None of the references is owned; they outlive the endpoint.
  SipServer(RtpMedia* rtpServer, PhoneLog* logger, WindowPoster* reportContext);
  ~SipServer() override;  // deletes
  SipServer(const SipServer&) = delete;
  SipServer& operator=(const SipServer&) = delete;

  // localPort below 1024, or userName empty or absent, or localHost absent: false. A localHost
  // that is not one of this machine's addresses is replaced by the first of them (localHost()).
  // callTimeout 0 keeps the current value; traceLevel 0: no stack trace file (log/SIPLib.log).
  // A failed creation leaves the endpoint deleted and ready for another try.
  bool CreateSIPServer(const char* userName, const char* localHost, uint16_t localPort,
                       uint32_t callTimeout, int traceLevel);
  bool Delete();  // always true
  bool SetProxy(const char* host, uint16_t port);
  // registrarHost absent: the proxy. expires 0 sends one REGISTER directly, without a
  // transaction, to the proxy and returns false.
  bool Regist(const char* registrarHost, int expires);
  // seconds <= 0 stops the refresh and starts none.
  bool StartRegistTimer(int seconds);
  // The refresh timer's callback (also callable directly): Regist(none, max(2 x period, 600))
  // under the stack lock, while running.
  void RefreshRegistration();
  // EXOSIP_REGISTRATION_SUCCESS / _FAILURE; other events are ignored.
  void ProcRegistAnswer(const ua::Event& event);

  // The stack's global lock.
  void Lock() { stack_.Lock(); }
  void Unlock() { stack_.Unlock(); }
  ua::UserAgent& stack() { return stack_; }

  // The endpoint's own call side handles the call events unless other handlers are installed
  // (before creation; not owned). Null: no call handling.
  void SetCallHandlers(SipCallHandlers* handlers) { handlers_ = handlers; }
  // Installed before creation.
  void SetReport(SipCallReport report) { report_ = std::move(report); }

  // --- calls; each with the stack lock held ---
  // host absent: through the proxy. conference 0: a plain call.
  bool Invite(const char* number, const char* host, uint32_t conference);
  // 200 accepts (the call connects with its ACK); a code above 399 refuses.
  bool Answer(uint32_t Identify, int code);
  bool HangUp(uint32_t Identify);  // 0: every call, and the media session ends
  bool Ack(SipCall& call);         // the ACK of an outgoing call's 2xx
  bool Bye(SipCall& call);         // ends one call, in the table or already out of it

  // SDP text of an offer (the call is outgoing or offerFlag is set) or of the answer to the
  // remote offer of the call's dialog; none when NAT mode still lacks its public address, the
  // remote offer holds no enabled audio format, or the text cannot be made.
  std::optional<std::string> MakeSDPMessage(const SipCall& call, bool offerFlag);
  // Gives the RTP server the remote media address and the negotiated audio payload type. False
  // without a remote SDP or a common audio payload.
  bool TakeSDPMessage(const SipCall& call, bool offerFlag);

  // --- the call events (event thread, stack lock held) ---
  void ReleaseStaleCalls() override;
  void ProcInvite(const ua::Event& event) override;
  void ProcRinging(const ua::Event& event) override;
  void ProcAnswer(const ua::Event& event) override;
  void ProcAck(const ua::Event& event) override;
  void ProcBye(const ua::Event& event) override;
  void ProcRelease(const ua::Event& event) override;
  void ProcMessage(const ua::Event& event) override;

  int callCount() const { return calls_.count(); }
  std::optional<SipCall> FindCall(uint32_t Identify) const;
  // Shortens the time unconnected calls may live (tests); 0 keeps it.
  void SetCallTimeout(uint32_t seconds) {
    if (seconds != 0) callTimeout_ = seconds;
  }

  int16_t state() const { return state_; }
  int16_t registCounter() const { return registCounter_; }
  int32_t registPeriod() const { return registPeriod_; }
  uint16_t localPort() const { return localPort_; }
  std::string localHost() const { return localHost_.get(); }
  std::string userName() const { return userName_.get(); }
  std::optional<std::string> proxyHost() const;
  uint16_t proxyPort() const;
  uint32_t callTimeout() const { return callTimeout_; }
  uint32_t nextIdentify() const { return nextIdentify_; }
  uint32_t conferenceId() const { return conferenceId_; }
  bool hasRegistTimer() const;
  RtpMedia* rtpServer() const { return rtpServer_; }
  WindowPoster* reportContext() const { return reportContext_; }

  // One line into SIPPhone.log, only while running.
  void Log(const char* format, ...) CORVEL_PRINTF(2, 3);

 private:
  struct Proxy {
    std::optional<std::string> host;
    uint16_t port = 0;
  };

  void DeleteLocked();  // Delete with lifecycleMutex_ held
  void EventLoop(const std::atomic<bool>& running);
  void WakeEventLoop();
  void LogEvent(const ua::Event& event);
  void Dispatch(const ua::Event& event);
  void StopRegistTimer(bool log);

  int Report(SipCall& call);
  // The Route header value for a request of this call: towards the INVITE's source for an
  // incoming call, else the proxy; none without either.
  std::optional<std::string> RouteFor(const SipCall& call) const;
  void AddRoute(osip_message_t* request, const SipCall& call, const char* tag);
  // After an ending operation: the media ends when no call is left.
  void EndMediaWhenIdle();
  void AnswerCode(int tid, int code);

  RtpMedia* const rtpServer_;
  PhoneLog* const logger_;
  WindowPoster* const reportContext_;

  std::atomic<int16_t> state_{0};
  std::atomic<uint16_t> localPort_{0};
  Synchronized<std::string> localHost_;
  Synchronized<std::string> userName_;
  std::atomic<uint32_t> nextIdentify_{1};
  std::atomic<uint32_t> callTimeout_{kDefaultCallTimeout};
  std::atomic<uint32_t> conferenceId_{0};
  std::atomic<int32_t> registPeriod_{0};
  std::atomic<int16_t> registCounter_{0};
  Synchronized<Proxy> proxy_;
  std::atomic<SipCallHandlers*> handlers_{this};
  SipCallReport report_;  // set before creation, read by every thread afterwards
  CallTable calls_;
  // Requests outside any call come from anyone; their lines must not let a flood fill the disk.
  LogThrottle strangerLog_;
  // Whether the line of the request outside any call now being handled was let through; its
  // handler's own lines follow it. The event thread's only.
  bool strangerLineAdmitted_ = true;

  ua::UserAgent stack_;  // lives as long as the endpoint; initialised while running

  std::mutex lifecycleMutex_;  // guards eventThread_ and tracing_; serialises create/delete
  std::unique_ptr<WorkerThread> eventThread_;
  bool tracing_ = false;  // this endpoint opened the stack trace

  mutable std::mutex timerMutex_;  // guards registTimer_
  std::unique_ptr<PeriodicTimer> registTimer_;
};

}  // namespace corvel

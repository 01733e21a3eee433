// The call display: what the main window shows and does for every change of a SIP call — the
// status panel's texts and state, the call buttons' captions, the ring tones, capture at
// connection, and the call start and end reports to the service. The SIP endpoint calls it.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "app/client_state.h"

namespace corvel {

class MainWindow;

// One call as the SIP side reports it.
struct CallReport {
  int state = 0;  // 1 new, 2 ringing, 5 connected, -1 ended
  bool outgoing = false;
  bool notifyService = false;  // set here when a connected outgoing call is reported
  bool failed = false;
  int reason = 0;  // 1 404, 2 406, 3 486, 4 refused here
  std::uint32_t identify = 0;
  std::string callName;
};

struct RingFiles {
  std::string fileRing;  // the other side rings
  std::string crvtRing;  // an incoming call
  std::string callBye;   // a call failed
};

class CallDisplay {
 public:
  CallDisplay(ClientState& state, MainWindow& window, RingFiles rings);

  // 0, or -1 when there is no service link (a new incoming call is then refused). Safe from
  // any thread: the window's part runs on its thread, in the order of the reports - at once
  // when the report comes from that thread (a hang-up there sees the ended call's texts before
  // it goes on), after the reports still queued from other threads.
  int ShowCall(CallReport& call);

  // The text the panel shows when a call ends.
  static std::string EndText(int callState, int reason);

 private:
  // Runs the queued window parts in order; on the window's thread only.
  void RunQueued();

  ClientState& state_;
  MainWindow& window_;
  const RingFiles rings_;
  struct Queue {
    std::mutex mutex;  // guards parts
    std::deque<std::function<void()>> parts;
  };
  // Shared with the queued drains, which may outlive a display that is gone by then.
  std::shared_ptr<Queue> queue_ = std::make_shared<Queue>();
};

}  // namespace corvel

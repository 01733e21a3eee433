// The main window's title, its state indicator: later rules override earlier ones.
#pragma once

#include <optional>
#include <string>

namespace corvel {

struct TitleState {
  bool ready = false;
  // The phone's registration counter, when a SIP endpoint and an RTP session exist.
  std::optional<int> registCounter;
  bool natPending = false;  // NAT mode on without the public address yet
  int callState = 0;        // the status panel's: 0 idle, 5 in call, others calling
  bool loggedIn = false;
  bool hasBalance = false;
};

std::string MainTitle(const TitleState& state);

}  // namespace corvel

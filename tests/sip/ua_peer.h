// A user-agent core on 127.0.0.1 for tests, with helpers that wait for its events.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "sip/ua/user_agent.h"

namespace corvel::testing {

class UaPeer {
 public:
  explicit UaPeer(const std::string& user, bool ownThread = true) : user_(user) {
    ok_ = ua_.Init() == 0;
    if (!ownThread) ua_.SetOption(ua::Option::kOwnThread, 0);
    ok_ = ok_ && ua_.ListenAddr(17, "127.0.0.1", 0, 2, 0) == 0;
  }

  bool ok() const { return ok_; }
  ua::UserAgent& ua() { return ua_; }
  int port() { return ua_.listeningPort(); }
  std::string uri() { return "sip:" + user_ + "@127.0.0.1:" + std::to_string(port()); }

  // The next event of that type within timeoutMs; the events passed over are kept in seen().
  ua::EventPtr WaitFor(ua::EventType type, int timeoutMs = 5000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
      ua::EventPtr event = ua_.EventWait(0, 50);
      if (!event) continue;
      if (event->type == type) return event;
      seen_.push_back(event->type);
    }
    return nullptr;
  }

  // Every event arriving within ms.
  std::vector<int> Drain(int ms) {
    std::vector<int> types;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < deadline) {
      ua::EventPtr event = ua_.EventWait(0, 20);
      if (event) types.push_back(event->type);
    }
    return types;
  }

  const std::vector<int>& seen() const { return seen_; }

 private:
  std::string user_;
  ua::UserAgent ua_;
  bool ok_ = false;
  std::vector<int> seen_;
};

}  // namespace corvel::testing

// The process-wide account state: who is logged in, what the service said about the account,
// and where the application's files are. Read and written by the windows, the business worker
// and the network module, so every field is an atomic or a whole value behind its own lock.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "media/toolkit/synchronized.h"

namespace corvel {

class NetworkModule;
class BussThread;

// A text field with the width of the packet field it travels in (GBK bytes); longer values are
// cut at a character boundary when set.
class BoundedText {
 public:
  explicit BoundedText(std::size_t maxGbkBytes) : maxBytes_(maxGbkBytes) {}
  std::string get() const { return value_.get(); }
  void set(std::string_view utf8);
  std::size_t maxBytes() const { return maxBytes_; }

 private:
  const std::size_t maxBytes_;
  Synchronized<std::string> value_;
};

struct SavedAccount {
  std::string account;
  std::string password;
  friend bool operator==(const SavedAccount&, const SavedAccount&) = default;
};

using AgentBlock = std::array<std::uint8_t, 64>;

struct ClientState {
  std::atomic<bool> loggedIn{false};
  std::atomic<bool> loginPending{false};
  std::atomic<std::uint8_t> lastStatus{0};
  std::atomic<bool> hasBalance{false};

  Synchronized<std::string> configPath;     // programFolder + "CorvelConfig.ini"
  Synchronized<std::string> programFolder;  // the application folder, ending with '/'
  BoundedText codeTable{100};
  BoundedText account{50};
  BoundedText password{15};
  BoundedText linkedPhone{15};
  BoundedText sipNumber{15};
  BoundedText balance{12};
  Synchronized<AgentBlock> agentId;
  Synchronized<AgentBlock> lastAccount;
  Synchronized<std::vector<SavedAccount>> savedAccounts;

  // Set by start-up before any other thread runs, cleared after they have stopped.
  std::atomic<NetworkModule*> networkModule{nullptr};
  std::atomic<BussThread*> worker{nullptr};
};

// True when the balance text, read as a decimal number, is greater than 0.
bool BalanceIsPositive(std::string_view balance);

}  // namespace corvel

// The text commands a test or a developer sends to steer the service: one command per
// datagram, answered with "ok ..." or "error ...".
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "account_server.h"
#include "nat_helper.h"
#include "outgoing.h"

namespace corvel::devservice {

struct ControlResult {
  std::string answer;
  std::vector<Outgoing> pushes;  // to send from the account server's socket
};

class ControlChannel {
 public:
  // Both must outlive the channel.
  ControlChannel(AccountServer& server, NatHelper& nat) : server_(server), nat_(nat) {}

  ControlResult Execute(std::string_view line);

 private:
  ControlResult Push(std::string_view account, const ServicePacket& packet);
  ControlResult PushCommand(const std::vector<std::string_view>& words, std::string_view line);
  ControlResult Sessions() const;
  ControlResult Received() const;

  AccountServer& server_;
  NatHelper& nat_;
};

}  // namespace corvel::devservice

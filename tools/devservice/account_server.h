// The account server's behaviour: requests in, answers out, plus the pushes the control
// channel asks for. No sockets here; the caller sends what comes back. Safe from any thread.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "account_book.h"
#include "outgoing.h"
#include "service/service_packet.h"

namespace corvel::devservice {

// Charged when a call that the service accepted ends.
inline constexpr std::int64_t kCallChargeCents = 10;
inline constexpr std::uint32_t kFirstClientId = 0x1001;
inline constexpr std::uint32_t kFirstCallbackId = 0x2001;

struct Handled {
  std::vector<Outgoing> send;
  std::string note;  // what the service made of the request, for the log; may be empty
};

// Conference members the service has called and joined, by conference code.
struct ConferenceMember {
  std::string phone;
  std::uint32_t id = 0;
  bool muted = false;
};
struct ConferenceInfo {
  std::string code;
  std::string account;
  std::vector<ConferenceMember> members;
};

// Confirmations of mute and unmute requests, in the member notice; Status 2 (left) is the one
// the client acts on.
inline constexpr std::uint32_t kMemberLeft = 2;
inline constexpr std::uint32_t kMemberMuted = 3;
inline constexpr std::uint32_t kMemberSpeaking = 4;

struct SessionInfo {
  std::string account;
  std::uint32_t clientId = 0;
  Endpoint endpoint;
  bool inCall = false;
};

// A push to an account's client, or why there is none.
struct PushResult {
  std::optional<Outgoing> push;
  std::string error;
};

class AccountServer {
 public:
  AccountServer(AccountBook book, int callbackIdDelayMs);

  Handled Handle(const ServicePacket& request, Endpoint from);

  // Addresses the packet to the endpoint the account's session last sent from.
  PushResult PushTo(std::string_view account, const ServicePacket& packet);
  // Marks the account so keep-alives answer "logged off by the service" until it logs in
  // again, and pushes that state to its session when it has one.
  PushResult LogOffByService(std::string_view account);
  // The account's next call start is refused with this status. False for an unknown account.
  bool RefuseNextCall(std::string_view account, std::uint32_t status);
  bool SetBalance(std::string_view account, std::int64_t cents);
  std::optional<std::int64_t> Balance(std::string_view account) const;

  std::vector<SessionInfo> Sessions() const;
  // A member the service reports gone leaves its conference.
  void DropMember(std::uint32_t id);
  // The conferences the account has started, with their members as they stand.
  std::vector<ConferenceInfo> Conferences(std::string_view account) const;
  // Packets received so far, by command number.
  std::map<std::uint32_t, std::uint64_t> ReceivedCounts() const;

 private:
  struct Session {
    std::uint32_t clientId = 0;
    Endpoint endpoint;
    bool inCall = false;    // as the keep-alives report it
    bool callOpen = false;  // a call start was accepted and has not ended
  };

  Handled OnKeepAlive(const ServicePacket& request, Endpoint from);
  Handled OnLogin(const ServicePacket& request, Endpoint from);
  Handled OnLogOff(const ServicePacket& request);
  Handled OnCallStart(const ServicePacket& request, Endpoint from);
  Handled OnCallEnd(const ServicePacket& request);
  Handled OnCallback(const ServicePacket& request, Endpoint from);
  Handled OnAreaQuery(const ServicePacket& request, Endpoint from);
  Handled OnConferenceMember(const ServicePacket& request, Endpoint from);

  // The session a request belongs to: by its account field, else by the client id it carries.
  Session* FindSession(std::string_view account, std::uint32_t clientId);
  std::uint32_t NextId(std::uint32_t& counter);
  std::string BalanceText(std::string_view account) const;

  mutable std::mutex mutex_;
  AccountBook book_;
  std::map<std::string, Session, std::less<>> sessions_;
  std::set<std::string, std::less<>> loggedOffByService_;
  std::map<std::string, std::uint32_t, std::less<>> refuseNext_;
  std::map<std::uint32_t, std::uint64_t> received_;
  std::vector<ConferenceInfo> conferences_;
  std::uint32_t nextClientId_ = kFirstClientId;
  std::uint32_t nextCallbackId_ = kFirstCallbackId;
  const int callbackIdDelayMs_;
};

}  // namespace corvel::devservice

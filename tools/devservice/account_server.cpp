#include "account_server.h"

#include <algorithm>

#include "app/format.h"
#include "area_table.h"
#include "money.h"
#include "request_rules.h"
#include "service/packet_body.h"
#include "service/server_messages.h"
#include "service/service_command.h"

namespace corvel::devservice {
namespace {

constexpr std::size_t kLongConferenceBody = 96;
constexpr std::uint8_t kConferenceKind = 2;

// The member identifier's text as the number the client also puts in Receiver.
std::uint32_t IdFromText(std::string_view text) {
  std::uint32_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') break;
    value = value * 10 + static_cast<std::uint32_t>(c - '0');
  }
  return value;
}

const char* ConferenceOpName(std::uint8_t op) {
  switch (op) {
    case 1:
      return "end of conference";
    case 2:
      return "mute";
    case 3:
      return "unmute";
    default:
      return "unknown operation";
  }
}

Outgoing To(Endpoint to, ServicePacket packet, int delayMs = 0) {
  return Outgoing{packet, to, delayMs};
}

}  // namespace

AccountServer::AccountServer(AccountBook book, int callbackIdDelayMs)
    : book_(std::move(book)), callbackIdDelayMs_(callbackIdDelayMs) {}

Handled AccountServer::Handle(const ServicePacket& request, Endpoint from) {
  const std::lock_guard lock(mutex_);
  ++received_[request.cmdId];
  Handled handled;
  switch (request.cmdId) {
    case CMD_KEEPALIVE:
      handled = OnKeepAlive(request, from);
      break;
    case CMD_LOGIN:
      handled = OnLogin(request, from);
      break;
    case CMD_LOGOFF:
      handled = OnLogOff(request);
      break;
    case CMD_CALL_START:
      handled = OnCallStart(request, from);
      break;
    case CMD_CALL_END:
      handled = OnCallEnd(request);
      break;
    case CMD_CALLBACK:
      handled = OnCallback(request, from);
      break;
    case CMD_AREA_QUERY:
      handled = OnAreaQuery(request, from);
      break;
    case CMD_CONF_MEMBER:
      handled = OnConferenceMember(request, from);
      break;
    default:
      handled.note = "not a request this service knows; ignored";
      break;
  }
  // Answers carry the request's sequence number so a capture pairs them up at a glance.
  for (Outgoing& out : handled.send)
    out.packet.seqId = request.seqId;
  return handled;
}

Handled AccountServer::OnKeepAlive(const ServicePacket& request, Endpoint from) {
  Handled handled;
  const std::string account = ReadField(request, 0, 50);
  const Account* known = book_.Find(account);
  const bool loggedOff = known == nullptr || loggedOffByService_.contains(account);
  Session* session = FindSession(account, request.sender);
  if (session == nullptr && !loggedOff) {
    // The service restarted under a running client: carry on with the client's identifier.
    session = &sessions_[account];
    session->clientId = request.sender;
    handled.note = Format("no login seen; session adopted for client 0x%X", request.sender);
  }
  if (session != nullptr) {
    session->endpoint = from;
    session->inCall = request.status == 1;
  }
  if (known == nullptr) handled.note = "unknown account; answered as logged off";
  const AccountState state{loggedOff ? kAccountLoggedOffByService : 0, BalanceText(account)};
  handled.send.push_back(To(from, AccountStatePacket(state)));
  return handled;
}

Handled AccountServer::OnLogin(const ServicePacket& request, Endpoint from) {
  Handled handled;
  const RequestFields fields = ReadRequestFields(request);
  const Account* known = book_.Find(fields.account);
  LoginAnswer answer;
  answer.clientId = NextId(nextClientId_);
  answer.status = LoginStatus(known, fields.second);
  handled.note = Format("login result %u, %s", answer.status, LoginResultName(answer.status));
  if (answer.status == kLoginOk || answer.status == kLoginOk1) {
    answer.balance = FormatMoney(known->balanceCents);
    answer.linkedPhone = known->linkedPhone;
    answer.sipNumber = known->sipNumber;
    answer.codeTable = known->codeTable;
    if (const auto old = sessions_.find(fields.account); old != sessions_.end()) {
      handled.note += Format("; replaces the session of client 0x%X", old->second.clientId);
    }
    sessions_[fields.account] = Session{answer.clientId, from, false, false};
    loggedOffByService_.erase(fields.account);
  }
  handled.send.push_back(To(from, LoginAnswerPacket(answer)));
  return handled;
}

Handled AccountServer::OnLogOff(const ServicePacket& request) {
  const std::string account = ReadField(request, 0, 50);
  if (sessions_.erase(account) == 0) return {{}, "no session to end"};
  return {{}, "session ended"};
}

Handled AccountServer::OnCallStart(const ServicePacket& request, Endpoint from) {
  Handled handled;
  const RequestFields fields = ReadRequestFields(request);
  Session* session = FindSession(fields.account, request.sender);
  if (session != nullptr) session->endpoint = from;
  std::optional<std::uint32_t> refusal;
  if (const auto forced = refuseNext_.find(fields.account); forced != refuseNext_.end()) {
    refusal = forced->second;
    refuseNext_.erase(forced);
    handled.note = "refused as the control channel asked";
  } else {
    refusal = CallRefusal(book_.Find(fields.account), fields.second);
  }
  if (refusal) {
    if (handled.note.empty()) handled.note = Format("call refused with %u", *refusal);
  } else {
    handled.note = "call accepted";
    if (session != nullptr) session->callOpen = true;
  }
  const CallStartAnswer answer{refusal.value_or(kCallAccepted), BalanceText(fields.account)};
  handled.send.push_back(To(from, CallStartAnswerPacket(answer)));
  return handled;
}

Handled AccountServer::OnCallEnd(const ServicePacket& request) {
  const std::string account = ReadField(request, 0, 50);
  Session* session = FindSession(account, request.sender);
  Account* known = book_.Find(account);
  if (session == nullptr || !session->callOpen || known == nullptr) {
    return {{}, "no accepted call to end"};
  }
  session->callOpen = false;
  known->balanceCents -= kCallChargeCents;
  return {{},
          "call charged " + FormatMoney(kCallChargeCents) + ", balance " +
              FormatMoney(known->balanceCents)};
}

Handled AccountServer::OnCallback(const ServicePacket& request, Endpoint from) {
  Handled handled;
  const RequestFields fields = ReadRequestFields(request);
  if (Session* session = FindSession(fields.account, request.sender)) session->endpoint = from;
  const std::uint32_t status =
      CallbackStatus(book_.Find(fields.account), fields.second, fields.kind);
  handled.note = Format("call-back result %u", status);
  if (status != kCallbackOk) {
    handled.send.push_back(To(from, CallbackAnswerPacket(status)));
    return handled;
  }
  const std::uint32_t id = NextId(nextCallbackId_);
  if (fields.kind != kConferenceKind) {
    handled.send.push_back(To(from, CallbackAnswerPacket(status)));
    handled.send.push_back(To(from, CallbackIdNotice(id), callbackIdDelayMs_));
    handled.note += Format("; call-back id 0x%X in %d ms", id, callbackIdDelayMs_);
    return handled;
  }
  // A member joins once called: the client lists the member from its call-back answer, which
  // must find the call's id already known.
  const std::string code = ReadField(request, 66, 30);
  auto conference = std::find_if(conferences_.begin(), conferences_.end(),
                                 [&](const ConferenceInfo& c) { return c.code == code; });
  if (conference == conferences_.end()) {
    conferences_.push_back({code, fields.account, {}});
    conference = conferences_.end() - 1;
  }
  conference->members.push_back({fields.second, id, false});
  handled.send.push_back(To(from, CallbackIdNotice(id)));
  handled.send.push_back(To(from, CallbackAnswerPacket(status), callbackIdDelayMs_));
  handled.note += Format("; conference %s member %s id 0x%X, joined in %d ms", code.c_str(),
                         fields.second.c_str(), id, callbackIdDelayMs_);
  return handled;
}

Handled AccountServer::OnAreaQuery(const ServicePacket& request, Endpoint from) {
  if (Session* session = FindSession({}, request.sender)) session->endpoint = from;
  AreaAnswer answer;
  answer.mode = static_cast<std::int8_t>(ReadByte(request, 0));
  answer.number = ReadField(request, 1, 32);
  const Area area = LookUpArea(answer.number);
  answer.areaCode = std::string(area.code);
  answer.areaName = std::string(area.name);
  Handled handled;
  handled.send.push_back(To(from, AreaAnswerPacket(answer)));
  if (area.code.empty()) handled.note = "no area rule matches the number";
  return handled;
}

Handled AccountServer::OnConferenceMember(const ServicePacket& request, Endpoint from) {
  const bool longForm = request.bodyLength() >= kLongConferenceBody;
  const std::string account = longForm ? ReadField(request, 0, 50) : std::string();
  if (Session* session = FindSession(account, request.sender)) session->endpoint = from;
  const std::uint8_t op = longForm ? 0 : ReadByte(request, 0);
  ConferenceMemberNotice notice;
  notice.status = kMemberLeft;
  notice.phone = longForm ? ReadField(request, 50, 15) : ReadField(request, 1, 15);
  const std::string idText = longForm ? ReadField(request, 66, 30) : ReadField(request, 16, 30);
  notice.memberId = request.receiver != 0 ? request.receiver : IdFromText(idText);
  Handled handled;
  handled.note = longForm ? std::string("member leaves") : ConferenceOpName(op);
  const bool leaves = longForm || op == 1;
  if (!leaves && op != 2 && op != 3) return handled;
  if (!leaves) notice.status = op == 2 ? kMemberMuted : kMemberSpeaking;
  bool known = false;
  for (ConferenceInfo& conference : conferences_) {
    auto& members = conference.members;
    const auto member =
        std::find_if(members.begin(), members.end(),
                     [&](const ConferenceMember& m) { return m.id == notice.memberId; });
    if (member == members.end()) continue;
    known = true;
    if (leaves) {
      members.erase(member);
    } else {
      member->muted = op == 2;
    }
  }
  if (!known) handled.note += "; not a member of any conference";
  handled.send.push_back(To(from, ConferenceMemberNoticePacket(notice)));
  return handled;
}

void AccountServer::DropMember(std::uint32_t id) {
  const std::lock_guard lock(mutex_);
  for (ConferenceInfo& conference : conferences_)
    std::erase_if(conference.members, [id](const ConferenceMember& m) { return m.id == id; });
}

std::vector<ConferenceInfo> AccountServer::Conferences(std::string_view account) const {
  const std::lock_guard lock(mutex_);
  std::vector<ConferenceInfo> found;
  for (const ConferenceInfo& conference : conferences_)
    if (conference.account == account) found.push_back(conference);
  return found;
}

PushResult AccountServer::PushTo(std::string_view account, const ServicePacket& packet) {
  const std::lock_guard lock(mutex_);
  const auto session = sessions_.find(account);
  if (session == sessions_.end()) {
    return {std::nullopt, std::string(account) + " has no session (not logged in)"};
  }
  return {To(session->second.endpoint, packet), {}};
}

PushResult AccountServer::LogOffByService(std::string_view account) {
  const std::lock_guard lock(mutex_);
  const auto session = sessions_.find(account);
  if (book_.Find(account) == nullptr && session == sessions_.end()) {
    return {std::nullopt, "unknown account " + std::string(account)};
  }
  loggedOffByService_.emplace(account);
  if (session == sessions_.end()) return {};
  const AccountState state{kAccountLoggedOffByService, BalanceText(account)};
  return {To(session->second.endpoint, AccountStatePacket(state)), {}};
}

bool AccountServer::RefuseNextCall(std::string_view account, std::uint32_t status) {
  const std::lock_guard lock(mutex_);
  if (book_.Find(account) == nullptr) return false;
  refuseNext_.insert_or_assign(std::string(account), status);
  return true;
}

bool AccountServer::SetBalance(std::string_view account, std::int64_t cents) {
  const std::lock_guard lock(mutex_);
  Account* known = book_.Find(account);
  if (known == nullptr) return false;
  known->balanceCents = cents;
  return true;
}

std::optional<std::int64_t> AccountServer::Balance(std::string_view account) const {
  const std::lock_guard lock(mutex_);
  const Account* known = book_.Find(account);
  if (known == nullptr) return std::nullopt;
  return known->balanceCents;
}

std::vector<SessionInfo> AccountServer::Sessions() const {
  const std::lock_guard lock(mutex_);
  std::vector<SessionInfo> sessions;
  for (const auto& [account, session] : sessions_) {
    sessions.push_back({account, session.clientId, session.endpoint, session.inCall});
  }
  return sessions;
}

std::map<std::uint32_t, std::uint64_t> AccountServer::ReceivedCounts() const {
  const std::lock_guard lock(mutex_);
  return received_;
}

AccountServer::Session* AccountServer::FindSession(std::string_view account,
                                                   std::uint32_t clientId) {
  if (!account.empty()) {
    const auto it = sessions_.find(account);
    return it == sessions_.end() ? nullptr : &it->second;
  }
  if (clientId == 0) return nullptr;
  for (auto& [name, session] : sessions_) {
    if (session.clientId == clientId) return &session;
  }
  return nullptr;
}

std::uint32_t AccountServer::NextId(std::uint32_t& counter) {
  const std::uint32_t id = counter++;
  if (counter == 0) counter = 1;  // zero means "no identifier" on the wire
  return id;
}

std::string AccountServer::BalanceText(std::string_view account) const {
  const Account* known = book_.Find(account);
  return known == nullptr ? std::string() : FormatMoney(known->balanceCents);
}

}  // namespace corvel::devservice

#include "control_channel.h"

#include <charconv>
#include <optional>

#include "app/format.h"
#include "media/toolkit/text_codec.h"
#include "money.h"
#include "packet_log.h"
#include "service/server_messages.h"
#include "service/service_command.h"

namespace corvel::devservice {
namespace {

constexpr std::string_view kSpaces = " \t\r\n";
constexpr const char* kHelp =
    "ok commands: logoff ACCOUNT | stop ACCOUNT 0|1 | member-left ACCOUNT PHONE ID | "
    "callback-id ACCOUNT ID | refuse-next-call ACCOUNT 0|1|2 | conference ACCOUNT | "
    "push ACCOUNT CMD STATUS RECEIVER [BODYTEXT] | nat on|off|garbage | "
    "balance ACCOUNT AMOUNT | sessions | received | help";

std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  for (;;) {
    const std::size_t start = line.find_first_not_of(kSpaces);
    if (start == std::string_view::npos) return words;
    line.remove_prefix(start);
    const std::size_t end = std::min(line.find_first_of(kSpaces), line.size());
    words.push_back(line.substr(0, end));
    line.remove_prefix(end);
  }
}

// The line after its first n words, without the spaces before it; spaces inside are kept.
std::string_view After(std::string_view line, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    const std::size_t start = line.find_first_not_of(kSpaces);
    if (start == std::string_view::npos) return {};
    line.remove_prefix(start);
    line.remove_prefix(std::min(line.find_first_of(kSpaces), line.size()));
  }
  const std::size_t start = line.find_first_not_of(kSpaces);
  if (start == std::string_view::npos) return {};
  line.remove_prefix(start);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
    line.remove_suffix(1);
  return line;
}

// Decimal, or hexadecimal after "0x".
std::optional<std::uint32_t> Number(std::string_view text) {
  int base = 10;
  if (text.starts_with("0x") || text.starts_with("0X")) {
    base = 16;
    text.remove_prefix(2);
  }
  std::uint32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
    return std::nullopt;
  }
  return value;
}

ControlResult Error(std::string text) {
  return {"error " + text, {}};
}

ControlResult Usage(const char* usage) {
  return Error(std::string("usage: ") + usage);
}

}  // namespace

ControlResult ControlChannel::Execute(std::string_view line) {
  const std::vector<std::string_view> words = Words(line);
  if (words.empty()) return Error("empty command; try help");
  const std::string_view command = words[0];
  const std::size_t n = words.size();
  if (command == "help") return {kHelp, {}};
  if (command == "logoff") {
    if (n != 2) return Usage("logoff ACCOUNT");
    PushResult result = server_.LogOffByService(words[1]);
    if (!result.error.empty()) return Error(result.error);
    if (!result.push) return {"ok " + std::string(words[1]) + " marked; no session to push to", {}};
    const std::string to = EndpointText(result.push->to);
    return {
        "ok " + std::string(words[1]) + " logged off, RSP_ACCOUNT_STATE(4001) status 6 to " + to,
        {*result.push}};
  }
  if (command == "stop") {
    const std::optional<std::uint32_t> status = n == 3 ? Number(words[2]) : std::nullopt;
    if (!status || *status > 1) return Usage("stop ACCOUNT 0|1");
    return Push(words[1], ServiceStopNotice(*status));
  }
  if (command == "member-left") {
    const std::optional<std::uint32_t> id = n == 4 ? Number(words[3]) : std::nullopt;
    if (!id) return Usage("member-left ACCOUNT PHONE ID");
    server_.DropMember(*id);
    return Push(words[1], ConferenceMemberNoticePacket({kMemberLeft, *id, std::string(words[2])}));
  }
  if (command == "callback-id") {
    const std::optional<std::uint32_t> id = n == 3 ? Number(words[2]) : std::nullopt;
    if (!id) return Usage("callback-id ACCOUNT ID");
    return Push(words[1], CallbackIdNotice(*id));
  }
  if (command == "refuse-next-call") {
    const std::optional<std::uint32_t> status = n == 3 ? Number(words[2]) : std::nullopt;
    if (!status || *status > 2) return Usage("refuse-next-call ACCOUNT 0|1|2");
    if (!server_.RefuseNextCall(words[1], *status)) {
      return Error("unknown account " + std::string(words[1]));
    }
    return {Format("ok the next call start of %s is refused with %u", std::string(words[1]).c_str(),
                   *status),
            {}};
  }
  if (command == "push") return PushCommand(words, line);
  if (command == "nat") {
    if (n != 2) return Usage("nat on|off|garbage");
    if (words[1] == "on") {
      nat_.setMode(NatMode::kOn);
    } else if (words[1] == "off") {
      nat_.setMode(NatMode::kOff);
    } else if (words[1] == "garbage") {
      nat_.setMode(NatMode::kGarbage);
    } else {
      return Usage("nat on|off|garbage");
    }
    return {"ok nat " + std::string(words[1]), {}};
  }
  if (command == "balance") {
    const std::optional<std::int64_t> cents = n == 3 ? ParseMoney(words[2]) : std::nullopt;
    if (!cents) return Usage("balance ACCOUNT AMOUNT (like 12.50)");
    if (!server_.SetBalance(words[1], *cents)) {
      return Error("unknown account " + std::string(words[1]));
    }
    return {"ok " + std::string(words[1]) + " balance " + FormatMoney(*cents), {}};
  }
  if (command == "sessions") return Sessions();
  if (command == "conference") {
    if (n != 2) return Usage("conference ACCOUNT");
    std::string text = "ok";
    for (const ConferenceInfo& conference : server_.Conferences(words[1])) {
      text += " " + conference.code + ":";
      for (const ConferenceMember& member : conference.members)
        text += Format(" %s/0x%X%s", member.phone.c_str(), member.id, member.muted ? "/muted" : "");
    }
    return {text, {}};
  }
  if (command == "received") return Received();
  return Error("unknown command " + std::string(command) + "; try help");
}

ControlResult ControlChannel::Push(std::string_view account, const ServicePacket& packet) {
  PushResult result = server_.PushTo(account, packet);
  if (!result.push) return Error(result.error);
  return {Format("ok %s(%u) status %u to %s", CommandName(packet.cmdId), packet.cmdId,
                 packet.status, EndpointText(result.push->to).c_str()),
          {*result.push}};
}

ControlResult ControlChannel::PushCommand(const std::vector<std::string_view>& words,
                                          std::string_view line) {
  if (words.size() < 5) return Usage("push ACCOUNT CMD STATUS RECEIVER [BODYTEXT]");
  const std::optional<std::uint32_t> cmd = Number(words[2]);
  const std::optional<std::uint32_t> status = Number(words[3]);
  const std::optional<std::uint32_t> receiver = Number(words[4]);
  if (!cmd || !status || !receiver) return Usage("push ACCOUNT CMD STATUS RECEIVER [BODYTEXT]");
  ServicePacket packet;
  packet.cmdId = *cmd;
  packet.status = *status;
  packet.receiver = *receiver;
  const std::string body = Utf8ToGbk(After(line, 5));
  packet.SetBody(body.data(), static_cast<int>(body.size()));
  return Push(words[1], packet);
}

ControlResult ControlChannel::Sessions() const {
  const std::vector<SessionInfo> sessions = server_.Sessions();
  std::string answer = "ok " + std::to_string(sessions.size());
  for (const SessionInfo& s : sessions) {
    answer +=
        Format(" %s=%s/0x%X", s.account.c_str(), EndpointText(s.endpoint).c_str(), s.clientId);
    if (s.inCall) answer += "/in-call";
  }
  return {answer, {}};
}

ControlResult ControlChannel::Received() const {
  std::uint64_t total = 0;
  std::string counts;
  for (const auto& [cmd, count] : server_.ReceivedCounts()) {
    total += count;
    counts += Format(" %u=%llu", cmd, static_cast<unsigned long long>(count));
  }
  return {Format("ok total=%llu", static_cast<unsigned long long>(total)) + counts +
              Format(" nat-probes=%llu", static_cast<unsigned long long>(nat_.probes())),
          {}};
}

}  // namespace corvel::devservice

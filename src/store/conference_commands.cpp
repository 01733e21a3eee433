#include "store/conference_commands.h"

#include <cstdint>
#include <limits>
#include <string>

#include "service/client_requests.h"

namespace corvel {
namespace {

constexpr int kNumberColumn = 0;
constexpr int kSessionColumn = 1;
constexpr int kSpeakingColumn = 4;

}  // namespace

std::uint32_t MemberReceiver(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
    ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  constexpr std::int64_t kLimit =
      static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::max()) + 1;
  std::int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = std::min(value * 10 + (text[i] - '0'), kLimit);
  }
  std::int64_t signedValue = negative ? -value : value;
  if (signedValue > std::numeric_limits<std::int32_t>::max())
    signedValue = std::numeric_limits<std::int32_t>::max();
  return static_cast<std::uint32_t>(static_cast<std::int32_t>(signedValue));
}

bool RunConferenceMemberCommand(int command, ListModel& list, std::string_view account,
                                const PacketSender& send) {
  const int row = list.selectedRow();
  if (row < 0 || !send) return false;
  const std::string number = list.cellText(row, kNumberColumn);
  const std::string session = list.cellText(row, kSessionColumn);
  ServicePacket packet;
  switch (command) {
    case kCommandLeaveConference:
      list.DeleteRow(row);
      packet = ConferenceLeaveRequest(account, number, session);
      break;
    case kCommandMuteMember:
      packet = ConferenceMemberRequest(ConferenceOp::kMute, number, session);
      break;
    case kCommandUnmuteMember:
      packet = ConferenceMemberRequest(ConferenceOp::kUnmute, number, session);
      break;
    default:
      return false;
  }
  packet.receiver = MemberReceiver(session);
  send(packet);
  if (command == kCommandMuteMember) list.SetCellText(row, kSpeakingColumn, "禁止发言");
  if (command == kCommandUnmuteMember) list.SetCellText(row, kSpeakingColumn, "允许发言");
  return true;
}

}  // namespace corvel

// The conference member list's commands (退出会议 1035, 禁止发言 1040, 允许发言 1041): one
// CMD_CONF_MEMBER packet each for the selected member, addressed to the member's session
// number, and the change they make to the list (columns 电话号码, 会话标识, 呼叫时间, 通话状态,
// 发言状态).
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "service/service_packet.h"
#include "store/list_model.h"

namespace corvel {

inline constexpr int kCommandLeaveConference = 1035;
inline constexpr int kCommandMuteMember = 1040;
inline constexpr int kCommandUnmuteMember = 1041;

// Sends a packet; the network module's Send, which stamps the client identifier as sender.
// Empty when there is no network module.
using PacketSender = std::function<void(ServicePacket)>;

// The receiver of a member packet: the 会话标识 text as a C-library integer — leading blanks,
// an optional sign, the digits up to the first other character, 0 when there are none; values
// beyond the 32-bit range are held at its ends. Sent as those 32 bits.
std::uint32_t MemberReceiver(std::string_view sessionText);

// Runs one of the three commands on the selected row. Nothing happens (false) when no row is
// selected, send is empty or the command is none of them. 退出会议 deletes the row before the
// packet is built; 禁止发言 / 允许发言 set 发言状态 after it is sent. Texts longer than their
// field are cut at a character boundary.
bool RunConferenceMemberCommand(int command, ListModel& list, std::string_view account,
                                const PacketSender& send);

}  // namespace corvel

#include "store/conference_commands.h"

#include <gtest/gtest.h>

#include <vector>

#include "service/service_command.h"
#include "store/memory_list.h"

namespace corvel {
namespace {

MemoryList Members() {
  MemoryList list =
      MemoryList::WithColumns({"电话号码", "会话标识", "呼叫时间", "通话状态", "发言状态"});
  const std::vector<std::vector<std::string>> rows = {
      {"13800138000", "  1234", "", "通话中", "允许发言"}, {"13900000000", "77x", "", "", ""}};
  for (const auto& row : rows) {
    const int i = list.InsertRow(list.rowCount());
    for (std::size_t j = 0; j < row.size(); ++j)
      list.SetCellText(i, static_cast<int>(j), row[j]);
  }
  return list;
}

std::string Body(const ServicePacket& packet) {
  return std::string(packet.bodyBytes());
}

TEST(ConferenceMember, ReceiverReadsTheSessionTextAsAnInteger) {
  struct Case {
    const char* text;
    std::uint32_t receiver;
  } cases[] = {{"1234", 1234u},
               {"  1234", 1234u},
               {"\t+56", 56u},
               {"-1", 0xFFFFFFFFu},
               {"77x9", 77u},
               {"", 0u},
               {"abc", 0u},
               {"- 5", 0u},
               {"2147483647", 2147483647u},
               {"99999999999", 2147483647u},
               {"-99999999999", 0x80000000u}};
  for (const Case& c : cases)
    EXPECT_EQ(MemberReceiver(c.text), c.receiver) << '"' << c.text << '"';
}

TEST(ConferenceMember, MuteAndUnmuteSendTheShortFormThenMarkTheRow) {
  struct Case {
    int command;
    std::uint8_t op;
    const char* state;
  } cases[] = {{kCommandMuteMember, 2, "禁止发言"}, {kCommandUnmuteMember, 3, "允许发言"}};
  for (const Case& c : cases) {
    MemoryList list = Members();
    list.SetCellText(0, 4, "");
    list.SelectRow(0);
    std::vector<ServicePacket> sent;
    std::string stateWhenSent;
    ASSERT_TRUE(RunConferenceMemberCommand(c.command, list, "demo", [&](ServicePacket p) {
      stateWhenSent = list.cellText(0, 4);
      sent.push_back(p);
    }));
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(stateWhenSent, "") << "the row changes after sending";
    EXPECT_EQ(list.cellText(0, 4), c.state);
    const ServicePacket& p = sent[0];
    EXPECT_EQ(p.cmdId, static_cast<std::uint32_t>(CMD_CONF_MEMBER));
    EXPECT_EQ(p.receiver, 1234u);
    std::string expected(46, ' ');
    expected[0] = static_cast<char>(c.op);
    expected.replace(1, 11, "13800138000");
    expected.replace(16, 6, "  1234");
    EXPECT_EQ(Body(p), expected);
  }
}

TEST(ConferenceMember, LeaveDeletesTheRowFirstAndSendsTheLongForm) {
  MemoryList list = Members();
  list.SelectRow(1);
  std::vector<ServicePacket> sent;
  int rowsWhenSent = -1;
  ASSERT_TRUE(
      RunConferenceMemberCommand(kCommandLeaveConference, list, "账户demo", [&](ServicePacket p) {
        rowsWhenSent = list.rowCount();
        sent.push_back(p);
      }));
  EXPECT_EQ(rowsWhenSent, 1);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].receiver, 77u);
  std::string expected(96, ' ');
  const std::string account =
      "\xD5\xCB\xBB\xA7"
      "demo";  // GBK on the wire
  expected.replace(0, account.size(), account);
  expected.replace(50, 11, "13900000000");
  expected[65] = 1;
  expected.replace(66, 3, "77x");
  EXPECT_EQ(Body(sent[0]), expected);
}

TEST(ConferenceMember, NothingWithoutSelectionNetworkOrKnownCommand) {
  MemoryList list = Members();
  int sends = 0;
  const PacketSender count = [&](ServicePacket) { ++sends; };
  EXPECT_FALSE(RunConferenceMemberCommand(kCommandLeaveConference, list, "a", count)) << "no row";
  list.SelectRow(0);
  EXPECT_FALSE(RunConferenceMemberCommand(kCommandMuteMember, list, "a", PacketSender{}));
  EXPECT_FALSE(RunConferenceMemberCommand(1036, list, "a", count));
  EXPECT_EQ(sends, 0);
  EXPECT_EQ(list.rowCount(), 2);
  EXPECT_EQ(list.cellText(0, 4), "允许发言");
}

}  // namespace
}  // namespace corvel

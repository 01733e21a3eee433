#include "app/client_state.h"

#include <gtest/gtest.h>

#include <thread>

namespace corvel {
namespace {

TEST(ClientState, StartsEmptyAndFalse) {
  ClientState state;
  EXPECT_FALSE(state.loggedIn);
  EXPECT_FALSE(state.loginPending);
  EXPECT_FALSE(state.hasBalance);
  EXPECT_EQ(state.lastStatus, 0);
  EXPECT_EQ(state.account.get(), "");
  EXPECT_EQ(state.networkModule.load(), nullptr);
  EXPECT_EQ(state.agentId.get(), AgentBlock{});
}

TEST(ClientState, TextFieldsAreCutToTheirPacketWidth) {
  ClientState state;
  state.account.set(std::string(60, 'a'));
  EXPECT_EQ(state.account.get(), std::string(50, 'a'));
  // Chinese characters take two bytes each in the packet: 7 fit into 15, the 8th does not.
  std::string chinese;
  for (int i = 0; i < 8; ++i)
    chinese += "\xE4\xB8\xAD";
  state.password.set("x" + chinese);
  EXPECT_EQ(state.password.get(), "x" + chinese.substr(0, 21));
  state.balance.set("12345678901234");
  EXPECT_EQ(state.balance.get(), "123456789012");
}

TEST(ClientState, ReadersSeeOnlyWholeValues) {
  ClientState state;
  const std::string a(50, 'a');
  const std::string b(50, 'b');
  std::atomic<bool> done{false};
  std::thread writer([&] {
    for (int i = 0; i < 20000; ++i)
      state.account.set(i % 2 ? a : b);
    done = true;
  });
  int torn = 0;
  while (!done) {
    const std::string seen = state.account.get();
    if (!seen.empty() && seen != a && seen != b) ++torn;
  }
  writer.join();
  EXPECT_EQ(torn, 0);
}

TEST(ClientState, BalanceSign) {
  struct Case {
    const char* text;
    bool positive;
  };
  for (const Case& c : {Case{"12.50", true}, Case{"0.01", true}, Case{"0", false},
                        Case{"0.00", false}, Case{"-3", false}, Case{"", false}, Case{"abc", false},
                        Case{" 5", true}, Case{"+2", true}}) {
    EXPECT_EQ(BalanceIsPositive(c.text), c.positive) << c.text;
  }
}

}  // namespace
}  // namespace corvel

#include "ui/main_title.h"

#include <gtest/gtest.h>

namespace corvel {
namespace {

TEST(MainTitle, LaterRulesOverrideEarlierOnes) {
  struct Case {
    TitleState state;
    const char* title;
  };
  const Case cases[] = {
      {{false, std::nullopt, false, 0, true, true}, "Corvel"},
      {{true, std::nullopt, false, 0, true, true}, "Corvel[就绪]"},
      {{true, -1, false, 0, true, true}, "Corvel[SIP注册失败]"},
      {{false, 0, false, 0, true, true}, "Corvel[SIP注册中]"},
      {{false, 2, true, 0, true, true}, "Corvel[NAT注册中]"},
      {{true, 2, false, 0, true, true}, "Corvel[就绪]"},
      {{true, 2, false, 5, true, true}, "Corvel[通话中]"},
      {{true, -1, false, 1, true, true}, "Corvel[呼叫中]"},
      {{true, 2, false, 5, false, true}, "Corvel[未登录]"},
      {{true, 2, false, 5, true, false}, "Corvel[余额不足]"},
      {{false, std::nullopt, false, 0, false, false}, "Corvel[未登录]"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(MainTitle(c.state), c.title);
}

}  // namespace
}  // namespace corvel

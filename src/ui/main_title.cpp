#include "ui/main_title.h"

namespace corvel {

std::string MainTitle(const TitleState& state) {
  std::string title = state.ready ? "Corvel[就绪]" : "Corvel";
  if (state.registCounter) {
    if (*state.registCounter < 0) {
      title = "Corvel[SIP注册失败]";
    } else if (*state.registCounter == 0) {
      title = "Corvel[SIP注册中]";
    } else if (state.natPending) {
      title = "Corvel[NAT注册中]";
    }
  }
  if (state.callState == 5) {
    title = "Corvel[通话中]";
  } else if (state.callState != 0) {
    title = "Corvel[呼叫中]";
  }
  if (!state.loggedIn) {
    title = "Corvel[未登录]";
  } else if (!state.hasBalance) {
    title = "Corvel[余额不足]";
  }
  return title;
}

}  // namespace corvel

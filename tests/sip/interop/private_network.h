// The interop tests run in a private network namespace holding only loopback, so that peers
// binding 0.0.0.0 and fixed control ports meet nothing else on the machine.
#pragma once

#include <string>

namespace corvel::testing {

// Moves the process (before any thread starts) into a new network namespace with "lo" up and
// makes it the reaper of its orphaned descendants. False, with the reason, when it cannot.
bool EnterPrivateNetwork(std::string* reason);

// What EnterPrivateNetwork found; tests skip with the reason when it failed.
bool PrivateNetworkReady();
const std::string& PrivateNetworkProblem();

}  // namespace corvel::testing

#define CORVEL_REQUIRE_PRIVATE_NETWORK()                                              \
  do {                                                                                \
    if (!::corvel::testing::PrivateNetworkReady()) {                                  \
      GTEST_SKIP() << "no private network namespace ("                                \
                   << ::corvel::testing::PrivateNetworkProblem()                      \
                   << "): the interop tests need root or CAP_SYS_ADMIN (unshare -n)"; \
    }                                                                                 \
  } while (false)

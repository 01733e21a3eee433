#include "sip/interop/private_network.h"

#include <gtest/gtest.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace corvel::testing {
namespace {

bool gReady = false;
std::string gProblem = "not entered";

bool LoopbackUp(std::string* reason) {
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  if (fd < 0) {
    *reason = std::string("socket: ") + std::strerror(errno);
    return false;
  }
  ifreq request{};
  std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
  bool ok = ioctl(fd, SIOCGIFFLAGS, &request) == 0;
  if (ok) {
    request.ifr_flags = static_cast<short>(request.ifr_flags | IFF_UP | IFF_RUNNING);
    ok = ioctl(fd, SIOCSIFFLAGS, &request) == 0;
  }
  if (!ok) *reason = std::string("lo up: ") + std::strerror(errno);
  close(fd);
  return ok;
}

}  // namespace

bool EnterPrivateNetwork(std::string* reason) {
  // Kamailio's worker processes outlive their parent when it is killed: as the subreaper the
  // test can still collect them.
  prctl(PR_SET_CHILD_SUBREAPER, 1);
  if (unshare(CLONE_NEWNET) != 0) {
    *reason = std::string("unshare(CLONE_NEWNET): ") + std::strerror(errno);
    return false;
  }
  return LoopbackUp(reason);
}

bool PrivateNetworkReady() {
  return gReady;
}

const std::string& PrivateNetworkProblem() {
  return gProblem;
}

}  // namespace corvel::testing

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  std::string reason;
  corvel::testing::gReady = corvel::testing::EnterPrivateNetwork(&reason);
  corvel::testing::gProblem = corvel::testing::gReady ? "" : reason;
  return RUN_ALL_TESTS();
}

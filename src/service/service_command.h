// The command numbers of the account server's protocol: requests 1-10, answers 4000 + the
// request's number, notifications from 8006.
#pragma once

#include <cstdint>

namespace corvel {

enum ServiceCommand : std::uint32_t {
  CMD_KEEPALIVE = 1,
  CMD_LOGIN = 2,
  CMD_LOGOFF = 3,
  CMD_CALL_START = 4,
  CMD_CALL_END = 5,
  CMD_CALLBACK = 6,
  CMD_AREA_QUERY = 9,
  CMD_CONF_MEMBER = 10,
  RSP_ACCOUNT_STATE = 4001,
  RSP_LOGIN = 4002,
  RSP_CALL_START = 4004,
  RSP_CALLBACK = 4006,
  RSP_AREA_QUERY = 4009,
  NTF_CALLBACK_ID = 8006,
  NTF_CONF_MEMBER = 8007,
  NTF_SERVICE_STOP = 8008,
};

// Account states and login results in the Status field.
inline constexpr std::uint32_t kAccountLoggedOffByService = 6;
inline constexpr std::uint32_t kCallAccepted = 3;

// Commands the business worker takes from its queue; every other one is logged and dropped.
constexpr bool IsWorkerCommand(std::uint32_t cmdId) {
  return (cmdId >= 1 && cmdId <= 6) || (cmdId >= 8 && cmdId <= 10) ||
         (cmdId >= 4001 && cmdId <= 4006) || (cmdId >= 4008 && cmdId <= 4010) ||
         (cmdId >= 8006 && cmdId <= 8008);
}

}  // namespace corvel

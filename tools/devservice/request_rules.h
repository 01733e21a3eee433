// The decisions the development service makes about a request, apart from any session state,
// so each rule can be checked on its own.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "account_book.h"

namespace corvel::devservice {

// Login results in the Status of RSP_LOGIN.
inline constexpr std::uint32_t kLoginOk = 0;
inline constexpr std::uint32_t kLoginOk1 = 1;
inline constexpr std::uint32_t kLoginWrongPassword = 2;
inline constexpr std::uint32_t kLoginUnknownAccount = 3;
inline constexpr std::uint32_t kLoginNoBalance = 4;
inline constexpr std::uint32_t kLoginBanned = 5;
inline constexpr std::uint32_t kLoginBusy = 6;
inline constexpr std::uint32_t kLoginInactive = 7;
inline constexpr std::uint32_t kLoginError = 8;

// Refusals in the Status of RSP_CALL_START (3 is acceptance).
inline constexpr std::uint32_t kCallRestricted = 0;
inline constexpr std::uint32_t kCallUnknownError = 1;
inline constexpr std::uint32_t kCallNoBalance = 2;

// Status of RSP_CALLBACK.
inline constexpr std::uint32_t kCallbackOk = 0;
inline constexpr std::uint32_t kCallbackFailed = 1;
inline constexpr std::uint32_t kCallbackNoBalance = 2;

// Unknown account 3, wrong password 2, then the account's login column (banned 5, busy 6,
// inactive 7, error 8), then a balance of zero or less 4, else ok 0 / ok1 1.
std::uint32_t LoginStatus(const Account* account, std::string_view password);

// "wrong password", "balance insufficient"..., for log lines.
const char* LoginResultName(std::uint32_t status);

// None when the call may start. Unknown account 1; numbers beginning 110, 119 or 120 are
// restricted 0; numbers beginning 999 fail with 1; a balance of zero or less 2.
std::optional<std::uint32_t> CallRefusal(const Account* account, std::string_view number);

// Unknown account, an empty number, a number beginning 000 or a kind other than 1 or 2 fail
// with 1; a balance of zero or less 2; otherwise 0.
std::uint32_t CallbackStatus(const Account* account, std::string_view number, std::uint8_t kind);

}  // namespace corvel::devservice

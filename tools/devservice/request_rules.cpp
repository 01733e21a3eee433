#include "request_rules.h"

#include <iterator>

namespace corvel::devservice {
namespace {

constexpr std::string_view kRestrictedPrefixes[] = {"110", "119", "120"};
constexpr std::string_view kFailingCallPrefix = "999";
constexpr std::string_view kFailingCallbackPrefix = "000";

std::uint32_t LoginKindStatus(LoginKind kind) {
  switch (kind) {
    case LoginKind::kOk:
      return kLoginOk;
    case LoginKind::kOk1:
      return kLoginOk1;
    case LoginKind::kBanned:
      return kLoginBanned;
    case LoginKind::kBusy:
      return kLoginBusy;
    case LoginKind::kInactive:
      return kLoginInactive;
    case LoginKind::kError:
      return kLoginError;
  }
  return kLoginError;
}

}  // namespace

std::uint32_t LoginStatus(const Account* account, std::string_view password) {
  if (account == nullptr) return kLoginUnknownAccount;
  if (account->password != password) return kLoginWrongPassword;
  const std::uint32_t status = LoginKindStatus(account->login);
  if (status > kLoginOk1) return status;
  if (account->balanceCents <= 0) return kLoginNoBalance;
  return status;
}

const char* LoginResultName(std::uint32_t status) {
  static constexpr const char* kNames[] = {
      "success",
      "success",
      "wrong password",
      "unknown account",
      "balance insufficient",
      "account banned",
      "already logged in",
      "not activated",
      "unknown error",
  };
  return status < std::size(kNames) ? kNames[status] : "unknown result";
}

std::optional<std::uint32_t> CallRefusal(const Account* account, std::string_view number) {
  if (account == nullptr) return kCallUnknownError;
  for (const std::string_view prefix : kRestrictedPrefixes) {
    if (number.starts_with(prefix)) return kCallRestricted;
  }
  if (number.starts_with(kFailingCallPrefix)) return kCallUnknownError;
  if (account->balanceCents <= 0) return kCallNoBalance;
  return std::nullopt;
}

std::uint32_t CallbackStatus(const Account* account, std::string_view number, std::uint8_t kind) {
  if (account == nullptr || number.empty() || number.starts_with(kFailingCallbackPrefix)) {
    return kCallbackFailed;
  }
  if (kind != 1 && kind != 2) return kCallbackFailed;
  if (account->balanceCents <= 0) return kCallbackNoBalance;
  return kCallbackOk;
}

}  // namespace corvel::devservice

#include "app/client_state.h"

#include <charconv>

#include "media/toolkit/text_codec.h"

namespace corvel {

void BoundedText::set(std::string_view utf8) {
  value_.set(std::string(CutUtf8ToGbkWidth(utf8, maxBytes_)));
}

bool BalanceIsPositive(std::string_view balance) {
  while (!balance.empty() && (balance.front() == ' ' || balance.front() == '\t')) {
    balance.remove_prefix(1);
  }
  if (!balance.empty() && balance.front() == '+') balance.remove_prefix(1);
  // from_chars ignores the process locale, which Qt sets from the user's environment.
  double value = 0;
  std::from_chars(balance.data(), balance.data() + balance.size(), value);
  return value > 0.0;
}

}  // namespace corvel

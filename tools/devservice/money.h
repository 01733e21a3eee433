// Account balances are kept in whole cents so that charges and comparisons are exact; the wire
// and the accounts file carry them as decimal text with two places ("100.00").
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace corvel::devservice {

// "-1.50", "0.00", "100.00".
std::string FormatMoney(std::int64_t cents);

// "100", "100.5", "100.50", "-3", "+2.25"; at most two decimal places. None for anything else.
std::optional<std::int64_t> ParseMoney(std::string_view text);

}  // namespace corvel::devservice

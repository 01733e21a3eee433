#include "money.h"

#include <cstdio>

namespace corvel::devservice {
namespace {

// Far beyond any prepaid balance, and keeps the arithmetic clear of overflow.
constexpr std::int64_t kMaxUnits = 1'000'000'000'000;

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

std::string FormatMoney(std::int64_t cents) {
  const bool negative = cents < 0;
  const std::int64_t magnitude = negative ? -cents : cents;
  char text[32];
  std::snprintf(text, sizeof text, "%s%lld.%02lld", negative ? "-" : "",
                static_cast<long long>(magnitude / 100), static_cast<long long>(magnitude % 100));
  return text;
}

std::optional<std::int64_t> ParseMoney(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  const std::size_t point = text.find('.');
  const std::string_view whole = text.substr(0, point);
  const std::string_view fraction =
      point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
  if (whole.empty() || fraction.size() > 2) return std::nullopt;
  if (point != std::string_view::npos && fraction.empty()) return std::nullopt;
  std::int64_t units = 0;
  for (const char c : whole) {
    if (!IsDigit(c)) return std::nullopt;
    units = units * 10 + (c - '0');
    if (units > kMaxUnits) return std::nullopt;
  }
  std::int64_t cents = units * 100;
  std::int64_t scale = 10;
  for (const char c : fraction) {
    if (!IsDigit(c)) return std::nullopt;
    cents += (c - '0') * scale;
    scale /= 10;
  }
  return negative ? -cents : cents;
}

}  // namespace corvel::devservice

// Which area a dialled number belongs to, for the area query: a fixed table, enough to show the
// client's local and long-distance dialling paths.
#pragma once

#include <string_view>

namespace corvel::devservice {

struct Area {
  std::string_view code;  // "021"; empty when the number matches no rule
  std::string_view name;  // "上海市"
};

// Landline prefixes first (with or without the leading 0), then 11-digit mobile numbers by their
// first three digits.
Area LookUpArea(std::string_view number);

}  // namespace corvel::devservice

#include "area_table.h"

#include <algorithm>

namespace corvel::devservice {
namespace {

struct Rule {
  std::string_view prefix;
  Area area;
};

constexpr Area kShanghai{"021", "上海市"};
constexpr Area kBeijing{"010", "北京市"};
constexpr Area kGuangzhou{"020", "广州市"};

// Checked in order; mobile numbers never begin with 10, 20 or 21, so the short forms are safe.
constexpr Rule kLandlines[] = {
    {"021", kShanghai},
    {"21", kShanghai},
    {"010", kBeijing},
    {"10", kBeijing},
    {"020", kGuangzhou},
    {"0755", {"0755", "深圳市"}},
    {"0571", {"0571", "杭州市"}},
};

// Mobile numbers by their first three digits; every other mobile prefix is Guangzhou.
constexpr Rule kMobiles[] = {
    {"139", kShanghai},
    {"138", kShanghai},
    {"135", kBeijing},
    {"136", kBeijing},
};

bool IsMobile(std::string_view number) {
  return number.size() == 11 && number.front() == '1' &&
         std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

Area LookUpArea(std::string_view number) {
  for (const Rule& rule : kLandlines) {
    if (number.starts_with(rule.prefix)) return rule.area;
  }
  // The client dials mobiles with a "0" in front when it asks for their area.
  if (number.size() == 12 && number.starts_with("01")) number.remove_prefix(1);
  if (!IsMobile(number)) return {};
  for (const Rule& rule : kMobiles) {
    if (number.starts_with(rule.prefix)) return rule.area;
  }
  return kGuangzhou;
}

}  // namespace corvel::devservice

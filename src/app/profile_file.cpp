#include "app/profile_file.h"

#include <climits>
#include <fstream>
#include <iterator>
#include <optional>

#include "media/toolkit/text_codec.h"

namespace corvel {
namespace {

// Guards against reading a huge or endless file (a device, say) as configuration.
constexpr std::size_t kMaxProfileBytes = 4 * 1024 * 1024;

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back()))
    text.remove_suffix(1);
  return text;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

std::optional<std::string> ReadFileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string bytes;
  char chunk[8192];
  while (in && bytes.size() < kMaxProfileBytes) {
    in.read(chunk, sizeof chunk);
    bytes.append(chunk, static_cast<std::size_t>(in.gcount()));
  }
  if (bytes.size() > kMaxProfileBytes) bytes.resize(kMaxProfileBytes);
  if (bytes.starts_with("\xEF\xBB\xBF")) bytes.erase(0, 3);
  if (!IsValidUtf8(bytes)) return GbkToUtf8(bytes);
  return bytes;
}

std::string_view Unquote(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

// The raw (trimmed, unquoted) value, or nothing when the key is not in the section.
std::optional<std::string> FindValue(const std::string& path, std::string_view section,
                                     std::string_view key) {
  const std::optional<std::string> text = ReadFileText(path);
  if (!text) return std::nullopt;
  std::string_view rest = *text;
  bool inSection = false;
  bool sectionSeen = false;
  while (!rest.empty()) {
    const std::size_t end = rest.find('\n');
    std::string_view line = Trim(rest.substr(0, end));
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      // Only the first section of a name counts, as with the platform call.
      if (inSection) return std::nullopt;
      const std::size_t close = line.find(']');
      const std::string_view name =
          Trim(line.substr(1, close == std::string_view::npos ? line.size() - 1 : close - 1));
      inSection = !sectionSeen && EqualsIgnoreCase(name, section);
      sectionSeen = sectionSeen || inSection;
      continue;
    }
    if (!inSection) continue;
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    if (!EqualsIgnoreCase(Trim(line.substr(0, equals)), key)) continue;
    return std::string(Unquote(Trim(line.substr(equals + 1))));
  }
  return std::nullopt;
}

}  // namespace

std::string ReadProfileString(const std::string& path, std::string_view section,
                              std::string_view key, std::string_view defaultValue,
                              std::size_t bufferSize) {
  if (bufferSize == 0) return {};
  std::optional<std::string> value = FindValue(path, section, key);
  if (!value) {
    // The platform drops trailing blanks of the default too.
    while (!defaultValue.empty() && IsBlank(defaultValue.back()))
      defaultValue.remove_suffix(1);
    value = std::string(defaultValue);
  }
  return std::string(CutUtf8ToGbkWidth(*value, bufferSize - 1));
}

int ReadProfileInt(const std::string& path, std::string_view section, std::string_view key,
                   int defaultValue) {
  const std::optional<std::string> value = FindValue(path, section, key);
  if (!value || value->empty()) return defaultValue;
  return LeadingDecimal(*value);
}

int LeadingDecimal(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsBlank(text[i]))
    ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  long long magnitude = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    magnitude = magnitude * 10 + (text[i] - '0');
    if (magnitude > static_cast<long long>(INT_MAX) + 1)
      magnitude = static_cast<long long>(INT_MAX) + 1;
  }
  const long long value = negative ? -magnitude : magnitude;
  if (value > INT_MAX) return INT_MAX;
  return static_cast<int>(value);
}

}  // namespace corvel

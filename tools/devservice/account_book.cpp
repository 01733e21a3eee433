#include "account_book.h"

#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

#include "media/toolkit/text_codec.h"
#include "money.h"

namespace corvel::devservice {
namespace {

constexpr std::size_t kColumns = 7;

std::vector<std::string> Words(std::string_view line) {
  std::vector<std::string> words;
  std::istringstream in{std::string(line)};
  for (std::string word; in >> word;)
    words.push_back(word);
  return words;
}

std::string TextColumn(const std::string& word) {
  return word == "-" ? std::string() : word;
}

std::string LineError(std::size_t number, const std::string& why) {
  return "line " + std::to_string(number) + ": " + why;
}

}  // namespace

std::optional<LoginKind> LoginKindFromText(std::string_view word) {
  static constexpr std::pair<std::string_view, LoginKind> kWords[] = {
      {"ok", LoginKind::kOk},
      {"ok1", LoginKind::kOk1},
      {"banned", LoginKind::kBanned},
      {"busy", LoginKind::kBusy},
      {"inactive", LoginKind::kInactive},
      {"error", LoginKind::kError},
  };
  for (const auto& [text, kind] : kWords) {
    if (text == word) return kind;
  }
  return std::nullopt;
}

std::optional<AccountBook> AccountBook::Parse(std::string_view text, std::string& error) {
  if (!IsValidUtf8(text)) {
    error = "the file is not UTF-8 text";
    return std::nullopt;
  }
  AccountBook book;
  std::size_t number = 0;
  while (!text.empty()) {
    ++number;
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    line = line.substr(0, line.find('#'));
    const std::vector<std::string> words = Words(line);
    if (words.empty()) continue;
    if (words.size() != kColumns) {
      error = LineError(number, "expected 7 columns, found " + std::to_string(words.size()));
      return std::nullopt;
    }
    Account account;
    account.name = words[0];
    account.password = TextColumn(words[1]);
    const std::optional<std::int64_t> balance = ParseMoney(words[2]);
    const std::optional<LoginKind> login = LoginKindFromText(words[5]);
    if (!balance) {
      error = LineError(number, "balance '" + words[2] + "' is not an amount like 100.00");
      return std::nullopt;
    }
    if (!login) {
      error = LineError(number,
                        "login '" + words[5] + "' is not one of ok ok1 banned busy inactive error");
      return std::nullopt;
    }
    account.balanceCents = *balance;
    account.linkedPhone = TextColumn(words[3]);
    account.sipNumber = TextColumn(words[4]);
    account.login = *login;
    account.codeTable = TextColumn(words[6]);
    if (book.accounts_.contains(account.name)) {
      error = LineError(number, "account '" + account.name + "' appears twice");
      return std::nullopt;
    }
    book.accounts_.emplace(account.name, std::move(account));
  }
  return book;
}

std::optional<AccountBook> AccountBook::Load(const std::string& path, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot read " + path;
    return std::nullopt;
  }
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  std::optional<AccountBook> book = Parse(text, error);
  if (!book) error = path + ": " + error;
  return book;
}

const Account* AccountBook::Find(std::string_view name) const {
  const auto it = accounts_.find(name);
  return it == accounts_.end() ? nullptr : &it->second;
}

Account* AccountBook::Find(std::string_view name) {
  const auto it = accounts_.find(name);
  return it == accounts_.end() ? nullptr : &it->second;
}

}  // namespace corvel::devservice

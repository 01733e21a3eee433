// The development accounts: read from a small text file, one account per line, and kept in
// memory for the run (balance changes are not written back).
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace corvel::devservice {

// What a correct password leads to; the file's "login" column.
enum class LoginKind { kOk, kOk1, kBanned, kBusy, kInactive, kError };

struct Account {
  std::string name;
  std::string password;
  std::int64_t balanceCents = 0;
  std::string linkedPhone;
  std::string sipNumber;
  LoginKind login = LoginKind::kOk;
  std::string codeTable;
};

// "ok", "ok1", "banned", "busy", "inactive", "error"; none for other words.
std::optional<LoginKind> LoginKindFromText(std::string_view word);

class AccountBook {
 public:
  // Columns: account password balance linkedPhone sipNumber login codeTable; '#' starts a
  // comment; "-" stands for an empty text column. On failure error names the line and why.
  static std::optional<AccountBook> Parse(std::string_view text, std::string& error);
  static std::optional<AccountBook> Load(const std::string& path, std::string& error);

  // Non-owning; valid until the book changes shape (it never does after loading).
  const Account* Find(std::string_view name) const;
  Account* Find(std::string_view name);
  std::size_t size() const { return accounts_.size(); }

 private:
  std::map<std::string, Account, std::less<>> accounts_;
};

}  // namespace corvel::devservice

// data.dat: the remembered accounts, as 64-byte blocks with every byte bit-inverted, so the file
// moves between this client and the Windows one unchanged.
//   0    agent identifier (written by whoever installs the client; only read back here)
//   64   account of the last successful login
//   128 + 128k  account of saved entry k;  192 + 128k  its password (all zero: none)
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvel {

using Block64 = std::array<std::uint8_t, 64>;

struct SavedAccountBlocks {
  Block64 account{};
  Block64 password{};  // all zero: no password remembered
  friend bool operator==(const SavedAccountBlocks&, const SavedAccountBlocks&) = default;
};

struct AccountFileContents {
  Block64 agentId{};
  Block64 lastAccount{};
  std::vector<SavedAccountBlocks> entries;  // one per account, first occurrence kept
  std::vector<Block64> listedAccounts;      // every account block in file order, repeats too
};

// Reads path; none when it cannot be opened. A truncated file ends at its last whole pair.
std::optional<AccountFileContents> ReadAccountFile(const std::string& path);

// Writes path: an existing file keeps its agent block when it holds one (at least 64 bytes)
// and its last-account block when lastAccount is empty; then every entry follows. The file is
// replaced in one step and is readable by its owner only. False when it cannot be written.
bool WriteAccountFile(const std::string& path, const Block64& agentId, const Block64& lastAccount,
                      const std::vector<SavedAccountBlocks>& entries);

// UTF-8 text to a zero-padded block of its GBK bytes (cut at a character boundary), and back.
Block64 TextBlock(std::string_view utf8);
std::string BlockText(const Block64& block);
bool IsEmptyBlock(const Block64& block);

}  // namespace corvel

#include "app/account_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "media/toolkit/text_codec.h"

namespace corvel {
namespace {

constexpr std::size_t kBlock = 64;
constexpr std::size_t kHeader = 2 * kBlock;

Block64 Inverted(const Block64& block) {
  Block64 out;
  std::transform(block.begin(), block.end(), out.begin(),
                 [](std::uint8_t b) { return static_cast<std::uint8_t>(b ^ 0xFF); });
  return out;
}

Block64 BlockAt(const std::string& bytes, std::size_t offset) {
  Block64 block{};
  if (offset < bytes.size()) {
    const std::size_t n = std::min(kBlock, bytes.size() - offset);
    std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(offset), n, block.begin());
  }
  return block;
}

// Header blocks that were zero on disk stay zero (they never held anything).
Block64 HeaderBlock(const std::string& bytes, std::size_t offset) {
  const Block64 raw = BlockAt(bytes, offset);
  return IsEmptyBlock(raw) ? raw : Inverted(raw);
}

void Append(std::string& out, const Block64& block) {
  const Block64 stored = Inverted(block);
  out.append(stored.begin(), stored.end());
}

std::optional<std::string> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

bool IsEmptyBlock(const Block64& block) {
  return std::all_of(block.begin(), block.end(), [](std::uint8_t b) { return b == 0; });
}

Block64 TextBlock(std::string_view utf8) {
  const std::string gbk = Utf8ToGbk(utf8);
  const std::string_view cut = CutGbk(gbk, kBlock);
  Block64 block{};
  std::copy(cut.begin(), cut.end(), block.begin());
  return block;
}

std::string BlockText(const Block64& block) {
  const auto end = std::find(block.begin(), block.end(), 0);
  return GbkToUtf8(std::string(block.begin(), end));
}

std::optional<AccountFileContents> ReadAccountFile(const std::string& path) {
  const std::optional<std::string> bytes = ReadBytes(path);
  if (!bytes) return std::nullopt;
  AccountFileContents contents;
  contents.agentId = HeaderBlock(*bytes, 0);
  contents.lastAccount = HeaderBlock(*bytes, kBlock);
  for (std::size_t offset = kHeader; offset + 2 * kBlock <= bytes->size(); offset += 2 * kBlock) {
    SavedAccountBlocks entry{Inverted(BlockAt(*bytes, offset)),
                             Inverted(BlockAt(*bytes, offset + kBlock))};
    contents.listedAccounts.push_back(entry.account);
    const bool known = std::any_of(contents.entries.begin(), contents.entries.end(),
                                   [&](const auto& e) { return e.account == entry.account; });
    if (!known) contents.entries.push_back(entry);
  }
  return contents;
}

bool WriteAccountFile(const std::string& path, const Block64& agentId, const Block64& lastAccount,
                      const std::vector<SavedAccountBlocks>& entries) {
  std::string out;
  if (const std::optional<std::string> existing = ReadBytes(path)) {
    // The installer's agent block and an earlier last account survive a rewrite.
    out = existing->substr(0, std::min(existing->size(), kHeader));
    if (existing->size() < kBlock) {
      out.clear();
      Append(out, agentId);
    }
    if (!IsEmptyBlock(lastAccount) || existing->size() < kHeader) {
      out.resize(kBlock);
      Append(out, lastAccount);
    }
  } else {
    Append(out, agentId);
    Append(out, lastAccount);
  }
  for (const SavedAccountBlocks& entry : entries) {
    Append(out, entry.account);
    Append(out, entry.password);
  }

  // Written beside the file and renamed over it, so a crash never leaves half a file.
  const std::string temporary = path + ".new";
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  bool ok = ::fchmod(fd, 0600) == 0;
  for (std::size_t done = 0; ok && done < out.size();) {
    const ssize_t n = ::write(fd, out.data() + done, out.size() - done);
    ok = n > 0;
    if (ok) done += static_cast<std::size_t>(n);
  }
  ok = ::fsync(fd) == 0 && ok;
  ok = ::close(fd) == 0 && ok;
  if (!ok || std::rename(temporary.c_str(), path.c_str()) != 0) {
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace corvel

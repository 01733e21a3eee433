// data.dat as any bytes: reading takes the two header blocks and every whole pair after them,
// keeps the first entry of each account, and what it read, written to a new file, reads back as
// the same blocks. Rewriting the file itself keeps its agent block and, when no new last account
// is given, its last account, as the login window relies on.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "app/account_file.h"
#include "fuzz_check.h"
#include "fuzz_file.h"

using corvel::AccountFileContents;
using corvel::Block64;

namespace {

constexpr std::size_t kBlock = 64;

const corvel::fuzz::ScratchFolder& Scratch() {
  static const corvel::fuzz::ScratchFolder folder("corvel-account-fuzz");
  return folder;
}

void WriteBytes(const std::string& path, const uint8_t* data, size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  FUZZ_REQUIRE(static_cast<bool>(out));
}

// The block stored at offset as the reader must see it: bit-inverted, except that a header block
// left all zero on disk stays empty.
Block64 Expected(const uint8_t* data, size_t size, size_t offset, bool header) {
  Block64 block{};
  bool zero = true;
  for (size_t i = 0; i < kBlock; ++i) {
    const uint8_t stored = offset + i < size ? data[offset + i] : 0;
    zero = zero && stored == 0;
    block[i] = static_cast<uint8_t>(stored ^ 0xFF);
  }
  if (header && zero) block.fill(0);
  return block;
}

void CheckRead(const AccountFileContents& contents, const uint8_t* data, size_t size) {
  FUZZ_REQUIRE(contents.agentId == Expected(data, size, 0, true));
  FUZZ_REQUIRE(contents.lastAccount == Expected(data, size, kBlock, true));
  const size_t pairs = size > 2 * kBlock ? (size - 2 * kBlock) / (2 * kBlock) : 0;
  FUZZ_REQUIRE(contents.listedAccounts.size() == pairs);
  size_t next = 0;
  for (size_t pair = 0; pair < pairs; ++pair) {
    const size_t offset = 2 * kBlock + pair * 2 * kBlock;
    const Block64 account = Expected(data, size, offset, false);
    FUZZ_REQUIRE(contents.listedAccounts[pair] == account);
    bool earlier = false;
    for (size_t k = 0; k < next; ++k)
      earlier = earlier || contents.entries[k].account == account;
    if (earlier) continue;
    FUZZ_REQUIRE(next < contents.entries.size() && contents.entries[next].account == account &&
                 contents.entries[next].password == Expected(data, size, offset + kBlock, false));
    ++next;
  }
  FUZZ_REQUIRE(next == contents.entries.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = Scratch().file("data.dat");
  WriteBytes(path, data, size);
  const std::optional<AccountFileContents> contents = corvel::ReadAccountFile(path);
  FUZZ_REQUIRE(contents.has_value());
  CheckRead(*contents, data, size);

  // What was read, written to a file of its own, reads back as it was.
  const std::string copy = Scratch().file("copy.dat");
  std::remove(copy.c_str());
  FUZZ_REQUIRE(
      corvel::WriteAccountFile(copy, contents->agentId, contents->lastAccount, contents->entries));
  const std::optional<AccountFileContents> again = corvel::ReadAccountFile(copy);
  FUZZ_REQUIRE(again && again->agentId == contents->agentId &&
               again->lastAccount == contents->lastAccount && again->entries == contents->entries);

  // Rewritten in place without a new last account: the header survives where the file held it.
  const Block64 newAgent = corvel::TextBlock("fuzz-agent");
  FUZZ_REQUIRE(corvel::WriteAccountFile(path, newAgent, Block64{}, contents->entries));
  const std::optional<AccountFileContents> rewritten = corvel::ReadAccountFile(path);
  FUZZ_REQUIRE(rewritten.has_value());
  FUZZ_REQUIRE(rewritten->agentId == (size >= kBlock ? contents->agentId : newAgent));
  FUZZ_REQUIRE(rewritten->lastAccount == (size >= 2 * kBlock ? contents->lastAccount : Block64{}));
  FUZZ_REQUIRE(rewritten->entries == contents->entries);
  return 0;
}

#include "app/account_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/temp_folder.h"

namespace corvel {
namespace {

using testing::ReadFile;
using testing::TempFolder;
using testing::WriteFile;

std::string InvertedText(std::string_view text) {
  std::string block(64, '\0');
  std::copy(text.begin(), text.end(), block.begin());
  for (char& c : block)
    c = static_cast<char>(c ^ 0xFF);
  return block;
}

TEST(AccountFile, NewAccountWithoutPasswordMakesHeaderAndOnePair) {
  TempFolder folder;
  const std::string path = folder / "data.dat";
  ASSERT_TRUE(WriteAccountFile(path, {}, TextBlock("demo"), {{TextBlock("demo"), {}}}));
  const std::string bytes = ReadFile(path);
  ASSERT_EQ(bytes.size(), 256u);
  EXPECT_EQ(bytes.substr(64, 64), InvertedText("demo"));
  EXPECT_EQ(bytes.substr(128, 64), InvertedText("demo"));
  EXPECT_EQ(bytes.substr(192), std::string(64, '\xFF'));
  struct stat info {};
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST(AccountFile, RoundTripWithPasswordsAndChineseNames) {
  TempFolder folder;
  const std::string path = folder / "data.dat";
  const std::vector<SavedAccountBlocks> entries = {{TextBlock("张三"), TextBlock("pw1")},
                                                   {TextBlock("li"), {}}};
  ASSERT_TRUE(WriteAccountFile(path, TextBlock("agent-7"), TextBlock("li"), entries));
  const auto contents = ReadAccountFile(path);
  ASSERT_TRUE(contents);
  EXPECT_EQ(BlockText(contents->agentId), "agent-7");
  EXPECT_EQ(BlockText(contents->lastAccount), "li");
  EXPECT_EQ(contents->entries, entries);
  EXPECT_EQ(BlockText(contents->entries[0].account), "张三");
  EXPECT_TRUE(IsEmptyBlock(contents->entries[1].password));
}

TEST(AccountFile, RewriteKeepsTheAgentBlockAndAnEarlierLastAccount) {
  TempFolder folder;
  const std::string path = folder / "data.dat";
  WriteFile(path, InvertedText("installer-agent") + InvertedText("old") + InvertedText("x") +
                      InvertedText(""));
  ASSERT_TRUE(WriteAccountFile(path, TextBlock("ignored"), {}, {}));
  const std::string bytes = ReadFile(path);
  ASSERT_EQ(bytes.size(), 128u);
  EXPECT_EQ(bytes.substr(0, 64), InvertedText("installer-agent"));
  EXPECT_EQ(bytes.substr(64, 64), InvertedText("old"));

  ASSERT_TRUE(WriteAccountFile(path, {}, TextBlock("new"), {}));
  EXPECT_EQ(ReadFile(path).substr(64, 64), InvertedText("new"));
}

TEST(AccountFile, ShortExistingFileGetsBothHeaderBlocks) {
  TempFolder folder;
  const std::string path = folder / "data.dat";
  WriteFile(path, "abc");
  ASSERT_TRUE(WriteAccountFile(path, TextBlock("agent"), {}, {}));
  const auto contents = ReadAccountFile(path);
  ASSERT_TRUE(contents);
  EXPECT_EQ(BlockText(contents->agentId), "agent");
  EXPECT_TRUE(IsEmptyBlock(contents->lastAccount));
}

TEST(AccountFile, TruncatedAndRepeatedEntries) {
  TempFolder folder;
  const std::string path = folder / "data.dat";
  std::string bytes = std::string(128, '\0') + InvertedText("a") + InvertedText("1") +
                      InvertedText("b") + InvertedText("") + InvertedText("a") + InvertedText("2") +
                      InvertedText("c").substr(0, 100);
  WriteFile(path, bytes);
  const auto contents = ReadAccountFile(path);
  ASSERT_TRUE(contents);
  EXPECT_TRUE(IsEmptyBlock(contents->agentId));  // zeros on disk stay zero
  ASSERT_EQ(contents->entries.size(), 2u);
  EXPECT_EQ(BlockText(contents->entries[0].password), "1");  // the first "a" wins
  EXPECT_EQ(contents->listedAccounts.size(), 3u);            // but the name is listed again
  EXPECT_FALSE(ReadAccountFile(folder / "missing.dat"));
}

TEST(AccountFile, GarbageNeverCrashes) {
  TempFolder folder;
  const std::string path = folder / "data.dat";
  std::string junk;
  for (int i = 0; i < 5000; ++i)
    junk.push_back(static_cast<char>(i * 131 + 7));
  WriteFile(path, junk);
  const auto contents = ReadAccountFile(path);
  ASSERT_TRUE(contents);
  EXPECT_LE(contents->entries.size(), 38u);
  for (const auto& entry : contents->entries)
    BlockText(entry.account);
}

TEST(AccountFile, BlocksCutLongTextAtACharacter) {
  std::string name;
  for (int i = 0; i < 40; ++i)
    name += "中";
  const Block64 block = TextBlock("a" + name);
  EXPECT_EQ(BlockText(block), "a" + name.substr(0, 31 * 3));
}

}  // namespace
}  // namespace corvel

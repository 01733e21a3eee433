#include "media/toolkit/working_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace corvel {
namespace {

namespace fs = std::filesystem;

// Makes a fresh folder and puts the working folder back afterwards, whatever the test did.
class WorkingFolderTest : public testing::Test {
 protected:
  void SetUp() override {
    original_ = fs::current_path();
    std::string pattern = (fs::temp_directory_path() / "corvel-folder-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    folder_ = fs::canonical(pattern);
  }
  void TearDown() override {
    fs::current_path(original_);
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }

  fs::path original_;
  fs::path folder_;
};

TEST_F(WorkingFolderTest, EnterFolderChangesWhereRelativePathsLead) {
  ASSERT_TRUE(EnterFolder(folder_.string()));
  EXPECT_EQ(CurrentFolder(), folder_.string());
  { std::ofstream("marker.txt") << "x"; }
  EXPECT_TRUE(fs::exists(folder_ / "marker.txt"));

  ASSERT_TRUE(EnterFolder(".."));
  EXPECT_EQ(CurrentFolder(), folder_.parent_path().string());
}

TEST_F(WorkingFolderTest, EnterFolderFailsAndStaysPut) {
  ASSERT_TRUE(EnterFolder(folder_.string()));
  { std::ofstream("plain-file") << "x"; }
  const std::string missing = (folder_ / "missing").string();
  for (const std::string& path : {missing, std::string("plain-file"), std::string()}) {
    EXPECT_FALSE(EnterFolder(path)) << '"' << path << '"';
    EXPECT_EQ(CurrentFolder(), folder_.string());
  }
}

}  // namespace
}  // namespace corvel

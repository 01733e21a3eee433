#include "app/app_folder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "support/temp_folder.h"

namespace corvel {
namespace {

using testing::Exists;
using testing::ReadFile;
using testing::TempFolder;
using testing::WriteFile;

TEST(ApplicationFolder, CorvelHomeWins) {
  TempFolder home;
  FolderEnvironment environment;
  environment.corvelHome = home / "custom";
  environment.executableFolder = home.path();
  WriteFile(home / "CorvelConfig.ini", "");
  EXPECT_EQ(ChooseApplicationFolder(environment), home / "custom/");
  EXPECT_TRUE(std::filesystem::is_directory(home / "custom"));
}

TEST(ApplicationFolder, PortableFolderNeedsConfigAndWriteAccess) {
  TempFolder root;
  FolderEnvironment environment;
  environment.executableFolder = root / "bin/";
  environment.xdgDataHome = root / "data";
  std::filesystem::create_directories(root / "bin");
  // No configuration beside the binary: the data folder is used.
  EXPECT_EQ(ChooseApplicationFolder(environment), root / "data/corvel/");
  WriteFile(root / "bin/CorvelConfig.ini", "[UDP]\n");
  EXPECT_EQ(ChooseApplicationFolder(environment), root / "bin/");
  if (geteuid() != 0) {  // root may write anywhere
    chmod((root / "bin").c_str(), 0555);
    EXPECT_EQ(ChooseApplicationFolder(environment), root / "data/corvel/");
    chmod((root / "bin").c_str(), 0755);
  }
}

TEST(ApplicationFolder, DataFolderIsSeededOnceAndEditsAreKept) {
  TempFolder root;
  WriteFile(root / "defaults/CorvelConfig.ini", "[SIP]\nsipPort=5060\n");
  WriteFile(root / "defaults/Wave/DTMF0.wav", "RIFF0");
  FolderEnvironment environment;
  environment.home = root / "home";
  environment.defaultsFolder = root / "defaults/";
  const std::string folder = ChooseApplicationFolder(environment);
  ASSERT_EQ(folder, root / "home/.local/share/corvel/");
  EXPECT_EQ(ReadFile(folder + "Wave/DTMF0.wav"), "RIFF0");

  WriteFile(folder + "CorvelConfig.ini", "[SIP]\nsipPort=5999\n");
  std::filesystem::remove(folder + "Wave/DTMF0.wav");
  EXPECT_EQ(ChooseApplicationFolder(environment), folder);
  EXPECT_EQ(ReadFile(folder + "CorvelConfig.ini"), "[SIP]\nsipPort=5999\n");
  EXPECT_EQ(ReadFile(folder + "Wave/DTMF0.wav"), "RIFF0");
}

TEST(ApplicationFolder, NothingToGoOnGivesEmpty) {
  EXPECT_EQ(ChooseApplicationFolder(FolderEnvironment{}), "");
}

TEST(ApplicationFolder, ExecutableFolderOfThisTest) {
  const std::string folder = ExecutableFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), '/');
  EXPECT_TRUE(std::filesystem::is_directory(folder));
}

TEST(LogFolder, FilesGoSubFoldersStay) {
  TempFolder root;
  WriteFile(root / "log/UdpNetwork.log", "a");
  WriteFile(root / "log/SIPPhone.log", "b");
  WriteFile(root / "log/old/deeper/x.log", "c");
  WriteFile(root / "outside/keep.txt", "keep");
  std::filesystem::create_directory_symlink(root / "outside", root / "log/link");
  EmptyLogFolder(root / "log");
  EXPECT_FALSE(Exists(root / "log/UdpNetwork.log"));
  EXPECT_FALSE(Exists(root / "log/SIPPhone.log"));
  EXPECT_FALSE(Exists(root / "log/old/deeper/x.log"));
  EXPECT_TRUE(std::filesystem::is_directory(root / "log/old/deeper"));
  EXPECT_EQ(ReadFile(root / "outside/keep.txt"), "keep");
}

TEST(LogFolder, MissingFolderIsCreated) {
  TempFolder root;
  EmptyLogFolder(root / "log");
  EXPECT_TRUE(std::filesystem::is_directory(root / "log"));
}

}  // namespace
}  // namespace corvel

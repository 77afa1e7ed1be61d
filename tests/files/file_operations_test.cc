// Whole-file and directory operations.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "files/file_manager.h"
#include "temp_dir.h"

namespace orin {
namespace {

namespace fs = std::filesystem;

class Operations : public ::testing::Test {
 protected:
  Operations() : files_(&env_) {
    tmp_.MakeDir("data");
    EXPECT_TRUE(files_.SetDataDirectory(tmp_ / "data")) << files_.ErrorText();
  }
  TempDir tmp_;
  SimpleFileEnvironment env_;
  FileManager files_;
};

TEST_F(Operations, CopyReplacesAndKeepsTimeAndPermissions) {
  tmp_.Write("data/src", std::string(200000, 'x') + "end");
  tmp_.Write("data/dst", "old content that is longer than nothing");
  ASSERT_TRUE(files_.SetTime(kDataArea, "src", 1000000000));
  fs::permissions(tmp_ / "data/src", fs::perms::owner_read | fs::perms::owner_write);
  ASSERT_TRUE(files_.Copy(kDataArea, "src", "dst")) << files_.ErrorText();
  EXPECT_EQ(tmp_.Read("data/dst"), tmp_.Read("data/src"));
  int64_t seconds = 0;
  ASSERT_TRUE(files_.GetTime(kDataArea, "dst", &seconds));
  EXPECT_EQ(seconds, 1000000000);
  EXPECT_EQ(fs::status(tmp_ / "data/dst").permissions(),
            fs::perms::owner_read | fs::perms::owner_write);

  // Copying a file onto itself must not truncate it first.
  EXPECT_FALSE(files_.Copy(kDataArea, "src", "./src"));
  EXPECT_EQ(files_.ErrorText(), "The source and destination are the same file");
  EXPECT_EQ(files_.Size(kDataArea, "src"), 200003);
  EXPECT_FALSE(files_.Copy(kDataArea, "missing", "dst"));
  EXPECT_EQ(files_.ErrorText(), "No such file or directory");
}

TEST_F(Operations, RenameReplacesTheDestination) {
  tmp_.Write("data/a", "new");
  tmp_.Write("data/b", "old");
  ASSERT_TRUE(files_.Rename(kDataArea, "a", "b")) << files_.ErrorText();
  EXPECT_FALSE(tmp_.Has("data/a"));
  EXPECT_EQ(tmp_.Read("data/b"), "new");
  EXPECT_FALSE(files_.Rename(kDataArea, "a", "c"));
  EXPECT_EQ(files_.ErrorText(), "No such file or directory");
  tmp_.MakeDir("data/dir");
  EXPECT_TRUE(files_.Rename(kDataArea, "dir", "moved"));
  EXPECT_TRUE(files_.IsDirectory(kDataArea, "moved"));
}

TEST_F(Operations, RenameCopiesAcrossFileSystems) {
  // /dev/shm is a separate tmpfs on most machines; where it is not, this
  // is an ordinary rename and must give the same result.
  std::string shm = "/dev/shm/orin-files-XXXXXX";
  if (!fs::is_directory("/dev/shm") || mkdtemp(shm.data()) == nullptr) {
    GTEST_SKIP() << "no /dev/shm";
  }
  std::ofstream(shm + "/f") << "payload";
  fs::last_write_time(shm + "/f", fs::file_time_type::clock::now() - std::chrono::hours(48));
  auto when = fs::last_write_time(shm + "/f");
  bool ok = files_.Rename(shm + "/f", tmp_ / "data/f");
  std::string error = files_.ErrorText();
  bool source_left = fs::exists(shm + "/f");
  fs::remove_all(shm);
  ASSERT_TRUE(ok) << error;
  EXPECT_FALSE(source_left);
  EXPECT_EQ(tmp_.Read("data/f"), "payload");
  EXPECT_EQ(
      std::chrono::duration_cast<std::chrono::seconds>(fs::last_write_time(tmp_ / "data/f") - when)
          .count(),
      0);
}

TEST_F(Operations, ExistenceSizeTimesAndDirectories) {
  tmp_.Write("data/f", "12345");
  bool directory = true;
  EXPECT_TRUE(files_.Exists(kDataArea, "f"));
  EXPECT_TRUE(files_.Stat(kDataArea, "f", &directory));
  EXPECT_FALSE(directory);
  EXPECT_EQ(files_.Size(kDataArea, "f"), 5);
  EXPECT_FALSE(files_.Exists(kDataArea, "g"));
  EXPECT_EQ(files_.ErrorText(), "No such file or directory");
  EXPECT_EQ(files_.Size(kDataArea, "g"), -1);

  ASSERT_TRUE(files_.SetTime(kDataArea, "f", 86400));
  int64_t seconds = 0;
  ASSERT_TRUE(files_.GetTime(kDataArea, "f", &seconds));
  EXPECT_EQ(seconds, 86400);
  int64_t before = std::time(nullptr);
  ASSERT_TRUE(files_.Touch(kDataArea, "f"));
  ASSERT_TRUE(files_.GetTime(kDataArea, "f", &seconds));
  EXPECT_GE(seconds, before);
  EXPECT_FALSE(files_.Touch(kDataArea, "g"));  // touching does not create

  ASSERT_TRUE(files_.MakeDirectory(kDataArea, "d")) << files_.ErrorText();
  EXPECT_TRUE(files_.IsDirectory(kDataArea, "d"));
  EXPECT_TRUE(files_.Stat(kDataArea, "d", &directory));
  EXPECT_TRUE(directory);
  EXPECT_FALSE(files_.IsDirectory(kDataArea, "f"));
  EXPECT_FALSE(files_.MakeDirectory(kDataArea, "d"));
  EXPECT_EQ(files_.ErrorText(), "File exists");
  tmp_.Write("data/d/x", "");
  EXPECT_FALSE(files_.RemoveDirectory(kDataArea, "d"));
  EXPECT_EQ(files_.ErrorText(), "Directory not empty");
  EXPECT_TRUE(files_.Delete(kDataArea, "d/x"));
  EXPECT_TRUE(files_.RemoveDirectory(kDataArea, "d"));
  EXPECT_FALSE(tmp_.Has("data/d"));
  EXPECT_FALSE(files_.Delete(kDataArea, "d"));
}

TEST_F(Operations, ListDirectoryNamesEverything) {
  tmp_.Write("data/sub/one", "");
  tmp_.Write("data/sub/two", "");
  tmp_.MakeDir("data/sub/three");
  std::vector<std::string> names = {"kept"};
  ASSERT_TRUE(files_.ListDirectory(kDataArea, "sub", &names)) << files_.ErrorText();
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{".", "..", "kept", "one", "three", "two"}));
  EXPECT_FALSE(files_.ListDirectory(kDataArea, "sub/one", &names));
  EXPECT_EQ(files_.ErrorText(), "Not a directory");
}

TEST_F(Operations, ReadOnlyAttributeClearsWritePermission) {
  tmp_.Write("data/f", "x");
  fs::permissions(tmp_ / "data/f", fs::perms::owner_read | fs::perms::owner_write |
                                       fs::perms::group_write | fs::perms::others_read);
  ASSERT_TRUE(files_.SetAttributes(kDataArea, "f", kAttributeReadOnly)) << files_.ErrorText();
  EXPECT_EQ(fs::status(tmp_ / "data/f").permissions(),
            fs::perms::owner_read | fs::perms::others_read);
  ASSERT_TRUE(files_.SetAttributes(kDataArea, "f", 0));
  EXPECT_EQ(fs::status(tmp_ / "data/f").permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read);
}

TEST_F(Operations, AbsoluteFormsWorkOutsideEveryArea) {
  tmp_.Write("log/server.log", "line\n");
  EXPECT_TRUE(files_.Exists(tmp_ / "log/server.log"));
  EXPECT_TRUE(files_.Copy(tmp_ / "log/server.log", tmp_ / "log/copy.log"));
  EXPECT_EQ(tmp_.Read("log/copy.log"), "line\n");
  EXPECT_FALSE(files_.Exists("log/server.log"));
  EXPECT_EQ(files_.ErrorText(), "The specified path is not an absolute path");
}

}  // namespace
}  // namespace orin

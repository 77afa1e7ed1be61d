#include "platform/config_store.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

namespace orin {
namespace {

// A settings file read again and again while it changes: every change is
// seen by the next Load, however it was made.
class ConfigStoreReload : public testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/orin-store-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    path_ = dir_ + "/vm.toml";
  }
  void TearDown() override {
    std::remove(path_.c_str());
    std::remove((path_ + ".new").c_str());
    rmdir(dir_.c_str());
  }
  void Write(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
  }
  // Puts the modification time back, as a copying tool that keeps times
  // does (the change time still moves).
  void Age(const std::string& path, int seconds) {
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    struct timespec times[2] = {{now.tv_sec - seconds, 0}, {now.tv_sec - seconds, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  }
  int32_t Port() {
    ConfigStore store(ConfigFiles{path_, ""});
    EXPECT_TRUE(store.Load()) << store.ErrorText();
    int32_t port = -1;
    store.GetInt("port", &port);
    return port;
  }

  std::string dir_, path_;
};

TEST_F(ConfigStoreReload, EveryKindOfEditIsSeenByTheNextLoad) {
  Write(path_, "port = 1111\n");
  Age(path_, 3600);
  // A file is kept once its last change is older than time stamps can tell
  // apart; wait for that, so that the edits below meet a kept copy.
  std::this_thread::sleep_for(std::chrono::milliseconds(2100));
  EXPECT_EQ(Port(), 1111);
  EXPECT_EQ(Port(), 1111);
  // In place, same size, modification time put back: the change time moved.
  Write(path_, "port = 2222\n");
  Age(path_, 3600);
  EXPECT_EQ(Port(), 2222);
  // Replaced by a rename.
  Write(path_ + ".new", "port = 3333\n");
  Age(path_ + ".new", 3600);
  ASSERT_EQ(std::rename((path_ + ".new").c_str(), path_.c_str()), 0);
  EXPECT_EQ(Port(), 3333);
  // Removed: the defaults again.
  std::remove(path_.c_str());
  EXPECT_EQ(Port(), -1);
  // A broken file reports its error each time, not the last good values.
  Write(path_, "port = = 4\n");
  ConfigStore broken(ConfigFiles{path_, ""});
  EXPECT_FALSE(broken.Load());
  EXPECT_NE(broken.ErrorText().find(path_), std::string::npos);
}

}  // namespace
}  // namespace orin

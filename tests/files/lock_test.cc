// The lock-file protocol between threads, processes and hosts.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "files/file_manager.h"
#include "platform/process_info.h"
#include "temp_dir.h"
#include "util/md5.h"

namespace orin {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;

class Locks : public ::testing::Test {
 protected:
  Locks() : files_(&env_) {
    tmp_.MakeDir("data");
    env_.set_file_delay(2);
    EXPECT_TRUE(files_.SetDataDirectory(tmp_ / "data")) << files_.ErrorText();
  }

  std::string Owner(uint32_t pid, uint32_t tid) {
    return std::to_string(pid) + "!" + std::to_string(tid) + ":" + env_.LockHostName();
  }
  std::vector<std::string> DataFiles() {
    std::vector<std::string> names;
    for (auto& e : fs::directory_iterator(tmp_ / "data")) {
      names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  void Age(const char* name, int seconds) {
    fs::last_write_time(tmp_ / name,
                        fs::file_time_type::clock::now() - std::chrono::seconds(seconds));
  }
  // A process id that is certainly not running: a child that has exited
  // and been reaped.
  static uint32_t DeadPid() {
    pid_t child = fork();
    if (child == 0) _exit(0);
    waitpid(child, nullptr, 0);
    return static_cast<uint32_t>(child);
  }

  TempDir tmp_;
  SimpleFileEnvironment env_;
  FileManager files_;
};

// Adds one to a counter file, reading and writing it in two steps so that
// unserialised increments would be lost.
bool Increment(FileManager& m, int times) {
  for (int i = 0; i < times; ++i) {
    if (m.AcquireLock(kDataArea, "counter.lck") != kLockAcquired) return false;
    auto f = m.Open(kDataArea, "counter", kOpenRead | kOpenWrite | kOpenCreate);
    char text[16] = {};
    if (!f || f->Read(text, 15) < 0) return false;
    std::string next = std::to_string(std::atoi(text) + 1);
    std::this_thread::yield();
    if (f->Seek(0) != 0 || f->Write(next.data(), static_cast<int32_t>(next.size())) < 0) {
      return false;
    }
    f.reset();
    if (!m.ReleaseLock(kDataArea, "counter.lck")) return false;
  }
  return true;
}

TEST_F(Locks, LockFileNamesItsOwnerAndGoesAwayOnRelease) {
  ASSERT_EQ(files_.AcquireLock(kDataArea, "orders.dat.lck"), kLockAcquired) << files_.ErrorText();
  EXPECT_EQ(tmp_.Read("data/orders.dat.lck"), Owner(CurrentProcessId(), CurrentThreadId()));
  EXPECT_EQ(DataFiles(), std::vector<std::string>{"orders.dat.lck"});  // no private file left
  EXPECT_EQ(files_.CheckLock(kDataArea, "orders.dat.lck"), kLockOwnThread);

  // Taking it again on this thread would wait forever.
  EXPECT_EQ(files_.AcquireLock(kDataArea, "orders.dat.lck"), kLockDeadlock);
  EXPECT_EQ(files_.ErrorText(), "Possible deadlock detected");
  EXPECT_EQ(DataFiles(), std::vector<std::string>{"orders.dat.lck"});

  ASSERT_TRUE(files_.ReleaseLock(kDataArea, "orders.dat.lck"));
  EXPECT_TRUE(DataFiles().empty());
  EXPECT_EQ(files_.CheckLock(kDataArea, "orders.dat.lck"), kLockRetry);
  EXPECT_EQ(files_.AcquireLock(kDataArea, "../x.lck"), kLockError);
  EXPECT_EQ(files_.ErrorText(),
            "The specified path references a path outside the configured data directory");
}

TEST_F(Locks, WaitingThreadUsesItsPrivateFileAndProceedsAfterRelease) {
  ASSERT_EQ(files_.AcquireLock(kDataArea, "x.lck"), kLockAcquired);
  std::atomic<uint32_t> waiter_tid{0};
  std::atomic<int> result{-1};
  std::thread waiter([&] {
    FileManager mine(&env_);
    mine.SetDataDirectory(tmp_ / "data");
    waiter_tid = CurrentThreadId();
    result = mine.AcquireLock(kDataArea, "x.lck");
    if (result == kLockAcquired) mine.ReleaseLock(kDataArea, "x.lck");
  });
  std::string private_name;
  // The waiter may be slow to start on a busy machine: wait for its file,
  // bounded only against a hang.
  for (auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
       private_name.empty() && std::chrono::steady_clock::now() < deadline;) {
    std::this_thread::sleep_for(milliseconds(2));
    for (const std::string& name : DataFiles()) {
      if (name != "x.lck") private_name = name;
    }
  }
  EXPECT_EQ(private_name, "x.lck." + HexLower(Md5::Digest(env_.LockHostName())) + "." +
                              std::to_string(CurrentProcessId()) + "." +
                              std::to_string(waiter_tid.load()));
  EXPECT_EQ(result.load(), -1);  // still waiting while the lock is held
  ASSERT_TRUE(files_.ReleaseLock(kDataArea, "x.lck"));
  waiter.join();
  EXPECT_EQ(result.load(), kLockAcquired);
  EXPECT_TRUE(DataFiles().empty());
}

TEST_F(Locks, ThreadsExcludeEachOther) {
  std::vector<std::thread> threads;
  std::atomic<int> failures{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      FileManager mine(&env_);
      if (!mine.SetDataDirectory(tmp_ / "data") || !Increment(mine, 50)) ++failures;
    });
  }
  for (auto& t : threads)
    t.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(tmp_.Read("data/counter"), "200");
  EXPECT_EQ(DataFiles(), std::vector<std::string>{"counter"});
}

TEST_F(Locks, ProcessesExcludeEachOther) {
  std::vector<pid_t> children;
  for (int p = 0; p < 2; ++p) {
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      SimpleFileEnvironment env;
      env.set_file_delay(1);
      FileManager mine(&env);
      bool ok = mine.SetDataDirectory(tmp_ / "data") && Increment(mine, 100);
      _exit(ok ? 0 : 1);
    }
    children.push_back(child);
  }
  ASSERT_TRUE(Increment(files_, 100)) << files_.ErrorText();
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  EXPECT_EQ(tmp_.Read("data/counter"), "300");
}

TEST_F(Locks, LockOfADeadProcessIsTakenOverAtOnce) {
  tmp_.Write("data/x.lck", Owner(DeadPid(), 1));
  EXPECT_EQ(files_.CheckLock(kDataArea, "x.lck"), kLockStale);
  env_.SetDeadline(milliseconds(3000));  // waiting instead would time out
  EXPECT_EQ(files_.AcquireLock(kDataArea, "x.lck"), kLockAcquired) << files_.ErrorText();
  EXPECT_EQ(tmp_.Read("data/x.lck"), Owner(CurrentProcessId(), CurrentThreadId()));
  EXPECT_EQ(DataFiles(), std::vector<std::string>{"x.lck"});

  // Ids that no process can have must not reach kill(): -1 would signal
  // every process, and 0 the caller's group.
  tmp_.Write("data/y.lck", "4294967295!1:" + env_.LockHostName());
  EXPECT_EQ(files_.CheckLock(kDataArea, "y.lck"), kLockStale);
  tmp_.Write("data/y.lck", "2147483648:" + env_.LockHostName());
  EXPECT_EQ(files_.CheckLock(kDataArea, "y.lck"), kLockStale);
  // A live process of this host holds its lock however old it is.
  tmp_.Write("data/y.lck", Owner(1, 1));
  Age("data/y.lck", 100000);
  EXPECT_EQ(files_.CheckLock(kDataArea, "y.lck"), kLockHeld);
  // Another thread of this process holds it; this thread does not.
  tmp_.Write("data/y.lck", Owner(CurrentProcessId(), CurrentThreadId() + 1));
  EXPECT_EQ(files_.CheckLock(kDataArea, "y.lck"), kLockHeld);
  tmp_.Write("data/y.lck", std::to_string(CurrentProcessId()) + ":" + env_.LockHostName());
  EXPECT_EQ(files_.CheckLock(kDataArea, "y.lck"), kLockOwnThread);  // no thread id: 0
}

TEST_F(Locks, LockOfAnotherHostExpires) {
  env_.set_lock_expiration(90);
  tmp_.Write("data/x.lck", "1234!5:elsewhere");
  Age("data/x.lck", 10);
  EXPECT_EQ(files_.CheckLock(kDataArea, "x.lck"), kLockHeld);
  Age("data/x.lck", 100);
  EXPECT_EQ(files_.CheckLock(kDataArea, "x.lck"), kLockStale);
  env_.SetDeadline(milliseconds(3000));
  EXPECT_EQ(files_.AcquireLock(kDataArea, "x.lck"), kLockAcquired) << files_.ErrorText();
  ASSERT_TRUE(files_.ReleaseLock(kDataArea, "x.lck"));

  // Content that names no owner is judged by age alone.
  for (const char* content : {"garbage", "", "0!0:" /* pid 0 */, "12!x:host"}) {
    tmp_.Write("data/y.lck", content);
    Age("data/y.lck", 100);
    EXPECT_EQ(files_.CheckLock(kDataArea, "y.lck"), kLockStale) << content;
  }
  env_.set_lock_expiration(0);  // never expires
  Age("data/y.lck", 1000000);
  EXPECT_EQ(files_.CheckLock(kDataArea, "y.lck"), kLockHeld);
}

TEST_F(Locks, WaitEndsWithTheRequestTimeOut) {
  tmp_.Write("data/x.lck", "1234!5:elsewhere");
  env_.SetDeadline(milliseconds(200));
  EXPECT_EQ(files_.AcquireLock(kDataArea, "x.lck"), kLockTimedOut);
  EXPECT_EQ(files_.ErrorText(), "Timed out waiting for lock");
  EXPECT_EQ(DataFiles(), std::vector<std::string>{"x.lck"});
  EXPECT_EQ(tmp_.Read("data/x.lck"), "1234!5:elsewhere");

  // The watchdog sets the flag from its own thread.
  SimpleFileEnvironment env;
  env.set_file_delay(5);
  FileManager m(&env);
  ASSERT_TRUE(m.SetDataDirectory(tmp_ / "data"));
  std::thread watchdog([&] {
    std::this_thread::sleep_for(milliseconds(100));
    env.SetTimedOut(true);
  });
  EXPECT_EQ(m.AcquireLock(kDataArea, "x.lck"), kLockTimedOut);
  watchdog.join();
}

TEST_F(Locks, LeftoverPrivateFileIsAnError) {
  std::string private_name = "data/x.lck." + HexLower(Md5::Digest(env_.LockHostName())) + "." +
                             std::to_string(CurrentProcessId()) + "." +
                             std::to_string(CurrentThreadId());
  tmp_.Write(private_name, "");
  EXPECT_EQ(files_.AcquireLock(kDataArea, "x.lck"), kLockError);
  EXPECT_EQ(files_.ErrorText(), "File exists");
  EXPECT_FALSE(tmp_.Has("data/x.lck"));
}

TEST_F(Locks, DirectoryInTheWayEndsInTimeOut) {
  tmp_.MakeDir("data/x.lck");
  env_.SetDeadline(milliseconds(200));
  EXPECT_EQ(files_.AcquireLock(kDataArea, "x.lck"), kLockTimedOut);
  EXPECT_TRUE(fs::is_directory(tmp_ / "data/x.lck"));
}

}  // namespace
}  // namespace orin

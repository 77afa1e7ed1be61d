// ZtCAPTURE and ZtLOCKFILE blocks: the machine's features over real output
// sinks and real lock files.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "files/temp_dir.h"
#include "vm_test_util.h"

namespace orin::test {
namespace {

TEST(Capture, ErrorsInsideReachTheRealResponse) {
  VmRun run(R"(
        pushg page
        capture
        pushc "lost"
        out
        pop
  )");
  EXPECT_EQ(run.Run(), 0);
  EXPECT_EQ(run.app.output.headers["Status"], "500 Internal Server Error");
  EXPECT_EQ(run.out(), "");
  // The run ended with the block open: the sink is the real one again once
  // the machine lets go.
  EXPECT_NE(run.app.GetOutput(), &run.app.output);
  run.vm().Release();
  EXPECT_EQ(run.app.GetOutput(), &run.app.output);
  EXPECT_EQ(run.Global("page"), "");
}

class Lockfiles : public ::testing::Test {
 protected:
  void Prepare(VmRun& run) {
    ASSERT_TRUE(run.app.files().SetDataDirectory(dir.path())) << run.app.files().ErrorText();
    run.app.environment().set_file_delay(5);
  }
  bool Locked(const std::string& name) { return std::filesystem::exists(dir / name); }

  TempDir dir;
};

TEST_F(Lockfiles, ReleasedAtTheEndOfTheBlock) {
  VmRun run(R"(
        pushc "orders.dat"
        lockfile
        pushc "in"
        out
  )");
  Prepare(run);
  EXPECT_EQ(run.Output(), "in");
  EXPECT_TRUE(Locked("orders.dat.lck"));  // the run ended inside the block
  run.vm().Release();
  EXPECT_FALSE(Locked("orders.dat.lck"));
}

TEST_F(Lockfiles, NonFatalFailureLetsTheBlockEnd) {
  VmRun run(R"(
        tagerror 23, 1
        pushc "a"
        lockfile
        pushc "a"
        lockfile
        lockfile_end
        lockfile_end
        pushc "ok"
        out
        lockfile_end
  )");
  Prepare(run);
  EXPECT_EQ(run.Run(), 0);
  EXPECT_EQ(run.out(), "ok");
  EXPECT_EQ(MessageOf(run.vm().ErrorText()), "Invalid instruction");
  EXPECT_FALSE(Locked("a.lck"));
}

TEST_F(Lockfiles, OutsideTheDataDirectory) {
  VmRun run(R"(
        tagerror 23, 1
        pushc "../escape"
        lockfile
  )");
  Prepare(run);
  EXPECT_EQ(run.Run(), 1);
  ASSERT_EQ(run.app.runtime.size(), 1u);
  EXPECT_NE(run.app.runtime[0].text.find("Error creating lockfile '../escape.lck': "),
            std::string::npos);
}

TEST_F(Lockfiles, SecondRunWaitsForTheFirst) {
  // Another thread holds the lock through its own file manager; the script
  // waits and proceeds once it is given back.
  TestApplication holder;
  ASSERT_TRUE(holder.files().SetDataDirectory(dir.path()));
  std::atomic<int> taken{-1};
  std::atomic<bool> released{false};
  std::thread other([&] {
    taken = holder.files().AcquireLock(kDataArea, "shared.lck") == kLockAcquired ? 1 : 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    released = true;
    holder.files().ReleaseLock(kDataArea, "shared.lck");
  });
  while (taken < 0)
    std::this_thread::yield();
  if (taken != 1) {
    other.join();
    FAIL() << "the other thread could not take the lock";
  }
  VmRun run(R"(
        pushc "shared"
        lockfile
        pushc "got it"
        out
        lockfile_end
  )");
  Prepare(run);
  EXPECT_EQ(run.Run(), 1);
  EXPECT_TRUE(released.load());
  EXPECT_EQ(run.out(), "got it");
  other.join();
}

TEST_F(Lockfiles, WaitEndsWithTheTimeOut) {
  TestApplication holder;
  ASSERT_TRUE(holder.files().SetDataDirectory(dir.path()));
  // Held in the name of another thread of this process, which never lets
  // go.
  std::thread other([&] { holder.files().AcquireLock(kDataArea, "busy.lck"); });
  other.join();
  VmRun run(R"(
        tagerror 23, 1
        pushc "busy"
        lockfile
        pushc "never"
        out
        lockfile_end
        pushc "continued"
        out
  )");
  Prepare(run);
  run.app.environment().SetDeadline(std::chrono::milliseconds(100));
  EXPECT_EQ(run.Run(), 1);
  ASSERT_EQ(run.app.runtime.size(), 1u);
  EXPECT_NE(run.app.runtime[0].text.find(
                "Error creating lockfile 'busy.lck': Timed out waiting for lock"),
            std::string::npos)
      << run.app.runtime[0].text;
  EXPECT_EQ(run.out(), "continued");
  holder.files().ReleaseLock(kDataArea, "busy.lck");
}

// An application without tasks refuses the block, which then never runs:
// neither here nor on another thread.
TEST(AsyncBlocks, RefusedBlockIsSkippedWithItsText) {
  VmRun run(R"(
        async after
        pushc "in block"
        out
        retn
after:  pushc "after"
        out
  )");
  EXPECT_EQ(run.Run(), 1);
  EXPECT_EQ(run.out(), "after");
  ASSERT_EQ(run.app.runtime.size(), 1u);
  EXPECT_NE(run.app.runtime[0].text.find("Asynchronoust tasks are not supported"),
            std::string::npos)
      << run.app.runtime[0].text;
}

}  // namespace
}  // namespace orin::test

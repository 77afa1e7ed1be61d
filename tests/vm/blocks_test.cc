// ZtCAPTURE and ZtLOCKFILE blocks: the machine's features over real output
// sinks and real lock files. Waiting for a lock held elsewhere, and its
// time-out, are the file manager's tests.
#include <gtest/gtest.h>

#include <filesystem>

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

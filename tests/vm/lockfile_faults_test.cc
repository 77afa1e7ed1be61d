// A script's ZtLOCKFILE block with the Nth file system call failing, for
// N = 1, 2, 3 ... until the run needs fewer calls. Every run must end, the
// failure must reach the script as the system's text, and no lock may be
// left behind except when deleting it was what failed.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "files/temp_dir.h"
#include "platform/file_calls.h"
#include "platform/plain_file.h"
#include "vm_test_util.h"

namespace orin {
namespace {

using test::VmRun;

TEST(LockfileFaults, EveryFailingCallEndsTheRunWithTheSystemsText) {
  int64_t n = 1;
  bool reported = false;
  for (;; ++n) {
    SCOPED_TRACE("failing call " + std::to_string(n));
    TempDir dir;
    VmRun run(R"(
        tagerror 23, 1
        pushc "orders"
        lockfile
        pushc "in "
        out
        lockfile_end
        pushc "done"
        out
    )");
    ASSERT_TRUE(run.app.files().SetDataDirectory(dir.path())) << run.app.files().ErrorText();
    run.app.environment().set_file_delay(1);
    FaultInjectingFileCalls faults(n);
    int result;
    {
      ScopedFileCalls installed(&faults);
      result = run.Run();
    }
    EXPECT_EQ(result, 1);
    if (!faults.failed()) {
      EXPECT_EQ(run.out(), "in done");
      EXPECT_FALSE(run.HasGlobal("ZtLOCKFILE_Error"));
      break;
    }
    std::string error = run.HasGlobal("ZtLOCKFILE_Error") ? run.Global("ZtLOCKFILE_Error") : "";
    // A refused lock skips the body.
    EXPECT_EQ(run.out(), error.empty() ? "in done" : "done");
    if (!error.empty()) {
      reported = true;
      EXPECT_EQ(error,
                "Error creating lockfile 'orders.lck': " + SystemErrorText(faults.failed_errno()));
    }
    if (std::filesystem::exists(dir / "orders.lck")) {
      EXPECT_TRUE(error.empty());  // taken, then deleting it failed
      EXPECT_TRUE(faults.failed_call() == FileCall::kUnlink ||
                  faults.failed_call() == FileCall::kOpen);
    }
  }
  EXPECT_GT(n, 3);
  EXPECT_TRUE(reported);
}

}  // namespace
}  // namespace orin

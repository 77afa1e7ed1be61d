// A full or failing disk at every step of a save: the Nth file system call
// fails, for N = 1, 2, 3 ... until a save needs no more calls than that.
// Every failure must come back as the system's text for the error, leave
// the saved file and its backup whole (old or new content, never a mix)
// and let the next save succeed and clean up after it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "files/file_manager.h"
#include "platform/file_calls.h"
#include "platform/plain_file.h"
#include "temp_dir.h"

namespace orin {
namespace {

namespace fs = std::filesystem;

// Big enough that a write cut in half is visible.
std::string Version(char c) {
  std::string text;
  for (int i = 0; i < 400; ++i)
    text += std::string(9, c) + "\n";
  return text;
}

const std::string kOld = Version('o');
const std::string kNew = Version('n');

// What a site's script does to save a record: under the lock file it
// writes the new version beside the old one, keeps a backup of the old,
// replaces it in one rename and reads the result back under a shared
// byte-range lock. False with the message of the step that failed.
bool Save(FileManager& files, std::string* error) {
  if (files.AcquireLock(kDataArea, "orders.lck") != kLockAcquired) {
    *error = files.ErrorText();
    return false;
  }
  bool ok = [&] {
    std::unique_ptr<File> out =
        files.Open(kDataArea, "orders.new", kOpenWrite | kOpenCreate | kOpenTruncate);
    if (out == nullptr) return (*error = files.ErrorText()), false;
    if (out->Write(kNew.data(), static_cast<int32_t>(kNew.size())) !=
        static_cast<int32_t>(kNew.size())) {
      return (*error = out->ErrorText()), false;
    }
    out.reset();
    if (!files.Copy(kDataArea, "orders.txt", "orders.bak") ||
        !files.Rename(kDataArea, "orders.new", "orders.txt")) {
      return (*error = files.ErrorText()), false;
    }
    std::unique_ptr<File> in = files.Open(kDataArea, "orders.txt", kOpenRead);
    if (in == nullptr) return (*error = files.ErrorText()), false;
    if (!in->LockRegion(0, 1, false, true)) return (*error = in->ErrorText()), false;
    std::string back(kNew.size() + 1, '\0');
    int32_t n = in->Read(back.data(), static_cast<int32_t>(back.size()));
    if (n < 0) return (*error = in->ErrorText()), false;
    back.resize(static_cast<size_t>(n));
    if (back != kNew) return (*error = "read back something else"), false;
    return in->UnlockRegion(0, 1) || ((*error = in->ErrorText()), false);
  }();
  if (!files.ReleaseLock(kDataArea, "orders.lck") && ok) {
    *error = files.ErrorText();
    return false;
  }
  return ok;
}

std::vector<std::string> Names(const std::string& directory) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(directory))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(FileFaults, EveryFailingCallOfASaveLeavesFilesWhole) {
  std::set<FileCall> failed_kinds;
  int64_t n = 1;
  for (;; ++n) {
    SCOPED_TRACE("failing call " + std::to_string(n));
    TempDir dir;
    dir.Write("orders.txt", kOld);
    SimpleFileEnvironment environment;
    environment.set_file_delay(1);
    FileManager files(&environment);
    ASSERT_TRUE(files.SetDataDirectory(dir.path())) << files.ErrorText();

    FaultInjectingFileCalls faults(n);
    std::string error;
    bool saved;
    {
      ScopedFileCalls installed(&faults);
      saved = Save(files, &error);
    }
    if (!faults.failed()) {
      // The save needs fewer calls than n: every step has been failed once.
      ASSERT_TRUE(saved) << error;
      break;
    }
    failed_kinds.insert(faults.failed_call());
    // A failure the save can do without (clearing away a leftover, a read
    // past the data) may pass unreported; any other gives its text.
    if (!saved) {
      EXPECT_EQ(error, SystemErrorText(faults.failed_errno()));
    }

    std::string now = dir.Read("orders.txt");
    EXPECT_TRUE(now == kOld || now == kNew) << "orders.txt torn: " << now.size() << " bytes";
    if (saved) {
      EXPECT_EQ(now, kNew);
    }
    if (dir.Has("orders.bak")) {
      EXPECT_EQ(dir.Read("orders.bak"), kOld);
    }
    if (dir.Has("orders.lck")) {
      // Only a failed release leaves the lock behind; its owner (this
      // thread) is alive, so an operator has to remove it.
      EXPECT_FALSE(saved);
      EXPECT_TRUE(faults.failed_call() == FileCall::kUnlink ||
                  faults.failed_call() == FileCall::kOpen);
      fs::remove(dir / "orders.lck");
    }
    for (const std::string& name : Names(dir.path())) {
      if (name.rfind("orders.lck.", 0) != 0) continue;
      // A private lock file whose removal failed; this thread's next lock
      // on the name would fail with "File exists" until it is removed.
      EXPECT_TRUE(faults.failed_call() == FileCall::kUnlink ||
                  faults.failed_call() == FileCall::kOpen);
      fs::remove(dir / name);
    }

    ASSERT_TRUE(Save(files, &error)) << "after the failure: " << error;
    EXPECT_EQ(dir.Read("orders.txt"), kNew);
    EXPECT_EQ(Names(dir.path()), (std::vector<std::string>{"orders.bak", "orders.txt"}));
  }
  EXPECT_GT(n, 20);
  for (FileCall kind : {FileCall::kOpen, FileCall::kRead, FileCall::kWrite, FileCall::kLock,
                        FileCall::kRename, FileCall::kLink, FileCall::kUnlink, FileCall::kSync}) {
    EXPECT_TRUE(failed_kinds.count(kind)) << "never failed: call kind " << static_cast<int>(kind);
  }
}

}  // namespace
}  // namespace orin

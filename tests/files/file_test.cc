// Opening, reading and writing files, the handle cache, temporary files and
// byte-range locks.
#include "files/file.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "files/file_manager.h"
#include "temp_dir.h"

namespace orin {
namespace {

class Files : public ::testing::Test {
 protected:
  Files() : files_(&env_) {
    tmp_.MakeDir("data");
    EXPECT_TRUE(files_.SetDataDirectory(tmp_ / "data")) << files_.ErrorText();
  }

  std::string ReadAll(File* f) {
    std::string out;
    char buffer[64];
    int32_t n;
    while ((n = f->Read(buffer, sizeof buffer)) > 0)
      out.append(buffer, n);
    return out;
  }

  TempDir tmp_;
  SimpleFileEnvironment env_;
  FileManager files_;
};

TEST_F(Files, OpenModesFollowTheirPrecedence) {
  struct Case {
    uint32_t mode;
    bool exists;
    const char* result;  // content after writing "XY", or the error
  } cases[] = {
      {kOpenWrite, true, "XYcdef"},
      {kOpenWrite, false, "error: No such file or directory"},
      {kOpenWrite | kOpenCreateNew, true, "error: File exists"},
      {kOpenWrite | kOpenCreateNew, false, "XY"},
      {kOpenWrite | kOpenCreate | kOpenTruncate, true, "XY"},
      {kOpenWrite | kOpenCreate | kOpenTruncate, false, "XY"},
      {kOpenWrite | kOpenTruncate, true, "XY"},
      {kOpenWrite | kOpenTruncate, false, "error: No such file or directory"},
      {kOpenWrite | kOpenCreate, true, "XYcdef"},
      {kOpenWrite | kOpenCreate, false, "XY"},
      {kOpenWrite | kOpenAppend, true, "abcdefXY"},
      {kOpenWrite | kOpenAppend, false, "XY"},
      // Must-exist outranks create and append, but not truncate or create-new.
      {kOpenWrite | kOpenCreate | kOpenMustExist, false, "error: No such file or directory"},
      {kOpenWrite | kOpenAppend | kOpenMustExist, false, "error: No such file or directory"},
      {kOpenWrite | kOpenAppend | kOpenMustExist, true, "abcdefXY"},
      {kOpenWrite | kOpenCreateNew | kOpenMustExist, false, "XY"},
      {kOpenWrite | kOpenTruncate | kOpenMustExist, true, "XY"},
      {kOpenRead | kOpenWrite | kOpenCreateNew | kOpenTruncate, true, "error: File exists"},
  };
  for (const Case& c : cases) {
    std::filesystem::remove(tmp_ / "data/f");
    if (c.exists) tmp_.Write("data/f", "abcdef");
    std::string result;
    if (auto f = files_.Open(kDataArea, "f", c.mode)) {
      EXPECT_EQ(f->Write("XY", 2), 2) << f->ErrorText();
      f.reset();
      result = tmp_.Read("data/f");
    } else {
      result = "error: " + files_.ErrorText();
    }
    EXPECT_EQ(result, c.result) << "mode " << c.mode << (c.exists ? " existing" : " missing");
  }
}

TEST_F(Files, ReadWriteSeekAndAccess) {
  tmp_.Write("data/f", "0123456789");
  auto f = files_.Open(kDataArea, "f", kOpenRead);
  ASSERT_NE(f, nullptr);
  char b[16];
  EXPECT_EQ(f->Seek(7), 7);
  EXPECT_EQ(f->Read(b, 16), 3);
  EXPECT_EQ(f->Read(b, 16), 0);
  EXPECT_EQ(f->Seek(-4, SeekOrigin::kEnd), 6);
  EXPECT_EQ(f->Tell(), 6);
  EXPECT_EQ(f->ReadAt(2, b, 3), 3);
  EXPECT_EQ(std::string(b, 3), "234");
  EXPECT_EQ(f->Tell(), 6);  // ReadAt leaves the position alone
  EXPECT_EQ(f->Size(), 10);
  EXPECT_EQ(f->Read(b, -1), -1);
  EXPECT_EQ(f->ErrorText(), "Invalid size");
  EXPECT_EQ(f->Seek(-1), -1);
  EXPECT_EQ(f->ErrorText(), "Invalid argument");
  EXPECT_EQ(f->Write("x", 1), -1);  // opened for reading only
  EXPECT_EQ(f->ErrorText(), "Bad file descriptor");
  EXPECT_EQ(tmp_.Read("data/f"), "0123456789");

  auto w = files_.Open(kDataArea, "f", kOpenRead | kOpenWrite);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->WriteAt(8, "XYZ", 3), 3);
  EXPECT_TRUE(w->Truncate(10));
  EXPECT_EQ(ReadAll(w.get()), "01234567XY");
  std::string nul("a\0b", 3);  // NUL bytes are data
  EXPECT_EQ(w->Seek(0), 0);
  EXPECT_EQ(w->Write(nul.data(), 3), 3);
  EXPECT_EQ(tmp_.Read("data/f").substr(0, 3), nul);

  EXPECT_EQ(files_.Open(kDataArea, ".", kOpenRead), nullptr);  // the root itself
  EXPECT_EQ(files_.ErrorText(), "Is a directory");
}

int OpenDescriptors() {
  int n = 0;
  for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator("/proc/self/fd"))
    ++n;
  return n;
}

TEST_F(Files, HandleCacheClosesLeastRecentlyUsedAndReopensAtPosition) {
  for (const char* name : {"a", "b", "c"})
    tmp_.Write(std::string("data/") + name, "0123456789");
  files_.SetMaxFiles(2);
  int baseline = OpenDescriptors();
  auto a = files_.Open(kDataArea, "a", kOpenRead);
  char buf[4];
  ASSERT_EQ(a->Read(buf, 3), 3);
  auto b = files_.Open(kDataArea, "b", kOpenRead);
  auto c = files_.Open(kDataArea, "c", kOpenRead);
  ASSERT_TRUE(a && b && c);
  EXPECT_FALSE(a->IsOpen());
  EXPECT_TRUE(b->IsOpen() && c->IsOpen());
  EXPECT_EQ(files_.ActiveCount(), 2);
  EXPECT_EQ(files_.InactiveCount(), 1);
  EXPECT_EQ(OpenDescriptors(), baseline + 2);
  EXPECT_EQ(a->Tell(), 3);

  ASSERT_EQ(a->Read(buf, 2), 2);  // reopened where it stopped
  EXPECT_EQ(std::string(buf, 2), "34");
  EXPECT_FALSE(b->IsOpen());  // now b is the least recently used
  EXPECT_EQ(OpenDescriptors(), baseline + 2);
  c->Size();  // any use counts
  auto d = files_.Open(kDataArea, "a", kOpenRead);
  EXPECT_FALSE(a->IsOpen());
  EXPECT_TRUE(c->IsOpen());

  EXPECT_FALSE(files_.Reserve(3));
  EXPECT_EQ(files_.ErrorText(),
            "Simultaneous request for 3 file handles exceeds the maximum number of simultaneous "
            "file handles.");
  EXPECT_TRUE(files_.Reserve(2));
  EXPECT_EQ(files_.ActiveCount(), 0);

  b.reset();  // a closed file leaves both lists
  d.reset();
  EXPECT_EQ(files_.ActiveCount() + files_.InactiveCount(), 2);
}

TEST_F(Files, ReopenedFileKeepsWhatWasWritten) {
  files_.SetMaxFiles(1);
  auto w = files_.Open(kDataArea, "out", kOpenWrite | kOpenCreate | kOpenTruncate);
  ASSERT_EQ(w->Write("abc", 3), 3);
  auto other = files_.Open(kDataArea, "other", kOpenWrite | kOpenCreate);
  ASSERT_FALSE(w->IsOpen());
  ASSERT_EQ(w->Write("def", 3), 3);  // no second truncation, same position
  w.reset();
  EXPECT_EQ(tmp_.Read("data/out"), "abcdef");

  // A file deleted while its handle was closed cannot come back.
  auto r = files_.Open(kDataArea, "out", kOpenRead);
  other = files_.Open(kDataArea, "other", kOpenRead);
  ASSERT_TRUE(files_.Delete(kDataArea, "out"));
  char b;
  EXPECT_EQ(r->Read(&b, 1), -1);
  EXPECT_EQ(r->ErrorText(), "No such file or directory");
}

TEST_F(Files, HandleCacheSparesLockedAndUnmanagedFiles) {
  tmp_.Write("data/a", "a");
  files_.SetMaxFiles(1);
  auto u = files_.Open(kDataArea, "a", kOpenRead | kOpenUnmanaged);
  auto locked = files_.Open(kDataArea, "a", kOpenRead | kOpenWrite);
  ASSERT_TRUE(locked->LockRegion(0, 1, true, false));
  auto b = files_.Open(kDataArea, "a", kOpenRead);
  // Closing the locked handle would silently drop its lock.
  EXPECT_TRUE(locked->IsOpen());
  EXPECT_TRUE(u->IsOpen());
  ASSERT_TRUE(locked->UnlockRegion(0, 1));
  auto c = files_.Open(kDataArea, "a", kOpenRead);
  EXPECT_FALSE(locked->IsOpen());
  EXPECT_TRUE(u->IsOpen());
  EXPECT_FALSE(files_.Activate(u.get()));
  EXPECT_EQ(files_.ErrorText(), "Activation request for invalid or non-active file");
}

TEST_F(Files, FilesMayOutliveTheirManager) {
  tmp_.Write("data/a", "abc");
  std::unique_ptr<File> f, g;
  {
    FileManager m(&env_);
    ASSERT_TRUE(m.SetDataDirectory(tmp_ / "data"));
    m.SetMaxFiles(1);
    f = m.Open(kDataArea, "a", kOpenRead);
    g = m.Open(kDataArea, "a", kOpenRead);
  }
  char b[3];
  EXPECT_EQ(g->Read(b, 3), 3);
  EXPECT_EQ(f->Read(b, 3), -1);  // its handle was closed and nobody can reopen it
}

TEST_F(Files, TemporaryFilesTakeTheFirstFreeHexName) {
  for (int i = 0; i < 10; ++i)
    tmp_.Write("data/up." + std::to_string(i), "");
  tmp_.MakeDir("data/up.a");  // a directory in the way is skipped too
  std::string path;
  auto t = files_.CreateTempFile(kDataArea, "", "up", &path, kOpenRead | kOpenWrite);
  ASSERT_NE(t, nullptr) << files_.ErrorText();
  EXPECT_EQ(path, "up.b");
  EXPECT_EQ(t->Write("x", 1), 1);
  EXPECT_EQ(tmp_.Read("data/up.b"), "x");
  ASSERT_NE(files_.CreateTempFile(kDataArea, ".", "up", &path, kOpenWrite), nullptr);
  EXPECT_EQ(path, "up.c");

  tmp_.Write("data/sub/t.0", "");
  ASSERT_NE(files_.CreateTempFile(kDataArea, "sub", "t", &path, kOpenWrite), nullptr);
  EXPECT_EQ(path, "sub/t.1");
  ASSERT_NE(files_.CreateTempFile(kDataArea, "sub\\", "t", &path, kOpenWrite), nullptr);
  EXPECT_EQ(path, "sub\\t.2");
  EXPECT_TRUE(tmp_.Has("data/sub/t.2"));
  ASSERT_NE(files_.CreateTempFile(tmp_ / "data/sub", "t", &path, kOpenWrite), nullptr);
  EXPECT_EQ(path, tmp_ / "data/sub/t.3");

  for (const char* prefix : {"a/b", "a\\b"}) {
    EXPECT_EQ(files_.CreateTempFile(kDataArea, "", prefix, &path, kOpenWrite), nullptr);
    EXPECT_EQ(files_.ErrorText(), "Invalid temporary filename prefix");
  }
  EXPECT_EQ(files_.CreateTempFile(kDataArea, "missing", "t", &path, kOpenWrite), nullptr);
  EXPECT_EQ(files_.ErrorText(), "No such file or directory");
}

TEST_F(Files, ByteRangeLocksExcludeOtherOpensInOneProcess) {
  tmp_.Write("data/table", std::string(100, '.'));
  auto a = files_.Open(kDataArea, "table", kOpenRead | kOpenWrite);
  auto b = files_.Open(kDataArea, "table", kOpenRead | kOpenWrite);
  ASSERT_TRUE(a->LockRegion(0, 10, true, false));
  EXPECT_FALSE(b->LockRegion(5, 1, true, false));
  EXPECT_EQ(b->ErrorText(), "Resource temporarily unavailable");
  EXPECT_FALSE(b->LockRegion(9, 5, false, false));
  EXPECT_TRUE(b->LockRegion(10, 10, true, false));  // adjacent, not overlapping
  // Closing a third open of the file must not release a's lock, unlike
  // classic POSIX locks.
  files_.Open(kDataArea, "table", kOpenRead).reset();
  EXPECT_FALSE(b->LockRegion(0, 1, true, false));
  EXPECT_TRUE(b->UnlockRegion(10, 10));
  EXPECT_FALSE(b->LockRegion(-1, 2, true, false));
  EXPECT_EQ(b->ErrorText(), "Invalid argument");

  ASSERT_TRUE(a->UnlockRegion(0, 10));
  ASSERT_TRUE(a->LockRegion(0, 10, false, false));
  EXPECT_TRUE(b->LockRegion(0, 10, false, false));  // shared locks coexist
  EXPECT_TRUE(b->UnlockRegion(0, 10));
  EXPECT_FALSE(b->LockRegion(0, 10, true, false));
}

TEST_F(Files, WaitingByteRangeLockBlocksUntilReleasedInAnotherThread) {
  tmp_.Write("data/table", "x");
  auto a = files_.Open(kDataArea, "table", kOpenRead | kOpenWrite);
  ASSERT_TRUE(a->LockRegion(0, 1, true, true));
  std::atomic<bool> trying{false};
  std::atomic<bool> holding{false};
  std::atomic<bool> ok{false};
  std::thread other([&] {
    FileManager mine(&env_);  // one manager per thread
    mine.SetDataDirectory(tmp_ / "data");
    auto b = mine.Open(kDataArea, "table", kOpenRead | kOpenWrite);
    trying = true;
    ok = b && b->LockRegion(0, 1, true, true);
    holding = true;
    if (ok) b->UnlockRegion(0, 1);
  });
  // Only once the other thread is about to lock does its not holding the
  // lock say anything.
  while (!trying)
    std::this_thread::yield();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_FALSE(holding.load());  // still blocked behind a's lock
  ASSERT_TRUE(a->UnlockRegion(0, 1));
  other.join();
  EXPECT_TRUE(ok.load());
}

TEST_F(Files, StreamOpenerReadsThroughTheArea) {
  tmp_.MakeDir("site");
  tmp_.Write("site/index.ztc", "compiled");
  ASSERT_TRUE(files_.SetScriptDirectory(tmp_ / "site"));
  AreaStreamOpener opener(&files_, kScriptArea);
  Stream* s = opener.OpenStream("/index.ztc", kOpenRead);
  ASSERT_NE(s, nullptr);
  char b[8];
  EXPECT_EQ(s->Read(b, 8), 8);
  EXPECT_EQ(std::string(b, 8), "compiled");
  opener.CloseStream(s);
  EXPECT_EQ(opener.OpenStream("../data/x", kOpenRead), nullptr);
  EXPECT_EQ(opener.ErrorText(),
            "The specified path references a path outside the configured script directory");
}

}  // namespace
}  // namespace orin

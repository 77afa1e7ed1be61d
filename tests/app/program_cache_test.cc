#include "app/program_cache.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace orin {
namespace {

constexpr int64_t kSecond = 1000000000;
constexpr int64_t kNow = 1700000000 * kSecond;

FileIdentity Version(uint64_t inode, int64_t size, int64_t age_seconds) {
  int64_t t = kNow - age_seconds * kSecond;
  return FileIdentity{1, inode, size, t, t};
}

std::shared_ptr<const std::string> Bytes(size_t n, char c = 'x') {
  return std::make_shared<const std::string>(n, c);
}

TEST(ProgramCache, KeepsOnlySettledUnchangedReads) {
  ProgramCache cache;
  FileIdentity old = Version(7, 10, 60);
  cache.Store("/a.ztc", old, old, kNow, Bytes(10));
  ASSERT_NE(cache.Find("/a.ztc", old), nullptr);
  // Another version of the same path, or another path, finds nothing.
  EXPECT_EQ(cache.Find("/a.ztc", Version(8, 10, 60)), nullptr);
  EXPECT_EQ(cache.Find("/b.ztc", old), nullptr);
  FileIdentity touched = old;
  touched.changed_ns += 1;
  EXPECT_EQ(cache.Find("/a.ztc", touched), nullptr);

  // Changed during the read, changed a moment ago, or read short: not kept.
  cache.Store("/c.ztc", Version(9, 10, 60), Version(10, 10, 60), kNow, Bytes(10));
  cache.Store("/d.ztc", Version(11, 10, 1), Version(11, 10, 1), kNow, Bytes(10));
  cache.Store("/e.ztc", Version(12, 10, 60), Version(12, 10, 60), kNow, Bytes(9));
  cache.Store("/f.ztc", FileIdentity(), FileIdentity(), kNow, Bytes(0));
  EXPECT_EQ(cache.size(), 1u);
}

TEST(ProgramCache, ANewVersionReplacesTheOldAndTheOldestGoFirst) {
  ProgramCache cache;
  cache.Store("/a.ztc", Version(1, 3, 60), Version(1, 3, 60), kNow, Bytes(3, 'a'));
  cache.Store("/a.ztc", Version(2, 3, 60), Version(2, 3, 60), kNow, Bytes(3, 'b'));
  EXPECT_EQ(cache.Find("/a.ztc", Version(1, 3, 60)), nullptr);
  EXPECT_EQ(*cache.Find("/a.ztc", Version(2, 3, 60)), "bbb");
  for (uint64_t i = 0; i < ProgramCache::kMaxEntries; ++i) {
    std::string path = "/p" + std::to_string(i);
    cache.Store(path, Version(100 + i, 1, 60), Version(100 + i, 1, 60), kNow, Bytes(1));
  }
  EXPECT_EQ(cache.size(), ProgramCache::kMaxEntries);
  EXPECT_EQ(cache.Find("/a.ztc", Version(2, 3, 60)), nullptr);  // the oldest went
  EXPECT_NE(cache.Find("/p0", Version(100, 1, 60)), nullptr);
}

TEST(BytesStreamOpener, EveryOpenReadsTheSameBytesAndWritesAreRefused) {
  BytesStreamOpener opener(std::make_shared<const std::string>("version 1"));
  for (int i = 0; i < 2; ++i) {
    Stream* s = opener.OpenStream("/anything.ztc", kOpenRead);
    ASSERT_NE(s, nullptr);
    char buf[16];
    EXPECT_EQ(s->Read(buf, sizeof buf), 9);
    EXPECT_EQ(std::string(buf, 9), "version 1");
    opener.CloseStream(s);
  }
  EXPECT_EQ(opener.OpenStream("/anything.ztc", kOpenRead | kOpenWrite), nullptr);
}

}  // namespace
}  // namespace orin

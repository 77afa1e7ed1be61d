#include "image/segment.h"

#include <gtest/gtest.h>

#include "image/image_test_util.h"

namespace orin {
namespace {

using test::Bytes;
using test::MemoryFile;

std::string LoadError(const std::string& segs) {
  MemoryFile f({{"segs", segs}});
  SegmentManager m;
  EXPECT_FALSE(m.Load(*f));
  EXPECT_EQ(m.Count(), 1u);  // unchanged
  return m.ErrorText();
}

TEST(SegmentManager, LoadsSegmentsRelativeToTheTableEnd) {
  // Two segments stored in reverse order; start is segment 1.
  std::string segs = Bytes().U32(2).U32(1).U32(3).U32(2).U32(0).U32(3).Str("abcXY");
  MemoryFile f({{"segs", segs}});
  SegmentManager m;
  ASSERT_TRUE(m.Load(*f)) << m.ErrorText();
  ASSERT_EQ(m.Count(), 2u);
  EXPECT_EQ(m.start(), 1);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(m.Get(0)->code()), 2), "XY");
  EXPECT_EQ(m.Get(1)->length(), 3u);
  EXPECT_EQ(m.Get(1)->capacity(), 3u);
  EXPECT_EQ(m.Get(1)->number(), 1);
  EXPECT_EQ(m.Get(2), nullptr);
  EXPECT_EQ(m.Get(-1), nullptr);
  EXPECT_EQ(m.StartSegment(), m.Get(1));
}

TEST(SegmentManager, HeaderAndSegmentChecks) {
  EXPECT_EQ(LoadError(Bytes().U32(0).U32(0)), "segment_list.start out of range");
  EXPECT_EQ(LoadError(Bytes().U32(2).U32(2)), "segment_list.start out of range");
  EXPECT_EQ(LoadError(Bytes().U32(2).U32(0xFFFFFFFF)), "segment_list.start out of range");
  EXPECT_EQ(LoadError(Bytes().U32(0x10000000).U32(0)), "segment_list.entries out of range");
  EXPECT_EQ(LoadError(Bytes().U32(1).U32(0).U32(0).U32(0x80000000)),
            "segment_header.size out of range");
  // Code past the section end: the container's message.
  EXPECT_EQ(LoadError(Bytes().U32(1).U32(0).U32(0).U32(10).Str("abc")),
            "Read past end of section boundary");
  EXPECT_EQ(LoadError(Bytes().U32(1).U32(0).U32(0x7FFFFFF0).U32(1)), "Invalid offset");
  EXPECT_EQ(LoadError(Bytes().U32(1)), "Read past end of section boundary");
}

TEST(SegmentManager, EmptyManagerCreatesSegmentsOnDemand) {
  SegmentManager m;
  EXPECT_EQ(m.Count(), 1u);
  EXPECT_EQ(m.Get(0), nullptr);
  Segment* start = m.StartSegment();
  ASSERT_NE(start, nullptr);
  EXPECT_EQ(start->capacity(), Segment::kGrowth);
  EXPECT_EQ(start->length(), 0u);
  EXPECT_EQ(m.StartSegment(), start);
  Segment* added = m.AddSegment();
  EXPECT_EQ(added->number(), 1);
  EXPECT_EQ(m.Get(1), added);
  for (int i = 0; i < 100; ++i)
    m.AddSegment();
  EXPECT_EQ(m.Get(1), added);  // segments never move
  EXPECT_EQ(m.Count(), 102u);
}

TEST(Segment, PutGrowsToMultiplesOfTheBlockAndKeepsLittleEndian) {
  Segment s(0, Segment::kGrowth);
  EXPECT_EQ(s.PutInt32(8190, 0x11223344), 8194);
  EXPECT_EQ(s.capacity(), 16384u);
  EXPECT_EQ(s.length(), 8194u);
  EXPECT_EQ(s.code()[8190], 0x44);
  EXPECT_EQ(s.code()[8193], 0x11);
  EXPECT_EQ(s.code()[100], 0);  // zero-filled
  // A write inside the length leaves it alone.
  EXPECT_EQ(s.PutInt16(0, 0xBEEF), 2);
  EXPECT_EQ(s.length(), 8194u);
  EXPECT_EQ(s.PutDouble(20000, -1.25), 20008);
  EXPECT_EQ(s.capacity(), 24576u);
  double d = 0;
  EXPECT_EQ(s.GetDouble(20000, &d), 20008);
  EXPECT_EQ(d, -1.25);
  uint16_t h = 0;
  EXPECT_EQ(s.GetInt16(0, &h), 2);
  EXPECT_EQ(h, 0xBEEF);
  uint32_t w = 0;
  EXPECT_EQ(s.GetInt32(20006, &w), -1);  // runs past the length
  uint8_t b = 0;
  EXPECT_EQ(s.GetByte(20007, &b), 20008);
  EXPECT_EQ(s.GetByte(20008, &b), -1);
  EXPECT_EQ(s.PutByte(0x7FFFFFFF, 1), -1);
}

TEST(SegmentManager, WriteThenLoad) {
  SegmentManager m;
  m.StartSegment()->PutBytes(0, "main", 4);
  m.AddSegment()->PutBytes(0, "second", 6);
  m.AddSegment();
  m.SetStart(1);
  MemoryStream stream;
  TaggedFile w;
  ASSERT_TRUE(w.Create("s", &stream));
  ASSERT_TRUE(m.Write(w));
  ASSERT_TRUE(w.Finish());
  TaggedFile r;
  ASSERT_TRUE(r.Attach("s", &stream));
  SegmentManager back;
  ASSERT_TRUE(back.Load(r)) << back.ErrorText();
  ASSERT_EQ(back.Count(), 3u);
  EXPECT_EQ(back.start(), 1);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(back.Get(1)->code()), 6), "second");
  EXPECT_EQ(back.Get(2)->length(), 0u);
  SegmentManager copy(back);
  back.Get(0)->PutByte(0, 'X');
  EXPECT_EQ(copy.Get(0)->code()[0], 'm');
}

}  // namespace
}  // namespace orin

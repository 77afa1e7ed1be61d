#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "output/buffered_output.h"
#include "output/capture_output.h"
#include "output/null_output.h"

namespace orin {
namespace {

std::string Captured(CaptureOutput& c) {
  int32_t n = 0;
  const char* p = c.Contents(&n);
  return std::string(p, static_cast<size_t>(n));
}

TEST(WhitespaceModes, CompressKeepsTheFirstByteOfEachRun) {
  CaptureOutput c(nullptr);
  c.SetMode(kOutputCompress);
  EXPECT_EQ(c.WriteText("a \t\n b", -1), 6);
  EXPECT_EQ(Captured(c), "a b");
  // The start of the output counts as whitespace.
  CaptureOutput d(nullptr);
  d.SetMode(kOutputCompress);
  d.WriteText(std::string_view(" \n\t"));
  EXPECT_EQ(Captured(d), "");
  d.WriteText(std::string_view("  x  y\t"));
  d.WriteText(std::string_view("\t\tz"));
  EXPECT_EQ(Captured(d), "x y\tz");
  // After a word, leading whitespace of the next write keeps one byte.
  d.WriteText(std::string_view("\n\n  w"));
  EXPECT_EQ(Captured(d), "x y\tz\nw");
  EXPECT_FALSE(d.last_was_space());
}

TEST(WhitespaceModes, CompressHandlesLongTextAcrossItsGatherBuffer) {
  CaptureOutput c(nullptr);
  c.SetMode(kOutputCompress);
  std::string in, expect;
  for (int i = 0; i < 3000; ++i) {
    in += "word" + std::to_string(i) + "   \n";
    expect += "word" + std::to_string(i) + " ";
  }
  in += std::string(10000, 'L');  // one word longer than the gather buffer
  expect += std::string(10000, 'L');
  c.WriteText(in.data(), static_cast<int32_t>(in.size()));
  EXPECT_EQ(Captured(c), expect);
}

TEST(WhitespaceModes, CollapseDropsOneLeadingByteAfterWhitespace) {
  CaptureOutput c(nullptr);
  c.SetMode(kOutputCollapse);
  c.WriteText(std::string_view("  x"));
  EXPECT_EQ(Captured(c), " x");
  c.WriteText(std::string_view("  y "));  // after "x": nothing dropped
  EXPECT_EQ(Captured(c), " x  y ");
  c.WriteText(std::string_view(" "));  // after " ": the lone byte goes
  c.WriteText(std::string_view("\tz"));
  EXPECT_EQ(Captured(c), " x  y z");
  // Collapse wins when both bits are set; mode 0 writes as is.
  c.SetMode(kOutputCollapse | kOutputCompress);
  c.WriteText(std::string_view("  a   b"));
  c.SetMode(0);
  c.WriteText(std::string_view("  c"));
  EXPECT_EQ(Captured(c), " x  y z  a   b  c");
}

TEST(NullSink, CallbackGetsTheBytesAndModesAreIgnored) {
  std::string seen;
  NullOutput out([&seen](const char* p, int32_t n) {
    seen.append(p, static_cast<size_t>(n));
    return n - 1;
  });
  out.SetMode(kOutputCompress);
  EXPECT_EQ(out.WriteText("  a  b", -1), 5);
  EXPECT_EQ(seen, "  a  b");
  EXPECT_EQ(out.Flush(), 1);
  EXPECT_EQ(out.Finish(true), 0);
  EXPECT_EQ(out.SetHeader("X", "y"), 0);
  EXPECT_EQ(out.OutputKind(), kOutputNull);
  NullOutput quiet;
  EXPECT_EQ(quiet.Write("abc", -1), 3);
  EXPECT_EQ(quiet.WriteImmediate("abcd", 4), 4);
}

// Keeps each Send as one piece, so the buffering can be seen.
class PieceOutput : public BufferedOutput {
 public:
  explicit PieceOutput(int32_t size) : BufferedOutput(size) {}
  int32_t Send(const char* data, int32_t length) override {
    pieces.emplace_back(data, static_cast<size_t>(length));
    return length;
  }
  std::vector<std::string> pieces;
};

TEST(BufferedSink, FillsDrainsAndSplitsLargeWrites) {
  PieceOutput out(8);
  out.Write("abcde", 5);
  out.Write("fgh", 3);  // exactly fills the buffer: not sent yet
  EXPECT_TRUE(out.pieces.empty());
  out.Write("ij", 2);  // does not fit: the full buffer goes first
  EXPECT_EQ(out.pieces, (std::vector<std::string>{"abcdefgh"}));
  out.Write("klmnopqrstuvwxyz0123", 20);  // longer than the buffer
  EXPECT_EQ(out.pieces, (std::vector<std::string>{"abcdefgh", "ijklmnop", "qrstuvwx"}));
  EXPECT_EQ(out.used(), 6);
  EXPECT_EQ(out.Write("", 0), 0);
  EXPECT_EQ(out.Flush(), 6);
  EXPECT_EQ(out.Flush(), 0);
  EXPECT_EQ(out.pieces.back(), "yz0123");
  EXPECT_EQ(out.WriteImmediate("!", 1), 1);
  EXPECT_EQ(out.pieces.back(), "!");
  EXPECT_EQ(out.OutputKind(), kOutputBuffered);
}

}  // namespace
}  // namespace orin

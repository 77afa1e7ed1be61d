#include "server/head_collector.h"

#include <gtest/gtest.h>

#include <string>

namespace orin {
namespace {

TEST(HeadComplete, EndsAtTheFirstEmptyLine) {
  EXPECT_TRUE(HeadComplete("GET / HTTP/1.0\r\n\r\n"));
  EXPECT_TRUE(HeadComplete("GET / HTTP/1.0\n\n"));
  EXPECT_TRUE(HeadComplete("GET / HTTP/1.0\r\nHost: a\r\n\r\nbody"));
  EXPECT_TRUE(HeadComplete("GET / HTTP/1.0\nHost: a\n\r\n"));
  // An empty request line followed by the empty line ends the head too,
  // as the parser reads it.
  EXPECT_TRUE(HeadComplete("\r\n\r\n"));

  EXPECT_FALSE(HeadComplete(""));
  EXPECT_FALSE(HeadComplete("GET / HTTP/1.0\r\n"));
  EXPECT_FALSE(HeadComplete("GET / HTTP/1.0\r\nHost: a\r\n"));
  EXPECT_FALSE(HeadComplete("GET / HTTP/1.0\r\nHost: a\r\n\r"));
  // A CR alone is no line end, and a blank line must be empty.
  EXPECT_FALSE(HeadComplete("GET / HTTP/1.0\r\r\n"));
  EXPECT_FALSE(HeadComplete("GET / HTTP/1.0\r\n \r\n"));
}

TEST(ConnectionQueue, HandsOutInOrderAndStaysReadyWhileAnyWait) {
  ConnectionQueue queue;
  AcceptedConnection out;
  EXPECT_FALSE(queue.Pop(&out));
  for (const char* head : {"first", "second"}) {
    AcceptedConnection c;
    c.received = head;
    queue.Push(std::move(c));
  }
  // Each waiter that consumes the event takes one; the event comes back
  // while connections remain, so a second waiter is woken for the second.
  ASSERT_TRUE(queue.ready().Consume());
  ASSERT_TRUE(queue.Pop(&out));
  EXPECT_EQ(out.received, "first");
  ASSERT_TRUE(queue.ready().Consume());
  ASSERT_TRUE(queue.Pop(&out));
  EXPECT_EQ(out.received, "second");
  EXPECT_FALSE(queue.ready().Consume());
  EXPECT_EQ(queue.size(), 0u);
}

}  // namespace
}  // namespace orin

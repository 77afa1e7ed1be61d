#include "output/orin_output.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "output/capture_output.h"
#include "platform/descriptor_sink.h"

namespace orin {
namespace {

// A response written into one end of a socket pair and read at the other.
class Response : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds_), 0);
    sink_ = std::make_unique<DescriptorSink>(fds_[0]);
    out_ = std::make_unique<OrinOutput>([this] { ++aborts_; }, sink_.get());
  }
  void TearDown() override {
    CloseWriter();
    if (fds_[1] >= 0) close(fds_[1]);
  }
  void CloseWriter() {
    if (fds_[0] >= 0) close(fds_[0]);
    fds_[0] = -1;
  }
  // Everything the peer receives until the writer closes.
  std::string Received() {
    CloseWriter();
    return ReadAll(fds_[1]);
  }
  static std::string ReadAll(int fd) {
    std::string s;
    char buf[65536];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0)
      s.append(buf, static_cast<size_t>(n));
    return s;
  }
  void ShrinkSendBuffer() {
    int size = 4096;
    ASSERT_EQ(setsockopt(fds_[0], SOL_SOCKET, SO_SNDBUF, &size, sizeof size), 0);
  }

  int fds_[2] = {-1, -1};
  int aborts_ = 0;
  std::unique_ptr<DescriptorSink> sink_;
  std::unique_ptr<OrinOutput> out_;
};

TEST_F(Response, SmallResponseIsExactBytesWithLength) {
  out_->SetHeader("Content-Type", "text/html");
  out_->SetHeader(std::string_view("X-Id"), std::string_view("7"));
  EXPECT_EQ(out_->Write("0123456789", 10), 10);
  EXPECT_EQ(out_->Finish(true), 10);
  EXPECT_EQ(Received(),
            "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Type: text/html\r\nX-Id: 7\r\n"
            "Content-Length: 10\r\n\r\n0123456789");
  EXPECT_EQ(aborts_, 0);
}

TEST_F(Response, HeadersKeepTheOrderOfTheirLastSetting) {
  out_->SetHeader("Content-Type", "text/plain");
  out_->SetHeader("X-A", "1");
  out_->SetHeader("content-type", "application/json");  // replaces, moves last
  EXPECT_EQ(out_->SetHeader("Connection", "keep-alive"), 0);
  EXPECT_EQ(out_->SetHeader("CONNECTION", "upgrade"), 0);
  EXPECT_EQ(out_->SetHeader("Status", "302 Found"), 1);
  out_->SetHeader("Location", "/next");
  out_->Finish(true);
  EXPECT_EQ(Received(),
            "HTTP/1.1 302 Found\r\nConnection: close\r\nX-A: 1\r\n"
            "content-type: application/json\r\nLocation: /next\r\nContent-Length: 0\r\n\r\n");
}

TEST_F(Response, OwnedStringsAreTakenOverOrFreed) {
  // LeakSanitizer checks that every owned string is freed exactly once.
  EXPECT_EQ(out_->SetHeader(strdup("X-Owned"), -1, true, strdup("yes"), 3, true), 1);
  EXPECT_EQ(out_->SetHeader(strdup("Status"), -1, true, strdup("404 Not Found"), -1, true), 1);
  EXPECT_EQ(out_->SetHeader(strdup("Connection"), -1, true, strdup("x"), -1, true), 0);
  out_->Write("x", 1);
  out_->Finish(true);
  EXPECT_EQ(out_->SetHeader(strdup("X-Late"), -1, true, strdup("no"), -1, true), 0);
  EXPECT_EQ(out_->Finish(true), 0);
  EXPECT_EQ(Received(),
            "HTTP/1.1 404 Not Found\r\nConnection: close\r\nX-Owned: yes\r\n"
            "Content-Length: 1\r\n\r\nx");
}

TEST_F(Response, ScriptLengthIsKept) {
  out_->SetHeader("Content-Length", "3");
  out_->Write("abc", -1);
  out_->Finish(true);
  EXPECT_EQ(Received(), "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 3\r\n\r\nabc");
}

TEST_F(Response, BodyOfExactlyTheThresholdGoesOutWithoutLength) {
  out_->set_flush_threshold(16);
  out_->Write("0123456789", 10);
  EXPECT_FALSE(out_->headers_sent());
  out_->Write("abcdef", 6);  // reaches 16: flushed here
  EXPECT_TRUE(out_->headers_sent());
  EXPECT_EQ(out_->SetHeader("Status", "500 Internal Server Error"), 0);
  EXPECT_EQ(out_->SetHeader("X-Late", "1"), 0);
  out_->Write("tail", 4);
  out_->Finish(true);
  EXPECT_EQ(Received(), "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n0123456789abcdeftail");
}

TEST_F(Response, SmallChunksKeepTheBodyInOrder) {
  out_->set_chunk_size(7);  // the first chunk keeps its 8192 bytes
  std::string body;
  for (int i = 0; i < 2000; ++i)
    body += std::to_string(i) + ",";
  for (size_t at = 0; at < body.size(); at += 13) {
    std::string piece = body.substr(at, 13);
    out_->Write(piece.data(), static_cast<int32_t>(piece.size()));
  }
  out_->Finish(true);
  std::string expect =
      "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: " + std::to_string(body.size()) +
      "\r\n\r\n" + body;
  EXPECT_EQ(Received(), expect);
}

TEST_F(Response, WriteImmediateSendsAtOnce) {
  out_->SetHeader("Status", "500 Internal Server Error");
  out_->WriteImmediate("Fatal error", -1);
  EXPECT_TRUE(out_->headers_sent());
  char buf[256];
  std::string got;
  while (got.find("Fatal error") == std::string::npos) {
    ssize_t n = read(fds_[1], buf, sizeof buf);
    ASSERT_GT(n, 0);
    got.append(buf, static_cast<size_t>(n));
  }
  EXPECT_EQ(got, "HTTP/1.1 500 Internal Server Error\r\nConnection: close\r\n\r\nFatal error");
}

TEST_F(Response, CaptureKeepsBodyButForwardsHeadersAndErrors) {
  out_->Write("before|", -1);
  {
    CaptureOutput outer(out_.get());
    CaptureOutput inner(&outer);
    inner.Write("captured", -1);
    EXPECT_EQ(inner.SetHeader("X-From-Capture", "1"), 1);
    inner.SetHeader(std::string_view("Status"), std::string_view("201 Created"));
    inner.WriteImmediate("error|", -1);
    int32_t n = 0;
    EXPECT_EQ(std::string(inner.Contents(&n)), "captured");
    EXPECT_EQ(n, 8);
    EXPECT_EQ(outer.Contents(&n), std::string());
    EXPECT_EQ(inner.OutputKind(), kOutputCapture);
  }
  out_->Write("after", -1);
  out_->Finish(true);
  // The immediate write flushed the response, so no length follows.
  EXPECT_EQ(Received(),
            "HTTP/1.1 201 Created\r\nConnection: close\r\nX-From-Capture: 1\r\n\r\n"
            "before|error|after");
}

TEST_F(Response, StandardOutputStyleDescriptor) {
  int p[2];
  ASSERT_EQ(pipe(p), 0);
  DescriptorSink pipe_sink(p[1]);
  EXPECT_FALSE(pipe_sink.is_socket());
  EXPECT_TRUE(sink_->is_socket());
  OrinOutput out(nullptr, &pipe_sink);
  out.Write("hi", 2);
  out.Finish(true);
  close(p[1]);
  EXPECT_EQ(ReadAll(p[0]), "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 2\r\n\r\nhi");
  close(p[0]);
}

// On a packet socket every send is one record, so the records show how the
// response was cut into sends.
std::vector<std::string> Records(int fd) {
  std::vector<std::string> records;
  char buf[65536];
  ssize_t n;
  while ((n = recv(fd, buf, sizeof buf, 0)) > 0)
    records.emplace_back(buf, static_cast<size_t>(n));
  return records;
}

TEST(ResponseSends, TheHeadLeavesWithTheFirstBodyBytes) {
  for (int body_size : {0, 5, 20000}) {
    int fds[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_SEQPACKET, 0, fds), 0);
    int size = 1 << 20;
    setsockopt(fds[0], SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
    DescriptorSink sink(fds[0]);
    OrinOutput out(nullptr, &sink);
    std::string body(static_cast<size_t>(body_size), 'b');
    for (size_t i = 0; i < body.size(); ++i)
      body[i] = static_cast<char>('a' + i % 23);
    out.Write(body.data(), body_size);
    EXPECT_EQ(out.Finish(true), body_size);
    close(fds[0]);
    std::vector<std::string> records = Records(fds[1]);
    close(fds[1]);
    std::string head =
        "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: " + std::to_string(body_size) +
        "\r\n\r\n";
    ASSERT_FALSE(records.empty());
    // One send for a page that fits the first chunk; the head never alone.
    EXPECT_EQ(records[0].compare(0, head.size(), head), 0) << body_size;
    if (body_size > 0) {
      EXPECT_GT(records[0].size(), head.size()) << body_size;
    }
    if (body_size < 8192) {
      EXPECT_EQ(records.size(), 1u) << body_size;
    }
    std::string all;
    for (const std::string& r : records)
      all += r;
    EXPECT_EQ(all, head + body);
  }
}

TEST_F(Response, CongestedClientThatCatchesUpGetsEveryByte) {
  ShrinkSendBuffer();
  std::string body(1 << 20, 'x');
  for (size_t i = 0; i < body.size(); i += 997)
    body[i] = static_cast<char>('a' + i % 26);
  std::string got;
  std::thread reader([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // not reading yet
    got = ReadAll(fds_[1]);
  });
  out_->Write(body.data(), static_cast<int32_t>(body.size()) - 1);
  EXPECT_EQ(out_->Finish(true), static_cast<int32_t>(body.size()) - 1);
  out_->Write(body.data() + body.size() - 1, 1);
  EXPECT_EQ(out_->Finish(true), 1);
  CloseWriter();
  reader.join();
  std::string head =
      "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: " + std::to_string(body.size() - 1) +
      "\r\n\r\n";
  ASSERT_EQ(got.size(), head.size() + body.size());
  EXPECT_EQ(got.substr(0, head.size()), head);
  EXPECT_TRUE(got.compare(head.size(), std::string::npos, body) == 0);
  EXPECT_EQ(aborts_, 0);
}

TEST_F(Response, ClientThatNeverReadsGetsAShortResponse) {
  ShrinkSendBuffer();
  out_->set_send_wait_ms(20);
  std::string body(64 * 1024, 'y');
  out_->Write(body.data(), static_cast<int32_t>(body.size()));
  int32_t sent = out_->Finish(true);
  EXPECT_GE(sent, 0);
  EXPECT_LT(sent, static_cast<int32_t>(body.size()));
  EXPECT_EQ(aborts_, 0);  // congestion is not a broken connection
}

TEST_F(Response, ClientThatClosedAbortsTheRun) {
  close(fds_[1]);
  fds_[1] = -1;
  out_->Write("never seen", -1);
  EXPECT_EQ(out_->Finish(true), 0);
  EXPECT_EQ(aborts_, 1);
  EXPECT_FALSE(out_->ErrorText().empty());
  EXPECT_EQ(out_->SendRaw("more", 4), -1);
  EXPECT_EQ(aborts_, 2);
  EXPECT_EQ(out_->SendRaw("", 0), 0);
}

}  // namespace
}  // namespace orin

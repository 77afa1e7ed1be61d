// The response reader and the object scanner on bytes in memory, read in
// every piece size from 1 up, and the request writer's exact head.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "memory_connection.h"
#include "network/call_buffer.h"
#include "network/http_request_body.h"
#include "network/http_response_stream.h"
#include "network/logging_network_connection.h"
#include "network/network_manager.h"
#include "network/network_output.h"
#include "util/config.h"

namespace orin {
namespace {

struct Reply {
  bool head_ok;
  bool body_ok;
  std::string body;
  std::string error;
  int status;
  int64_t length;
};

Reply ReadReply(const std::string& bytes, size_t step) {
  MemoryConnection c(bytes, step);
  HTTPResponseStream s(&c, 1);
  Reply r{};
  r.head_ok = s.ReadHead();
  if (r.head_ok) r.body_ok = s.ReadAll(&r.body);
  r.error = s.ErrorText();
  r.status = s.status();
  r.length = s.content_length();
  return r;
}

TEST(HttpResponseStreamTest, BodiesByLengthChunksAndClose) {
  for (size_t step : {1, 2, 3, 7, 4096}) {
    Reply r =
        ReadReply("HTTP/1.1 201 Created\r\nContent-Length: 5\r\nX: y\r\n\r\nhelloEXTRA", step);
    EXPECT_TRUE(r.body_ok);
    EXPECT_EQ(r.status, 201);
    EXPECT_EQ(r.length, 5);
    EXPECT_EQ(r.body, "hello") << step;
    r = ReadReply(
        "HTTP/1.1 200 OK\ntransfer-encoding: Chunked\n\n3\r\nabc\r\nA;x=y\r\n0123456789\r\n"
        "0\r\n\r\nTRAILER",
        step);
    EXPECT_TRUE(r.body_ok) << r.error;
    EXPECT_EQ(r.body, "abc0123456789") << step;
    r = ReadReply("HTTP/1.0 200 OK\r\n\r\nuntil the end", step);
    EXPECT_EQ(r.body, "until the end");
    EXPECT_EQ(r.length, -1);
  }
}

TEST(HttpResponseStreamTest, BrokenBodies) {
  struct Case {
    const char* bytes;
    const char* error;
  } cases[] = {
      {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\n0\r\n\r\n",
       "Invalid chunk terminator"},
      {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabcX\n",
       "Invalid chunk terminator"},
      {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n", "Invalid chunk size"},
      {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n-1\r\n", "Invalid chunk size"},
      {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nfffffffffffffff\r\n",
       "Invalid chunk size"},
      {"HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\nshort",
       "Read Error: Connection closed by remote host"},
      {"HTTP/1.1 200 OK\r\nContent-", "Read Error: Connection closed by remote host"},
  };
  for (const Case& c : cases) {
    Reply r = ReadReply(c.bytes, 2);
    EXPECT_FALSE(r.head_ok && r.body_ok) << c.bytes;
    EXPECT_EQ(r.error, c.error) << c.bytes;
  }
  std::string many = "HTTP/1.1 200 OK\r\n";
  for (int i = 0; i <= 1000; ++i)
    many += "X: y\r\n";
  EXPECT_EQ(ReadReply(many + "\r\n", 4096).error, "Too many header lines");
  EXPECT_EQ(ReadReply("HTTP/1.1 200 OK\r\nX: " + std::string(70000, 'y') + "\r\n\r\n", 4096).error,
            "Read Error: Line too long");
  // A length that is not a number is no length: read to the close.
  Reply r = ReadReply("HTTP/1.1 200 OK\r\nContent-Length: 1x\r\n\r\nabc", 2);
  EXPECT_EQ(r.length, -1);
  EXPECT_EQ(r.body, "abc");
}

std::vector<HtmlObject> Scan(const std::string& body, size_t step, std::string* error) {
  MemoryConnection c(body, step);
  CallBuffer buffer([&c](char* data, int32_t size, std::string*) { return c.Read(data, size, 0); },
                    3);
  std::vector<HtmlObject> out;
  HtmlObject o;
  int r;
  while ((r = buffer.Next(&o)) == 1)
    out.push_back(o);
  if (r < 0) *error = buffer.ErrorText();
  return out;
}

TEST(CallBufferTest, TagsTextAndDeclarations) {
  const std::string body =
      "<?xml version=\"1.0\"?><!DOCTYPE x [<!ENTITY a 'b'>]>"
      "text <a href=\"/x?a>b\" data-n = 'q' checked\nid=z>link</a><br/>"
      "<!-- a -- > b --><![CDATA[ <x> ]] ]]>tail";
  for (size_t step : {1, 2, 5, 1000}) {
    std::string error;
    std::vector<HtmlObject> o = Scan(body, step, &error);
    ASSERT_EQ(o.size(), 10u) << step << error;
    EXPECT_EQ(o[0].element, "?xml");
    EXPECT_EQ(o[1].raw, "<!DOCTYPE x [<!ENTITY a 'b'>]>");
    EXPECT_TRUE(o[1].attributes.empty());
    EXPECT_FALSE(o[2].is_tag);
    EXPECT_EQ(o[2].raw, "text ");
    EXPECT_EQ(o[3].element, "a");
    ASSERT_EQ(o[3].attributes.size(), 4u);
    EXPECT_EQ(o[3].attributes[0], (std::pair<std::string, std::string>("href", "/x?a>b")));
    EXPECT_EQ(o[3].attributes[1], (std::pair<std::string, std::string>("data-n", "q")));
    EXPECT_EQ(o[3].attributes[2], (std::pair<std::string, std::string>("checked", "")));
    EXPECT_EQ(o[3].attributes[3], (std::pair<std::string, std::string>("id", "z")));
    EXPECT_EQ(o[5].element, "/a");
    EXPECT_EQ(o[6].element, "br");
    EXPECT_EQ(o[7].raw, "<!-- a -- > b -->");
    EXPECT_EQ(o[8].raw, "<![CDATA[ <x> ]] ]]>");
    EXPECT_EQ(o[9].raw, "tail");
  }
}

TEST(CallBufferTest, UnfinishedObjects) {
  struct Case {
    const char* body;
    const char* error;
  } cases[] = {
      {"ok <p", "Unexpected EOF in tag"},
      {"<a title='x>", "Unexpected EOF in tag"},
      {"<!-- x ->", "Unexpected EOF in HTML comment or CDATA section"},
      {"<![CDATA[ ]>", "Unexpected EOF in HTML comment or CDATA section"},
      {"<!DOCTYPE <x>", "Unexpected EOF in DOCTYPE or other XML tag"},
  };
  for (const Case& c : cases) {
    std::string error;
    Scan(c.body, 1, &error);
    EXPECT_EQ(error, c.error) << c.body;
  }
}

TEST(HttpRequestTest, HeadOfRequestsWithAndWithoutBody) {
  Config config;
  NetworkManager m(&config, nullptr);
  MemoryConnection c("", 1);
  UrlParts url{"http", "::1", "8080", "a/b?c"};
  HttpRequestBody body;
  body.AddText("x=1");
  body.AddText("&y=2");
  ASSERT_TRUE(m.SendHttpRequest(&c, "POST", url, 12.0, "text/plain", &body, "X-A: 1\r\n", 1));
  EXPECT_EQ(c.written(),
            "POST /a/b?c HTTP/1.1\r\nHost: [::1]:8080\r\nContent-Type: text/plain\r\n"
            "Content-Length: 7\r\nX-A: 1\r\nConnection: close\r\n\r\nx=1&y=2");
  MemoryConnection old("", 1);
  UrlParts plain{"http", "h", "", ""};
  ASSERT_TRUE(m.SendHttpRequest(&old, "GET", plain, -1, "", nullptr, "", 1));
  EXPECT_EQ(old.written(), "GET / HTTP/1.0\r\nHost: h\r\n\r\n");
}

// Records what a LoggingNetworkConnection reports.
class RecordingConnection : public LoggingNetworkConnection {
 public:
  using LoggingNetworkConnection::LoggingNetworkConnection;
  std::string log;

 protected:
  void DataRead(const char* d, int32_t n) override { log += "<" + std::string(d, n); }
  void ReadFailed(const std::string& e) override { log += "!" + e; }
  void DataWritten(const char* d, int32_t n) override { log += ">" + std::string(d, n); }
  void WriteFailed(const std::string& e) override { log += "?" + e; }
};

TEST(NetworkOutputTest, BuffersUntilFullOrDestroyedAndLogsTraffic) {
  auto inner = std::make_unique<MemoryConnection>("line\n", 100);
  MemoryConnection* memory = inner.get();
  RecordingConnection logged(std::move(inner));
  {
    NetworkOutput out(nullptr, &logged, 4, 1);
    out.Write("abc", 3);
    EXPECT_EQ(memory->written(), "");
    out.Write("defgh", 5);
    EXPECT_EQ(memory->written().substr(0, 4), "abcd");
    EXPECT_EQ(out.SetHeader("A", "b"), 0);  // no owner: nowhere to put it
  }
  EXPECT_EQ(memory->written(), "abcdefgh");
  std::string line;
  EXPECT_EQ(logged.ReadLine(&line, 1, 16), 5);
  EXPECT_EQ(logged.ReadLine(&line, 1, 16), -1);
  EXPECT_EQ(logged.log.substr(0, 1), ">");
  EXPECT_NE(logged.log.find("<line\n!Read Error: Connection closed by remote host"),
            std::string::npos)
      << logged.log;
}

}  // namespace
}  // namespace orin

#include "server/client_request.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "server/server_test_support.h"

namespace orin {
namespace {

using testing_support::PieceSource;
using Result = ClientRequest::ParseResult;

std::string Value(const ClientRequest& r, std::string_view name) {
  const ByteString* v = r.Header(name);
  return v ? v->str() : "<none>";
}

TEST(ClientRequestParse, RequestLineTokensAndQuery) {
  PieceSource src({"GET  \t/shop/a.ztc?x=1?y&z HTTP/1.1\r\n\r\n"});
  ClientRequest r(&src);
  ASSERT_EQ(r.Parse(), Result::kParsed);
  EXPECT_EQ(r.method(), "GET");
  EXPECT_EQ(r.uri(), "/shop/a.ztc?x=1?y&z");
  EXPECT_EQ(r.protocol(), "HTTP/1.1");
  EXPECT_EQ(r.path(), "/shop/a.ztc");
  ASSERT_NE(r.query_string(), nullptr);
  EXPECT_EQ(*r.query_string(), "x=1?y&z");  // split at the first "?" only
  EXPECT_EQ(r.request_line(), "GET  \t/shop/a.ztc?x=1?y&z HTTP/1.1");
}

TEST(ClientRequestParse, MissingTokensAreEmptyAndQueryMayBeAbsentOrEmpty) {
  PieceSource a({"GET /plain\r\n\r\n"});
  ClientRequest ra(&a);
  ASSERT_EQ(ra.Parse(), Result::kParsed);
  EXPECT_EQ(ra.path(), "/plain");
  EXPECT_EQ(ra.protocol(), "");
  EXPECT_EQ(ra.query_string(), nullptr);

  PieceSource b({"GET /x?\r\n\r\n"});
  ClientRequest rb(&b);
  ASSERT_EQ(rb.Parse(), Result::kParsed);
  ASSERT_NE(rb.query_string(), nullptr);
  EXPECT_TRUE(rb.query_string()->empty());

  // A lone line break is a request (with everything empty), not silence.
  PieceSource c({"\r\n"});
  ClientRequest rc(&c);
  ASSERT_EQ(rc.Parse(), Result::kParsed);
  EXPECT_EQ(rc.method(), "");
  EXPECT_EQ(rc.path(), "");
}

TEST(ClientRequestParse, PathIsNotDecoded) {
  PieceSource src({"GET /a%20b/%2e%2e/c+d HTTP/1.0\r\n\r\n"});
  ClientRequest r(&src);
  ASSERT_EQ(r.Parse(), Result::kParsed);
  EXPECT_EQ(r.path(), "/a%20b/%2e%2e/c+d");
}

TEST(ClientRequestParse, RepeatedHeadersJoinWithCommaAndKeepFirstSpelling) {
  PieceSource src(
      {"GET / HTTP/1.1\r\n"
       "Accept: text/html\r\n"
       "no colon on this line\r\n"
       "X-Spaced :  kept trailing  \r\n"
       "accept:\t image/png\r\n"
       "Host: example.com:8080\r\n"
       "ACCEPT:*/*\r\n"
       "\r\n"});
  ClientRequest r(&src);
  ASSERT_EQ(r.Parse(), Result::kParsed);
  EXPECT_EQ(Value(r, "aCcEpT"), "text/html,image/png,*/*");
  EXPECT_EQ(Value(r, "Host"), "example.com:8080");
  EXPECT_EQ(Value(r, "X-Spaced "), "kept trailing  ");  // name keeps the space before ":"
  EXPECT_EQ(Value(r, "X-Spaced"), "<none>");
  std::vector<std::string> names;
  r.headers().ForEach([&](std::string_view name, const ByteString&) { names.emplace_back(name); });
  EXPECT_EQ(names, (std::vector<std::string>{"Accept", "X-Spaced ", "Host"}));
}

TEST(ClientRequestParse, BareLineFeedsAndStrayCarriageReturns) {
  PieceSource src({"GET /lf HTTP/1.0\nA: 1\r\nB: x\ry\nC: 2\r\r\n\nBODY"});
  ClientRequest r(&src);
  ASSERT_EQ(r.Parse(), Result::kParsed);
  EXPECT_EQ(r.protocol(), "HTTP/1.0");
  EXPECT_EQ(Value(r, "A"), "1");
  EXPECT_EQ(Value(r, "B"), "x\ry");  // only a CR right before the LF goes
  EXPECT_EQ(Value(r, "C"), "2\r");   // and only one of them
  char body[16];
  EXPECT_EQ(r.ReadBody(body, sizeof body), 4);
  EXPECT_EQ(std::string(body, 4), "BODY");
}

// Every way of cutting the request into pieces gives the same result, the
// cut between CR and LF included.
TEST(ClientRequestParse, SameResultWhateverThePieces) {
  const std::string request =
      "POST /p?q HTTP/1.1\r\nA: 1\r\na: 2\r\nLong: " + std::string(9000, 'v') + "\r\n\r\nrest";
  for (size_t cut = 1; cut < request.size(); cut += (cut < 40 ? 1 : 997)) {
    std::vector<std::string> pieces;
    for (size_t i = 0; i < request.size(); i += cut)
      pieces.push_back(request.substr(i, cut));
    PieceSource src(pieces);
    ClientRequest r(&src);
    ASSERT_EQ(r.Parse(), Result::kParsed) << "cut " << cut;
    EXPECT_EQ(r.uri(), "/p?q");
    EXPECT_EQ(Value(r, "A"), "1,2");
    EXPECT_EQ(r.Header("long")->size(), 9000u) << "cut " << cut;
    char body[8];
    ASSERT_EQ(r.ReadBody(body, sizeof body), 4) << "cut " << cut;
    EXPECT_EQ(std::string(body, 4), "rest");
  }
}

TEST(ClientRequestParse, NothingBeforeCloseOrFailureIsNoRequest) {
  PieceSource closed({}, 0);
  EXPECT_EQ(ClientRequest(&closed).Parse(), Result::kNoRequest);
  PieceSource failed({}, -1);
  EXPECT_EQ(ClientRequest(&failed).Parse(), Result::kNoRequest);
}

TEST(ClientRequestParse, InputEndingEarlyKeepsWhatArrived) {
  // The time-out or close cuts the request line: what came is the request.
  PieceSource src({"GET /cut"}, -1);
  ClientRequest r(&src);
  ASSERT_EQ(r.Parse(), Result::kParsed);
  EXPECT_EQ(r.path(), "/cut");

  PieceSource src2({"GET / HTTP/1.0\r\nHost: a\r\nPartial: val"}, 0);
  ClientRequest r2(&src2);
  ASSERT_EQ(r2.Parse(), Result::kParsed);
  EXPECT_EQ(Value(r2, "Partial"), "val");
  char c;
  EXPECT_EQ(r2.ReadBody(&c, 1), 0);
}

TEST(ClientRequestParse, LineBudgetStopsHostileInput) {
  const size_t budget = 64 * 1024;
  PieceSource long_line({"GET /" + std::string(budget, 'a') + " HTTP/1.0\r\n\r\n"});
  ClientRequest r1(&long_line, budget);
  EXPECT_EQ(r1.Parse(), Result::kRequestLineTooLong);

  // The budget is shared by all lines, so many modest headers hit it too.
  std::string many = "GET / HTTP/1.0\r\n";
  while (many.size() < budget + 100)
    many += "X-Filler: " + std::string(100, 'f') + "\r\n";
  PieceSource headers({many + "\r\n"});
  ClientRequest r2(&headers, budget);
  EXPECT_EQ(r2.Parse(), Result::kHeadersTooLarge);

  // Just under the budget is fine, and the request line may pass 8192 bytes.
  std::string fits = "GET /" + std::string(20000, 'b') + "\r\n\r\n";
  PieceSource ok({fits});
  ClientRequest r3(&ok, fits.size());
  ASSERT_EQ(r3.Parse(), Result::kParsed);
  EXPECT_EQ(r3.path().size(), 20001u);
}

TEST(ClientRequestParse, HeaderLineCountIsLimited) {
  std::string req = "GET / HTTP/1.0\r\n";
  for (size_t i = 0; i <= ClientRequest::kMaxHeaderLines; ++i)
    req += "h" + std::to_string(i) + ":\r\n";
  PieceSource over({req + "\r\n"});
  EXPECT_EQ(ClientRequest(&over).Parse(), Result::kHeadersTooLarge);
}

TEST(RequestReader, BodyComesFromBufferThenSourceInExactCounts) {
  PieceSource src({"line\r\nAB", "CDEFG", "HIJ"}, 0);
  RequestReader reader(&src);
  ByteString line;
  ASSERT_EQ(reader.ReadLine(&line), RequestReader::LineStatus::kLine);
  EXPECT_EQ(line, "line");
  EXPECT_EQ(reader.buffered(), 2);
  char buf[20000];
  EXPECT_EQ(reader.Read(buf, 4), 4);  // 2 buffered + 2 of the next piece
  EXPECT_EQ(std::string(buf, 4), "ABCD");
  EXPECT_EQ(reader.Read(buf, 100), 6);  // short only because the input ended
  EXPECT_EQ(std::string(buf, 6), "EFGHIJ");
  EXPECT_EQ(reader.Read(buf, 100), 0);

  PieceSource big({std::string(RequestReader::kBufferSize * 2, 'z')}, -1);
  RequestReader reader2(&big);
  EXPECT_EQ(reader2.Read(buf, sizeof buf), RequestReader::kBufferSize * 2);
  EXPECT_EQ(reader2.Read(buf, sizeof buf), -1);  // failure before any byte
}

}  // namespace
}  // namespace orin

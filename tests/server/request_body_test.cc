#include "server/request_body.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "body_test_support.h"
#include "server/buffered_content_parser.h"
#include "server/client_request.h"
#include "variables/immutable_variable.h"

namespace orin {
namespace {

using testing_support::BodyTestApplication;
using testing_support::DataArea;
using testing_support::MultipartBody;
using testing_support::PatternBytes;
using testing_support::PieceSource;
using testing_support::RecordingUploads;
using testing_support::RenderScope;
using testing_support::Text;
using testing_support::Var;

// Hands out the bytes it holds, recording how many each read asked for,
// then `end` (0 closed, -1 failed). `on_read` runs before every read.
class StringBody : public BodySource {
 public:
  explicit StringBody(std::string bytes, int32_t end = 0) : bytes_(std::move(bytes)), end_(end) {}
  int32_t ReadSome(char* buffer, int32_t count, int64_t deadline_ms) override {
    asked.push_back(count);
    deadlines.push_back(deadline_ms);
    if (on_read) on_read();
    if (at_ >= bytes_.size()) return end_;
    size_t n = std::min(bytes_.size() - at_, static_cast<size_t>(count));
    std::copy_n(bytes_.data() + at_, n, buffer);
    at_ += n;
    return static_cast<int32_t>(n);
  }
  size_t consumed() const { return at_; }

  std::vector<int32_t> asked;
  std::vector<int64_t> deadlines;
  std::function<void()> on_read;

 private:
  std::string bytes_;
  size_t at_ = 0;
  int32_t end_;
};

class RequestBodyTest : public ::testing::Test {
 protected:
  bool Read(std::string_view type, std::string_view length, BodySource* source) {
    ByteString t(type), n(length);
    return ReadRequestBody(targets_, &t, &n, source);
  }
  bool Read(std::string_view type, const std::string& body) {
    StringBody source(body);
    return Read(type, std::to_string(body.size()), &source);
  }

  DataArea area_;
  BodyTestApplication app_{area_.files()};
  RecordingUploads uploads_{&area_};
  Dictionary dictionary_;
  UserVariableHash globals_{&dictionary_, 8};
  SystemVariableHash system_{&dictionary_, 8};
  RequestBodyTargets targets_{&app_, &globals_, &system_, area_.files(), &uploads_};
};

TEST_F(RequestBodyTest, ReadsExactlyContentLengthInBlocks) {
  std::string body = "a=" + std::string(20000, 'x') + "&b=2";
  StringBody source(body + "&c=3 and more the client should not have sent");
  ASSERT_TRUE(Read("application/x-www-form-urlencoded", std::to_string(body.size()), &source));
  EXPECT_EQ(source.asked, (std::vector<int32_t>{8192, 8192, 3622}));
  EXPECT_EQ(source.consumed(), body.size());
  EXPECT_EQ(Text(Var(globals_, "b")), "2");
  EXPECT_EQ(Var(globals_, "c"), nullptr);
  EXPECT_TRUE(app_.reports().empty());
}

TEST_F(RequestBodyTest, AClientThatSendsLessEndsTheBody) {
  for (int32_t end : {0, -1}) {  // closed, or a receive failure
    StringBody source("a=1&b=2", end);
    UserVariableHash globals(&dictionary_, 8);
    targets_.globals = &globals;
    ASSERT_TRUE(Read("application/x-www-form-urlencoded", "5000", &source));
    EXPECT_EQ(Text(Var(globals, "b")), "2");
    EXPECT_EQ(source.asked.size(), 2u);  // the read that found nothing ended it
  }
}

TEST_F(RequestBodyTest, NoBodyWithoutBothHeadersOrAPositiveLength) {
  StringBody source("a=1");
  ByteString type("application/x-www-form-urlencoded"), length("3");
  EXPECT_TRUE(ReadRequestBody(targets_, nullptr, &length, &source));
  EXPECT_TRUE(ReadRequestBody(targets_, &type, nullptr, &source));
  for (std::string_view n : {"0", "-3", "abc", ""})
    EXPECT_TRUE(Read("application/x-www-form-urlencoded", n, &source)) << n;
  EXPECT_TRUE(source.asked.empty());
  EXPECT_EQ(Var(globals_, "a"), nullptr);
}

TEST_F(RequestBodyTest, ContentLengthReadsLikeAtoi) {
  EXPECT_EQ(ContentLengthValue("  42abc"), 42);
  EXPECT_EQ(ContentLengthValue("+7"), 7);
  EXPECT_EQ(ContentLengthValue("-7"), 0);
  EXPECT_EQ(ContentLengthValue("99999999999999999999"), INT32_MAX);
  EXPECT_EQ(ContentLengthValue("x1"), 0);
}

TEST_F(RequestBodyTest, ContentTypesAreMatchedByTheirStart) {
  ASSERT_TRUE(Read("APPLICATION/X-WWW-FORM-URLENCODED; charset=UTF-8", std::string("f=1")));
  EXPECT_EQ(Text(Var(globals_, "f")), "1");
  ASSERT_TRUE(Read("application/json;charset=utf-8", std::string("[1]")));
  EXPECT_NE(Var(system_, "json_data"), nullptr);
  // Shorter than the keyword: some other type.
  ASSERT_TRUE(Read("application/js", std::string("raw")));
  EXPECT_EQ(Text(Var(system_, "content_data")), "raw");
}

TEST_F(RequestBodyTest, JsonBodiesBecomeReadOnlySystemVariables) {
  const std::string body = "[\"one\", {\"n\": 2}]";
  ASSERT_TRUE(Read("application/json", body));
  Variable* json = Var(system_, "json_data");
  ASSERT_NE(json, nullptr);
  ASSERT_EQ(json->AggregateKind(), kKindArray);
  EXPECT_EQ(json->ElementsUsed(), 2);
  Variable* second = json->Element(AggregateIndex(2), false);
  EXPECT_EQ(Text(second->Element(AggregateIndex::Member("n"), false)), "2");
  EXPECT_EQ(Text(Var(system_, "content_data")), body);
  // Neither the structure nor its members can be changed.
  json->Element(AggregateIndex(1), false)->SetValue("changed", 7);
  second->Element(AggregateIndex::Member("n"), false)->SetValue_Integer(9);
  json->SetValue("x", 1);
  Var(system_, "content_data")->SetValue("x", 1);
  EXPECT_EQ(Text(json->Element(AggregateIndex(1), false)), "one");
  EXPECT_EQ(Text(second->Element(AggregateIndex::Member("n"), false)), "2");
  EXPECT_EQ(Text(Var(system_, "content_data")), body);
  EXPECT_EQ(Var(globals_, "json_data"), nullptr);
}

TEST_F(RequestBodyTest, InvalidJsonStopsTheRequestWithTheDecodersMessage) {
  EXPECT_FALSE(Read("application/json", std::string("[1,\n2 3]")));
  ASSERT_EQ(app_.reports().size(), 1u);
  EXPECT_EQ(app_.reports()[0], "input: Line #2 - Syntax error: Expected COMMA or ]");
  EXPECT_EQ(app_.written(),
            (std::vector<std::string>{"Line #2 - Syntax error: Expected COMMA or ]"}));
  EXPECT_EQ(Text(Var(system_, "content_data")), "[1,\n2 3]");
}

TEST_F(RequestBodyTest, UnknownTypesFollowTheConfiguredMaximum) {
  const std::string body = "0123456789";
  app_.config().SetInt(config_key::kMaxUnknownContentLength, -1);
  EXPECT_FALSE(Read("text/csv", body));
  app_.config().SetInt(config_key::kMaxUnknownContentLength, 9);
  EXPECT_FALSE(Read("text/csv", body));
  EXPECT_EQ(
      app_.reports(),
      (std::vector<std::string>{
          "input: Unknown POST content type",
          "input: POST content length exceeds configured maximum for unknown content types"}));
  EXPECT_EQ(Var(system_, "content_data"), nullptr);
  app_.config().SetInt(config_key::kMaxUnknownContentLength, 10);
  ASSERT_TRUE(Read("text/csv", body));
  EXPECT_EQ(Text(Var(system_, "content_data")), body);
  // 0: any size; NUL bytes are data.
  app_.config().SetInt(config_key::kMaxUnknownContentLength, 0);
  std::string big = PatternBytes(3 * 1024 * 1024, 11);
  ASSERT_TRUE(Read("application/octet-stream", big));
  EXPECT_TRUE(Var(system_, "content_data")->Value().view() == big);
}

TEST_F(RequestBodyTest, AnAnnouncedLengthIsNotAllocatedBeforeItArrives) {
  // Two gigabytes announced, three bytes sent: only what arrives is kept.
  UnknownContentHandler parser(&system_, INT32_MAX);
  EXPECT_LE(parser.body().capacity(), 64u * 1024 + 1);
  ASSERT_TRUE(parser.Feed("abc", 3));
  ASSERT_TRUE(parser.Finish());
  EXPECT_EQ(Text(Var(system_, "content_data")), "abc");
  // Bytes past the announced length are not kept.
  JSONContentParser json(&system_, 2);
  ASSERT_TRUE(json.Feed("[]]]", 4));
  EXPECT_TRUE(json.Finish());
}

TEST_F(RequestBodyTest, ThePostTimerLimitsTheBody) {
  std::string body = "a=" + std::string(30000, 'x');
  StringBody source(body);
  // The deadline passes while the second block is read.
  source.on_read = [&] {
    if (source.asked.size() == 2) app_.ExpirePostTimer();
  };
  EXPECT_FALSE(Read("application/x-www-form-urlencoded", std::to_string(body.size()), &source));
  EXPECT_EQ(app_.reports(), (std::vector<std::string>{"timeout: Timeout processing POST data"}));
  EXPECT_EQ(source.asked.size(), 2u);
  EXPECT_EQ(Var(globals_, "a"), nullptr);  // the body never reached Finish
}

TEST_F(RequestBodyTest, ThePostTimerRunsOnlyWhileTheBodyIsRead) {
  StringBody source("a=1");
  std::vector<int64_t> deadlines;
  source.on_read = [&] { deadlines.push_back(app_.post_deadline_ms()); };
  ASSERT_TRUE(Read("application/x-www-form-urlencoded", "3", &source));
  ASSERT_EQ(deadlines.size(), 1u);
  EXPECT_NE(deadlines[0], 0);
  EXPECT_EQ(app_.post_deadline_ms(), 0);
  // Without a body the timer is never started.
  StringBody none("");
  none.on_read = [&] { ADD_FAILURE() << "no body to read"; };
  ASSERT_TRUE(Read("application/x-www-form-urlencoded", "0", &none));
  EXPECT_EQ(app_.post_deadline_ms(), 0);
}

TEST_F(RequestBodyTest, ParserFailuresAreInputErrors) {
  app_.config().SetInt(config_key::kMaxPostVars, 2);
  EXPECT_FALSE(Read("application/x-www-form-urlencoded", std::string("a=1&b=2&c=3")));
  EXPECT_FALSE(Read("multipart/form-data; boundary=b", std::string("--b\r\nBad: x\r\n")));
  EXPECT_EQ(app_.reports(), (std::vector<std::string>{
                                "input: Maximum number of POST variables exceeded",
                                "input: Premature end of line when expecting file header type"}));
}

TEST_F(RequestBodyTest, AMultipartRequestFromTheConnection) {
  std::string data = PatternBytes(2 * 1024 * 1024 + 5, 5);
  std::string body = MultipartBody("XyZ", {{"name", {}, "", "Ann"}, {"f", "d.bin", "", data}});
  std::string request =
      "POST /up.ztc HTTP/1.1\r\nHost: t\r\n"
      "Content-Type: multipart/form-data; boundary=XyZ\r\n"
      "Content-Length: " +
      std::to_string(body.size()) + "\r\n\r\n" + body;
  // Delivered the way TCP might: in uneven pieces.
  std::vector<std::string> pieces;
  for (size_t at = 0; at < request.size(); at += 1000 + at % 7919)
    pieces.push_back(request.substr(at, 1000 + at % 7919));
  PieceSource source(pieces);
  ClientRequest client(&source);
  ASSERT_EQ(client.Parse(), ClientRequest::ParseResult::kParsed);
  ASSERT_TRUE(ReadRequestBody(targets_, &client));
  EXPECT_EQ(Text(Var(globals_, "name")), "Ann");
  auto process = uploads_.CallsOf("Zeto_ProcessFileUpload");
  ASSERT_EQ(process.size(), 1u);
  EXPECT_TRUE(process[0].file == data);
  EXPECT_TRUE(area_.Names().empty());
}

}  // namespace
}  // namespace orin

#include "server/multipart_form_parser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "body_test_support.h"

namespace orin {
namespace {

using testing_support::DataArea;
using testing_support::FormPart;
using testing_support::MultipartBody;
using testing_support::PatternBytes;
using testing_support::RecordingUploads;
using testing_support::RenderScope;
using testing_support::Text;
using testing_support::Var;

constexpr std::string_view kChromeBoundary = "----WebKitFormBoundary7MA4YWxkTrZu0gW";

class MultipartTest : public ::testing::Test {
 protected:
  std::unique_ptr<MultipartFormParser> NewParser(std::string_view content_type,
                                                 int32_t max_variables = 0) {
    return std::make_unique<MultipartFormParser>(&uploads_, area_.files(), &scope_, content_type,
                                                 max_variables);
  }
  // Feeds `body` in pieces of `piece` bytes, then finishes.
  bool Parse(std::string_view content_type, std::string_view body, size_t piece = 8192,
             int32_t max_variables = 0) {
    auto parser = NewParser(content_type, max_variables);
    bool ok = true;
    for (size_t at = 0; ok && at < body.size(); at += piece) {
      size_t n = std::min(piece, body.size() - at);
      ok = parser->Feed(body.data() + at, static_cast<int32_t>(n));
    }
    ok = ok && parser->Finish();
    error_ = parser->ErrorText();
    return ok;
  }
  static std::string TypeWith(std::string_view boundary) {
    return "multipart/form-data; boundary=" + std::string(boundary);
  }

  DataArea area_;
  RecordingUploads uploads_{&area_};
  Dictionary dictionary_;
  UserVariableHash scope_{&dictionary_, 8};
  std::string error_;
};

TEST_F(MultipartTest, FieldsAndAFileAsABrowserSendsThem) {
  std::string body =
      MultipartBody(kChromeBoundary, {{"title", {}, "", "Holiday"},
                                      {"tag", {}, "", "sea"},
                                      {"tag", {}, "", "sun"},
                                      {"photo", "beach.txt", "text/plain", "line 1\r\nline 2\n"},
                                      {"note", {}, "", "multi\r\nline"}});
  ASSERT_TRUE(Parse(TypeWith(kChromeBoundary), body)) << error_;
  EXPECT_EQ(Text(Var(scope_, "title")), "Holiday");
  Variable* tag = Var(scope_, "tag");
  ASSERT_NE(tag, nullptr);
  EXPECT_EQ(tag->ElementsUsed(), 2);
  EXPECT_EQ(Text(tag->Element(AggregateIndex(2), false)), "sun");
  EXPECT_EQ(Text(Var(scope_, "note")), "multi\r\nline");
  EXPECT_EQ(Var(scope_, "photo"), nullptr);  // files make no variables

  auto validate = uploads_.CallsOf("Zeto_ValidateFileUpload");
  ASSERT_EQ(validate.size(), 1u);
  EXPECT_EQ(validate[0].args, (std::vector<std::string>{"photo", "beach.txt", "text/plain"}));
  auto process = uploads_.CallsOf("Zeto_ProcessFileUpload");
  ASSERT_EQ(process.size(), 1u);
  const auto& args = process[0].args;
  EXPECT_EQ(args[0], "photo");
  EXPECT_EQ(args[1], "beach.txt");
  EXPECT_EQ(args[2], "COMPLETE");
  EXPECT_EQ(args[3].rfind("ZETO_FUP.", 0), 0u) << args[3];
  EXPECT_EQ(args[4], "text/plain");
  EXPECT_EQ(args[5], "15");
  EXPECT_EQ(process[0].file, "line 1\r\nline 2\n");
  EXPECT_TRUE(area_.Names().empty());  // deleted after processing
}

TEST_F(MultipartTest, TimersAroundTheUploadFunctions) {
  std::string body = MultipartBody("b", {{"f", "a.bin", "application/octet-stream", "xyz"}});
  ASSERT_TRUE(Parse(TypeWith("b"), body)) << error_;
  EXPECT_EQ(uploads_.events,
            (std::vector<std::string>{"global", "Zeto_ValidateFileUpload", "post stop", "global",
                                      "Zeto_ProcessFileUpload", "post start"}));
}

TEST_F(MultipartTest, QuotedAndLearntBoundaries) {
  std::string boundary = "---------------------------974767299852498929531610575";
  std::string body = MultipartBody(boundary, {{"a", {}, "", "1"}, {"b", {}, "", "2"}});
  // Quoted, with a backslash escape and a parameter after it.
  ASSERT_TRUE(Parse("Multipart/Form-Data; charset=utf-8; BOUNDARY=\"" + boundary + "\"; x=y", body))
      << error_;
  EXPECT_EQ(RenderScope(scope_), "a=1;b=2;");
  std::string odd = MultipartBody("q\"b", {{"c", {}, "", "3"}});
  ASSERT_TRUE(Parse("multipart/form-data; boundary=\"q\\\"b\"", odd)) << error_;
  EXPECT_EQ(Text(Var(scope_, "c")), "3");
  // Without a boundary parameter the first line gives it, in any split.
  std::string learnt = MultipartBody(boundary, {{"d", {}, "", "4"}, {"d", {}, "", "5"}});
  for (size_t piece : {size_t{1}, size_t{7}, size_t{8192}}) {
    Dictionary dictionary;
    UserVariableHash scope(&dictionary, 8);
    MultipartFormParser parser(&uploads_, area_.files(), &scope, "multipart/form-data", 0);
    for (size_t at = 0; at < learnt.size(); at += piece)
      ASSERT_TRUE(parser.Feed(learnt.data() + at,
                              static_cast<int32_t>(std::min(piece, learnt.size() - at))))
          << parser.ErrorText();
    ASSERT_TRUE(parser.Finish());
    EXPECT_EQ(parser.delimiter(), "\r\n--" + boundary);
    EXPECT_EQ(RenderScope(scope), "d=[4|5];") << piece;
  }
}

TEST_F(MultipartTest, EverySplitGivesTheSameResult) {
  // Data that looks like the start of a boundary must stay data.
  std::string tricky = "x\r\n--bound\r\n-\r\r\n--boun\r\n--boundar";
  std::string body = MultipartBody(
      "boundary",
      {{"t", {}, "", tricky}, {"f", "n.txt", "text/plain", tricky + "\r"}, {"u", {}, "", "\r"}});
  ASSERT_TRUE(Parse(TypeWith("boundary"), body)) << error_;
  const std::string whole = RenderScope(scope_);
  EXPECT_EQ(Text(Var(scope_, "t")), tricky);
  ASSERT_EQ(uploads_.CallsOf("Zeto_ProcessFileUpload").size(), 1u);
  EXPECT_EQ(uploads_.CallsOf("Zeto_ProcessFileUpload")[0].file, tricky + "\r");
  for (size_t cut = 1; cut < body.size(); ++cut) {
    for (size_t second = cut + 1; second <= body.size(); second += 5) {
      Dictionary dictionary;
      UserVariableHash scope(&dictionary, 8);
      RecordingUploads uploads(&area_);
      MultipartFormParser parser(&uploads, area_.files(), &scope, TypeWith("boundary"), 0);
      ASSERT_TRUE(parser.Feed(body.data(), static_cast<int32_t>(cut)));
      ASSERT_TRUE(parser.Feed(body.data() + cut, static_cast<int32_t>(second - cut)));
      ASSERT_TRUE(parser.Feed(body.data() + second, static_cast<int32_t>(body.size() - second)));
      ASSERT_TRUE(parser.Finish());
      ASSERT_EQ(RenderScope(scope), whole) << "cuts at " << cut << ", " << second;
      auto process = uploads.CallsOf("Zeto_ProcessFileUpload");
      ASSERT_EQ(process.size(), 1u);
      ASSERT_EQ(process[0].file, tricky + "\r") << "cuts at " << cut << ", " << second;
    }
  }
  EXPECT_TRUE(area_.Names().empty());
}

TEST_F(MultipartTest, AValidationLimitKeepsThatManyBytes) {
  uploads_.limit = 100;
  std::string data = PatternBytes(250, 3);
  std::string body = MultipartBody("b", {{"f", "x.dat", "application/octet-stream", data}});
  ASSERT_TRUE(Parse(TypeWith("b"), body, 64)) << error_;
  auto process = uploads_.CallsOf("Zeto_ProcessFileUpload");
  ASSERT_EQ(process.size(), 1u);
  EXPECT_EQ(process[0].args[2], "PARTIAL");
  EXPECT_EQ(process[0].args[5], "250");
  EXPECT_EQ(process[0].file, data.substr(0, 100));
  // A file of exactly the limit is complete.
  uploads_.calls.clear();
  body = MultipartBody("b", {{"f", "x.dat", "application/octet-stream", data.substr(0, 100)}});
  ASSERT_TRUE(Parse(TypeWith("b"), body, 64)) << error_;
  EXPECT_EQ(uploads_.CallsOf("Zeto_ProcessFileUpload")[0].args[2], "COMPLETE");
}

TEST_F(MultipartTest, WithoutAProcessingFunctionTheFileIsStillDeleted) {
  uploads_.functions.erase("Zeto_ProcessFileUpload");
  std::string body = MultipartBody("b", {{"f", "x.dat", "", "data"}});
  ASSERT_TRUE(Parse(TypeWith("b"), body)) << error_;
  EXPECT_TRUE(area_.Names().empty());
}

TEST_F(MultipartTest, AnEmptyFileInputIsAPlainField) {
  std::string body = MultipartBody(kChromeBoundary, {{"doc", "", "application/octet-stream", ""}});
  ASSERT_TRUE(Parse(TypeWith(kChromeBoundary), body)) << error_;
  Variable* doc = Var(scope_, "doc");
  ASSERT_NE(doc, nullptr);
  EXPECT_EQ(Text(doc), "");
  EXPECT_TRUE(uploads_.calls.empty());
}

TEST_F(MultipartTest, UploadFunctionFailures) {
  std::string body = MultipartBody("b", {{"f", "x.dat", "", "data"}});
  uploads_.functions["Zeto_ValidateFileUpload"] = 2;
  EXPECT_FALSE(Parse(TypeWith("b"), body));
  EXPECT_EQ(error_, "Failed call to ValidateFileUpload");
  uploads_.functions["Zeto_ValidateFileUpload"] = 3;
  uploads_.fail_validate = true;
  EXPECT_FALSE(Parse(TypeWith("b"), body));
  EXPECT_EQ(error_, "Failed call to ValidateFileUpload");
  uploads_.fail_validate = false;
  uploads_.functions["Zeto_ProcessFileUpload"] = 5;
  EXPECT_FALSE(Parse(TypeWith("b"), body));
  EXPECT_EQ(error_, "Failed call to ProcessFileUpload");
  uploads_.functions["Zeto_ProcessFileUpload"] = 6;
  uploads_.fail_process = true;
  EXPECT_FALSE(Parse(TypeWith("b"), body));
  EXPECT_EQ(error_, "Failed call to ProcessFileUpload");
  EXPECT_TRUE(area_.Names().empty());
}

TEST_F(MultipartTest, ABodyEndingInsideAnUploadLeavesNoFile) {
  std::string body = MultipartBody("b", {{"a", {}, "", "1"}, {"f", "x.dat", "", "0123456789"}});
  std::string cut = body.substr(0, body.find("0123") + 5);
  {
    auto parser = NewParser(TypeWith("b"));
    ASSERT_TRUE(parser->Feed(cut.data(), static_cast<int32_t>(cut.size())));
    EXPECT_EQ(area_.Names().size(), 1u);  // the upload is open
    EXPECT_TRUE(parser->Finish());        // parts completed so far count
    EXPECT_TRUE(area_.Names().empty());
  }
  EXPECT_EQ(Text(Var(scope_, "a")), "1");
  EXPECT_TRUE(uploads_.CallsOf("Zeto_ProcessFileUpload").empty());
  {
    // Abandoned without Finish (the body was refused or timed out).
    auto parser = NewParser(TypeWith("b"));
    ASSERT_TRUE(parser->Feed(cut.data(), static_cast<int32_t>(cut.size())));
    EXPECT_EQ(area_.Names().size(), 1u);
  }
  EXPECT_TRUE(area_.Names().empty());
}

TEST_F(MultipartTest, MalformedBodies) {
  struct Case {
    std::string body;
    std::string error;
  };
  const std::string part = "Content-Disposition: form-data; name=\"a\"\r\n\r\n1\r\n";
  const std::vector<Case> cases = {
      {"--b\r\nX-Other: 1\r\n\r\nv\r\n--b--",
       "Premature end of line when expecting file header type"},
      {"--b\r\nContent-disposition: form-data\r\n",
       "Premature end of line when expecting file header type"},
      {"--b\r\n: x\r\n", "Found : when expecting file header type"},
      {"preamble\r\n--b\r\n", "Failed to find boundary separator"},
      {"--b\rX", "Found X when expected LF"},
      {"--b\r\n" + part + "--b+", "Found + when expected CR or '-'"},
      {"--b\r\n" + part + "--b-x", "Found x when expected '-'"},
      {"--b\r\nContent-Type: text/plain\r\n\rx", "Found x when expected LF"},
      {"--b\r\n" + std::string(8193, 'H'), "Input data exceeds maximum length"},
      {"--b\r\nContent-Disposition: ; name=\"" + std::string(8200, 'n'),
       "Input data exceeds maximum length"},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(Parse(TypeWith("b"), c.body, 3)) << c.body.substr(0, 60);
    EXPECT_EQ(error_, c.error) << c.body.substr(0, 60);
  }
  // A learnt boundary is held to the same limit.
  EXPECT_FALSE(Parse("multipart/form-data", "--" + std::string(8200, 'b')));
  EXPECT_EQ(error_, "Input data exceeds maximum length");
  EXPECT_FALSE(Parse(TypeWith(std::string(8200, 'b')), "--"));
  EXPECT_EQ(error_, "Input data exceeds maximum length");
}

TEST_F(MultipartTest, AfterTheClosingBoundaryEverythingIsIgnored) {
  std::string body = MultipartBody("b", {{"a", {}, "", "1"}}) + "trailing junk\r\n--b\r\n:";
  ASSERT_TRUE(Parse(TypeWith("b"), body)) << error_;
  EXPECT_EQ(RenderScope(scope_), "a=1;");
  // A body cut short inside a plain field keeps only the completed parts.
  std::string cut = MultipartBody("b", {{"x", {}, "", "1"}, {"y", {}, "", "22"}});
  ASSERT_TRUE(Parse(TypeWith("b"), cut.substr(0, cut.find("22") + 1)));
  EXPECT_EQ(Text(Var(scope_, "x")), "1");
  EXPECT_EQ(Var(scope_, "y"), nullptr);
}

TEST_F(MultipartTest, TheVariableLimitCountsFields) {
  std::string body =
      MultipartBody("b", {{"a", {}, "", "1"}, {"f", "x", "", "file"}, {"b", {}, "", "2"}});
  ASSERT_TRUE(Parse(TypeWith("b"), body, 8192, 2)) << error_;  // files do not count
  body = MultipartBody("b", {{"a", {}, "", "1"}, {"b", {}, "", "2"}, {"c", {}, "", "3"}});
  EXPECT_FALSE(Parse(TypeWith("b"), body, 8192, 2));
  EXPECT_EQ(error_, "Maximum number of POST variables exceeded");
}

TEST_F(MultipartTest, WithoutAnUploadHandlerFilesAreSkipped) {
  std::string body = MultipartBody("b", {{"f", "x.dat", "", "data"}, {"a", {}, "", "1"}});
  MultipartFormParser parser(nullptr, area_.files(), &scope_, TypeWith("b"), 0);
  ASSERT_TRUE(parser.Feed(body.data(), static_cast<int32_t>(body.size())));
  ASSERT_TRUE(parser.Finish());
  EXPECT_EQ(RenderScope(scope_), "a=1;");
  EXPECT_TRUE(area_.Names().empty());
}

}  // namespace
}  // namespace orin

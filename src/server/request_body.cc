#include "server/request_body.h"

#include <cstdint>

#include "platform/clock.h"
#include "server/buffered_content_parser.h"
#include "server/client_request.h"
#include "server/multipart_form_parser.h"
#include "server/url_encoded_parser.h"
#include "util/ascii.h"
#include "util/config.h"
#include "vm/zeto_application.h"

namespace orin {
namespace {

constexpr std::string_view kTimeoutMessage = "Timeout processing POST data";

bool StartsWithNoCase(std::string_view text, std::string_view keyword) {
  return text.size() >= keyword.size() && EqualsNoCase(text.substr(0, keyword.size()), keyword);
}

}  // namespace

int32_t ContentLengthValue(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
    ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > INT32_MAX) return negative ? 0 : INT32_MAX;
  }
  return negative ? 0 : static_cast<int32_t>(value);
}

std::unique_ptr<HTTPContentParser> NewBodyParser(const RequestBodyTargets& targets,
                                                 std::string_view content_type, int32_t length,
                                                 std::string* error) {
  Config* config = targets.application->GetConfig();
  int32_t max_variables = config->GetInt(config_key::kMaxPostVars);
  if (StartsWithNoCase(content_type, "application/x-www-form-urlencoded")) {
    return std::make_unique<URLEncodedParser>(targets.globals, max_variables);
  }
  if (StartsWithNoCase(content_type, "application/json")) {
    return std::make_unique<JSONContentParser>(targets.system, length);
  }
  if (StartsWithNoCase(content_type, "multipart/form-data")) {
    return std::make_unique<MultipartFormParser>(targets.uploads, targets.files, targets.globals,
                                                 content_type, max_variables);
  }
  int32_t limit = config->GetInt(config_key::kMaxUnknownContentLength);
  if (limit < 0) {
    *error = "Unknown POST content type";
    return nullptr;
  }
  if (limit > 0 && limit < length) {
    *error = "POST content length exceeds configured maximum for unknown content types";
    return nullptr;
  }
  return std::make_unique<UnknownContentHandler>(targets.system, length);
}

bool ReadRequestBody(const RequestBodyTargets& targets, const ByteString* content_type,
                     const ByteString* content_length, BodySource* source) {
  if (content_type == nullptr || content_length == nullptr) return true;
  int32_t length = ContentLengthValue(content_length->view());
  if (length < 1) return true;
  ZetoApplication* app = targets.application;
  std::string error;
  std::unique_ptr<HTTPContentParser> parser =
      NewBodyParser(targets, content_type->view(), length, &error);
  if (parser == nullptr) {
    app->ReportInputError(error);
    return false;
  }
  app->StartPostTimer();
  char block[kBodyBlockSize];
  int32_t remaining = length;
  while (remaining > 0) {
    int32_t want = remaining < kBodyBlockSize ? remaining : kBodyBlockSize;
    // Read again each time: an upload stops the timer while its file is
    // written and starts it afresh.
    int64_t deadline = app->post_deadline_ms();
    int32_t got = source->ReadSome(block, want, deadline);
    if (app->post_timed_out() || (deadline != 0 && MonotonicMillis() >= deadline)) {
      app->ReportTimeout(kTimeoutMessage);
      return false;
    }
    if (got <= 0) break;  // closed, or failed: the body ends here
    if (got > want) got = want;
    remaining -= got;
    if (!parser->Feed(block, got)) {
      app->ReportInputError(parser->ErrorText());
      return false;
    }
  }
  if (!parser->Finish()) {
    app->ReportInputError(parser->ErrorText());
    return false;
  }
  app->StopPostTimer();
  return true;
}

bool ReadRequestBody(const RequestBodyTargets& targets, ClientRequest* request) {
  return ReadRequestBody(targets, request->Header("Content-Type"),
                         request->Header("Content-Length"), request);
}

}  // namespace orin

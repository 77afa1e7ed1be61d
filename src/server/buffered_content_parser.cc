#include "server/buffered_content_parser.h"

#include <algorithm>
#include <new>

#include "variables/immutable_variable.h"
#include "variables/json_decode.h"
#include "variables/variable_hash.h"

namespace orin {
namespace {

// Reserved up front at most; a larger body grows the buffer as it arrives.
constexpr int64_t kInitialReserve = 64 * 1024;

}  // namespace

BufferedContentParser::BufferedContentParser(VariableHash* system_scope, int64_t content_length)
    : scope_(system_scope), expected_(std::max<int64_t>(content_length, 0)) {
  body_.Reserve(static_cast<size_t>(std::min(expected_, kInitialReserve)));
}

bool BufferedContentParser::Feed(const char* data, int32_t length) {
  if (length <= 0) return true;
  int64_t room = expected_ - body_.size();
  size_t n = static_cast<size_t>(std::min<int64_t>(length, std::max<int64_t>(room, 0)));
  try {
    body_.Append(data, n);
  } catch (const std::bad_alloc&) {
    SetError("Out of memory");
    return false;
  }
  return true;
}

void BufferedContentParser::AddReadOnly(ImmutableVariable* variable) {
  variable->Lock();
  scope_->ReplaceVariable(variable);
}

void BufferedContentParser::AddContentData() {
  auto* content = new ImmutableVariable("content_data");
  VarRef hold = VarRef::Adopt(content);
  content->SetValue(body_.data(), body_.size());
  AddReadOnly(content);
}

bool JSONContentParser::Finish() {
  auto* json = new ImmutableVariable("json_data");
  VarRef hold = VarRef::Adopt(json);
  json->ConvertToAggregate(kKindStructure);
  JSONDecoder decoder(json, body().data(), body().size());
  bool ok = decoder.Decode();
  if (!ok) SetError(decoder.ErrorText().str());
  AddContentData();
  AddReadOnly(json);
  return ok;
}

bool UnknownContentHandler::Finish() {
  AddContentData();
  return true;
}

}  // namespace orin

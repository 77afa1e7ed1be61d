#include "server/content_parser.h"

#include "variables/variable_hash.h"

namespace orin {

bool FormContentParser::AddVariable(std::string_view name, std::string_view value) {
  ++count_;
  if (max_variables_ > 0 && count_ > max_variables_) {
    SetError(std::string(kTooManyPostVariables));
    return false;
  }
  // A name that is no usable path ("a[", "a[x]") sets nothing.
  scope_->SetFromText(name.data(), static_cast<int64_t>(name.size()), value.data(),
                      static_cast<int64_t>(value.size()), true);
  return true;
}

bool FormContentParser::AppendBytes(ByteString* buffer, const char* bytes, size_t length) {
  if (length > kMaxByteStringLength - buffer->size()) {
    SetError(std::string(kInputTooLong));
    return false;
  }
  buffer->Append(bytes, length);
  return true;
}

}  // namespace orin

#include "server/multipart_form_parser.h"

#include <cstring>
#include <vector>

#include "files/file_manager.h"
#include "server/upload_handler.h"
#include "util/ascii.h"
#include "variables/variable.h"

namespace orin {
namespace {

constexpr std::string_view kValidateFunction = "Zeto_ValidateFileUpload";
constexpr std::string_view kProcessFunction = "Zeto_ProcessFileUpload";
constexpr std::string_view kTempPrefix = "ZETO_FUP";

// The boundary parameter of a content type, quoted or not; false when there
// is none.
bool FindBoundary(std::string_view type, std::string* boundary) {
  size_t pos = type.find(';');
  while (pos != std::string_view::npos) {
    ++pos;
    while (pos < type.size() && IsBlank(type[pos]))
      ++pos;
    size_t eq = type.find('=', pos);
    if (eq == std::string_view::npos) return false;
    if (EqualsNoCase(type.substr(pos, eq - pos), "boundary")) {
      size_t i = eq + 1;
      if (i < type.size() && type[i] == '"') {
        for (++i; i < type.size() && type[i] != '"'; ++i) {
          if (type[i] == '\\' && i + 1 < type.size()) ++i;
          boundary->push_back(type[i]);
        }
      } else {
        size_t end = type.find(';', i);
        boundary->assign(type.substr(i, end == std::string_view::npos ? end : end - i));
      }
      return true;
    }
    pos = type.find(';', eq);
  }
  return false;
}

// The text between the first and the last byte (the quotes).
std::string_view Unquoted(const ByteString& quoted) {
  std::string_view v = quoted.view();
  return v.size() < 2 ? std::string_view() : v.substr(1, v.size() - 2);
}

}  // namespace

MultipartFormParser::MultipartFormParser(UploadHandler* uploads, FileManager* files,
                                         VariableHash* scope, std::string_view content_type,
                                         int32_t max_variables)
    : FormContentParser(scope, max_variables), uploads_(uploads), files_(files) {
  std::string value;
  if (!FindBoundary(content_type, &value)) {
    boundary_.Assign("\r\n");
    state_ = kLearn;
    return;
  }
  // The body starts with "--": matching begins after the line break.
  boundary_.Assign("\r\n--");
  boundary_.Append(value);
  match_ = 2;
  state_ = kMatchFirst;
  if (boundary_.size() > kMaxBuffer) Fail(std::string(kInputTooLong));
}

MultipartFormParser::~MultipartFormParser() {
  DiscardUpload();
}

bool MultipartFormParser::Fail(std::string message) {
  state_ = kFailed;
  SetError(std::move(message));
  return false;
}

bool MultipartFormParser::FailFound(char c, std::string_view expected) {
  std::string message = "Found ";
  message += c;
  message += expected;
  return Fail(std::move(message));
}

bool MultipartFormParser::AppendLimited(ByteString* buffer, const char* bytes, size_t length) {
  if (buffer->size() + length > kMaxBuffer) return Fail(std::string(kInputTooLong));
  buffer->Append(bytes, length);
  return true;
}

bool MultipartFormParser::Feed(const char* data, int32_t length) {
  if (state_ == kFailed) return false;
  size_t n = length > 0 ? static_cast<size_t>(length) : 0;
  size_t i = 0;
  size_t run = 0;  // start of the data (or boundary line) not yet delivered
  while (i < n) {
    switch (state_) {
      case kLearn:
      case kData: {
        const void* cr = std::memchr(data + i, '\r', n - i);
        if (cr == nullptr) {
          i = n;
          break;
        }
        size_t at = static_cast<size_t>(static_cast<const char*>(cr) - data);
        i = at + 1;
        if (state_ == kLearn) {
          if (!AppendLimited(&boundary_, data + run, at - run)) return false;
          state_ = kExpectLF;
        } else {
          match_begin_ = at;
          match_ = 1;
          state_ = kMatch;
        }
        break;
      }
      case kDataStart:
        if (!BeginPart()) return false;
        run = i;
        state_ = kData;  // the byte is examined as data
        break;
      case kMatch:
      case kMatchCarried:
        if (data[i] == boundary_[match_]) {
          ++i;
          if (++match_ == boundary_.size() && !BoundaryFound(data, run)) return false;
          break;
        }
        if (state_ == kMatchCarried) {
          // What looked like a boundary in the earlier piece was data.
          if (!Deliver(boundary_.data(), match_)) return false;
          run = i;
        }
        state_ = kData;  // the byte is examined again as data
        break;
      case kDone:
        return true;
      default:
        if (!Step(data[i++])) return false;
        break;
    }
  }
  switch (state_) {
    case kLearn:
      return AppendLimited(&boundary_, data + run, n - run);
    case kData:
      return Deliver(data + run, n - run);
    case kMatch:
      state_ = kMatchCarried;
      return Deliver(data + run, match_begin_ - run);
    default:
      return true;
  }
}

bool MultipartFormParser::BoundaryFound(const char* data, size_t run) {
  if (state_ == kMatch && !Deliver(data + run, match_begin_ - run)) return false;
  state_ = kAfterBoundary;
  return EndPart();
}

bool MultipartFormParser::Step(char c) {
  switch (state_) {
    case kMatchFirst:
      if (c != boundary_[match_]) {
        state_ = kSkipLine;
      } else if (++match_ == boundary_.size()) {
        state_ = kAfterFirst;
      }
      return true;
    case kAfterFirst:
      state_ = c == '\r' ? kExpectLF : kSkipLine;
      if (state_ == kExpectLF) StartPart();
      return true;
    case kSkipLine:
      return c != '\r' || Fail("Failed to find boundary separator");
    case kExpectLF:
    case kExpectBodyLF:
      if (c != '\n') return FailFound(c, " when expected LF");
      state_ = state_ == kExpectLF ? kHeaderStart : kDataStart;
      return true;
    case kHeaderStart:
      if (c == '\r') {
        state_ = kExpectBodyLF;
        return true;
      }
      if (c == ':') return FailFound(c, " when expecting file header type");
      header_name_.Assign(&c, 1);
      state_ = kHeaderName;
      return true;
    case kHeaderName:
      if (c == '\r') return Fail("Premature end of line when expecting file header type");
      if (c == ':' && HeaderNameEnded()) return true;
      return AppendLimited(&header_name_, &c, 1);
    case kContentType:
      if (c == '\r') {
        state_ = kExpectLF;
        return true;
      }
      return c == ' ' || AppendLimited(&content_type_, &c, 1);
    case kDisposition:
      if (c == ';') state_ = kParamStart;
      return true;
    case kParamStart:
      if (c == ' ') return true;
      param_name_.Assign(&c, 1);
      state_ = kParamName;
      return true;
    case kParamName:
      if (c == '=') {
        param_value_.Clear();
        state_ = kParamValue;
        return true;
      }
      return AppendLimited(&param_name_, &c, 1);
    case kParamValue:
      if (c == ';' || c == '\r') {
        ParameterEnded();
        state_ = c == ';' ? kParamStart : kExpectLF;
        return true;
      }
      return AppendLimited(&param_value_, &c, 1);
    case kAfterBoundary:
      if (c == '\r') {
        state_ = kExpectLF;
        StartPart();
        return true;
      }
      if (c == '-') {
        state_ = kClosing;
        return true;
      }
      return FailFound(c, " when expected CR or '-'");
    case kClosing:
      if (c != '-') return FailFound(c, " when expected '-'");
      state_ = kDone;
      return true;
    default:
      return false;
  }
}

// Only the two known headers end at ":"; with any other name the colon and
// the rest of the line become part of the name, so the line ends in the
// "Premature end of line" failure.
bool MultipartFormParser::HeaderNameEnded() {
  if (header_name_ == std::string_view("Content-Disposition")) {
    file_name_.Clear();
    has_file_ = false;
    state_ = kDisposition;
    return true;
  }
  if (header_name_ == std::string_view("Content-Type")) {
    content_type_.Clear();
    state_ = kContentType;
    return true;
  }
  return false;
}

bool MultipartFormParser::ParameterEnded() {
  if (param_name_ == std::string_view("name")) {
    field_name_.Assign(Unquoted(param_value_));
  } else if (param_name_ == std::string_view("filename") && param_value_.size() > 2) {
    // A file input left empty sends filename="": the part is a plain field.
    file_name_ = param_value_;
    has_file_ = true;
    upload_ = Upload::kNone;
    upload_status_.clear();
    upload_limit_ = 0;
    upload_size_ = 0;
  }
  return true;
}

// A new part's headers follow: nothing of the previous part's carries over.
void MultipartFormParser::StartPart() {
  field_name_.Clear();
  file_name_.Clear();
  has_file_ = false;
  content_type_.Clear();
  field_value_.Clear();
}

bool MultipartFormParser::Deliver(const char* bytes, size_t length) {
  if (length == 0) return true;
  if (!has_file_) return AppendBytes(&field_value_, bytes, length) || Fail(ErrorText());
  int64_t before = upload_size_;
  upload_size_ += static_cast<int64_t>(length);
  if (upload_ != Upload::kWriting) return true;
  size_t keep = length;
  if (upload_limit_ != 0 && upload_size_ > upload_limit_) {
    keep = static_cast<size_t>(upload_limit_ - before);
    upload_ = Upload::kPartial;
    upload_status_ = "PARTIAL";
  }
  // A file that cannot take the bytes (a full disk) is reported as partial:
  // the program sees it holds less than was sent.
  if (keep > 0 &&
      temp_file_->Write(bytes, static_cast<int32_t>(keep)) != static_cast<int32_t>(keep)) {
    upload_ = Upload::kPartial;
    upload_status_ = "PARTIAL";
  }
  return true;
}

bool MultipartFormParser::BeginPart() {
  if (!has_file_) return true;
  upload_limit_ = -1;
  if (uploads_ != nullptr) {
    uploads_->RestartGlobalTimer();
    int parameters = 0;
    if (uploads_->FindFunction(kValidateFunction, &parameters)) {
      if (parameters != 3) return Fail("Failed call to ValidateFileUpload");
      VarRef field = NewTextVariable({}, field_name_.view());
      VarRef file = NewTextVariable({}, Unquoted(file_name_));
      VarRef type = NewTextVariable({}, content_type_.view());
      VarRef result = NewVariable();
      if (!uploads_->CallFunction(kValidateFunction, {field.get(), file.get(), type.get()},
                                  result.get())) {
        return Fail("Failed call to ValidateFileUpload");
      }
      upload_limit_ = result->Value_Integer();
    }
  }
  if (upload_limit_ < 0) {
    upload_ = Upload::kSkipped;
    upload_status_ = "SKIPPED";
    return true;
  }
  uploads_->StopPostTimer();
  upload_status_ = "COMPLETE";
  temp_file_ =
      files_->CreateTempFile(kDataArea, "", kTempPrefix, &temp_path_, kOpenWrite | kOpenUnmanaged);
  if (temp_file_ == nullptr) return Fail("Failed to create temporary file");
  upload_size_ = 0;
  upload_ = Upload::kWriting;
  return true;
}

bool MultipartFormParser::EndPart() {
  if (!has_file_) {
    bool ok = AddVariable(field_name_.view(), field_value_.view());
    field_value_.Clear();
    return ok || Fail(ErrorText());
  }
  if (upload_ != Upload::kWriting && upload_ != Upload::kPartial) return true;
  temp_file_.reset();
  upload_ = Upload::kNone;
  uploads_->RestartGlobalTimer();
  bool ran = false, failed = false;
  int parameters = 0;
  if (uploads_->FindFunction(kProcessFunction, &parameters)) {
    if (parameters != 6) {
      failed = true;
    } else {
      VarRef field = NewTextVariable({}, field_name_.view());
      VarRef file = NewTextVariable({}, Unquoted(file_name_));
      VarRef status = NewTextVariable({}, upload_status_);
      VarRef path = NewTextVariable({}, temp_path_);
      VarRef type = NewTextVariable({}, content_type_.view());
      VarRef size = NewVariable();
      if (upload_size_ <= INT32_MAX) {
        size->SetValue_Integer(static_cast<int32_t>(upload_size_));
      } else {
        std::string digits = std::to_string(upload_size_);
        size->SetValue(digits.data(), static_cast<int64_t>(digits.size()));
      }
      VarRef result = NewVariable();
      ran = true;
      failed = !uploads_->CallFunction(
          kProcessFunction,
          {field.get(), file.get(), status.get(), path.get(), type.get(), size.get()},
          result.get());
    }
  }
  // The function had its chance to copy or move the file.
  files_->Delete(kDataArea, temp_path_);
  temp_path_.clear();
  if (ran) uploads_->StartPostTimer();
  return !failed || Fail("Failed call to ProcessFileUpload");
}

void MultipartFormParser::DiscardUpload() {
  if (temp_file_ == nullptr) return;
  temp_file_.reset();
  files_->Delete(kDataArea, temp_path_);
  temp_path_.clear();
  upload_ = Upload::kNone;
}

bool MultipartFormParser::Finish() {
  DiscardUpload();
  return state_ != kFailed;
}

}  // namespace orin

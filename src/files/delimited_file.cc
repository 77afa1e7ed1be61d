#include "files/delimited_file.h"

#include <algorithm>

#include "util/stream.h"

namespace orin {

DelimitedReader::DelimitedReader(Stream* source, std::string_view delimiter, uint32_t buffer_size)
    : source_(source), delimiter_(delimiter), buffer_(std::max<uint32_t>(buffer_size, 1)) {}

bool DelimitedReader::Fill() {
  if (eof_ || failed_) return false;
  int32_t n = source_->Read(buffer_.data(), static_cast<int32_t>(buffer_.size()));
  if (n < 0) {
    failed_ = true;
    error_ = source_->ErrorText();
    return false;
  }
  // Never trust a count beyond what was asked for.
  fill_ = std::min<uint32_t>(static_cast<uint32_t>(n), static_cast<uint32_t>(buffer_.size()));
  pos_ = 0;
  if (fill_ == 0) eof_ = true;
  return fill_ > 0;
}

int DelimitedReader::Peek() {
  if (pos_ >= fill_ && !Fill()) return failed_ ? -2 : -1;
  return static_cast<unsigned char>(buffer_[pos_]);
}

int DelimitedReader::Get() {
  int c = Peek();
  if (c >= 0) ++pos_;
  return c;
}

bool DelimitedReader::AppendPlain(std::string* field, size_t plain_start, char c) {
  field->push_back(c);
  size_t n = delimiter_.size();
  if (n == 0 || field->size() - plain_start < n) return false;
  if (field->compare(field->size() - n, n, delimiter_) != 0) return false;
  field->resize(field->size() - n);
  return true;
}

DelimitedReader::Result DelimitedReader::Next(std::vector<std::string>* fields, size_t max_fields) {
  fields->clear();
  int first = Peek();
  if (first == -2) return kError;
  if (first == -1) return kEnd;  // nothing after the last line break

  std::string scratch;  // fields past max_fields
  for (;;) {
    bool keep = max_fields == 0 || fields->size() < max_fields;
    if (keep) fields->emplace_back();
    std::string* field = keep ? &fields->back() : &scratch;
    field->clear();
    size_t plain_start = 0;
    // A quoted part at the start of the field (only when there are fields
    // to separate: with an empty delimiter the line is the field).
    if (!delimiter_.empty() && Peek() == '"') {
      Get();
      for (;;) {
        int c = Get();
        if (c == -2) return kError;
        if (c == -1) break;  // unterminated: the file's end closes it
        if (c == '"') {
          if (Peek() != '"') break;
          Get();
        }
        field->push_back(static_cast<char>(c));
      }
      plain_start = field->size();
    }
    // Plain text to the delimiter or the line's end.
    for (;;) {
      int c = Get();
      if (c == -2) return kError;
      if (c == -1) return kRecord;
      if (c == '\n') return kRecord;
      if (c == '\r') {
        if (Peek() == '\n') Get();
        if (failed_) return kError;
        return kRecord;
      }
      if (c == '\\') {
        int e = Get();
        if (e == -2) return kError;
        if (e == -1) return kRecord;  // a lone backslash at the end is dropped
        c = e == 'n' ? '\n' : e == 'r' ? '\r' : e;
      }
      if (AppendPlain(field, plain_start, static_cast<char>(c))) break;
    }
  }
}

namespace {

bool NeedsQuotes(std::string_view value, std::string_view delimiter) {
  if (value.find_first_of("\"\\\r\n") != std::string_view::npos) return true;
  // The delimiter inside the value, or formed across its end with the
  // delimiter that follows (a value "a|" before "||").
  std::string joined(value);
  joined.append(delimiter);
  return joined.find(delimiter) != value.size();
}

void AppendEscaped(std::string* out, std::string_view value) {
  for (char c : value) {
    if (c == '\\') {
      *out += "\\\\";
    } else if (c == '\n') {
      *out += "\\n";
    } else if (c == '\r') {
      *out += "\\r";
    } else {
      out->push_back(c);
    }
  }
}

}  // namespace

std::string FormatDelimitedRecord(const std::vector<std::string_view>& fields,
                                  std::string_view delimiter) {
  std::string out;
  for (size_t i = 0; i < fields.size(); ++i) {
    std::string_view value = fields[i];
    if (delimiter.empty()) {
      AppendEscaped(&out, value);
      continue;
    }
    if (i > 0) out.append(delimiter);
    if (!NeedsQuotes(value, delimiter)) {
      out.append(value);
      continue;
    }
    out.push_back('"');
    for (char c : value) {
      if (c == '"') out.push_back('"');
      out.push_back(c);
    }
    out.push_back('"');
  }
  out.push_back('\n');
  return out;
}

}  // namespace orin

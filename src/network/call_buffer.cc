#include "network/call_buffer.h"

#include "util/ascii.h"

namespace orin {

namespace {

bool IsTagSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
}

}  // namespace

CallBuffer::CallBuffer(Source source, int32_t block_size)
    : source_(std::move(source)),
      block_(static_cast<size_t>(block_size > 0 ? block_size : 8192), '\0') {}

int CallBuffer::Peek() {
  if (position_ == filled_) {
    if (ended_ || failed_) return -1;
    int32_t n = source_(block_.data(), static_cast<int32_t>(block_.size()), &error_);
    if (n < 0) {
      failed_ = true;
      return -1;
    }
    if (n == 0) {
      ended_ = true;
      return -1;
    }
    position_ = 0;
    filled_ = static_cast<size_t>(n);
  }
  return static_cast<unsigned char>(block_[position_]);
}

int CallBuffer::Get() {
  int c = Peek();
  if (c >= 0) ++position_;
  return c;
}

int CallBuffer::Next(HtmlObject* object) {
  *object = HtmlObject();
  int c = Peek();
  if (c < 0) return failed_ ? -1 : 0;
  if (c != '<') {
    while ((c = Peek()) >= 0 && c != '<')
      object->raw.push_back(static_cast<char>(Get()));
    if (failed_) return -1;
    return 1;
  }
  object->is_tag = true;
  if (!ReadTag(object)) return -1;
  return 1;
}

bool CallBuffer::ReadTag(HtmlObject* object) {
  std::string& raw = object->raw;
  raw.push_back(static_cast<char>(Get()));  // '<'
  if (Peek() == '!') return ReadDeclaration(object);
  // Up to the '>' that is not inside a quoted attribute value.
  char quote = 0;
  for (;;) {
    int c = Get();
    if (c < 0) {
      if (!failed_) error_ = "Unexpected EOF in tag";
      return false;
    }
    raw.push_back(static_cast<char>(c));
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == '>') {
      break;
    } else if ((c == '"' || c == '\'') && raw.size() >= 2) {
      // Quotes open a value only right after '=' (spaces allowed between).
      size_t i = raw.size() - 2;
      while (i > 0 && IsTagSpace(raw[i]))
        --i;
      if (raw[i] == '=') quote = static_cast<char>(c);
    }
  }
  ParseTag(raw, &object->element, &object->attributes);
  return true;
}

bool CallBuffer::ReadDeclaration(HtmlObject* object) {
  std::string& raw = object->raw;
  // "<!--" comment, "<![CDATA[" section, or another declaration.
  enum { kComment, kCdata, kOther } kind = kOther;
  while (raw.size() < 9) {
    int c = Peek();
    if (c < 0 || c == '>') break;
    raw.push_back(static_cast<char>(Get()));
    if (raw == "<!--") {
      kind = kComment;
      break;
    }
    if (raw == "<![CDATA[") {
      kind = kCdata;
      break;
    }
    if (std::string_view("<![CDATA[").substr(0, raw.size()) != raw &&
        std::string_view("<!--").substr(0, raw.size()) != raw)
      break;
  }
  int depth = 1;
  for (size_t i = 1; i < raw.size(); ++i)
    depth += raw[i] == '<';
  int run = 0;  // '-' or ']' just before
  for (;;) {
    int c = Get();
    if (c < 0) {
      if (!failed_) {
        error_ = kind == kOther ? "Unexpected EOF in DOCTYPE or other XML tag"
                                : "Unexpected EOF in HTML comment or CDATA section";
      }
      return false;
    }
    raw.push_back(static_cast<char>(c));
    if (kind == kOther) {
      if (c == '<') ++depth;
      if (c == '>' && --depth == 0) break;
      continue;
    }
    char closer = kind == kComment ? '-' : ']';
    if (c == '>' && run >= 2) break;
    run = c == closer ? run + 1 : 0;
  }
  // Declarations carry their name but no attributes.
  size_t end = 1;
  while (end < raw.size() && !IsTagSpace(raw[end]) && raw[end] != '>' &&
         (kind == kOther || end < (kind == kComment ? 4u : 9u)))
    ++end;
  object->element = raw.substr(1, end - 1);
  return true;
}

void ParseTag(std::string_view tag, std::string* element,
              std::vector<std::pair<std::string, std::string>>* attributes) {
  element->clear();
  attributes->clear();
  if (!tag.empty() && tag.front() == '<') tag.remove_prefix(1);
  if (!tag.empty() && tag.back() == '>') tag.remove_suffix(1);
  size_t i = 0;
  size_t n = tag.size();
  while (i < n && IsTagSpace(tag[i]))
    ++i;
  size_t start = i;
  // A leading '/' belongs to the name of an end tag.
  if (i < n && tag[i] == '/') ++i;
  while (i < n && !IsTagSpace(tag[i]) && tag[i] != '/')
    ++i;
  element->assign(tag.substr(start, i - start));
  for (;;) {
    while (i < n && (IsTagSpace(tag[i]) || tag[i] == '/'))
      ++i;
    if (i >= n) return;
    start = i;
    while (i < n && !IsTagSpace(tag[i]) && tag[i] != '=' && tag[i] != '/')
      ++i;
    std::string name(tag.substr(start, i - start));
    size_t after = i;
    while (after < n && IsTagSpace(tag[after]))
      ++after;
    std::string value;
    if (after < n && tag[after] == '=') {
      i = after + 1;
      while (i < n && IsTagSpace(tag[i]))
        ++i;
      if (i < n && (tag[i] == '"' || tag[i] == '\'')) {
        char q = tag[i++];
        start = i;
        while (i < n && tag[i] != q)
          ++i;
        value.assign(tag.substr(start, i - start));
        if (i < n) ++i;
      } else {
        start = i;
        while (i < n && !IsTagSpace(tag[i]))
          ++i;
        value.assign(tag.substr(start, i - start));
      }
    }
    if (name.empty()) {
      if (i < n && tag[i] == '=') ++i;  // a stray '=' must not stall the scan
      if (value.empty()) continue;
    }
    attributes->emplace_back(std::move(name), std::move(value));
  }
}

}  // namespace orin

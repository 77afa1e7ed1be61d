#include "core/text.h"

namespace orin_std {

namespace {

bool CheckPosition(int64_t start, size_t size, std::string* error) {
  if (start >= 1 && static_cast<uint64_t>(start) <= size + 1) return true;
  *error = "position " + std::to_string(start) + " is outside the text (1 to " +
           std::to_string(size + 1) + ")";
  return false;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

bool TooLarge(uint64_t bytes, std::string* error) {
  if (bytes <= kMaxResultBytes) return false;
  *error = "the result would be larger than " + std::to_string(kMaxResultBytes) + " bytes";
  return true;
}

}  // namespace

bool SubText(std::string_view text, int64_t start, int64_t length, std::string_view* out,
             std::string* error) {
  if (!CheckPosition(start, text.size(), error)) return false;
  if (length < 0) {
    *error = "length " + std::to_string(length) + " is negative";
    return false;
  }
  *out = text.substr(static_cast<size_t>(start - 1), static_cast<uint64_t>(length));
  return true;
}

bool FindText(std::string_view text, std::string_view needle, int64_t start, int64_t* position,
              std::string* error) {
  if (!CheckPosition(start, text.size(), error)) return false;
  size_t at = text.find(needle, static_cast<size_t>(start - 1));
  *position = at == std::string_view::npos ? 0 : static_cast<int64_t>(at) + 1;
  return true;
}

int64_t FindLastText(std::string_view text, std::string_view needle) {
  size_t at = text.rfind(needle);
  return at == std::string_view::npos ? 0 : static_cast<int64_t>(at) + 1;
}

bool ReplaceText(std::string_view text, std::string_view search, std::string_view replacement,
                 std::string* out, std::string* error) {
  if (search.empty()) {
    *error = "the text to replace is empty";
    return false;
  }
  out->clear();
  size_t from = 0;
  for (size_t at; (at = text.find(search, from)) != std::string_view::npos;
       from = at + search.size()) {
    out->append(text.substr(from, at - from));
    out->append(replacement);
    if (TooLarge(out->size(), error)) return false;
  }
  out->append(text.substr(from));
  return true;
}

std::string UpperText(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

std::string LowerText(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

std::string_view TrimText(std::string_view text, TrimSide side) {
  if (side != TrimSide::kRight) {
    while (!text.empty() && IsBlank(text.front()))
      text.remove_prefix(1);
  }
  if (side != TrimSide::kLeft) {
    while (!text.empty() && IsBlank(text.back()))
      text.remove_suffix(1);
  }
  return text;
}

bool PadText(std::string_view text, int64_t width, std::string_view fill, bool left,
             std::string* out, std::string* error) {
  if (width < 0) {
    *error = "width " + std::to_string(width) + " is negative";
    return false;
  }
  if (fill.empty()) {
    *error = "the fill text is empty";
    return false;
  }
  if (TooLarge(static_cast<uint64_t>(width), error)) return false;
  if (static_cast<uint64_t>(width) <= text.size()) {
    out->assign(text);
    return true;
  }
  size_t missing = static_cast<size_t>(width) - text.size();
  std::string padding;
  padding.reserve(missing);
  while (padding.size() < missing)
    padding.append(fill.substr(0, missing - padding.size()));
  *out = left ? padding + std::string(text) : std::string(text) + padding;
  return true;
}

bool SplitText(std::string_view text, std::string_view separator,
               std::vector<std::string_view>* pieces, std::string* error) {
  if (separator.empty()) {
    *error = "the separator is empty";
    return false;
  }
  pieces->clear();
  size_t from = 0;
  for (size_t at; (at = text.find(separator, from)) != std::string_view::npos;
       from = at + separator.size()) {
    pieces->push_back(text.substr(from, at - from));
  }
  pieces->push_back(text.substr(from));
  return true;
}

bool RepeatText(std::string_view text, int64_t count, std::string* out, std::string* error) {
  if (count < 0) {
    *error = "count " + std::to_string(count) + " is negative";
    return false;
  }
  if (!text.empty() && TooLarge(static_cast<uint64_t>(count) > kMaxResultBytes
                                    ? static_cast<uint64_t>(count)
                                    : text.size() * static_cast<uint64_t>(count),
                                error)) {
    return false;
  }
  out->clear();
  if (text.empty()) return true;
  out->reserve(text.size() * static_cast<size_t>(count));
  for (int64_t i = 0; i < count; ++i)
    out->append(text);
  return true;
}

}  // namespace orin_std

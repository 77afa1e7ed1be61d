#include "core/regex.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <algorithm>

#include "core/text.h"

namespace orin_std {

namespace {

constexpr uint32_t kMatchLimit = 1000000;
constexpr uint32_t kDepthLimit = 10000;

std::string PcreMessage(int code) {
  PCRE2_UCHAR buffer[256];
  int n = pcre2_get_error_message(code, buffer, sizeof buffer);
  if (n < 0) return "error " + std::to_string(code);
  return std::string(reinterpret_cast<const char*>(buffer), static_cast<size_t>(n));
}

bool IsLimit(int code) {
  return code == PCRE2_ERROR_MATCHLIMIT || code == PCRE2_ERROR_DEPTHLIMIT ||
         code == PCRE2_ERROR_HEAPLIMIT;
}

std::string MatchError(int code) {
  if (IsLimit(code)) {
    return "the pattern needs too much backtracking on this text";
  }
  return "matching failed: " + PcreMessage(code);
}

}  // namespace

struct Regex::Impl {
  pcre2_code* code = nullptr;
  pcre2_match_context* context = nullptr;
  bool utf = false;
};

std::unique_ptr<Regex> Regex::Compile(std::string_view pattern, std::string* error) {
  int code = 0;
  PCRE2_SIZE offset = 0;
  pcre2_code* compiled = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(),
                                       0, &code, &offset, nullptr);
  if (compiled == nullptr) {
    std::string shown(pattern.substr(0, 64));
    *error = "invalid pattern '" + shown + "': " + PcreMessage(code) + " at offset " +
             std::to_string(offset);
    return nullptr;
  }
  auto* impl = new Impl;
  impl->code = compiled;
  impl->context = pcre2_match_context_create(nullptr);
  if (impl->context == nullptr) {
    pcre2_code_free(compiled);
    delete impl;
    throw std::bad_alloc();
  }
  pcre2_set_match_limit(impl->context, kMatchLimit);
  pcre2_set_depth_limit(impl->context, kDepthLimit);
  uint32_t options = 0;
  pcre2_pattern_info(compiled, PCRE2_INFO_ALLOPTIONS, &options);
  impl->utf = (options & PCRE2_UTF) != 0;
  return std::unique_ptr<Regex>(new Regex(impl));
}

Regex::~Regex() {
  pcre2_match_context_free(impl_->context);
  pcre2_code_free(impl_->code);
  delete impl_;
}

bool Regex::Find(std::string_view text, size_t from,
                 std::vector<std::optional<std::string_view>>* groups, std::string* error) const {
  error->clear();
  groups->clear();
  pcre2_match_data* data = pcre2_match_data_create_from_pattern(impl_->code, nullptr);
  if (data == nullptr) throw std::bad_alloc();
  int rc = pcre2_match(impl_->code, reinterpret_cast<PCRE2_SPTR>(text.data()), text.size(), from, 0,
                       data, impl_->context);
  bool found = rc > 0;
  if (found) {
    uint32_t count = 0;
    pcre2_pattern_info(impl_->code, PCRE2_INFO_CAPTURECOUNT, &count);
    PCRE2_SIZE* ov = pcre2_get_ovector_pointer(data);
    for (uint32_t i = 0; i <= count; ++i) {
      if (static_cast<int>(i) < rc && ov[2 * i] != PCRE2_UNSET) {
        groups->push_back(text.substr(ov[2 * i], ov[2 * i + 1] - ov[2 * i]));
      } else {
        groups->push_back(std::nullopt);
      }
    }
  } else if (rc != PCRE2_ERROR_NOMATCH) {
    *error = MatchError(rc);
  }
  pcre2_match_data_free(data);
  return found;
}

std::vector<std::pair<std::string, size_t>> Regex::Names() const {
  uint32_t count = 0, entry_size = 0;
  PCRE2_SPTR table = nullptr;
  pcre2_pattern_info(impl_->code, PCRE2_INFO_NAMECOUNT, &count);
  pcre2_pattern_info(impl_->code, PCRE2_INFO_NAMEENTRYSIZE, &entry_size);
  pcre2_pattern_info(impl_->code, PCRE2_INFO_NAMETABLE, &table);
  std::vector<std::pair<std::string, size_t>> names;
  for (uint32_t i = 0; i < count; ++i) {
    PCRE2_SPTR entry = table + i * entry_size;
    size_t number = static_cast<size_t>(entry[0]) << 8 | entry[1];
    names.emplace_back(reinterpret_cast<const char*>(entry + 2), number);
  }
  // PCRE2 keeps them by name; the pattern's order reads better.
  std::stable_sort(names.begin(), names.end(),
                   [](const auto& a, const auto& b) { return a.second < b.second; });
  return names;
}

bool Regex::ReplaceAll(std::string_view text, std::string_view replacement, std::string* out,
                       std::string* error) const {
  uint32_t options = PCRE2_SUBSTITUTE_GLOBAL | PCRE2_SUBSTITUTE_OVERFLOW_LENGTH;
  PCRE2_SIZE size = text.size() + replacement.size() + 64;
  for (int attempt = 0; attempt < 2; ++attempt) {
    out->resize(size);
    PCRE2_SIZE length = size;
    int rc = pcre2_substitute(impl_->code, reinterpret_cast<PCRE2_SPTR>(text.data()), text.size(),
                              0, options, nullptr, impl_->context,
                              reinterpret_cast<PCRE2_SPTR>(replacement.data()), replacement.size(),
                              reinterpret_cast<PCRE2_UCHAR*>(out->data()), &length);
    if (rc >= 0) {
      out->resize(length);
      return true;
    }
    if (rc != PCRE2_ERROR_NOMEMORY) {
      *error = IsLimit(rc) ? MatchError(rc) : "invalid replacement: " + PcreMessage(rc);
      return false;
    }
    // `length` now holds the size needed, terminating zero included.
    if (length > kMaxResultBytes) {
      *error = "the result would be larger than " + std::to_string(kMaxResultBytes) + " bytes";
      return false;
    }
    size = length;
  }
  *error = "the result did not fit";
  return false;
}

size_t Regex::StepOver(std::string_view text, size_t at) const {
  size_t next = at + 1;
  if (impl_->utf) {
    while (next < text.size() && (static_cast<unsigned char>(text[next]) & 0xC0) == 0x80)
      ++next;
  }
  return next;
}

bool Regex::FindAll(std::string_view text, std::vector<std::string_view>* matches,
                    std::string* error) const {
  matches->clear();
  std::vector<std::optional<std::string_view>> groups;
  size_t from = 0;
  while (from <= text.size() && Find(text, from, &groups, error)) {
    std::string_view whole = *groups[0];
    matches->push_back(whole);
    size_t begin = static_cast<size_t>(whole.data() - text.data());
    size_t end = begin + whole.size();
    from = whole.empty() ? StepOver(text, end) : end;
  }
  return error->empty();
}

bool Regex::Split(std::string_view text, std::vector<std::string_view>* pieces,
                  std::string* error) const {
  pieces->clear();
  std::vector<std::optional<std::string_view>> groups;
  size_t piece_start = 0, from = 0;
  while (from <= text.size() && Find(text, from, &groups, error)) {
    std::string_view whole = *groups[0];
    size_t begin = static_cast<size_t>(whole.data() - text.data());
    size_t end = begin + whole.size();
    if (whole.empty()) {
      // An empty match splits only between characters, never at the ends.
      if (begin == 0 || begin >= text.size()) {
        from = StepOver(text, end);
        continue;
      }
      from = StepOver(text, end);
    } else {
      from = end;
    }
    pieces->push_back(text.substr(piece_start, begin - piece_start));
    piece_start = end;
  }
  if (!error->empty()) return false;
  pieces->push_back(text.substr(piece_start));
  return true;
}

}  // namespace orin_std

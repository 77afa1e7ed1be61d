// Regular expressions: Perl-compatible patterns through PCRE2, on bytes
// (a pattern that starts with (*UTF) works on UTF-8 characters). Matching
// is bounded, so a pattern that backtracks without end fails with a
// message instead of holding the request thread.
#ifndef ORIN_STD_CORE_REGEX_H_
#define ORIN_STD_CORE_REGEX_H_

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orin_std {

class Regex {
 public:
  // Null with *error set when the pattern does not compile.
  static std::unique_ptr<Regex> Compile(std::string_view pattern, std::string* error);
  ~Regex();
  Regex(const Regex&) = delete;
  Regex& operator=(const Regex&) = delete;

  // The first match at or after byte `from`: the whole match then each
  // group (nullopt for a group that took no part). False with *error empty
  // when there is no match; false with *error set when matching failed.
  bool Find(std::string_view text, size_t from,
            std::vector<std::optional<std::string_view>>* groups, std::string* error) const;

  // Named groups and their numbers.
  std::vector<std::pair<std::string, size_t>> Names() const;

  // Every match replaced; $1, ${name} and $$ in the replacement.
  bool ReplaceAll(std::string_view text, std::string_view replacement, std::string* out,
                  std::string* error) const;

  // Every non-overlapping match, left to right (an empty match advances by
  // one character).
  bool FindAll(std::string_view text, std::vector<std::string_view>* matches,
               std::string* error) const;
  // The pieces between matches.
  bool Split(std::string_view text, std::vector<std::string_view>* pieces,
             std::string* error) const;

 private:
  struct Impl;
  explicit Regex(Impl* impl) : impl_(impl) {}
  // Start of the next search after an empty match at `at`.
  size_t StepOver(std::string_view text, size_t at) const;
  Impl* impl_;
};

}  // namespace orin_std

#endif  // ORIN_STD_CORE_REGEX_H_

#include "variables/text_search.h"

#include <cstring>

#include "util/ascii.h"

namespace orin {

namespace {

inline unsigned char Fold(char c, bool ignore_case) {
  return static_cast<unsigned char>(ignore_case ? AsciiLower(c) : c);
}

bool MatchesAt(const char* at, std::string_view needle, bool ignore_case) {
  if (!ignore_case) return std::memcmp(at, needle.data(), needle.size()) == 0;
  for (size_t i = 0; i < needle.size(); ++i) {
    if (AsciiLower(at[i]) != AsciiLower(needle[i])) return false;
  }
  return true;
}

}  // namespace

int64_t FindBytesScan(std::string_view haystack, std::string_view needle, bool ignore_case) {
  if (needle.size() > haystack.size()) return -1;
  size_t last = haystack.size() - needle.size();
  for (size_t i = 0; i <= last; ++i) {
    if (MatchesAt(haystack.data() + i, needle, ignore_case)) return static_cast<int64_t>(i);
  }
  return -1;
}

int64_t FindBytesSkip(std::string_view haystack, std::string_view needle, bool ignore_case) {
  size_t n = needle.size();
  if (n > haystack.size()) return -1;
  if (n == 0) return 0;
  size_t skip[256];
  for (size_t& s : skip)
    s = n;
  for (size_t i = 0; i + 1 < n; ++i)
    skip[Fold(needle[i], ignore_case)] = n - 1 - i;
  size_t last = haystack.size() - n;
  for (size_t i = 0; i <= last;) {
    size_t j = n;
    while (j > 0 && Fold(haystack[i + j - 1], ignore_case) == Fold(needle[j - 1], ignore_case)) {
      --j;
    }
    if (j == 0) return static_cast<int64_t>(i);
    i += skip[Fold(haystack[i + n - 1], ignore_case)];
  }
  return -1;
}

int64_t FindBytes(std::string_view haystack, std::string_view needle, bool ignore_case) {
  if (haystack.size() < kSkipTableThreshold) return FindBytesScan(haystack, needle, ignore_case);
  return FindBytesSkip(haystack, needle, ignore_case);
}

}  // namespace orin

// The small text helpers every layer shares: character classes checked
// against the C library over every byte, HTML encoding in both styles, and
// the "negative length means measure it" convention.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <string>

#include "util/ascii.h"
#include "util/byte_string.h"
#include "util/html_encode.h"

namespace orin {
namespace {

TEST(CharacterClasses, AgreeWithTheCLocaleForEveryByte) {
  for (int b = 0; b < 256; ++b) {
    char c = static_cast<char>(b);
    SCOPED_TRACE(b);
    // The program never calls setlocale, so these are the "C" locale's.
    EXPECT_EQ(IsSpace(c), std::isspace(b) != 0);
    EXPECT_EQ(IsBlank(c), std::isblank(b) != 0);
    EXPECT_EQ(IsSpaceTabCrLf(c), b == ' ' || b == '\t' || b == '\r' || b == '\n');
    char text[2] = {c, 0};
    char* end = nullptr;
    long value = std::strtol(text, &end, 16);
    bool digit = std::isxdigit(b) != 0;
    EXPECT_EQ(HexValue(c), digit ? static_cast<int>(value) : -1);
  }
}

TEST(HtmlEncoding, MarkupAndErrorTextsDifferOnlyInApostropheAndParentheses) {
  std::string text("<a href=\"x\">&'(y)</a>\0\xe9", 23);
  EXPECT_EQ(HtmlEncoded(text, HtmlEncoding::kMarkup),
            std::string("&lt;a href=&quot;x&quot;&gt;&amp;&#39;(y)&lt;/a&gt;\0\xe9", 53));
  EXPECT_EQ(HtmlEncoded(text, HtmlEncoding::kErrorText),
            std::string("&lt;a href=&quot;x&quot;&gt;&amp;'&#40;y&#41;&lt;/a&gt;\0\xe9", 57));
  std::string out = "kept ";
  AppendHtmlEncoded(&out, "a&b", HtmlEncoding::kMarkup);
  EXPECT_EQ(out, "kept a&amp;b");
  EXPECT_EQ(HtmlEncoded("", HtmlEncoding::kErrorText), "");
}

TEST(MeasuredText, NegativeLengthStopsAtNulAGivenLengthKeepsIt) {
  const char bytes[] = "ab\0cd";
  EXPECT_EQ(MeasuredText(bytes, -1), "ab");
  EXPECT_EQ(MeasuredText(bytes, 5), std::string_view(bytes, 5));
  EXPECT_EQ(MeasuredText(bytes, 0), "");
  EXPECT_TRUE(MeasuredText(nullptr, -1).empty());
  EXPECT_TRUE(MeasuredText(nullptr, 7).empty());
}

}  // namespace
}  // namespace orin

// Encoders against their RFC vectors, decoders against malformed input,
// and the regular-expression edge cases: empty matches, limits, UTF-8.
#include <gtest/gtest.h>

#include "core/digests.h"
#include "core/encodings.h"
#include "core/regex.h"

namespace orin_std {
namespace {

TEST(EncodingsTest, Base64RoundTripsAndRefusesJunk) {
  const char* vectors[][2] = {{"", ""},        {"f", "Zg=="},        {"fo", "Zm8="},
                              {"foo", "Zm9v"}, {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}};
  std::string out, error;
  for (const auto& v : vectors) {
    EXPECT_EQ(Base64Encode(v[0]), v[1]);
    ASSERT_TRUE(Base64Decode(v[1], &out, &error)) << error;
    EXPECT_EQ(out, v[0]);
  }
  ASSERT_TRUE(Base64Decode("Zm9v\r\nYmE", &out, &error));  // line breaks, no padding
  EXPECT_EQ(out, "fooba");
  EXPECT_FALSE(Base64Decode("Zm9v!", &out, &error));
  EXPECT_EQ(error, "invalid character at position 5");
  EXPECT_FALSE(Base64Decode("Zg==Zg==", &out, &error));
  EXPECT_FALSE(Base64Decode("Z", &out, &error));
  EXPECT_FALSE(Base64Decode("Zg=", &out, &error));
}

TEST(EncodingsTest, HexUrlAndHtml) {
  std::string out, error;
  EXPECT_EQ(HexEncode(std::string_view("\x00\xff", 2)), "00ff");
  ASSERT_TRUE(HexDecode("00FFab", &out, &error));
  EXPECT_EQ(out, std::string("\x00\xff\xab", 3));
  EXPECT_FALSE(HexDecode("abc", &out, &error));
  EXPECT_FALSE(HexDecode("zz", &out, &error));
  EXPECT_EQ(UrlEncode("a b/ä~"), "a%20b%2F%C3%A4~");
  ASSERT_TRUE(UrlDecode("a+b%2f%C3%A4", &out, &error));
  EXPECT_EQ(out, "a b/ä");
  EXPECT_FALSE(UrlDecode("100%", &out, &error));
  EXPECT_FALSE(UrlDecode("%g0", &out, &error));
  EXPECT_EQ(HtmlEncode("<a href=\"x\">'&'</a>"),
            "&lt;a href=&quot;x&quot;&gt;&#39;&amp;&#39;&lt;/a&gt;");
  EXPECT_EQ(HtmlDecode("&lt;&#233;&#x1F600;&nbsp;&bogus;&#xD800;&amp"),
            "<é😀\xC2\xA0&bogus;&#xD800;&amp");
}

TEST(EncodingsTest, Utf8ValidationRejectsOverlongsAndSurrogates) {
  EXPECT_EQ(Utf8InvalidAt("plain ä 😀"), 0u);
  EXPECT_EQ(Utf8InvalidAt("ab\xC0\x80"), 3u);        // overlong NUL
  EXPECT_EQ(Utf8InvalidAt("\xED\xA0\x80"), 1u);      // surrogate
  EXPECT_EQ(Utf8InvalidAt("\xF4\x90\x80\x80"), 1u);  // past U+10FFFF
  EXPECT_EQ(Utf8InvalidAt("ok\xE2\x82"), 3u);        // cut short
  EXPECT_EQ(Utf8Length("aä😀"), 3u);
  std::string_view out;
  std::string error;
  ASSERT_TRUE(Utf8Sub("aä😀b", 2, 2, &out, &error));
  EXPECT_EQ(out, "ä😀");
  EXPECT_FALSE(Utf8Sub("aä", 4, 1, &out, &error));
}

TEST(EncodingsTest, CharsetConversionFailsLoudly) {
  std::string out, error;
  ASSERT_TRUE(ConvertCharset("\xE4\x80", "WINDOWS-1252", "UTF-8", &out, &error)) << error;
  EXPECT_EQ(out, "ä€");
  EXPECT_FALSE(ConvertCharset("€", "UTF-8", "ISO-8859-1", &out, &error));
  EXPECT_EQ(error, "invalid or unconvertible sequence at position 1");
  EXPECT_FALSE(ConvertCharset("a\xFF", "UTF-8", "UTF-16LE", &out, &error));
  EXPECT_FALSE(ConvertCharset("x", "KLINGON", "UTF-8", &out, &error));
  EXPECT_EQ(error, "unknown character set 'KLINGON'");
}

TEST(DigestsTest, KnownVectors) {
  std::string hex, error;
  ASSERT_TRUE(Digest("md5", "abc", &hex, &error));
  EXPECT_EQ(hex, "900150983cd24fb0d6963f7d28e17f72");
  ASSERT_TRUE(Digest("SHA-256", "abc", &hex, &error));
  EXPECT_EQ(hex, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  // RFC 4231 test case 2.
  ASSERT_TRUE(Hmac("sha256", "Jefe", "what do ya want for nothing?", &hex, &error));
  EXPECT_EQ(hex, "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843");
  ASSERT_TRUE(Hmac("sha1", "", "", &hex, &error));
  EXPECT_EQ(hex, "fbdb1d1b18aa6c08324b7d64b71fb76370690e1d");
  EXPECT_FALSE(Digest("crc32", "abc", &hex, &error));
  std::string a, b;
  ASSERT_TRUE(NewUuid(&a, &error));
  ASSERT_TRUE(NewUuid(&b, &error));
  EXPECT_NE(a, b);
  ASSERT_EQ(a.size(), 36u);
  EXPECT_EQ(a[14], '4');
  EXPECT_NE(std::string("89ab").find(a[19]), std::string::npos);
}

std::vector<std::string_view> Split(std::string_view pattern, std::string_view text) {
  std::string error;
  auto re = Regex::Compile(pattern, &error);
  EXPECT_NE(re, nullptr) << error;
  std::vector<std::string_view> pieces;
  EXPECT_TRUE(re->Split(text, &pieces, &error)) << error;
  return pieces;
}

TEST(RegexTest, GroupsSplitsAndEmptyMatches) {
  std::string error;
  auto re = Regex::Compile("(\\d+)-(x)?(?<tail>\\w*)", &error);
  ASSERT_NE(re, nullptr);
  std::vector<std::optional<std::string_view>> groups;
  ASSERT_TRUE(re->Find("id 12-ab", 0, &groups, &error));
  ASSERT_EQ(groups.size(), 4u);
  EXPECT_EQ(*groups[0], "12-ab");
  EXPECT_FALSE(groups[2].has_value());
  EXPECT_EQ(*groups[3], "ab");
  EXPECT_EQ(re->Names(), (std::vector<std::pair<std::string, size_t>>{{"tail", 3}}));
  EXPECT_EQ(Split("\\s*,\\s*", "a , b,c"), (std::vector<std::string_view>{"a", "b", "c"}));
  EXPECT_EQ(Split("x*", "abc"), (std::vector<std::string_view>{"a", "b", "c"}));
  EXPECT_EQ(Split("(*UTF)", "äö"), (std::vector<std::string_view>{"ä", "ö"}));
  auto all = Regex::Compile("a*", &error);
  std::vector<std::string_view> matches;
  ASSERT_TRUE(all->FindAll("baac", &matches, &error));
  EXPECT_EQ(matches, (std::vector<std::string_view>{"", "aa", "", ""}));
  std::string out;
  auto named = Regex::Compile("(?<w>\\w+)@(\\w+)", &error);
  ASSERT_TRUE(named->ReplaceAll("me@host, you@there", "${w} at $2", &out, &error));
  EXPECT_EQ(out, "me at host, you at there");
  EXPECT_FALSE(named->ReplaceAll("me@host", "$9", &out, &error));
}

TEST(RegexTest, BadPatternsAndRunawayBacktracking) {
  std::string error;
  EXPECT_EQ(Regex::Compile("(unclosed", &error), nullptr);
  EXPECT_EQ(error, "invalid pattern '(unclosed': missing closing parenthesis at offset 9");
  auto re = Regex::Compile("(a+)+$", &error);
  ASSERT_NE(re, nullptr);
  std::vector<std::optional<std::string_view>> groups;
  EXPECT_FALSE(re->Find(std::string(40, 'a') + "b", 0, &groups, &error));
  EXPECT_EQ(error, "the pattern needs too much backtracking on this text");
  auto utf = Regex::Compile("(*UTF)a", &error);
  EXPECT_FALSE(
      utf->Find("\xFF"
                "a",
                0, &groups, &error));
  EXPECT_NE(error.find("matching failed"), std::string::npos);
}

}  // namespace
}  // namespace orin_std

#include "variables/decimal.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace orin {
namespace {

std::string Text(const mpd_t* d) {
  uint32_t n, cap;
  char* p = TextFromDecimal(d, &n, &cap);
  std::string s(p, n);
  EXPECT_EQ(cap, n + 1);
  EXPECT_EQ(p[n], '\0');
  std::free(p);
  return s;
}

std::string ParseAndFormat(const std::string& in, bool* error) {
  DecimalPtr d(DecimalFromText(nullptr, in.data(), static_cast<int64_t>(in.size()), error));
  return Text(d.get());
}

TEST(Decimal, ContextInitialisesOnceAcrossThreads) {
  std::vector<const mpd_context_t*> seen(4);
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i)
    threads.emplace_back([&seen, i] { seen[i] = DecimalContext(); });
  for (auto& t : threads)
    t.join();
  for (auto* c : seen)
    EXPECT_EQ(c, seen[0]);
}

TEST(Decimal, IntegerTextParser) {
  struct Case {
    std::string text;
    int32_t value;
    bool error;
  } cases[] = {
      {"0", 0, false},
      {"123", 123, false},
      {"-123", -123, false},
      {"-", 0, false},  // a lone minus is 0 without error
      {"", 0, true},
      {"+5", 0, true},
      {" 5", 0, true},
      {"5 ", 0, true},
      {"1.5", 0, true},
      {"1e3", 0, true},
      {"12abc", 0, true},
      {"0x1F", 31, false},
      {"0X1f", 31, false},
      {"0x", 0, true},                    // too short for hex, 'x' is no digit
      {"0xg", 0, true},                   // no hex digit after 0x
      {"-0x10", 0, true},                 // no hex after a sign
      {"9999999999", 1410065407, false},  // wraps in 32 bits
      {"2147483647", 2147483647, false},
      {"2147483648", -2147483647 - 1, false},
      {"-2147483648", -2147483647 - 1, false},
      {"0xFFFFFFFF", -1, false},
      {std::string("1\0"
                   "2",
                   3),
       0, true},
  };
  for (const Case& c : cases) {
    bool error = !c.error;
    EXPECT_EQ(IntegerFromText(c.text.data(), static_cast<int64_t>(c.text.size()), &error), c.value)
        << c.text;
    EXPECT_EQ(error, c.error) << c.text;
  }
  bool error;
  EXPECT_EQ(IntegerFromText("42\0"
                            "9",
                            -1, &error),
            42);  // -1 stops at the NUL
  EXPECT_FALSE(error);
}

TEST(Decimal, DecimalTextParserAndFormatting) {
  struct Case {
    std::string text;
    std::string formatted;
    bool error;
  } cases[] = {
      {"", "0", false},
      {"2.50", "2.5", false},
      {"1E+3", "1000", false},
      {"1e3", "1000", false},
      {"0.000", "0", false},
      {"-0", "-0", false},
      {".5", "0.5", false},
      {"5.", "5", false},
      {"+5", "5", false},
      {"1.5E-7", "0.00000015", false},
      {"123456789012345678", "123456789012345700", false},  // 16 digits, half-even
      {"0.12345678901234565", "0.1234567890123456", false},
      {"0.12345678901234575", "0.1234567890123458", false},
      {"1e999", "Infinity", false},
      {"-1e999", "-Infinity", false},
      {"1e-999", "0", false},
      {"Inf", "Infinity", false},
      {"-infinity", "-Infinity", false},
      {"nan", "NaN", false},
      {"-NaN", "NaN", false},
      {"NaN12", "NaN", false},
      {"0x10", "16", false},
      {"0X7fffffffffffffff", "9223372036854776000", false},
      {"0xFFFFFFFFFFFFFFFFFF", "9223372036854776000", false},  // saturates
      {"0x", "0", true},
      {"0x1g", "0", true},
      {" 5", "0", true},
      {"5 ", "0", true},
      {"1,5", "0", true},
      {"abc", "0", true},
      {std::string("1\0", 2), "0", true},
  };
  for (const Case& c : cases) {
    bool error = !c.error;
    EXPECT_EQ(ParseAndFormat(c.text, &error), c.formatted) << c.text;
    EXPECT_EQ(error, c.error) << c.text;
  }
  // Long texts take the heap path of the parser.
  bool error;
  std::string long_text = "1." + std::string(300, '0') + "1";
  EXPECT_EQ(ParseAndFormat(long_text, &error), "1");
  EXPECT_FALSE(error);
}

TEST(Decimal, IntegerTextRoundTripsAtTheEdges) {
  for (int32_t v : {0, 1, -1, 2147483647, -2147483647 - 1, 1000000}) {
    uint32_t n, cap;
    char* p = TextFromInteger(v, &n, &cap);
    EXPECT_EQ(std::string(p, n), std::to_string(v));
    std::free(p);
  }
}

TEST(Decimal, DecimalToInteger) {
  struct Case {
    const char* text;
    int32_t value;
  } cases[] = {
      {"NaN", 0},
      {"Infinity", 2147483647},
      {"-Infinity", -2147483647},
      {"1.9", 1},
      {"-1.9", -1},
      {"2147483647.9", 2147483647},
      {"-2147483648.5", -2147483647 - 1},
      {"2147483648", 2147483647},
      {"-2147483649", 2147483647},  // out of range, whatever the sign
      {"1E+20", 2147483647},
      {"1E-300", 0},
      {"12.0", 12},
  };
  for (const Case& c : cases) {
    bool error;
    DecimalPtr d(DecimalFromText(nullptr, c.text, -1, &error));
    EXPECT_EQ(IntegerFromDecimal(d.get()), c.value) << c.text;
  }
}

TEST(Decimal, FixedPlaces) {
  struct Case {
    const char* text;
    int32_t places;
    const char* fixed;
  } cases[] = {
      {"2.5", 2, "2.50"},       {"2.5", 0, "2"},       {"3.5", 0, "4"},
      {"2.125", 2, "2.12"},     {"2.135", 2, "2.14"},  {"-1.005", 2, "-1.00"},
      {"7", 3, "7.000"},        {"1E+3", 1, "1000.0"}, {"0.000", 1, "0.0"},
      {"123.456", -4, "123"},   {"NaN", 2, "NaN"},     {"-Infinity", 2, "-Infinity"},
      {"1E-398", 400, nullptr},
  };
  for (const Case& c : cases) {
    bool error;
    DecimalPtr d(DecimalFromText(nullptr, c.text, -1, &error));
    uint32_t n, cap;
    char* p = FixedTextFromDecimal(d.get(), c.places, &n, &cap);
    std::string s(p, n);
    std::free(p);
    if (c.fixed != nullptr) {
      EXPECT_EQ(s, c.fixed) << c.text << " " << c.places;
    } else {
      EXPECT_EQ(s, "0." + std::string(397, '0') + "1" + "00");
    }
  }
  // A huge place count is cut, not turned into a gigabyte of zeros.
  bool error;
  DecimalPtr one(DecimalFromText(nullptr, "1", -1, &error));
  uint32_t n, cap;
  char* p = FixedTextFromDecimal(one.get(), 2147483647, &n, &cap);
  EXPECT_EQ(n, 2u + kMaxFixedPlaces);
  std::free(p);
}

TEST(Decimal, Doubles) {
  struct Case {
    double value;
    const char* text;
  } cases[] = {
      {0.1, "0.1"}, {1.5, "1.5"}, {-2.0, "-2"}, {123456789.125, "123456789.125"}, {1e22, nullptr},
  };
  for (const Case& c : cases) {
    DecimalPtr d(DecimalFromDouble(nullptr, c.value));
    if (c.text != nullptr) {
      EXPECT_EQ(Text(d.get()), c.text);
    }
    EXPECT_DOUBLE_EQ(DoubleFromDecimal(d.get()), c.value);
  }
  // 0.30000000000000004 has 17 significant digits: the decimal keeps 16.
  DecimalPtr sum(DecimalFromDouble(nullptr, 0.1 + 0.2));
  EXPECT_EQ(Text(sum.get()), "0.3");
  DecimalPtr nan(DecimalFromDouble(nullptr, std::nan("")));
  EXPECT_TRUE(mpd_isnan(nan.get()));
  EXPECT_TRUE(std::isnan(DoubleFromDecimal(nan.get())));
  DecimalPtr inf(DecimalFromDouble(nullptr, -HUGE_VAL));
  EXPECT_EQ(Text(inf.get()), "-Infinity");
  EXPECT_EQ(DoubleFromDecimal(inf.get()), -HUGE_VAL);
  bool error;
  DecimalPtr big(DecimalFromText(nullptr, "9.999E+384", -1, &error));
  EXPECT_EQ(DoubleFromDecimal(big.get()), HUGE_VAL);
  DecimalPtr tiny(DecimalFromText(nullptr, "-1E-398", -1, &error));
  double t = DoubleFromDecimal(tiny.get());
  EXPECT_LE(t, 0.0);
  EXPECT_GT(t, -1e-300);
}

TEST(Decimal, TextTruth) {
  for (const char* f : {"", "0", "00", "0.0", ".", "0.", ".0"}) {
    EXPECT_FALSE(TextIsTrue(f, std::strlen(f))) << f;
  }
  for (const char* t : {"0..0", " 0", "-0", "false", "1", "0.0.0", " ", "a"}) {
    EXPECT_TRUE(TextIsTrue(t, std::strlen(t))) << t;
  }
}

}  // namespace
}  // namespace orin

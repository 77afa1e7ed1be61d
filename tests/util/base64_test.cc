// Base64 against the vectors of RFC 4648 and on input it must refuse.
#include <gtest/gtest.h>

#include <string>

#include "util/base64.h"

namespace orin {
namespace {

TEST(Base64, Rfc4648VectorsBothWays) {
  const char* plain[] = {"", "f", "fo", "foo", "foob", "fooba", "foobar"};
  const char* coded[] = {"", "Zg==", "Zm8=", "Zm9v", "Zm9vYg==", "Zm9vYmE=", "Zm9vYmFy"};
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(Base64Encode(plain[i]), coded[i]);
    std::string back;
    ASSERT_TRUE(Base64Decode(coded[i], &back)) << coded[i];
    EXPECT_EQ(back, plain[i]);
  }
}

TEST(Base64, AllByteValuesRoundTrip) {
  std::string bytes;
  for (int i = 0; i < 256; ++i)
    bytes.push_back(static_cast<char>(i));
  std::string back;
  ASSERT_TRUE(Base64Decode(Base64Encode(bytes), &back));
  EXPECT_EQ(back, bytes);
  EXPECT_EQ(Base64Encode(std::string("\0u\0p", 4)), "AHUAcA==");
}

TEST(Base64, DecodeSkipsWhitespaceAndRefusesGarbage) {
  std::string out;
  EXPECT_TRUE(Base64Decode(" Zm9v\r\nYmFy ", &out));
  EXPECT_EQ(out, "foobar");
  EXPECT_TRUE(Base64Decode("Zm8", &out));  // padding left off
  EXPECT_EQ(out, "fo");
  EXPECT_FALSE(Base64Decode("Zm9v!", &out));
  EXPECT_FALSE(Base64Decode("Z", &out));
  EXPECT_FALSE(Base64Decode("Z===", &out));
  EXPECT_FALSE(Base64Decode("Zg==Zg==", &out));
}

}  // namespace
}  // namespace orin

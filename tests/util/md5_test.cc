#include "util/md5.h"

#include <gtest/gtest.h>

#include <string>

namespace orin {
namespace {

// The test suite of RFC 1321, appendix A.5.
TEST(Md5, Rfc1321Suite) {
  struct {
    std::string input;
    const char* digest;
  } cases[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const auto& c : cases) EXPECT_EQ(HexLower(Md5::Digest(c.input)), c.digest) << c.input;
}

TEST(Md5, PiecewiseUpdatesMatchOneShot) {
  std::string data;
  for (int i = 0; i < 1000; ++i) data.push_back(static_cast<char>(i * 7));
  Md5Digest whole = Md5::Digest(data);
  // Split at every length around the 64-byte block and 56-byte padding edges.
  for (size_t split : {1u, 55u, 56u, 57u, 63u, 64u, 65u, 119u, 120u, 500u}) {
    Md5 md5;
    md5.Update(data.data(), split);
    md5.Update(data.data() + split, data.size() - split);
    EXPECT_EQ(md5.Finish(), whole) << split;
  }
}

std::string Repeat(char c, size_t n) { return std::string(n, c); }

// Test cases of RFC 2104 and RFC 2202 for HMAC-MD5.
TEST(HmacMd5, RfcVectors) {
  EXPECT_EQ(HexLower(HmacMd5(Repeat('\x0b', 16), "Hi There")),
            "9294727a3638bb1c13f48ef8158bfc9d");
  EXPECT_EQ(HexLower(HmacMd5("Jefe", "what do ya want for nothing?")),
            "750c783e6ab0b503eaa86e310a5db738");
  EXPECT_EQ(HexLower(HmacMd5(Repeat('\xaa', 16), Repeat('\xdd', 50))),
            "56be34521d144c88dbb8c733f0e8b3f6");
  std::string key4;
  for (int i = 1; i <= 25; ++i) key4.push_back(static_cast<char>(i));
  EXPECT_EQ(HexLower(HmacMd5(key4, Repeat('\xcd', 50))), "697eaf0aca3a3aea3a75164746ffaa79");
  // Keys longer than a block are hashed first.
  EXPECT_EQ(HexLower(HmacMd5(Repeat('\xaa', 80),
                             "Test Using Larger Than Block-Size Key - Hash Key First")),
            "6b1ab7fe4bd7bf8f0b62e6ce61b9d0cd");
  EXPECT_EQ(HexLower(HmacMd5(Repeat('\xaa', 80),
                             "Test Using Larger Than Block-Size Key and Larger Than One "
                             "Block-Size Data")),
            "6f630fad67cda0ee1fb1f562db3aa53e");
}

}  // namespace
}  // namespace orin

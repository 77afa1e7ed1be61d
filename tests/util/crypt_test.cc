#include "util/crypt.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <set>
#include <string>

namespace orin {
namespace {

std::string Hash(Crypt& c, const std::string& password, const std::string& salt) {
  char* p = c.Hash(password.data(), password.size(), salt.data(), salt.size());
  if (p == nullptr) return "<refused>";
  std::string s(p);
  EXPECT_EQ(s.size(), 13u);
  std::free(p);
  return s;
}

// The system's crypt(3) as perl calls it.
std::string PerlCrypt(const std::string& password, const std::string& salt) {
  std::string command =
      "perl -e 'print crypt($ARGV[0], $ARGV[1])' '" + password + "' '" + salt + "'";
  FILE* f = popen(command.c_str(), "r");
  if (f == nullptr) return "<no perl>";
  char buffer[64] = {0};
  size_t n = fread(buffer, 1, sizeof buffer - 1, f);
  pclose(f);
  return std::string(buffer, n);
}

TEST(Crypt, MatchesTheSystemCrypt) {
  Crypt c;
  std::mt19937 rng(3);
  const std::string alphabet = Crypt::kSaltAlphabet;
  for (int i = 0; i < 40; ++i) {
    std::string password(rng() % 12, 'x');
    for (char& ch : password)
      ch = alphabet[rng() % 64];
    std::string salt = {alphabet[rng() % 64], alphabet[rng() % 64]};
    EXPECT_EQ(Hash(c, password, salt), PerlCrypt(password, salt)) << password << " " << salt;
  }
  EXPECT_EQ(Hash(c, "password", "ab"), PerlCrypt("password", "ab"));
  EXPECT_EQ(Hash(c, "", ".."), PerlCrypt("", ".."));
}

TEST(Crypt, OnlyTheFirstEightBytesCount) {
  Crypt c;
  EXPECT_EQ(Hash(c, "12345678", "zz"), Hash(c, "12345678-and-more", "zz"));
  EXPECT_NE(Hash(c, "1234567", "zz"), Hash(c, "12345678", "zz"));
  // A NUL ends the key like the padding of a short password.
  EXPECT_EQ(Hash(c, std::string("abc\0def", 7), "q9"), Hash(c, "abc", "q9"));
}

TEST(Crypt, SaltSelection) {
  Crypt c;
  EXPECT_EQ(Hash(c, "pw", "abcdef"), Hash(c, "pw", "ab"));
  EXPECT_EQ(Hash(c, "pw", "k"), Hash(c, "pw", "kk"));
  std::set<std::string> salts;
  for (int i = 0; i < 20; ++i) {
    std::string h = Hash(c, "pw", "");
    ASSERT_EQ(h.size(), 13u);
    EXPECT_NE(std::string(Crypt::kSaltAlphabet).find(h[0]), std::string::npos);
    EXPECT_NE(std::string(Crypt::kSaltAlphabet).find(h[1]), std::string::npos);
    salts.insert(h.substr(0, 2));
  }
  EXPECT_GT(salts.size(), 1u);
  EXPECT_EQ(Hash(c, "pw", "$1"), "<refused>");
  EXPECT_EQ(c.ErrorText(), "Invalid salt");
  EXPECT_EQ(Hash(c, "pw", std::string("a\0", 2)), "<refused>");
}

}  // namespace
}  // namespace orin

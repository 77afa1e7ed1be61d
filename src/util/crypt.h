// Crypt: the traditional DES-based Unix crypt(3) password hash, computed by
// libxcrypt's crypt_r so that results match every other system's.
//
// One engine per script run: crypt_r's work area is large, so it is made
// once and reused. Not thread-safe; a run is driven by one thread.
#ifndef ORIN_UTIL_CRYPT_H_
#define ORIN_UTIL_CRYPT_H_

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>

struct crypt_data;

namespace orin {

class Crypt {
 public:
  // The 64 characters a salt is made of, in the order of their values.
  static constexpr char kSaltAlphabet[] =
      "./0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

  Crypt();
  ~Crypt();
  Crypt(const Crypt&) = delete;
  Crypt& operator=(const Crypt&) = delete;

  // Hashes the first 8 bytes of `password` (a NUL ends it early) with a salt
  // of the first two bytes of `salt`; a 1-byte salt is used twice and an
  // empty one is chosen at random. Returns a new malloc'ed buffer of 14
  // bytes: 13 characters and a NUL. Salt characters outside kSaltAlphabet
  // are refused: null, with ErrorText set.
  char* Hash(const char* password, size_t password_length, const char* salt, size_t salt_length);
  const std::string& ErrorText() const { return error_; }

 private:
  crypt_data* data_;
  std::mt19937 random_;
  std::string error_;
};

}  // namespace orin

#endif  // ORIN_UTIL_CRYPT_H_

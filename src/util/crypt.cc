#include "util/crypt.h"

#include <crypt.h>

#include <cstdlib>
#include <cstring>
#include <new>

namespace orin {

namespace {

bool InSaltAlphabet(char c) {
  return c != 0 && std::memchr(Crypt::kSaltAlphabet, c, 64) != nullptr;
}

}  // namespace

Crypt::Crypt() : data_(new crypt_data()), random_(std::random_device{}()) {}

Crypt::~Crypt() {
  delete data_;
}

char* Crypt::Hash(const char* password, size_t password_length, const char* salt,
                  size_t salt_length) {
  char setting[3];
  if (salt_length >= 2) {
    setting[0] = salt[0];
    setting[1] = salt[1];
  } else if (salt_length == 1) {
    setting[0] = setting[1] = salt[0];
  } else {
    std::uniform_int_distribution<int> pick(0, 63);
    setting[0] = kSaltAlphabet[pick(random_)];
    setting[1] = kSaltAlphabet[pick(random_)];
  }
  setting[2] = 0;
  if (!InSaltAlphabet(setting[0]) || !InSaltAlphabet(setting[1])) {
    error_ = "Invalid salt";
    return nullptr;
  }
  // Only the first 8 bytes count; the key stops at a NUL just as the
  // algorithm pads short passwords with zeros.
  char key[9] = {0};
  std::memcpy(key, password, password_length < 8 ? password_length : 8);
  const char* hash = crypt_r(key, setting, data_);
  if (hash == nullptr || std::strlen(hash) != 13) {
    error_ = "Password hashing failed";
    return nullptr;
  }
  char* out = static_cast<char*>(std::malloc(14));
  if (out == nullptr) throw std::bad_alloc();
  std::memcpy(out, hash, 14);
  return out;
}

}  // namespace orin

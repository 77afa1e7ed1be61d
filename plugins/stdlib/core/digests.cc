#include "core/digests.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>

#include "core/encodings.h"

namespace orin_std {

namespace {

const EVP_MD* FindAlgorithm(std::string_view name, std::string* error) {
  std::string key;
  for (char c : name) {
    if (c == '-') continue;
    key.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c);
  }
  if (key == "md5") return EVP_md5();
  if (key == "sha1") return EVP_sha1();
  if (key == "sha256") return EVP_sha256();
  if (key == "sha384") return EVP_sha384();
  if (key == "sha512") return EVP_sha512();
  *error = "unknown algorithm '" + std::string(name.substr(0, 32)) +
           "' (md5, sha1, sha256, sha384 or sha512)";
  return nullptr;
}

bool RandomBytes(unsigned char* out, size_t n, std::string* error) {
  if (RAND_bytes(out, static_cast<int>(n)) == 1) return true;
  *error = "the system's random source failed";
  return false;
}

}  // namespace

bool Digest(std::string_view algorithm, std::string_view bytes, std::string* hex,
            std::string* error) {
  const EVP_MD* md = FindAlgorithm(algorithm, error);
  if (md == nullptr) return false;
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), digest, &size, md, nullptr) != 1) {
    *error = "the digest failed";
    return false;
  }
  *hex = HexEncode(std::string_view(reinterpret_cast<char*>(digest), size));
  return true;
}

bool Hmac(std::string_view algorithm, std::string_view key, std::string_view bytes,
          std::string* hex, std::string* error) {
  const EVP_MD* md = FindAlgorithm(algorithm, error);
  if (md == nullptr) return false;
  unsigned char mac[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  // HMAC() reads a null key as "no key"; an empty text is a valid key.
  static const unsigned char kEmpty = 0;
  const void* key_bytes = key.empty() ? static_cast<const void*>(&kEmpty) : key.data();
  if (HMAC(md, key_bytes, static_cast<int>(key.size()),
           reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), mac,
           &size) == nullptr) {
    *error = "the HMAC failed";
    return false;
  }
  *hex = HexEncode(std::string_view(reinterpret_cast<char*>(mac), size));
  return true;
}

bool NewUuid(std::string* out, std::string* error) {
  unsigned char b[16];
  if (!RandomBytes(b, sizeof b, error)) return false;
  b[6] = static_cast<unsigned char>((b[6] & 0x0F) | 0x40);  // version 4
  b[8] = static_cast<unsigned char>((b[8] & 0x3F) | 0x80);  // RFC 4122 variant
  std::string hex = HexEncode(std::string_view(reinterpret_cast<char*>(b), sizeof b));
  *out = hex.substr(0, 8) + "-" + hex.substr(8, 4) + "-" + hex.substr(12, 4) + "-" +
         hex.substr(16, 4) + "-" + hex.substr(20);
  return true;
}

bool RandomHex(size_t bytes, std::string* out, std::string* error) {
  std::string raw(bytes, '\0');
  if (!RandomBytes(reinterpret_cast<unsigned char*>(raw.data()), bytes, error)) return false;
  *out = HexEncode(raw);
  return true;
}

}  // namespace orin_std

// MD5 (RFC 1321) and HMAC-MD5 (RFC 2104): caller ids, lock names, the log
// cookie and the SMTP challenge-response logins are built on them.
#ifndef ORIN_UTIL_MD5_H_
#define ORIN_UTIL_MD5_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace orin {

using Md5Digest = std::array<uint8_t, 16>;

class Md5 {
 public:
  Md5() { Reset(); }
  void Reset();
  void Update(const void* data, size_t length);
  void Update(std::string_view text) { Update(text.data(), text.size()); }
  Md5Digest Finish();  // the object must be Reset before it is used again

  static Md5Digest Digest(std::string_view data);

 private:
  void Transform(const uint8_t block[64]);

  uint32_t state_[4];
  uint64_t bit_count_;
  uint8_t buffer_[64];
  size_t buffered_;
};

Md5Digest HmacMd5(std::string_view key, std::string_view message);

// 32 lower-case hexadecimal digits.
std::string HexLower(const Md5Digest& digest);

}  // namespace orin

#endif  // ORIN_UTIL_MD5_H_

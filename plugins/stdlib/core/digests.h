// Digests, HMACs and random identifiers through OpenSSL's libcrypto.
#ifndef ORIN_STD_CORE_DIGESTS_H_
#define ORIN_STD_CORE_DIGESTS_H_

#include <string>
#include <string_view>

namespace orin_std {

// `algorithm` is md5, sha1, sha256, sha384 or sha512 (letter case and a
// dash ignored: "SHA-256"); the result is in lower-case hexadecimal.
bool Digest(std::string_view algorithm, std::string_view bytes, std::string* hex,
            std::string* error);
bool Hmac(std::string_view algorithm, std::string_view key, std::string_view bytes,
          std::string* hex, std::string* error);

// A random (version 4) UUID, "xxxxxxxx-xxxx-4xxx-[89ab]xxx-xxxxxxxxxxxx".
bool NewUuid(std::string* out, std::string* error);
// `bytes` secure random bytes in lower-case hexadecimal.
bool RandomHex(size_t bytes, std::string* out, std::string* error);

}  // namespace orin_std

#endif  // ORIN_STD_CORE_DIGESTS_H_

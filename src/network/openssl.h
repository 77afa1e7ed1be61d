// The OpenSSL libraries, bound at run time by name: one entry point per
// function the TLS client uses. Nothing links against libssl, so a machine
// without it still serves plain HTTP.
//
// Generations 3 and 1.1 are bound (they share these calls but for the peer
// certificate getter); a library of the 1.0 generation is recognized and
// refused.
#ifndef ORIN_NETWORK_OPENSSL_H_
#define ORIN_NETWORK_OPENSSL_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/dynamic_library.h"

namespace orin {

// Values of the library's ABI that the client needs.
namespace ossl {
constexpr int kErrorNone = 0;
constexpr int kErrorSsl = 1;
constexpr int kErrorWantRead = 2;
constexpr int kErrorWantWrite = 3;
constexpr int kErrorSyscall = 5;
constexpr int kErrorZeroReturn = 6;
constexpr int kVerifyNone = 0;
constexpr int kVerifyPeer = 1;
constexpr int kCtrlSetTlsextHostname = 55;
constexpr long kTlsextNametypeHostName = 0;
constexpr int kBioCtrlInfo = 3;
}  // namespace ossl

class OpenSSL {
 public:
  enum class Generation { kNone, k1_0, k1_1, k3 };

  OpenSSL() = default;
  virtual ~OpenSSL() = default;
  OpenSSL(const OpenSSL&) = delete;
  OpenSSL& operator=(const OpenSSL&) = delete;

  // Loads the SSL and crypto libraries: the configured names first, then the
  // versioned names of the system. `config_file` ("sslconfig"), when not
  // empty, is loaded once the library is set up. False with error_text().
  bool Load(const std::string& ssl_name, const std::string& crypto_name,
            const std::string& config_file);

  Generation generation() const { return generation_; }
  unsigned long version_number() const { return version_number_; }
  const std::string& error_text() const { return error_; }

  // The reason of the library's oldest queued error, or "Unknown error".
  // Drains the queue so that later calls start clean. *closed tells whether
  // the error was the peer closing without ending the session.
  std::string LastErrorText(bool* closed = nullptr);

  // Any function of the two libraries by name (what plug-ins ask for), or
  // null.
  void* Function(const char* name) const { return name != nullptr ? Find(name) : nullptr; }

  // Entry points, in the library's own signatures (opaque pointers).
  const void* (*TLS_client_method)() = nullptr;
  void* (*SSL_CTX_new)(const void*) = nullptr;
  void (*SSL_CTX_free)(void*) = nullptr;
  int (*SSL_CTX_load_verify_locations)(void*, const char*, const char*) = nullptr;
  void (*SSL_CTX_set_verify)(void*, int, void*) = nullptr;
  void* (*SSL_new)(void*) = nullptr;
  void (*SSL_free)(void*) = nullptr;
  int (*SSL_set_fd)(void*, int) = nullptr;
  int (*SSL_connect)(void*) = nullptr;
  int (*SSL_get_error)(const void*, int) = nullptr;
  int (*SSL_read)(void*, void*, int) = nullptr;
  int (*SSL_write)(void*, const void*, int) = nullptr;
  long (*SSL_ctrl)(void*, int, long, void*) = nullptr;
  void (*SSL_set_verify)(void*, int, void*) = nullptr;
  int (*SSL_use_certificate)(void*, void*) = nullptr;
  int (*SSL_use_PrivateKey)(void*, void*) = nullptr;
  void* (*SSL_get_peer_certificate)(const void*) = nullptr;  // get1 in generation 3
  unsigned long (*ERR_get_error)() = nullptr;
  const char* (*ERR_reason_error_string)(unsigned long) = nullptr;
  void* (*BIO_new_mem_buf)(const void*, int) = nullptr;
  void* (*BIO_new)(const void*) = nullptr;
  const void* (*BIO_s_mem)() = nullptr;
  int (*BIO_free)(void*) = nullptr;
  long (*BIO_ctrl)(void*, int, long, void*) = nullptr;
  void* (*PEM_read_bio_X509)(void*, void**, void*, void*) = nullptr;
  void* (*PEM_read_bio_PrivateKey)(void*, void**, void*, void*) = nullptr;
  int (*PEM_write_bio_X509)(void*, void*) = nullptr;
  void* (*d2i_X509_bio)(void*, void**) = nullptr;
  void* (*d2i_PrivateKey_bio)(void*, void**) = nullptr;
  void (*X509_free)(void*) = nullptr;
  void (*EVP_PKEY_free)(void*) = nullptr;
  const void* (*EVP_get_digestbyname)(const char*) = nullptr;
  int (*X509_digest)(const void*, const void*, unsigned char*, unsigned int*) = nullptr;
  int (*X509_check_host)(void*, const char*, size_t, unsigned int, char**) = nullptr;
  int (*X509_check_ip_asc)(void*, const char*, unsigned int) = nullptr;
  int (*CONF_modules_load_file)(const char*, const char*, unsigned long) = nullptr;
  int (*OPENSSL_init_ssl)(uint64_t, const void*) = nullptr;
  unsigned long (*OpenSSL_version_num)() = nullptr;
  int (*RAND_bytes)(unsigned char*, int) = nullptr;

 private:
  bool OpenLibraries(const std::string& ssl_name, const std::string& crypto_name);
  void* Find(const char* name) const;
  bool Bind(const char* name, void** slot);

  SharedObject ssl_;
  SharedObject crypto_;
  Generation generation_ = Generation::kNone;
  unsigned long version_number_ = 0;
  std::string error_;
};

// The loaded library for a pair of names, shared by every thread of the
// process (OpenSSL 1.1 and later lock for themselves). Loaded once on first
// use; a failure is remembered with its message. Null with *error set.
OpenSSL* SharedOpenSSL(const std::string& ssl_name, const std::string& crypto_name,
                       const std::string& config_file, std::string* error);

}  // namespace orin

#endif  // ORIN_NETWORK_OPENSSL_H_

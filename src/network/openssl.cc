#include "network/openssl.h"

#include <map>
#include <memory>
#include <mutex>
#include <utility>

namespace orin {

namespace {

constexpr const char* kDefaultSslName = "libssl.so";
constexpr const char* kDefaultCryptoName = "libcrypto.so";

// Versioned names tried after the default names (the unversioned ones exist
// only with the development package). An explicitly configured name is
// honoured alone: whoever names a library means that one.
constexpr std::pair<const char*, const char*> kVersionedNames[] = {
    {"libssl.so.3", "libcrypto.so.3"},
    {"libssl.so.1.1", "libcrypto.so.1.1"},
    {"libssl.so.1.0.0", "libcrypto.so.1.0.0"},
};

// Entry points every generation must have, looked up to refuse a library
// that is incomplete before any connection depends on it.
constexpr const char* kCommonNames[] = {"BIO_ctrl",
                                        "BIO_free",
                                        "BIO_new",
                                        "BIO_new_mem_buf",
                                        "BIO_s_mem",
                                        "CONF_modules_load_file",
                                        "ERR_get_error",
                                        "ERR_reason_error_string",
                                        "EVP_PKEY_free",
                                        "EVP_get_digestbyname",
                                        "OPENSSL_load_builtin_modules",
                                        "PEM_read_bio_PrivateKey",
                                        "PEM_read_bio_X509",
                                        "PEM_write_bio_X509",
                                        "RAND_bytes",
                                        "RAND_seed",
                                        "RAND_status",
                                        "SSL_CTX_free",
                                        "SSL_CTX_load_verify_locations",
                                        "SSL_CTX_new",
                                        "SSL_CTX_set_verify",
                                        "SSL_connect",
                                        "SSL_ctrl",
                                        "SSL_free",
                                        "SSL_get_error",
                                        "SSL_new",
                                        "SSL_read",
                                        "SSL_set_fd",
                                        "SSL_set_verify",
                                        "SSL_use_PrivateKey",
                                        "SSL_use_certificate",
                                        "SSL_write",
                                        "X509_NAME_ENTRY_get_data",
                                        "X509_NAME_get_entry",
                                        "X509_NAME_get_index_by_NID",
                                        "X509_digest",
                                        "X509_free",
                                        "X509_get_ext_d2i",
                                        "X509_get_subject_name",
                                        "d2i_PrivateKey_bio",
                                        "d2i_X509_bio"};

template <typename F>
void SetSlot(F* slot, void* address) {
  *slot = reinterpret_cast<F>(address);
}

}  // namespace

void* OpenSSL::Find(const char* name) const {
  // dlsym on the SSL library also searches its dependencies, crypto included.
  void* p = ssl_.Symbol(name);
  return p ? p : crypto_.Symbol(name);
}

bool OpenSSL::Bind(const char* name, void** slot) {
  *slot = Find(name);
  if (*slot == nullptr) {
    error_ = "Error loading function '" + std::string(name) + "' from '" + ssl_.name() + "'";
    return false;
  }
  return true;
}

bool OpenSSL::OpenLibraries(const std::string& ssl_name, const std::string& crypto_name) {
  bool defaults = (ssl_name.empty() || ssl_name == kDefaultSslName) &&
                  (crypto_name.empty() || crypto_name == kDefaultCryptoName);
  std::string first_ssl = ssl_name.empty() ? kDefaultSslName : ssl_name;
  std::string first_crypto = crypto_name.empty() ? kDefaultCryptoName : crypto_name;
  if (ssl_.Open(first_ssl) && crypto_.Open(first_crypto)) return true;
  std::string why = ssl_.is_open() ? crypto_.error_text() : ssl_.error_text();
  if (defaults) {
    for (const auto& [s, c] : kVersionedNames) {
      if (ssl_.Open(s) && crypto_.Open(c)) return true;
    }
  }
  error_ = why;
  return false;
}

bool OpenSSL::Load(const std::string& ssl_name, const std::string& crypto_name,
                   const std::string& config_file) {
  if (!OpenLibraries(ssl_name, crypto_name)) return false;
  if (Find("OPENSSL_version_major")) {
    generation_ = Generation::k3;
  } else if (Find("OpenSSL_version_num")) {
    generation_ = Generation::k1_1;
  } else if (Find("SSLeay")) {
    generation_ = Generation::k1_0;
    error_ = "OpenSSL 1.0 is not supported";
    return false;
  } else {
    error_ = "Failed to determine OpenSSL version";
    return false;
  }
  for (const char* name : kCommonNames) {
    void* p;
    if (!Bind(name, &p)) return false;
  }
  struct Entry {
    const char* name;
    void** slot;
  };
  const char* peer =
      generation_ == Generation::k3 ? "SSL_get1_peer_certificate" : "SSL_get_peer_certificate";
  const Entry entries[] = {
      {"TLS_client_method", reinterpret_cast<void**>(&TLS_client_method)},
      {"SSL_CTX_new", reinterpret_cast<void**>(&SSL_CTX_new)},
      {"SSL_CTX_free", reinterpret_cast<void**>(&SSL_CTX_free)},
      {"SSL_CTX_load_verify_locations", reinterpret_cast<void**>(&SSL_CTX_load_verify_locations)},
      {"SSL_CTX_set_verify", reinterpret_cast<void**>(&SSL_CTX_set_verify)},
      {"SSL_new", reinterpret_cast<void**>(&SSL_new)},
      {"SSL_free", reinterpret_cast<void**>(&SSL_free)},
      {"SSL_set_fd", reinterpret_cast<void**>(&SSL_set_fd)},
      {"SSL_connect", reinterpret_cast<void**>(&SSL_connect)},
      {"SSL_get_error", reinterpret_cast<void**>(&SSL_get_error)},
      {"SSL_read", reinterpret_cast<void**>(&SSL_read)},
      {"SSL_write", reinterpret_cast<void**>(&SSL_write)},
      {"SSL_ctrl", reinterpret_cast<void**>(&SSL_ctrl)},
      {"SSL_set_verify", reinterpret_cast<void**>(&SSL_set_verify)},
      {"SSL_use_certificate", reinterpret_cast<void**>(&SSL_use_certificate)},
      {"SSL_use_PrivateKey", reinterpret_cast<void**>(&SSL_use_PrivateKey)},
      {peer, reinterpret_cast<void**>(&SSL_get_peer_certificate)},
      {"ERR_get_error", reinterpret_cast<void**>(&ERR_get_error)},
      {"ERR_reason_error_string", reinterpret_cast<void**>(&ERR_reason_error_string)},
      {"BIO_new_mem_buf", reinterpret_cast<void**>(&BIO_new_mem_buf)},
      {"BIO_new", reinterpret_cast<void**>(&BIO_new)},
      {"BIO_s_mem", reinterpret_cast<void**>(&BIO_s_mem)},
      {"BIO_free", reinterpret_cast<void**>(&BIO_free)},
      {"BIO_ctrl", reinterpret_cast<void**>(&BIO_ctrl)},
      {"PEM_read_bio_X509", reinterpret_cast<void**>(&PEM_read_bio_X509)},
      {"PEM_read_bio_PrivateKey", reinterpret_cast<void**>(&PEM_read_bio_PrivateKey)},
      {"PEM_write_bio_X509", reinterpret_cast<void**>(&PEM_write_bio_X509)},
      {"d2i_X509_bio", reinterpret_cast<void**>(&d2i_X509_bio)},
      {"d2i_PrivateKey_bio", reinterpret_cast<void**>(&d2i_PrivateKey_bio)},
      {"X509_free", reinterpret_cast<void**>(&X509_free)},
      {"EVP_PKEY_free", reinterpret_cast<void**>(&EVP_PKEY_free)},
      {"EVP_get_digestbyname", reinterpret_cast<void**>(&EVP_get_digestbyname)},
      {"X509_digest", reinterpret_cast<void**>(&X509_digest)},
      {"X509_check_host", reinterpret_cast<void**>(&X509_check_host)},
      {"X509_check_ip_asc", reinterpret_cast<void**>(&X509_check_ip_asc)},
      {"CONF_modules_load_file", reinterpret_cast<void**>(&CONF_modules_load_file)},
      {"OPENSSL_init_ssl", reinterpret_cast<void**>(&OPENSSL_init_ssl)},
      {"OpenSSL_version_num", reinterpret_cast<void**>(&OpenSSL_version_num)},
      {"RAND_bytes", reinterpret_cast<void**>(&RAND_bytes)},
  };
  for (const Entry& e : entries) {
    if (!Bind(e.name, e.slot)) return false;
  }
  // Error strings and the default algorithms; a configuration file, when
  // given, is read by the library itself.
  constexpr uint64_t kInitLoadSslStrings = 0x00200000L;
  constexpr uint64_t kInitLoadCryptoStrings = 0x00000002L;
  OPENSSL_init_ssl(kInitLoadSslStrings | kInitLoadCryptoStrings, nullptr);
  if (!config_file.empty()) {
    constexpr unsigned long kConfMflagsIgnoreMissingFile = 0x10;
    if (CONF_modules_load_file(config_file.c_str(), nullptr, kConfMflagsIgnoreMissingFile) <= 0) {
      error_ = "Error loading SSL configuration '" + config_file + "': " + LastErrorText();
      return false;
    }
  }
  version_number_ = OpenSSL_version_num();
  return true;
}

std::string OpenSSL::LastErrorText(bool* closed) {
  unsigned long first = 0;
  for (unsigned long e; (e = ERR_get_error()) != 0;) {
    if (first == 0) first = e;
  }
  // SSL_R_UNEXPECTED_EOF_WHILE_READING; the reason is the low 23 bits.
  constexpr unsigned long kUnexpectedEof = 294;
  if (closed) *closed = first != 0 && (first & 0x7FFFFF) == kUnexpectedEof;
  const char* reason = first ? ERR_reason_error_string(first) : nullptr;
  return reason ? std::string(reason) : std::string("Unknown error");
}

OpenSSL* SharedOpenSSL(const std::string& ssl_name, const std::string& crypto_name,
                       const std::string& config_file, std::string* error) {
  struct Slot {
    std::unique_ptr<OpenSSL> library;
    bool ok = false;
  };
  static std::mutex mutex;
  // Never destroyed: entry points stay callable until the process ends.
  static auto* loaded = new std::map<std::string, Slot>();
  std::lock_guard<std::mutex> lock(mutex);
  std::string key = ssl_name + '\n' + crypto_name + '\n' + config_file;
  auto it = loaded->find(key);
  if (it == loaded->end()) {
    Slot slot;
    slot.library = std::make_unique<OpenSSL>();
    slot.ok = slot.library->Load(ssl_name, crypto_name, config_file);
    it = loaded->emplace(key, std::move(slot)).first;
  }
  if (!it->second.ok) {
    *error = it->second.library->error_text();
    return nullptr;
  }
  return it->second.library.get();
}

}  // namespace orin

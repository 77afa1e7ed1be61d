// The TLS side of the manager: the library and client context, client
// certificates, and the identity and pinning checks after the handshake.
#include <memory>

#include "files/file.h"
#include "files/file_manager.h"
#include "network/network_manager.h"
#include "network/openssl.h"
#include "util/config.h"

namespace orin {

namespace {

// A memory BIO freed on scope exit.
struct Bio {
  Bio(OpenSSL* lib, void* bio) : lib(lib), bio(bio) {}
  ~Bio() {
    if (bio) lib->BIO_free(bio);
  }
  OpenSSL* lib;
  void* bio;
};

}  // namespace

OpenSSL* NetworkManager::Ssl() {
  if (ssl_) return ssl_;
  std::string why;
  ssl_ = SharedOpenSSL(std::string(config_->GetText(config_key::kSslOpenssl)),
                       std::string(config_->GetText(config_key::kSslCrypto)),
                       std::string(config_->GetText(config_key::kSslConfig)), &why);
  if (!ssl_) SetError("Unable to load OpenSSL DLLs");
  return ssl_;
}

void* NetworkManager::ClientContext() {
  if (context_) return context_;
  OpenSSL* lib = Ssl();
  if (!lib) return nullptr;
  void* ctx = lib->SSL_CTX_new(lib->TLS_client_method());
  if (!ctx) {
    SetError("Error creating SSL context: " + lib->LastErrorText());
    return nullptr;
  }
  std::string file(config_->GetText(config_key::kFileCa));
  std::string dir(config_->GetText(config_key::kDirCa));
  if (!file.empty() || !dir.empty()) {
    // A location that cannot be read leaves verification to fail later,
    // with the library's reason, rather than refusing every connection.
    lib->SSL_CTX_load_verify_locations(ctx, file.empty() ? nullptr : file.c_str(),
                                       dir.empty() ? nullptr : dir.c_str());
    lib->LastErrorText();
  }
  bool verify = (config_->GetInt(config_key::kFlagsSecurity) & kSecurityNoVerify) == 0;
  lib->SSL_CTX_set_verify(ctx, verify ? ossl::kVerifyPeer : ossl::kVerifyNone, nullptr);
  context_ = ctx;
  return context_;
}

bool NetworkManager::StartTls(NetworkConnection* connection, const std::string& host,
                              const TlsOptions& options, int timeout, uint32_t flags) {
  OpenSSL* lib = Ssl();
  if (!lib || !ClientContext()) return false;
  void* certificate = nullptr;
  void* key = nullptr;
  if (!options.certificate_data.empty()) {
    if (!LoadClientCertificate(options.certificate_data, options.certificate_type,
                               options.passphrase, &certificate, &key))
      return false;
  } else if (!options.certificate_file.empty()) {
    if (!LoadClientCertificateFile(options.certificate_file, options.certificate_type,
                                   options.passphrase, &certificate, &key))
      return false;
  }
  bool numeric = IsIpAddress(host);
  std::string sni;
  if (!numeric) {
    int32_t use_sni = config_->GetInt(config_key::kSslSni);
    if (use_sni == 1 || (use_sni != 0 && lib->version_number() >= 0x10000000UL)) sni = host;
  }
  if (!connection->StartTls(sni, certificate, key, timeout, flags)) {
    SetError(connection->ErrorText());
    return false;
  }
  bool skip_identity = (config_->GetInt(config_key::kFlagsSecurity) & kSecurityNoHostCheck) &&
                       !(flags & kNetworkForceVerify);
  bool pin = !options.pin_algorithm.empty() && !options.pin_fingerprint.empty();
  if (skip_identity && !pin) return true;
  void* peer = connection->PeerCertificate();
  bool ok = peer != nullptr;
  if (!ok) SetError("Unable to verify server identity");
  if (ok && !skip_identity) {
    ok = numeric ? CheckIpAddress(peer, host) : CheckHostName(peer, host);
    if (!ok) SetError("Unable to verify server identity");
  }
  if (ok && pin) ok = CheckFingerprint(peer, options.pin_algorithm, options.pin_fingerprint);
  if (peer) lib->X509_free(peer);
  if (!ok) connection->Close();
  return ok;
}

bool NetworkManager::CheckHostName(void* certificate, const std::string& host) {
  OpenSSL* lib = Ssl();
  return lib && lib->X509_check_host(certificate, host.data(), host.size(), 0, nullptr) == 1;
}

bool NetworkManager::CheckIpAddress(void* certificate, const std::string& address) {
  OpenSSL* lib = Ssl();
  return lib && lib->X509_check_ip_asc(certificate, address.c_str(), 0) == 1;
}

bool NetworkManager::CheckFingerprint(void* certificate, const std::string& algorithm,
                                      const std::string& fingerprint) {
  OpenSSL* lib = Ssl();
  if (!lib) return false;
  const void* md = lib->EVP_get_digestbyname(algorithm.c_str());
  if (!md) {
    SetError("Unsupported certificate pinning algorithm");
    return false;
  }
  unsigned char digest[64];
  unsigned int length = 0;
  if (lib->X509_digest(certificate, md, digest, &length) != 1 || length != fingerprint.size() ||
      fingerprint.compare(0, length, reinterpret_cast<char*>(digest), length) != 0) {
    SetError("Certificate does not match expected fingerprint");
    return false;
  }
  return true;
}

bool NetworkManager::LoadClientCertificate(std::string_view data, std::string_view type,
                                           const std::string& passphrase, void** certificate,
                                           void** key) {
  OpenSSL* lib = Ssl();
  if (!lib) return false;
  bool pem = type.empty() || type[0] == 'p' || type[0] == 'P';
  bool der = !type.empty() && (type[0] == 'a' || type[0] == 'A');
  if (!pem && !der) {
    SetError("Unsupported certificate type '" + std::string(type) + "'");
    return false;
  }
  Bio bio(lib, lib->BIO_new_mem_buf(data.data(), static_cast<int>(data.size())));
  if (!bio.bio) {
    SetError("Unable to read from client certificate buffer: " + lib->LastErrorText());
    return false;
  }
  void* pass = const_cast<char*>(passphrase.c_str());
  *certificate = pem ? lib->PEM_read_bio_X509(bio.bio, nullptr, nullptr, pass)
                     : lib->d2i_X509_bio(bio.bio, nullptr);
  if (!*certificate) {
    SetError("Error reading client certificate: " + lib->LastErrorText());
    return false;
  }
  *key = pem ? lib->PEM_read_bio_PrivateKey(bio.bio, nullptr, nullptr, pass)
             : lib->d2i_PrivateKey_bio(bio.bio, nullptr);
  if (!*key) {
    SetError("Error reading client key: " + lib->LastErrorText());
    lib->X509_free(*certificate);
    *certificate = nullptr;
    return false;
  }
  return true;
}

bool NetworkManager::LoadClientCertificateFile(const std::string& file, std::string_view type,
                                               const std::string& passphrase, void** certificate,
                                               void** key) {
  if (!files_) {
    SetError("Unable to read from client certificate file: no file access");
    return false;
  }
  std::unique_ptr<File> f = files_->Open(0, file, kOpenRead);
  if (!f) {
    SetError("Unable to read from client certificate file: " + std::string(files_->ErrorText()));
    return false;
  }
  std::string data;
  char block[4096];
  for (;;) {
    int32_t n = f->Read(block, sizeof block);
    if (n < 0) {
      SetError("Unable to load client certificate: " + std::string(f->ErrorText()));
      return false;
    }
    if (n == 0) break;
    data.append(block, static_cast<size_t>(n));
  }
  return LoadClientCertificate(data, type, passphrase, certificate, key);
}

std::string NetworkManager::PeerCertificatePem(NetworkConnection* connection) {
  OpenSSL* lib = connection->secure() ? Ssl() : nullptr;
  if (!lib) return std::string();
  void* peer = connection->PeerCertificate();
  if (!peer) return std::string();
  Bio bio(lib, lib->BIO_new(lib->BIO_s_mem()));
  std::string pem;
  if (bio.bio && lib->PEM_write_bio_X509(bio.bio, peer) == 1) {
    char* data = nullptr;
    long n = lib->BIO_ctrl(bio.bio, ossl::kBioCtrlInfo, 0, &data);
    if (n > 0 && data) pem.assign(data, static_cast<size_t>(n));
  }
  lib->X509_free(peer);
  return pem;
}

}  // namespace orin

// NetworkManager: every outgoing connection of a run is made here. It
// resolves names, connects over TCP with time-outs (through the configured
// SOCKS 4 or 5 proxy when there is one) and puts TLS on top with server
// verification, host name check, pinning and client certificates.
//
// Settings come from the run's Config: "globaltimeout", the SOCKS keys,
// "cadir", "cafile", "usesni", "securityoptions", "sslconfig" and the two
// OpenSSL library names. Client certificate files are read from the data
// area through the FileManager (may be null: then files cannot be used).
#ifndef ORIN_NETWORK_NETWORK_MANAGER_H_
#define ORIN_NETWORK_NETWORK_MANAGER_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "network/network_connection.h"

namespace orin {

class Config;
class FileManager;
class HttpRequestBody;
class OpenSSL;

// Connection flags.
constexpr uint32_t kNetworkRequireSecure = 1;
constexpr uint32_t kNetworkForceVerify = 2;

// "securityoptions" bits.
constexpr int32_t kSecurityNoVerify = 0x1000;
constexpr int32_t kSecurityNoHostCheck = 0x2000;

// What a secure connection needs besides host and port.
struct TlsOptions {
  std::string certificate_file;  // client certificate, in the data area
  std::string certificate_data;  // or the certificate itself
  std::string certificate_type;  // "" or "p..." PEM, "a..." DER
  std::string passphrase;
  std::string pin_algorithm;    // digest name, e.g. "sha256"
  std::string pin_fingerprint;  // raw digest bytes
};

// A URL taken apart.
struct UrlParts {
  std::string scheme;
  std::string host;  // without brackets
  std::string port;  // as written, empty when the URL named none
  std::string path;  // without its leading '/'
};

class NetworkManager {
 public:
  NetworkManager(Config* config, FileManager* files);
  NetworkManager(const NetworkManager&) = delete;
  NetworkManager& operator=(const NetworkManager&) = delete;

  virtual ~NetworkManager();
  virtual bool IsIpAddress(std::string_view text);
  virtual bool IsIPv4Address(std::string_view text);
  virtual bool IsIPv6Address(std::string_view text);
  // The numeric form of a numeric address text, empty when it is not one.
  virtual std::string NumericAddress(std::string_view text);
  // Resolves a name to the numeric text of its first usable address.
  virtual bool ResolveToText(const std::string& host, std::string* address);
  // The 4 address bytes SOCKS 4 sends (resolved here).
  virtual bool Socks4AddressBytes(const std::string& host, uint8_t out[4]);
  // The address part of a SOCKS 5 request (type byte first).
  virtual std::string Socks5AddressBytes(const std::string& host);
  // Connects through the configured proxy, or directly without one.
  virtual std::unique_ptr<NetworkConnection> Connect(const std::string& host, int port,
                                                     int timeout);
  virtual std::unique_ptr<NetworkConnection> ConnectDirect(const std::string& host, int port,
                                                           int timeout);
  // Starts TLS with verification, identity check and pinning.
  virtual bool StartTls(NetworkConnection* connection, const std::string& host,
                        const TlsOptions& options, int timeout, uint32_t flags);
  virtual bool Socks4(NetworkConnection* connection, const std::string& host, int port,
                      int timeout);
  virtual bool Socks5(NetworkConnection* connection, const std::string& host, int port,
                      int timeout);
  // Opens a connection for a URL's scheme, host and port (TLS for "https").
  virtual std::unique_ptr<NetworkConnection> OpenUrl(const std::string& scheme,
                                                     const std::string& host,
                                                     const std::string& port,
                                                     const TlsOptions& options, int timeout,
                                                     uint32_t flags);
  // Writes a request: the request line, Host, the body's type and length,
  // the extra header lines as given, "Connection: close" and the body
  // (null for none). Versions above 9 are 1.1, negative ones 1.0.
  virtual bool SendHttpRequest(NetworkConnection* connection, std::string_view method,
                               const UrlParts& url, double version, std::string_view content_type,
                               HttpRequestBody* body, std::string_view extra_headers, int timeout,
                               int32_t block_size = 8192);
  // Loads a client certificate and key (library handles; the caller frees).
  virtual bool LoadClientCertificate(std::string_view data, std::string_view type,
                                     const std::string& passphrase, void** certificate, void** key);
  virtual bool LoadClientCertificateFile(const std::string& file, std::string_view type,
                                         const std::string& passphrase, void** certificate,
                                         void** key);
  virtual bool CheckHostName(void* certificate, const std::string& host);
  virtual bool CheckIpAddress(void* certificate, const std::string& address);
  virtual bool CheckFingerprint(void* certificate, const std::string& algorithm,
                                const std::string& fingerprint);
  virtual bool SameAddress(std::string_view a, std::string_view b);
  virtual bool IPv4ToBytes(std::string_view text, uint8_t out[4]);
  virtual bool IPv6ToBytes(std::string_view text, uint8_t out[16]);
  virtual bool SplitUrl(std::string_view url, UrlParts* parts);
  virtual const std::string& ErrorText() const { return error_; }
  virtual void SetError(std::string_view text) { error_.assign(text); }

  // The TLS library, loaded on first use; null with ErrorText() set.
  OpenSSL* Ssl();
  // Whether TLS can be used (loads the library).
  bool SslAvailable() { return Ssl() != nullptr; }
  // The peer certificate of a TLS connection as PEM, empty without one.
  std::string PeerCertificatePem(NetworkConnection* connection);

  // Seconds to wait for a caller's time-out; -1 waits without limit.
  int WaitSeconds(int timeout);
  Config* config() const { return config_; }

  // The TLS client context, created on first use; null with ErrorText().
  void* ClientContext();

 private:
  Config* config_;
  FileManager* files_;
  OpenSSL* ssl_ = nullptr;
  void* context_ = nullptr;
  std::string error_;
};

}  // namespace orin

#endif  // ORIN_NETWORK_NETWORK_MANAGER_H_

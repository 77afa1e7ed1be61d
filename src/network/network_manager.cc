#include "network/network_manager.h"

#include <vector>

#include "network/openssl.h"
#include "util/ascii.h"
#include "util/config.h"

namespace orin {

NetworkManager::NetworkManager(Config* config, FileManager* files)
    : config_(config), files_(files) {}

NetworkManager::~NetworkManager() {
  if (context_ && ssl_) ssl_->SSL_CTX_free(context_);
}

int NetworkManager::WaitSeconds(int timeout) {
  if (timeout > 0) return timeout;
  int32_t configured = config_->GetInt(config_key::kTimeoutGlobal);
  return configured > 0 ? configured : -1;
}

bool NetworkManager::IsIpAddress(std::string_view text) {
  return IsIPv4Address(text) || IsIPv6Address(text);
}

bool NetworkManager::IsIPv4Address(std::string_view text) {
  uint8_t bytes[4];
  return ParseIPv4Text(text, bytes);
}

bool NetworkManager::IsIPv6Address(std::string_view text) {
  uint8_t bytes[16];
  return ParseIPv6Text(text, bytes);
}

std::string NetworkManager::NumericAddress(std::string_view text) {
  uint8_t bytes[16];
  if (ParseIPv4Text(text, bytes)) return IPv4BytesToText(bytes);
  if (ParseIPv6Text(text, bytes)) return IPv6BytesToText(bytes);
  return std::string();
}

bool NetworkManager::IPv4ToBytes(std::string_view text, uint8_t out[4]) {
  if (ParseIPv4Text(text, out)) return true;
  SetError("Invalid IP address");
  return false;
}

bool NetworkManager::IPv6ToBytes(std::string_view text, uint8_t out[16]) {
  if (ParseIPv6Text(text, out)) return true;
  SetError("Invalid IP address");
  return false;
}

bool NetworkManager::SameAddress(std::string_view a, std::string_view b) {
  std::string na = NumericAddress(a);
  return !na.empty() && na == NumericAddress(b);
}

bool NetworkManager::ResolveToText(const std::string& host, std::string* address) {
  std::vector<HostAddress> list;
  std::string why;
  if (!LookupHostAddresses(host, 0, &list, &why)) {
    SetError("Error looking up '" + host + "'");
    return false;
  }
  for (const HostAddress& a : list) {
    if (!a.text.empty()) {
      *address = a.text;
      return true;
    }
  }
  SetError("Error looking up '" + host + "': No supported address families found");
  return false;
}

std::unique_ptr<NetworkConnection> NetworkManager::ConnectDirect(const std::string& host, int port,
                                                                 int timeout) {
  std::vector<HostAddress> list;
  std::string why;
  if (!LookupHostAddresses(host, port, &list, &why) || list.empty()) {
    SetError("Error looking up '" + host + "'");
    return nullptr;
  }
  auto connection = std::make_unique<NetworkConnection>(this);
  for (const HostAddress& address : list) {
    if (connection->ConnectAddress(address, timeout)) return connection;
  }
  SetError("Error connecting to " + host + " on port " + std::to_string(port) + ": " +
           connection->ErrorText());
  return nullptr;
}

std::unique_ptr<NetworkConnection> NetworkManager::Connect(const std::string& host, int port,
                                                           int timeout) {
  std::string proxy(config_->GetText(config_key::kSocksHost));
  if (proxy.empty()) return ConnectDirect(host, port, timeout);
  int32_t version = config_->GetInt(config_key::kSocksVersion);
  if (version != 4 && version != 5) {
    SetError("Unsupported SOCKS version");
    return nullptr;
  }
  auto connection = ConnectDirect(proxy, config_->GetInt(config_key::kSocksPort), timeout);
  if (!connection) return nullptr;
  bool ok = version == 4 ? Socks4(connection.get(), host, port, timeout)
                         : Socks5(connection.get(), host, port, timeout);
  if (!ok) return nullptr;
  return connection;
}

bool NetworkManager::SplitUrl(std::string_view url, UrlParts* parts) {
  *parts = UrlParts();
  size_t scheme_end = url.find("://");
  if (scheme_end == std::string_view::npos) {
    SetError("Malformed URL");
    return false;
  }
  parts->scheme.assign(url.substr(0, scheme_end));
  std::string_view rest = url.substr(scheme_end + 3);
  size_t host_end;
  if (!rest.empty() && rest[0] == '[') {
    size_t close = rest.find(']');
    if (close == std::string_view::npos) {
      SetError("Malformed URL");
      return false;
    }
    parts->host.assign(rest.substr(1, close - 1));
    host_end = close + 1;
  } else {
    host_end = rest.find_first_of("/:");
    if (host_end == std::string_view::npos) host_end = rest.size();
    parts->host.assign(rest.substr(0, host_end));
  }
  rest.remove_prefix(host_end);
  if (!rest.empty() && rest[0] == ':') {
    size_t port_end = rest.find('/');
    if (port_end == std::string_view::npos) port_end = rest.size();
    parts->port.assign(rest.substr(1, port_end - 1));
    rest.remove_prefix(port_end);
  }
  if (!rest.empty() && rest[0] == '/') rest.remove_prefix(1);
  parts->path.assign(rest);
  return true;
}

std::unique_ptr<NetworkConnection> NetworkManager::OpenUrl(const std::string& scheme,
                                                           const std::string& host,
                                                           const std::string& port,
                                                           const TlsOptions& options, int timeout,
                                                           uint32_t flags) {
  bool https = EqualsNoCase(scheme, "https");
  if (!https && !EqualsNoCase(scheme, "http")) {
    SetError("Unsupported protocol '" + scheme + "'");
    return nullptr;
  }
  if (!https && (flags & kNetworkRequireSecure)) {
    SetError("Request requires a secure connection");
    return nullptr;
  }
  if (!https && !options.pin_fingerprint.empty()) {
    SetError("Certificate pinning requested for non-secure connection");
    return nullptr;
  }
  int port_number = https ? 443 : 80;
  if (!port.empty()) {
    port_number = 0;
    for (char c : port) {
      if ((c < '0' || c > '9') || port_number > 65535) {
        port_number = -1;
        break;
      }
      port_number = port_number * 10 + (c - '0');
    }
    if (port_number <= 0 || port_number > 65535) {
      SetError("Invalid port '" + port + "'");
      return nullptr;
    }
  }
  std::string bare = host;
  if (bare.size() >= 2 && bare.front() == '[' && bare.back() == ']')
    bare = bare.substr(1, bare.size() - 2);
  auto connection = Connect(bare, port_number, timeout);
  if (!connection) return nullptr;
  if (https && !StartTls(connection.get(), bare, options, timeout, flags)) return nullptr;
  return connection;
}

}  // namespace orin

// The SOCKS 4 and SOCKS 5 CONNECT exchanges, run on a connection to the
// proxy. On failure the caller drops the proxy connection.
#include <vector>

#include "network/network_manager.h"
#include "util/config.h"

namespace orin {

namespace {

// Sends `bytes`; on failure sets `prefix` + the connection's reason.
bool SendAll(NetworkConnection* c, const std::string& bytes, int timeout, std::string_view prefix,
             NetworkManager* m) {
  if (c->Write(bytes.data(), static_cast<int32_t>(bytes.size()), timeout) ==
      static_cast<int32_t>(bytes.size()))
    return true;
  m->SetError(std::string(prefix) + c->ErrorText());
  return false;
}

bool ReadAll(NetworkConnection* c, uint8_t* out, int32_t size, int timeout, std::string_view prefix,
             NetworkManager* m) {
  if (c->ReadExactly(reinterpret_cast<char*>(out), size, timeout)) return true;
  m->SetError(std::string(prefix) + c->ErrorText());
  return false;
}

void AppendPort(std::string* out, int port) {
  out->push_back(static_cast<char>((port >> 8) & 0xFF));
  out->push_back(static_cast<char>(port & 0xFF));
}

}  // namespace

bool NetworkManager::Socks4AddressBytes(const std::string& host, uint8_t out[4]) {
  if (ParseIPv4Text(host, out)) return true;
  std::vector<HostAddress> list;
  std::string why;
  if (LookupHostAddresses(host, 0, &list, &why)) {
    for (const HostAddress& a : list) {
      if (a.family == 4 && ParseIPv4Text(a.text, out)) return true;
    }
  }
  SetError("SOCKS4: Error looking up '" + host + "'");
  return false;
}

std::string NetworkManager::Socks5AddressBytes(const std::string& host) {
  std::string out;
  uint8_t bytes[16];
  if (ParseIPv4Text(host, bytes)) {
    out.push_back(0x01);
    out.append(reinterpret_cast<char*>(bytes), 4);
  } else if (ParseIPv6Text(host, bytes)) {
    out.push_back(0x04);
    out.append(reinterpret_cast<char*>(bytes), 16);
  } else {
    // The proxy resolves names; a name longer than a length byte is cut.
    size_t n = host.size() > 255 ? 255 : host.size();
    out.push_back(0x03);
    out.push_back(static_cast<char>(n));
    out.append(host, 0, n);
  }
  return out;
}

bool NetworkManager::Socks4(NetworkConnection* c, const std::string& host, int port, int timeout) {
  uint8_t address[4];
  if (!Socks4AddressBytes(host, address)) return false;
  std::string request{0x04, 0x01};
  AppendPort(&request, port);
  request.append(reinterpret_cast<char*>(address), 4);
  request.append(config_->GetText(config_key::kSocksUsername));
  request.push_back('\0');
  if (!SendAll(c, request, timeout, "SOCKS4: Connect error: ", this)) return false;
  uint8_t reply[8];
  if (!ReadAll(c, reply, 8, timeout, "SOCKS4: Connect read error: ", this)) return false;
  if (reply[0] != 0x00) {
    SetError("SOCKS4: Unexpected version");
    return false;
  }
  if (reply[1] != 0x5A) {
    SetError("SOCKS4: Failed to connect to host (" + std::to_string(reply[1]) + ")");
    return false;
  }
  return true;
}

bool NetworkManager::Socks5(NetworkConnection* c, const std::string& host, int port, int timeout) {
  std::string user(config_->GetText(config_key::kSocksUsername));
  std::string password(config_->GetText(config_key::kSocksPassword));
  if (user.size() > 255 || password.size() > 255) {
    SetError("SOCKS5: Username / password must be 255 characters or less");
    return false;
  }
  std::string greeting = user.empty() || password.empty() ? std::string{0x05, 0x01, 0x00}
                                                          : std::string{0x05, 0x02, 0x00, 0x02};
  if (!SendAll(c, greeting, timeout, "SOCKS5: Greeting write error: ", this)) return false;
  uint8_t reply[4];
  if (!ReadAll(c, reply, 2, timeout, "SOCKS5: Greeting read error: ", this)) return false;
  if (reply[0] != 0x05) {
    SetError("SOCKS5: Unexpected version");
    return false;
  }
  if (reply[1] == 0x02) {
    std::string auth{0x01};
    auth.push_back(static_cast<char>(user.size()));
    auth += user;
    auth.push_back(static_cast<char>(password.size()));
    auth += password;
    if (!SendAll(c, auth, timeout, "SOCKS5: Client authentication write error: ", this))
      return false;
    if (!ReadAll(c, reply, 2, timeout, "SOCKS5: Client authentication read error: ", this))
      return false;
    if (reply[0] != 0x01) {
      SetError("SOCKS5: Unexpected version");
      return false;
    }
    if (reply[1] != 0x00) {
      SetError("SOCKS5: Authentication failed");
      return false;
    }
  } else if (reply[1] != 0x00) {
    SetError("SOCKS5: No acceptable authentication methods");
    return false;
  }
  std::string request{0x05, 0x01, 0x00};
  request += Socks5AddressBytes(host);
  AppendPort(&request, port);
  if (!SendAll(c, request, timeout, "SOCKS5: Client connection request error: ", this))
    return false;
  if (!ReadAll(c, reply, 4, timeout, "SOCKS5: Client connection response error: ", this))
    return false;
  if (reply[0] != 0x05) {
    SetError("SOCKS5: Unexpected version");
    return false;
  }
  switch (reply[1]) {
    case 0x00:
      break;
    case 0x02:
      SetError("SOCKS5: Connection not allowed by ruleset");
      return false;
    case 0x04:
      SetError("SOCKS5: Host unreachable");
      return false;
    default:
      SetError("SOCKS5: Failed to connect to host (" + std::to_string(reply[1]) + ")");
      return false;
  }
  if (reply[2] != 0x00) {
    SetError("SOCKS5: Unexpected response packet");
    return false;
  }
  int32_t rest = reply[3] == 0x01 ? 4 : reply[3] == 0x04 ? 16 : -1;
  if (rest < 0) {
    SetError("SOCKS5: Unexpected address type");
    return false;
  }
  uint8_t bound[18];
  if (!c->ReadExactly(reinterpret_cast<char*>(bound), rest + 2, timeout)) {
    SetError("SOCKS5: Client connection response error");
    return false;
  }
  return true;
}

}  // namespace orin

#include "network/network_connection.h"

#include <cerrno>
#include <cstring>

#include "network/network_manager.h"
#include "network/openssl.h"

namespace orin {

NetworkConnection::~NetworkConnection() {
  Close();
}

void NetworkConnection::Close() {
  FreeTls();
  socket_.Close();
}

void NetworkConnection::FreeTls() {
  OpenSSL* lib = ssl_ || certificate_ || key_ ? manager_->Ssl() : nullptr;
  if (lib == nullptr) return;
  if (ssl_) lib->SSL_free(ssl_);
  if (certificate_) lib->X509_free(certificate_);
  if (key_) lib->EVP_PKEY_free(key_);
  ssl_ = certificate_ = key_ = nullptr;
}

int NetworkConnection::WaitSeconds(int timeout) const {
  return manager_->WaitSeconds(timeout);
}

bool NetworkConnection::ConnectAddress(const HostAddress& address, int timeout) {
  Close();
  if (address.family != 4 && address.family != 6) {
    SetError("Unsupported address family " + std::to_string(address.family));
    return false;
  }
  peer_address_ = address.text.substr(0, 65);
  int err = 0;
  Socket s;
  switch (StartConnect(address, &s, &err)) {
    case ConnectStart::kFailed:
      SetError(NetworkErrorText(err));
      return false;
    case ConnectStart::kConnected:
      break;
    case ConnectStart::kInProgress:
      switch (WaitSocket(s, true, WaitSeconds(timeout), &err)) {
        case WaitStatus::kReady:
          // Writable also when the connect failed; the pending error says.
          if (PendingSocketError(s) == 0) break;
          [[fallthrough]];
        case WaitStatus::kErrorCondition:
          SetError("Connection failed");
          return false;
        case WaitStatus::kTimedOut:
          SetError("Connection timed out");
          return false;
        case WaitStatus::kFailed:
          SetError(NetworkErrorText(err));
          return false;
      }
      break;
  }
  socket_ = std::move(s);
  return true;
}

int32_t NetworkConnection::Read(char* buffer, int32_t size, int timeout) {
  if (ssl_) return TlsRead(buffer, size, timeout);
  if (!socket_.valid()) {
    SetError("Read Error: " + NetworkErrorText(ENOTCONN));
    return -1;
  }
  int err = 0;
  int32_t n = ReceiveSome(socket_, buffer, size, false, &err);
  if (n >= 0) return n;
  if (err != EAGAIN) {
    SetError("Read Error: " + NetworkErrorText(err));
    return -1;
  }
  switch (WaitSocket(socket_, false, WaitSeconds(timeout), &err)) {
    case WaitStatus::kReady:
      break;
    case WaitStatus::kTimedOut:
      SetError("Read Timeout");
      return -1;
    case WaitStatus::kFailed:
      SetError("Read Error: " + NetworkErrorText(err));
      return -1;
    case WaitStatus::kErrorCondition:
      err = PendingSocketError(socket_);
      SetError(err ? "Read Error: " + NetworkErrorText(err) : std::string("Read Error"));
      return -1;
  }
  n = ReceiveSome(socket_, buffer, size, false, &err);
  if (n >= 0) return n;
  SetError(err == EAGAIN ? std::string("Read Error") : "Read Error: " + NetworkErrorText(err));
  return -1;
}

int32_t NetworkConnection::ReadLine(std::string* line, int timeout, int32_t chunk_size) {
  if (ssl_) return TlsReadLine(line, timeout, chunk_size);
  line->clear();
  if (chunk_size <= 0) chunk_size = 512;
  std::string chunk(static_cast<size_t>(chunk_size), '\0');
  int err = 0;
  for (;;) {
    int32_t n = socket_.valid() ? ReceiveSome(socket_, chunk.data(), chunk_size, true, &err) : -1;
    if (!socket_.valid()) err = ENOTCONN;
    if (n == 0) {
      SetError("Read Error: Connection closed by remote host");
      line->clear();
      return -1;
    }
    if (n > 0) {
      const void* lf = std::memchr(chunk.data(), '\n', static_cast<size_t>(n));
      int32_t take = lf ? static_cast<int32_t>(static_cast<const char*>(lf) - chunk.data()) + 1 : n;
      int32_t got = ReceiveSome(socket_, chunk.data(), take, false, &err);
      if (got != take) {
        SetError("Read Error: " + NetworkErrorText(got < 0 ? err : EIO));
        line->clear();
        return -1;
      }
      line->append(chunk.data(), static_cast<size_t>(take));
      if (lf) return static_cast<int32_t>(line->size());
      if (line_limit_ > 0 && line->size() > static_cast<size_t>(line_limit_)) {
        SetError("Read Error: Line too long");
        line->clear();
        return -1;
      }
      continue;
    }
    if (err != EAGAIN) {
      SetError("Read Error: " + NetworkErrorText(err));
      line->clear();
      return -1;
    }
    switch (WaitSocket(socket_, false, WaitSeconds(timeout), &err)) {
      case WaitStatus::kReady:
        continue;
      case WaitStatus::kTimedOut:
        SetError("Read Timeout");
        break;
      case WaitStatus::kFailed:
        SetError("Read Error: " + NetworkErrorText(err));
        break;
      case WaitStatus::kErrorCondition:
        SetError("Read Error");
        break;
    }
    line->clear();
    return -1;
  }
}

int32_t NetworkConnection::Write(const char* data, int32_t length, int timeout) {
  if (ssl_) return TlsWrite(data, length, timeout);
  if (!socket_.valid()) {
    SetError("Write Error: " + NetworkErrorText(ENOTCONN));
    return -1;
  }
  int32_t sent = 0;
  int err = 0;
  while (sent < length) {
    int32_t n = SendSome(socket_, data + sent, length - sent, &err);
    if (n > 0) {
      sent += n;
      continue;
    }
    if (n < 0 && err != EAGAIN) {
      SetError("Write Error: " + NetworkErrorText(err));
      return -1;
    }
    switch (WaitSocket(socket_, true, WaitSeconds(timeout), &err)) {
      case WaitStatus::kReady:
        continue;
      case WaitStatus::kTimedOut:
        SetError("Write Timeout");
        return -1;
      case WaitStatus::kFailed:
        SetError("Write Error: " + NetworkErrorText(err));
        return -1;
      case WaitStatus::kErrorCondition:
        SetError("Write Error");
        return -1;
    }
  }
  return length;
}

bool NetworkConnection::ReadExactly(char* buffer, int32_t size, int timeout) {
  int32_t got = 0;
  while (got < size) {
    int32_t n = Read(buffer + got, size - got, timeout);
    if (n < 0) return false;
    if (n == 0) {
      SetError("Connection closed by remote host");
      return false;
    }
    got += n;
  }
  return true;
}

// --- TLS ---

bool NetworkConnection::WaitForTls(int want, int seconds, std::string_view prefix,
                                   std::string_view timeout_text) {
  int err = 0;
  bool for_write = want == ossl::kErrorWantWrite;
  switch (WaitSocket(socket_, for_write, seconds, &err)) {
    case WaitStatus::kReady:
      return true;
    case WaitStatus::kTimedOut:
      SetError(timeout_text);
      return false;
    case WaitStatus::kFailed:
      SetError(std::string(prefix) + ": " + NetworkErrorText(err));
      return false;
    case WaitStatus::kErrorCondition:
      // The library reports the reset on its next call; for a read the
      // hang-up is readiness.
      if (!for_write) return true;
      SetError(prefix);
      return false;
  }
  return false;
}

bool NetworkConnection::StartTls(const std::string& server_name, void* certificate, void* key,
                                 int timeout, uint32_t flags) {
  constexpr std::string_view kPrefix = "Error establishing SSL connection";
  FreeTls();
  // The connection owns the client certificate and key from here on, also
  // when it fails.
  certificate_ = certificate;
  key_ = key;
  if (!socket_.valid()) {
    SetError("TCP connection not established");
    FreeTls();
    return false;
  }
  OpenSSL* lib = manager_->Ssl();
  void* context = lib ? manager_->ClientContext() : nullptr;
  if (context == nullptr) {
    SetError(manager_->ErrorText());
    FreeTls();
    return false;
  }
  ssl_ = lib->SSL_new(context);
  if (ssl_ == nullptr) {
    SetError("Error allocating SSL handle: " + lib->LastErrorText());
    FreeTls();
    return false;
  }
  if (flags & kNetworkForceVerify) lib->SSL_set_verify(ssl_, ossl::kVerifyPeer, nullptr);
  if (!server_name.empty()) {
    lib->SSL_ctrl(ssl_, ossl::kCtrlSetTlsextHostname, ossl::kTlsextNametypeHostName,
                  const_cast<char*>(server_name.c_str()));
  }
  if (certificate_ && lib->SSL_use_certificate(ssl_, certificate_) != 1) {
    SetError("Error assigning client certificate: " + lib->LastErrorText());
    FreeTls();
    return false;
  }
  if (key_ && lib->SSL_use_PrivateKey(ssl_, key_) != 1) {
    SetError("Error assigning client key: " + lib->LastErrorText());
    FreeTls();
    return false;
  }
  SetNonBlocking(socket_);
  lib->SSL_set_fd(ssl_, socket_.fd());
  int seconds = WaitSeconds(timeout);
  for (;;) {
    int rc = lib->SSL_connect(ssl_);
    if (rc == 1) return true;
    int e = lib->SSL_get_error(ssl_, rc);
    std::string text;
    switch (e) {
      case ossl::kErrorWantRead:
      case ossl::kErrorWantWrite:
        if (WaitForTls(e, seconds, kPrefix,
                       "Error establishing SSL connection: Connection timed out"))
          continue;
        text = error_;
        break;
      case ossl::kErrorSsl:
      case ossl::kErrorSyscall: {
        int system_error = errno;
        bool closed = false;
        std::string reason = lib->LastErrorText(&closed);
        if (closed) {
          reason = "The remote server closed the connection";
        } else if (e == ossl::kErrorSyscall && reason == "Unknown error") {
          reason = rc == 0 ? std::string("The remote server closed the connection")
                           : NetworkErrorText(system_error);
        }
        text = std::string(kPrefix) + ": " + reason;
        break;
      }
      case ossl::kErrorZeroReturn:
        text = std::string(kPrefix) + ": The remote server closed the connection";
        break;
      default:
        text = std::string(kPrefix) + ": Unknown error";
        break;
    }
    FreeTls();
    SetError(text);
    return false;
  }
}

void* NetworkConnection::PeerCertificate() {
  OpenSSL* lib = ssl_ ? manager_->Ssl() : nullptr;
  return lib ? lib->SSL_get_peer_certificate(ssl_) : nullptr;
}

int32_t NetworkConnection::TlsRead(char* buffer, int32_t size, int timeout) {
  OpenSSL* lib = manager_->Ssl();
  int seconds = WaitSeconds(timeout);
  for (;;) {
    int rc = lib->SSL_read(ssl_, buffer, size);
    if (rc > 0) return rc;
    int e = lib->SSL_get_error(ssl_, rc);
    switch (e) {
      case ossl::kErrorZeroReturn:
        return 0;
      case ossl::kErrorWantRead:
      case ossl::kErrorWantWrite:
        if (WaitForTls(e, seconds, "SSL Read Error", "SSL Read Timeout")) continue;
        return -1;
      case ossl::kErrorSyscall:
      case ossl::kErrorSsl: {
        // Many servers close without ending the session: that is the end
        // of the data, as it is on a plain connection.
        bool closed = false;
        std::string reason = lib->LastErrorText(&closed);
        if (closed || (e == ossl::kErrorSyscall && rc == 0)) return 0;
        SetError("SSL Read Error: " + reason);
        return -1;
      }
      default:
        SetError("SSL Read Error: Unknown error");
        return -1;
    }
  }
}

int32_t NetworkConnection::TlsReadLine(std::string* line, int timeout, int32_t chunk_size) {
  // TLS records cannot be peeked into the socket, so read byte by byte from
  // the library's own buffer; it already holds whole records.
  (void)chunk_size;
  line->clear();
  char c;
  for (;;) {
    int32_t n = TlsRead(&c, 1, timeout);
    if (n <= 0) {
      if (n == 0) SetError("SSL Read Error: The remote server closed the connection");
      line->clear();
      return -1;
    }
    line->push_back(c);
    if (c == '\n') return static_cast<int32_t>(line->size());
    if (line_limit_ > 0 && line->size() > static_cast<size_t>(line_limit_)) {
      SetError("Read Error: Line too long");
      line->clear();
      return -1;
    }
  }
}

int32_t NetworkConnection::TlsWrite(const char* data, int32_t length, int timeout) {
  OpenSSL* lib = manager_->Ssl();
  int seconds = WaitSeconds(timeout);
  int32_t sent = 0;
  while (sent < length) {
    int rc = lib->SSL_write(ssl_, data + sent, length - sent);
    if (rc > 0) {
      sent += rc;
      continue;
    }
    int e = lib->SSL_get_error(ssl_, rc);
    if (e == ossl::kErrorWantRead || e == ossl::kErrorWantWrite) {
      if (WaitForTls(e, seconds, "Write Error", "Write Timeout")) continue;
      return -1;
    }
    SetError("Write Error: " + lib->LastErrorText());
    return -1;
  }
  return length;
}

}  // namespace orin

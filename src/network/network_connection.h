// One open outgoing connection: read, line read and write under a time-out,
// over plain TCP or TLS.
//
// Time-outs are whole seconds; 0 means the configured "globaltimeout" (and a
// configured 0 waits without limit). Failures return -1 (or false) and leave
// the message in ErrorText().
#ifndef ORIN_NETWORK_NETWORK_CONNECTION_H_
#define ORIN_NETWORK_NETWORK_CONNECTION_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/socket.h"
#include "platform/tcp_client.h"

namespace orin {

class NetworkManager;

class NetworkConnection {
 public:
  explicit NetworkConnection(NetworkManager* manager) : manager_(manager) {}
  NetworkConnection(const NetworkConnection&) = delete;
  NetworkConnection& operator=(const NetworkConnection&) = delete;

  // Closes the socket and frees the TLS objects.
  virtual ~NetworkConnection();
  // Puts TLS on the connection: server name for SNI (empty for none), the
  // client certificate and key handles of the TLS library (or null), the
  // time-out and the connection flags (bit 1 forces verification).
  virtual bool StartTls(const std::string& server_name, void* certificate, void* key, int timeout,
                        uint32_t flags);
  // The peer's certificate handle (the caller frees it), or null.
  virtual void* PeerCertificate();
  // Up to `size` bytes; 0 when the peer closed, -1 on failure.
  virtual int32_t Read(char* buffer, int32_t size, int timeout);
  // One line including its line feed into *line; the length or -1.
  virtual int32_t ReadLine(std::string* line, int timeout, int32_t chunk_size);
  // All `length` bytes; length or -1.
  virtual int32_t Write(const char* data, int32_t length, int timeout);
  virtual const std::string& ErrorText() const { return error_; }
  virtual void SetError(std::string_view text) { error_.assign(text); }
  virtual void Reserved() {}
  // Connects to one resolved address.
  virtual bool ConnectAddress(const HostAddress& address, int timeout);
  virtual int32_t TlsRead(char* buffer, int32_t size, int timeout);
  virtual int32_t TlsReadLine(std::string* line, int timeout, int32_t chunk_size);
  virtual int32_t TlsWrite(const char* data, int32_t length, int timeout);

  // Conveniences.
  int32_t Write(std::string_view data, int timeout) {
    return Write(data.data(), static_cast<int32_t>(data.size()), timeout);
  }
  // Reads exactly `size` bytes; false on failure or an early close (the
  // message then says which).
  bool ReadExactly(char* buffer, int32_t size, int timeout);
  void Close();

  // Longest line ReadLine accepts (0: no limit); a longer one fails with
  // "Read Error: Line too long", so a peer cannot grow a line without end.
  void set_line_limit(int32_t bytes) { line_limit_ = bytes; }
  int32_t line_limit() const { return line_limit_; }

  bool connected() const { return socket_.valid(); }
  bool secure() const { return ssl_ != nullptr; }
  const std::string& peer_address() const { return peer_address_; }
  NetworkManager* manager() const { return manager_; }

 private:
  void FreeTls();
  // The time-out to wait with: the caller's, or the configured one, or -1
  // for no limit.
  int WaitSeconds(int timeout) const;
  // Waits as the TLS library asked; false with `prefix` + the reason set.
  bool WaitForTls(int want, int seconds, std::string_view prefix, std::string_view timeout_text);

  NetworkManager* manager_;
  Socket socket_;
  std::string peer_address_;
  void* ssl_ = nullptr;
  void* certificate_ = nullptr;
  void* key_ = nullptr;
  int32_t line_limit_ = 0;
  std::string error_;
};

}  // namespace orin

#endif  // ORIN_NETWORK_NETWORK_CONNECTION_H_

// ClientConnection: the socket of one accepted client, the one owner every
// byte of the request and the response passes through.
//
// It is the byte source the request reader reads from (first the bytes
// that arrived before the request was handed to a connection thread, then
// the socket) and the sink the response goes to: static files through
// Send, script output through the ByteSink operations. One wait limits
// every receive and send on it (30 seconds in service, from the server's
// settings). Destroying it ends the connection gracefully.
#ifndef ORIN_SERVER_CLIENT_CONNECTION_H_
#define ORIN_SERVER_CLIENT_CONNECTION_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/socket.h"
#include "server/request_reader.h"
#include "util/byte_sink.h"

namespace orin {

// A connection as it was accepted: the socket, the client's address and
// whatever the client sent so far (usually its whole request head).
struct AcceptedConnection {
  Socket socket;
  std::string peer;
  std::string received;
  // The client stopped sending before its head was complete: nothing more
  // is read from the socket.
  bool input_ended = false;
};

class ClientConnection : public ByteSource, public ByteSink {
 public:
  static constexpr int kDefaultWaitMillis = 30000;

  ClientConnection(Socket socket, int wait_millis, std::string received = {},
                   bool input_ended = false)
      : socket_(std::move(socket)),
        wait_(wait_millis),
        received_(std::move(received)),
        input_ended_(input_ended) {}
  ~ClientConnection() override { socket_.CloseGracefully(); }

  int32_t Receive(char* buffer, int32_t capacity) override {
    return ReceiveBefore(buffer, capacity, 0);
  }
  // As Receive, but the wait ends at `deadline_ms` (monotonic, 0: none) when
  // that comes first; -1 when it has passed.
  int32_t ReceiveBefore(char* buffer, int32_t capacity, int64_t deadline_ms) override;

  // Sends every byte, waiting up to the wait each time the socket is full.
  // Returns length, the count sent so far when a wait ran out, or -1 when
  // the connection failed (the client is gone).
  int32_t Send(const char* data, int32_t length) { return socket_.SendAll(data, length, wait_); }
  int32_t Send(std::string_view bytes) {
    return Send(bytes.data(), static_cast<int32_t>(bytes.size()));
  }

  // ByteSink: what the output sinks of a script run write through.
  int32_t SendSome(const char* data, int32_t length) override;
  int WaitWritable(int32_t milliseconds) override;
  const std::string& ErrorText() const override;

  Socket& socket() { return socket_; }
  int wait_millis() const { return wait_; }

 private:
  Socket socket_;
  int wait_;
  std::string received_;  // bytes that arrived before the connection thread took over
  size_t received_used_ = 0;
  bool input_ended_;
  mutable std::string error_;
};

}  // namespace orin

#endif  // ORIN_SERVER_CLIENT_CONNECTION_H_

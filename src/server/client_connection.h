// ClientConnection: the socket of one accepted client together with the
// wait that limits every receive and send on it (30 seconds in service).
//
// It is the byte source the request reader reads from and the place the
// response goes: the output sinks wrap Send. Destroying it ends the
// connection gracefully.
#ifndef ORIN_SERVER_CLIENT_CONNECTION_H_
#define ORIN_SERVER_CLIENT_CONNECTION_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/socket.h"
#include "server/request_reader.h"

namespace orin {

class ClientConnection : public ByteSource {
 public:
  static constexpr int kDefaultWaitMillis = 30000;

  ClientConnection(Socket socket, int wait_millis)
      : socket_(std::move(socket)), wait_(wait_millis) {}
  ~ClientConnection() override { socket_.CloseGracefully(); }

  int32_t Receive(char* buffer, int32_t capacity) override {
    return socket_.Receive(buffer, capacity, wait_);
  }
  // Sends every byte, waiting up to the wait each time the socket is full.
  // Returns length, the count sent so far when a wait ran out, or -1 when
  // the connection failed (the client is gone).
  int32_t Send(const char* data, int32_t length) { return socket_.SendAll(data, length, wait_); }
  int32_t Send(std::string_view bytes) {
    return Send(bytes.data(), static_cast<int32_t>(bytes.size()));
  }

  Socket& socket() { return socket_; }
  int wait_millis() const { return wait_; }
  std::string ErrorText() const { return socket_.ErrorText(); }

 private:
  Socket socket_;
  int wait_;
};

}  // namespace orin

#endif  // ORIN_SERVER_CLIENT_CONNECTION_H_

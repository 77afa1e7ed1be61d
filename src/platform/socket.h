// TCP sockets: the listening socket, accepted connections and, for tests
// and tools, plain client connections.
//
// Every wait on a socket has a limit in milliseconds; the server passes 30
// seconds. Sends never raise SIGPIPE: a peer that went away is an error
// result like any other.
#ifndef ORIN_PLATFORM_SOCKET_H_
#define ORIN_PLATFORM_SOCKET_H_

#include <cstddef>
#include <cstdint>
#include <string>

namespace orin {

class Socket {
 public:
  Socket() = default;
  explicit Socket(int fd) : fd_(fd) {}
  ~Socket() { Close(); }
  Socket(Socket&& other) noexcept : fd_(other.fd_), error_(other.error_) { other.fd_ = -1; }
  Socket& operator=(Socket&& other) noexcept;
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  bool valid() const { return fd_ >= 0; }
  int fd() const { return fd_; }

  void Close();
  // Ends the connection so that the peer reads everything that was sent
  // instead of a reset: stops sending, discards what the peer sent that was
  // never read, then closes.
  void CloseGracefully();
  // Closes with a reset, as a client that crashes would (for tests).
  void CloseWithReset();
  void ShutdownWrite();

  // Receives what has arrived, without waiting: the count, 0 when the peer
  // closed, -1 on failure, -2 when nothing is there yet.
  int32_t ReceiveNow(char* buffer, int32_t capacity);
  // Receives up to `capacity` bytes. When none are there yet, waits up to
  // wait_ms for some and tries once more. Returns the count, 0 when the peer
  // closed, -1 on failure or when the wait ran out.
  int32_t Receive(char* buffer, int32_t capacity, int wait_ms);
  // Sends all `length` bytes, waiting up to wait_ms each time the socket is
  // full. Returns length, the count sent so far when a wait ran out, or -1
  // on failure.
  int32_t SendAll(const char* data, int32_t length, int wait_ms);
  // Sends what the socket takes now: the count, 0 when it is full, -1 on
  // failure.
  int32_t SendNow(const char* data, int32_t length);
  // Waits up to wait_ms for room to send: 1, 0 when the time ran out, -1 on
  // failure.
  int WaitWritable(int wait_ms);
  // Waits up to wait_ms for bytes or the peer's close; false on time-out.
  bool WaitReadable(int wait_ms) const;

  // Dotted address of the peer, empty when unknown.
  std::string PeerAddress() const;
  // Local port (the real one after listening on port 0), or -1.
  int LocalPort() const;
  // Sends small writes at once instead of coalescing them.
  bool SetNoDelay();

  int last_error() const { return error_; }
  std::string ErrorText() const;

 private:
  int fd_ = -1;
  int error_ = 0;  // errno of the last failure
};

enum class ListenStatus { kListening, kBindFailed, kFailed };

// Opens a non-blocking IPv4 listening socket with SO_REUSEADDR on
// `address` (dotted; empty means every local interface) and `port` (0 picks
// a free one). Connections are handed over once their first bytes arrived
// (TCP_DEFER_ACCEPT), so a request is usually readable when accepted. On failure *error says why; kBindFailed means the address or
// port could not be taken (usually: in use).
ListenStatus ListenTcp(const std::string& address, int port, int backlog, Socket* listener,
                       std::string* error);

// True when a new TCP socket cannot be bound to `port` on every interface
// because the port is taken (EADDRINUSE); other failures count as free, for
// the listener to report them itself.
bool TcpPortInUse(int port);

// Takes one pending connection off a non-blocking listening socket; the new
// socket is non-blocking too. Returns 1 with *connection set (and the
// peer's dotted address in *peer when asked for, empty when unknown), 0 when
// nothing was pending (another thread took it), -1 on failure (*error says
// why; typically out of descriptors).
int AcceptConnection(const Socket& listener, Socket* connection, std::string* error,
                     std::string* peer = nullptr);

// Waits up to timeout_ms (-1: no limit) until one of `count` descriptors is
// readable or hung up, marking each ready one in ready[]. Returns how many
// are ready, 0 when the time ran out, -1 on failure.
int PollReadable(const int* fds, uint8_t* ready, size_t count, int timeout_ms);

// A blocking client connection to a dotted IPv4 address.
bool ConnectTcp(const std::string& address, int port, Socket* connection, std::string* error);

// The machine's host name, or "127.0.0.1" when it cannot be had.
std::string LocalHostName();

}  // namespace orin

#endif  // ORIN_PLATFORM_SOCKET_H_

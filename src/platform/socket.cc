#include "platform/socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/clock.h"
#include "platform/plain_file.h"

namespace orin {

namespace {

// poll on one descriptor, restarted after signals with the time left.
// Returns true when `events` became ready (or an error/hang-up is pending,
// which the next call then reports).
bool PollOne(int fd, short events, int wait_ms) {
  pollfd p{fd, events, 0};
  int64_t deadline = MonotonicMillis() + wait_ms;
  for (;;) {
    int r = ::poll(&p, 1, wait_ms);
    if (r > 0) return true;
    if (r == 0 || errno != EINTR) return false;
    int64_t left = deadline - MonotonicMillis();
    wait_ms = left > 0 ? static_cast<int>(left) : 0;
  }
}

bool ParseAddress(const std::string& address, int port, sockaddr_in* sa) {
  std::memset(sa, 0, sizeof *sa);
  sa->sin_family = AF_INET;
  sa->sin_port = htons(static_cast<uint16_t>(port));
  if (address.empty()) {
    sa->sin_addr.s_addr = htonl(INADDR_ANY);
    return true;
  }
  return ::inet_pton(AF_INET, address.c_str(), &sa->sin_addr) == 1;
}

}  // namespace

Socket& Socket::operator=(Socket&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.fd_;
    error_ = other.error_;
    other.fd_ = -1;
  }
  return *this;
}

void Socket::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

void Socket::CloseGracefully() {
  if (fd_ < 0) return;
  // Unread bytes at close make the kernel send a reset, which can destroy
  // the response before the peer read it. When nothing is unread (the
  // usual case) a plain close ends the connection in order; otherwise stop
  // sending and drain what is already here (a bounded amount, without
  // waiting).
  char sink[4096];
  if (::recv(fd_, sink, sizeof sink, MSG_DONTWAIT) > 0) {
    ::shutdown(fd_, SHUT_WR);
    for (int i = 0; i < 16; ++i) {
      if (::recv(fd_, sink, sizeof sink, MSG_DONTWAIT) <= 0) break;
    }
  }
  Close();
}

void Socket::CloseWithReset() {
  if (fd_ < 0) return;
  linger l{1, 0};
  ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
  Close();
}

void Socket::ShutdownWrite() {
  if (fd_ >= 0) ::shutdown(fd_, SHUT_WR);
}

int32_t Socket::ReceiveNow(char* buffer, int32_t capacity) {
  if (capacity <= 0) return 0;
  for (;;) {
    ssize_t n = ::recv(fd_, buffer, static_cast<size_t>(capacity), MSG_DONTWAIT);
    if (n >= 0) return static_cast<int32_t>(n);
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return -2;
    error_ = errno;
    return -1;
  }
}

int32_t Socket::Receive(char* buffer, int32_t capacity, int wait_ms) {
  if (capacity <= 0) return 0;
  bool waited = false;
  for (;;) {
    ssize_t n = ::recv(fd_, buffer, static_cast<size_t>(capacity), 0);
    if (n >= 0) return static_cast<int32_t>(n);
    if (errno == EINTR) continue;
    if ((errno != EAGAIN && errno != EWOULDBLOCK) || waited) {
      error_ = errno;
      return -1;
    }
    if (!PollOne(fd_, POLLIN, wait_ms)) {
      error_ = ETIMEDOUT;
      return -1;
    }
    waited = true;
  }
}

int32_t Socket::SendAll(const char* data, int32_t length, int wait_ms) {
  int32_t sent = 0;
  while (sent < length) {
    ssize_t n = ::send(fd_, data + sent, static_cast<size_t>(length - sent), MSG_NOSIGNAL);
    if (n >= 0) {
      sent += static_cast<int32_t>(n);
      continue;
    }
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) {
      error_ = errno;
      return -1;
    }
    if (!PollOne(fd_, POLLOUT, wait_ms)) {
      error_ = ETIMEDOUT;
      return sent;
    }
  }
  return sent;
}

int32_t Socket::SendNow(const char* data, int32_t length) {
  if (length <= 0) return 0;
  for (;;) {
    ssize_t n = ::send(fd_, data, static_cast<size_t>(length), MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n >= 0) return static_cast<int32_t>(n);
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
    error_ = errno;
    return -1;
  }
}

int Socket::WaitWritable(int wait_ms) {
  pollfd p{fd_, POLLOUT, 0};
  int64_t deadline = MonotonicMillis() + (wait_ms < 0 ? 0 : wait_ms);
  for (;;) {
    int64_t left = deadline - MonotonicMillis();
    int r = ::poll(&p, 1, left > 0 ? static_cast<int>(left) : 0);
    if (r > 0) return 1;  // writable, or an error the next send reports
    if (r == 0) return 0;
    if (errno != EINTR) {
      error_ = errno;
      return -1;
    }
  }
}

bool Socket::WaitReadable(int wait_ms) const {
  return PollOne(fd_, POLLIN, wait_ms);
}

std::string Socket::PeerAddress() const {
  sockaddr_in sa;
  socklen_t len = sizeof sa;
  if (::getpeername(fd_, reinterpret_cast<sockaddr*>(&sa), &len) != 0 || sa.sin_family != AF_INET)
    return std::string();
  char text[INET_ADDRSTRLEN];
  if (::inet_ntop(AF_INET, &sa.sin_addr, text, sizeof text) == nullptr) return std::string();
  return text;
}

int Socket::LocalPort() const {
  sockaddr_in sa;
  socklen_t len = sizeof sa;
  if (::getsockname(fd_, reinterpret_cast<sockaddr*>(&sa), &len) != 0) return -1;
  return ntohs(sa.sin_port);
}

bool Socket::SetNoDelay() {
  int one = 1;
  if (::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one) == 0) return true;
  error_ = errno;
  return false;
}

std::string Socket::ErrorText() const {
  return error_ == ETIMEDOUT ? std::string("Timed out") : SystemErrorText(error_);
}

ListenStatus ListenTcp(const std::string& address, int port, int backlog, Socket* listener,
                       std::string* error) {
  sockaddr_in sa;
  if (port < 0 || port > 65535 || !ParseAddress(address, port, &sa)) {
    *error = "Invalid address or port";
    return ListenStatus::kFailed;
  }
  Socket s(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP));
  if (!s.valid()) {
    *error = SystemErrorText(errno);
    return ListenStatus::kFailed;
  }
  int one = 1;
  if (::setsockopt(s.fd(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0) {
    *error = SystemErrorText(errno);
    return ListenStatus::kFailed;
  }
  if (::bind(s.fd(), reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
    *error = SystemErrorText(errno);
    return ListenStatus::kBindFailed;
  }
  // Best effort: without it a connection is accepted before its request.
  int defer_seconds = 1;
  ::setsockopt(s.fd(), IPPROTO_TCP, TCP_DEFER_ACCEPT, &defer_seconds, sizeof defer_seconds);
  if (::listen(s.fd(), backlog) != 0) {
    *error = SystemErrorText(errno);
    return ListenStatus::kFailed;
  }
  *listener = std::move(s);
  return ListenStatus::kListening;
}

bool TcpPortInUse(int port) {
  sockaddr_in sa;
  if (port < 0 || port > 65535 || !ParseAddress("", port, &sa)) return false;
  Socket s(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP));
  if (!s.valid()) return false;
  // The same option as the listener, so a port left in TIME_WAIT counts as free.
  int one = 1;
  ::setsockopt(s.fd(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  return ::bind(s.fd(), reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 && errno == EADDRINUSE;
}

int AcceptConnection(const Socket& listener, Socket* connection, std::string* error,
                     std::string* peer) {
  for (;;) {
    sockaddr_in sa;
    socklen_t len = sizeof sa;
    int fd = ::accept4(listener.fd(), reinterpret_cast<sockaddr*>(&sa), &len,
                       SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd >= 0) {
      *connection = Socket(fd);
      if (peer != nullptr) {
        char text[INET_ADDRSTRLEN];
        bool known = len >= sizeof sa && sa.sin_family == AF_INET &&
                     ::inet_ntop(AF_INET, &sa.sin_addr, text, sizeof text) != nullptr;
        peer->assign(known ? text : "");
      }
      return 1;
    }
    switch (errno) {
      case EINTR:
        continue;
      case EAGAIN:
      case ECONNABORTED:
      case EPROTO:
        return 0;  // taken by another thread, or gone before we got to it
      default:
        *error = SystemErrorText(errno);
        return -1;
    }
  }
}

int PollReadable(const int* fds, uint8_t* ready, size_t count, int timeout_ms) {
  std::vector<pollfd> polls(count);
  for (size_t i = 0; i < count; ++i)
    polls[i] = pollfd{fds[i], POLLIN, 0};
  int64_t deadline = MonotonicMillis() + timeout_ms;
  int r;
  for (;;) {
    r = ::poll(polls.data(), polls.size(), timeout_ms);
    if (r >= 0) break;
    if (errno != EINTR) return -1;
    if (timeout_ms >= 0) {
      int64_t left = deadline - MonotonicMillis();
      timeout_ms = left > 0 ? static_cast<int>(left) : 0;
    }
  }
  for (size_t i = 0; i < count; ++i)
    ready[i] = polls[i].revents != 0 ? 1 : 0;
  return r;
}

bool ConnectTcp(const std::string& address, int port, Socket* connection, std::string* error) {
  sockaddr_in sa;
  if (port <= 0 || port > 65535 || address.empty() || !ParseAddress(address, port, &sa)) {
    *error = "Invalid address or port";
    return false;
  }
  Socket s(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP));
  if (!s.valid()) {
    *error = SystemErrorText(errno);
    return false;
  }
  if (::connect(s.fd(), reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
    *error = SystemErrorText(errno);
    return false;
  }
  *connection = std::move(s);
  return true;
}

std::string LocalHostName() {
  char name[128];
  if (::gethostname(name, sizeof name) != 0) return "127.0.0.1";
  name[sizeof name - 1] = '\0';
  return name;
}

}  // namespace orin

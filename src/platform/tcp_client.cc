#include "platform/tcp_client.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/clock.h"
#include "platform/plain_file.h"

namespace orin {

bool LookupHostAddresses(const std::string& host, int port, std::vector<HostAddress>* out,
                         std::string* error) {
  out->clear();
  addrinfo hints;
  std::memset(&hints, 0, sizeof hints);
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  std::string service = std::to_string(port);
  addrinfo* list = nullptr;
  int rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &list);
  if (rc != 0) {
    *error = rc == EAI_SYSTEM ? SystemErrorText(errno) : ::gai_strerror(rc);
    return false;
  }
  for (addrinfo* a = list; a != nullptr; a = a->ai_next) {
    HostAddress h;
    h.system_family = a->ai_family;
    h.family = a->ai_family == AF_INET ? 4 : a->ai_family == AF_INET6 ? 6 : a->ai_family;
    h.socket_bytes.assign(reinterpret_cast<const char*>(a->ai_addr), a->ai_addrlen);
    char text[NI_MAXHOST];
    if (::getnameinfo(a->ai_addr, a->ai_addrlen, text, sizeof text, nullptr, 0, NI_NUMERICHOST) ==
        0) {
      h.text = text;
    }
    out->push_back(std::move(h));
  }
  ::freeaddrinfo(list);
  return true;
}

ConnectStart StartConnect(const HostAddress& address, Socket* socket, int* err) {
  Socket s(
      ::socket(address.system_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP));
  if (!s.valid()) {
    *err = errno;
    return ConnectStart::kFailed;
  }
  int rc = ::connect(s.fd(), reinterpret_cast<const sockaddr*>(address.socket_bytes.data()),
                     static_cast<socklen_t>(address.socket_bytes.size()));
  ConnectStart result = ConnectStart::kConnected;
  if (rc != 0) {
    if (errno != EINPROGRESS && errno != EINTR) {
      *err = errno;
      return ConnectStart::kFailed;
    }
    result = ConnectStart::kInProgress;
  }
  *socket = std::move(s);
  return result;
}

WaitStatus WaitSocket(const Socket& socket, bool for_write, int seconds, int* err) {
  short wanted = for_write ? POLLOUT : POLLIN;
  pollfd p{socket.fd(), wanted, 0};
  int64_t deadline = seconds < 0 ? 0 : MonotonicMillis() + int64_t{seconds} * 1000;
  for (;;) {
    int wait_ms = -1;
    if (seconds >= 0) {
      int64_t left = deadline - MonotonicMillis();
      wait_ms = left > 0 ? static_cast<int>(left) : 0;
    }
    int r = ::poll(&p, 1, wait_ms);
    if (r > 0) {
      if (p.revents & wanted) return WaitStatus::kReady;
      // A closed peer reads as end of file: readable for a reader.
      if (!for_write && (p.revents & POLLHUP) && !(p.revents & POLLERR)) return WaitStatus::kReady;
      return WaitStatus::kErrorCondition;
    }
    if (r == 0) return WaitStatus::kTimedOut;
    if (errno != EINTR) {
      *err = errno;
      return WaitStatus::kFailed;
    }
  }
}

int PendingSocketError(const Socket& socket) {
  int value = 0;
  socklen_t len = sizeof value;
  if (::getsockopt(socket.fd(), SOL_SOCKET, SO_ERROR, &value, &len) != 0) return errno;
  return value;
}

int32_t ReceiveSome(const Socket& socket, char* buffer, int32_t capacity, bool peek, int* err) {
  if (capacity <= 0) return 0;
  for (;;) {
    ssize_t n = ::recv(socket.fd(), buffer, static_cast<size_t>(capacity),
                       MSG_DONTWAIT | (peek ? MSG_PEEK : 0));
    if (n >= 0) return static_cast<int32_t>(n);
    if (errno == EINTR) continue;
    *err = errno == EWOULDBLOCK ? EAGAIN : errno;
    return -1;
  }
}

int32_t SendSome(const Socket& socket, const char* data, int32_t length, int* err) {
  for (;;) {
    ssize_t n = ::send(socket.fd(), data, static_cast<size_t>(length), MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n >= 0) return static_cast<int32_t>(n);
    if (errno == EINTR) continue;
    *err = errno == EWOULDBLOCK ? EAGAIN : errno;
    return -1;
  }
}

bool SetNonBlocking(const Socket& socket) {
  int flags = ::fcntl(socket.fd(), F_GETFL);
  return flags >= 0 && ::fcntl(socket.fd(), F_SETFL, flags | O_NONBLOCK) == 0;
}

std::string NetworkErrorText(int err) {
  if (err == 0) err = errno;
  switch (err) {
    case EINTR:
      return "Interrupted function call";
    case EACCES:
      return "Permission denied";
    case EFAULT:
      return "Bad address";
    case EINVAL:
      return "Invalid argument";
    case EMFILE:
      return "Too many open files";
    case EAGAIN:
      return "Resource temporarily unavailable";
    case EINPROGRESS:
      return "Operation now in progress";
    case EALREADY:
      return "Operation already in progress";
    case ENOTSOCK:
      return "Socket operation on non-socket";
    case EDESTADDRREQ:
      return "Destination address required";
    case EMSGSIZE:
      return "Message too long";
    case EPROTOTYPE:
      return "Protocol wrong type for socket";
    case ENOPROTOOPT:
      return "Bad protocol option";
    case EPROTONOSUPPORT:
      return "Protocol not supported";
    case ESOCKTNOSUPPORT:
      return "Socket type not supported";
    case EOPNOTSUPP:
      return "Operation not supported";
    case EPFNOSUPPORT:
      return "Protocol family not supported";
    case EAFNOSUPPORT:
      return "Address family not supported by protocol family";
    case EADDRINUSE:
      return "Address already in use";
    case EADDRNOTAVAIL:
      return "Cannot assign requested address";
    case ENETDOWN:
      return "Network is down";
    case ENETUNREACH:
      return "Network is unreachable";
    case ENETRESET:
      return "Network dropped connection on reset";
    case ECONNABORTED:
      return "Software caused connection abort";
    case ECONNRESET:
      return "Connection reset by peer";
    case ENOBUFS:
      return "No buffer space available";
    case EISCONN:
      return "Socket is already connected";
    case ENOTCONN:
      return "Socket is not connected";
    case ESHUTDOWN:
      return "Cannot send after socket shutdown";
    case ETIMEDOUT:
      return "Connection timed out";
    case ECONNREFUSED:
      return "Connection refused";
    case EHOSTDOWN:
      return "Host is down";
    case EHOSTUNREACH:
      return "No route to host";
    case EUSERS:
      return "Too many processes";
    case EPIPE:
      return "Connection reset by peer";
    default:
      return SystemErrorText(err);
  }
}

bool ParseIPv4Text(std::string_view text, uint8_t out[4]) {
  std::string s(text);
  in_addr a;
  if (::inet_pton(AF_INET, s.c_str(), &a) != 1) return false;
  std::memcpy(out, &a, 4);
  return true;
}

bool ParseIPv6Text(std::string_view text, uint8_t out[16]) {
  std::string s(text);
  in6_addr a;
  if (::inet_pton(AF_INET6, s.c_str(), &a) != 1) return false;
  std::memcpy(out, &a, 16);
  return true;
}

std::string IPv4BytesToText(const uint8_t bytes[4]) {
  char text[INET_ADDRSTRLEN];
  return ::inet_ntop(AF_INET, bytes, text, sizeof text) ? std::string(text) : std::string();
}

std::string IPv6BytesToText(const uint8_t bytes[16]) {
  char text[INET6_ADDRSTRLEN];
  return ::inet_ntop(AF_INET6, bytes, text, sizeof text) ? std::string(text) : std::string();
}

}  // namespace orin

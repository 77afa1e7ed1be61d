// Outgoing TCP connections: name resolution, non-blocking connect, readiness
// waits in whole seconds, and the texts of socket errors.
//
// The network layer builds its connections, SOCKS and TLS on these calls; it
// keeps every message of its own and asks here only for the system's part.
#ifndef ORIN_PLATFORM_TCP_CLIENT_H_
#define ORIN_PLATFORM_TCP_CLIENT_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/socket.h"

namespace orin {

// One address a name resolved to, ready to connect to.
struct HostAddress {
  int family = 0;            // 4, 6, or the system's family number otherwise
  int system_family = 0;     // the system's own family number
  std::string text;          // numeric form, empty when it has none
  std::string socket_bytes;  // the system's address structure, port included
};

// Resolves `host` for TCP stream sockets of any family. An empty result
// with false means the lookup failed; *error then holds the resolver's text.
bool LookupHostAddresses(const std::string& host, int port, std::vector<HostAddress>* out,
                         std::string* error);

enum class ConnectStart { kConnected, kInProgress, kFailed };

// Creates a non-blocking socket of the address's family and starts to
// connect. *err is the errno of a failure.
ConnectStart StartConnect(const HostAddress& address, Socket* socket, int* err);

enum class WaitStatus { kReady, kTimedOut, kFailed, kErrorCondition };

// Waits until the socket is readable (or writable). seconds < 0 waits
// without limit. kErrorCondition: the socket reports an error or hang-up
// without the wanted readiness (a failed connect). *err is set on kFailed.
WaitStatus WaitSocket(const Socket& socket, bool for_write, int seconds, int* err);

// The pending error of a socket whose connect finished (SO_ERROR), 0 when
// it connected.
int PendingSocketError(const Socket& socket);

// One non-blocking receive (peek leaves the bytes queued) or send. Returns
// the count, 0 for a receive when the peer closed, -1 with *err set
// (EAGAIN when nothing was ready).
int32_t ReceiveSome(const Socket& socket, char* buffer, int32_t capacity, bool peek, int* err);
int32_t SendSome(const Socket& socket, const char* data, int32_t length, int* err);

// Switches the socket to non-blocking mode.
bool SetNonBlocking(const Socket& socket);

// The text of a socket error: the fixed texts of the common errors, the
// system's message otherwise. 0 means the last error of this thread.
std::string NetworkErrorText(int err);

// Numeric address texts to bytes and back.
bool ParseIPv4Text(std::string_view text, uint8_t out[4]);
bool ParseIPv6Text(std::string_view text, uint8_t out[16]);
std::string IPv4BytesToText(const uint8_t bytes[4]);
std::string IPv6BytesToText(const uint8_t bytes[16]);

}  // namespace orin

#endif  // ORIN_PLATFORM_TCP_CLIENT_H_

#include "platform/host_lookup.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/random.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

namespace orin {

std::string ReverseLookup(std::string_view dotted_address) {
  std::string text(dotted_address);
  sockaddr_in address;
  std::memset(&address, 0, sizeof address);
  address.sin_family = AF_INET;
  if (inet_pton(AF_INET, text.c_str(), &address.sin_addr) != 1) return {};
  char host[NI_MAXHOST];
  if (getnameinfo(reinterpret_cast<sockaddr*>(&address), sizeof address, host, sizeof host,
                  nullptr, 0, NI_NAMEREQD) != 0) {
    return {};
  }
  return host;
}

bool SecureRandomBytes(void* buffer, size_t length) {
  auto* p = static_cast<unsigned char*>(buffer);
  while (length > 0) {
    ssize_t n = getrandom(p, length, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    length -= static_cast<size_t>(n);
  }
  return true;
}

}  // namespace orin

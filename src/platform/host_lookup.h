// Name services the request environment needs.
#ifndef ORIN_PLATFORM_HOST_LOOKUP_H_
#define ORIN_PLATFORM_HOST_LOOKUP_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace orin {

// The host name of a dotted IPv4 address by reverse lookup; empty when the
// address does not parse or has no name.
std::string ReverseLookup(std::string_view dotted_address);

// Fills `buffer` from the kernel's cryptographic random source; false when
// it cannot.
bool SecureRandomBytes(void* buffer, size_t length);

}  // namespace orin

#endif  // ORIN_PLATFORM_HOST_LOOKUP_H_

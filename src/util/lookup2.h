// Bob Jenkins' 1996 lookup2 hash ("hash()"), the function that places names
// in the buckets of compiled files and of every keyed table. The compiler
// fills buckets with it, so it must be computed exactly.
#ifndef ORIN_UTIL_LOOKUP2_H_
#define ORIN_UTIL_LOOKUP2_H_

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace orin {

// The hash of `length` bytes with the given initial value.
uint32_t Lookup2(const void* key, size_t length, uint32_t initval);

// The hash of the bytes after ASCII lower-casing, initial value 0: the hash
// of every case-insensitive name.
uint32_t Lookup2Lower(const void* key, size_t length);
inline uint32_t Lookup2Lower(std::string_view name) { return Lookup2Lower(name.data(), name.size()); }

}  // namespace orin

#endif  // ORIN_UTIL_LOOKUP2_H_

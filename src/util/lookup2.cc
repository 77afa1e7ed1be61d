#include "util/lookup2.h"

#include "util/ascii.h"

namespace orin {

namespace {

inline void Mix(uint32_t& a, uint32_t& b, uint32_t& c) {
  a -= b; a -= c; a ^= (c >> 13);
  b -= c; b -= a; b ^= (a << 8);
  c -= a; c -= b; c ^= (b >> 13);
  a -= b; a -= c; a ^= (c >> 12);
  b -= c; b -= a; b ^= (a << 16);
  c -= a; c -= b; c ^= (b >> 5);
  a -= b; a -= c; a ^= (c >> 3);
  b -= c; b -= a; b ^= (a << 10);
  c -= a; c -= b; c ^= (b >> 15);
}

// Fetch transforms each byte before it is mixed in (identity or lower-case).
template <typename Fetch>
uint32_t Hash(const unsigned char* k, size_t length, uint32_t initval, Fetch fetch) {
  uint32_t a = 0x9e3779b9, b = 0x9e3779b9, c = initval;
  size_t len = length;
  auto at = [&](size_t i) { return static_cast<uint32_t>(fetch(k[i])); };
  while (len >= 12) {
    a += at(0) + (at(1) << 8) + (at(2) << 16) + (at(3) << 24);
    b += at(4) + (at(5) << 8) + (at(6) << 16) + (at(7) << 24);
    c += at(8) + (at(9) << 8) + (at(10) << 16) + (at(11) << 24);
    Mix(a, b, c);
    k += 12;
    len -= 12;
  }
  c += static_cast<uint32_t>(length);
  switch (len) {  // every case falls through
    case 11: c += at(10) << 24; [[fallthrough]];
    case 10: c += at(9) << 16; [[fallthrough]];
    case 9: c += at(8) << 8; [[fallthrough]];
    // the low byte of c holds the length
    case 8: b += at(7) << 24; [[fallthrough]];
    case 7: b += at(6) << 16; [[fallthrough]];
    case 6: b += at(5) << 8; [[fallthrough]];
    case 5: b += at(4); [[fallthrough]];
    case 4: a += at(3) << 24; [[fallthrough]];
    case 3: a += at(2) << 16; [[fallthrough]];
    case 2: a += at(1) << 8; [[fallthrough]];
    case 1: a += at(0); [[fallthrough]];
    case 0: break;
  }
  Mix(a, b, c);
  return c;
}

}  // namespace

uint32_t Lookup2(const void* key, size_t length, uint32_t initval) {
  return Hash(static_cast<const unsigned char*>(key), length, initval,
              [](unsigned char ch) { return ch; });
}

uint32_t Lookup2Lower(const void* key, size_t length) {
  return Hash(static_cast<const unsigned char*>(key), length, 0, [](unsigned char ch) {
    return static_cast<unsigned char>(AsciiLower(static_cast<char>(ch)));
  });
}

}  // namespace orin

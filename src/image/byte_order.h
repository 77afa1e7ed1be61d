// Little-endian integers of the compiled file format, assembled byte by byte
// so that nothing depends on the host's byte order or alignment.
#ifndef ORIN_IMAGE_BYTE_ORDER_H_
#define ORIN_IMAGE_BYTE_ORDER_H_

#include <cstdint>
#include <cstring>
#include <string>

namespace orin {

inline uint16_t GetLE16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t GetLE32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint64_t GetLE64(const uint8_t* p) {
  return static_cast<uint64_t>(GetLE32(p)) | (static_cast<uint64_t>(GetLE32(p + 4)) << 32);
}
inline double GetLEDouble(const uint8_t* p) {
  uint64_t bits = GetLE64(p);
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}

inline void PutLE16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutLE32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i)
    p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void PutLE64(uint8_t* p, uint64_t v) {
  for (int i = 0; i < 8; ++i)
    p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline uint64_t DoubleBits(double d) {
  uint64_t bits;
  std::memcpy(&bits, &d, sizeof bits);
  return bits;
}

// Appends little-endian values to a byte string; the section writers build
// each section in memory and hand it to the container in one write.
class ByteWriter {
 public:
  explicit ByteWriter(std::string* out) : out_(out) {}
  void U8(uint8_t v) { out_->push_back(static_cast<char>(v)); }
  void U16(uint16_t v) {
    uint8_t b[2];
    PutLE16(b, v);
    out_->append(reinterpret_cast<char*>(b), 2);
  }
  void U32(uint32_t v) {
    uint8_t b[4];
    PutLE32(b, v);
    out_->append(reinterpret_cast<char*>(b), 4);
  }
  void U64(uint64_t v) {
    uint8_t b[8];
    PutLE64(b, v);
    out_->append(reinterpret_cast<char*>(b), 8);
  }
  void Bytes(const void* p, size_t n) { out_->append(static_cast<const char*>(p), n); }

 private:
  std::string* out_;
};

}  // namespace orin

#endif  // ORIN_IMAGE_BYTE_ORDER_H_

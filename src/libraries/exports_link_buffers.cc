// Exported interface: link buffers (ztLinkBuffer_*).
#include <cstdlib>

#include "libraries/exports.h"
#include "variables/link_buffer.h"
#include "variables/variable.h"

using namespace orin;

extern "C" {

ztLinkBuffer* ztLinkBuffer_Allocate(int32_t first_size, int32_t growth_size) {
  return Handle(new LinkBuffer(first_size > 0 ? static_cast<uint32_t>(first_size) : 0,
                               growth_size > 0 ? static_cast<uint32_t>(growth_size) : 0));
}

void ztLinkBuffer_Free(ztLinkBuffer* buffer) {
  delete Host(buffer);
}

char* ztLinkBuffer_Release(ztLinkBuffer* buffer, int32_t* length, int32_t* capacity) {
  uint32_t n = 0, room = 0;
  char* data = Host(buffer)->Release(&n, &room);
  if (length != nullptr) *length = static_cast<int32_t>(n);
  if (capacity != nullptr) *capacity = static_cast<int32_t>(room);
  return data;
}

void ztLinkBuffer_Concat_Char(ztLinkBuffer* buffer, char c) {
  Host(buffer)->Concat_Char(c);
}

void ztLinkBuffer_Concat_Double(ztLinkBuffer* buffer, double value) {
  Host(buffer)->Concat_Double(value);
}

void ztLinkBuffer_Concat_HexChar(ztLinkBuffer* buffer, unsigned char byte) {
  Host(buffer)->Concat_HexChar(byte);
}

void ztLinkBuffer_Concat_Int(ztLinkBuffer* buffer, int32_t value) {
  Host(buffer)->Concat_Int(value);
}

void ztLinkBuffer_Concat_String(ztLinkBuffer* buffer, const char* bytes, int32_t length) {
  Host(buffer)->Concat(MeasuredText(bytes, length));
}

void ztLinkBuffer_Concat_String_Nocopy(ztLinkBuffer* buffer, char* bytes, int32_t length,
                                       int32_t capacity) {
  if (bytes == nullptr) return;
  if (length < 0 || capacity < length) {
    Host(buffer)->Concat(MeasuredText(bytes, length));
    std::free(bytes);
    return;
  }
  Host(buffer)->Concat_String_Nocopy(bytes, static_cast<uint32_t>(length),
                                     static_cast<uint32_t>(capacity));
}

void ztLinkBuffer_Concat_Variable(ztLinkBuffer* buffer, ztVariable* v) {
  if (v != nullptr) Host(buffer)->Concat_Variable(Host(v));
}

const char* ztLinkBuffer_Data(ztLinkBuffer* buffer, int32_t* length) {
  uint32_t n = 0;
  const char* data = Host(buffer)->Data(&n);
  if (length != nullptr) *length = static_cast<int32_t>(n);
  return data;
}

}  // extern "C"

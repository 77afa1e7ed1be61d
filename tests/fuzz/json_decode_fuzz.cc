// Fuzzes JSON decoding: any bytes go through the decoder into a variable.
// When they decode, the value is encoded (both layouts) and the compact
// encoding must decode again; where it holds no escaped byte above 0x7F
// (which decodes to UTF-8 and so re-encodes differently) the second
// encoding must equal the first.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "variables/json_decode.h"
#include "variables/json_encode.h"
#include "variables/link_buffer.h"
#include "variables/variable.h"

namespace {

std::string Encode(orin::Variable* v, uint32_t options, bool utf8) {
  orin::LinkBuffer out(4096, 4096);
  orin::JsonEncode(v, options, utf8, &out);
  return out.ToString();
}

bool HasHighByteEscape(const std::string& s) {
  for (size_t i = 0; i + 5 < s.size(); ++i) {
    if (s[i] == '\\' && s[i + 1] == 'u' && s[i + 2] == '0' && s[i + 3] == '0' &&
        (s[i + 4] >= '8' || (s[i + 4] >= 'A' && s[i + 4] <= 'F'))) {
      return true;
    }
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  orin::VarRef v = orin::NewVariable();
  orin::JSONDecoder decoder(v.get(), reinterpret_cast<const char*>(data), size);
  if (!decoder.Decode()) {
    if (decoder.ErrorText().view().rfind("Line #", 0) != 0) std::abort();
    if (v->ElementTree() != nullptr || !v->IsNULL()) std::abort();  // cleared
    return 0;
  }
  Encode(v.get(), orin::kJsonIndent | orin::kJsonLiterals, true);
  std::string first = Encode(v.get(), 0, false);
  orin::VarRef w = orin::NewVariable();
  orin::ByteString error;
  if (!orin::JsonDecode(first, w.get(), &error)) std::abort();
  if (!HasHighByteEscape(first) && Encode(w.get(), 0, false) != first) std::abort();
  return 0;
}

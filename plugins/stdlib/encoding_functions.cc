// Encodings (b64_, hex_, url_, html_, json_), digests (hash_) and
// identifiers (id_).
#include "call.h"
#include "core/digests.h"
#include "core/encodings.h"
#include "functions.h"

namespace orin_std {

namespace {

using Encoder = std::string (*)(std::string_view);
using Decoder = bool (*)(std::string_view, std::string*, std::string*);

void Encode(Call& c, Encoder encode) {
  std::string_view text;
  if (c.Text(0, &text)) c.ReturnText(encode(text));
}

void Decode(Call& c, Decoder decode) {
  std::string_view text;
  std::string out, error;
  if (!c.Text(0, &text)) return;
  if (!decode(text, &out, &error)) return void(c.Fail(error));
  c.ReturnText(out);
}

void DigestOf(Call& c, std::string_view algorithm) {
  std::string_view text;
  std::string hex, error;
  if (!c.Text(0, &text)) return;
  if (!Digest(algorithm, text, &hex, &error)) return void(c.Fail(error));
  c.ReturnText(hex);
}

}  // namespace

void B64Encode(Call& c) {
  Encode(c, Base64Encode);
}
void B64Decode(Call& c) {
  Decode(c, Base64Decode);
}
void HexEncodeFn(Call& c) {
  Encode(c, HexEncode);
}
void HexDecodeFn(Call& c) {
  Decode(c, HexDecode);
}
void UrlEncodeFn(Call& c) {
  Encode(c, UrlEncode);
}
void UrlDecodeFn(Call& c) {
  Decode(c, UrlDecode);
}
void HtmlEncodeFn(Call& c) {
  Encode(c, HtmlEncode);
}
void HtmlDecodeFn(Call& c) {
  Encode(c, HtmlDecode);
}

void JsonEncode(Call& c) {
  ztVariable* value = c.Arg(0);
  int64_t options;
  if (value == nullptr || !c.IntegerIn(1, 0, 3, &options)) return;
  ztLinkBuffer* buffer = ztLinkBuffer_Allocate(0, 0);
  if (buffer == nullptr) return void(c.Fail("out of memory"));
  if (ztProgram_JSON_Encode(c.program(), value, static_cast<uint32_t>(options), buffer)) {
    int32_t length = 0;
    const char* text = ztLinkBuffer_Data(buffer, &length);
    c.ReturnText(std::string_view(text, static_cast<size_t>(length)));
  } else {
    c.Fail("the value cannot be written as JSON");
  }
  ztLinkBuffer_Free(buffer);
}

void JsonDecode(Call& c) {
  std::string_view text;
  if (!c.Text(0, &text)) return;
  char* error = nullptr;
  int32_t error_length = 0, capacity = 0;
  if (ztProgram_JSON_Decode(c.program(), text.data(), static_cast<int32_t>(text.size()), c.result(),
                            &error, &error_length, &capacity)) {
    return;
  }
  std::string message = error != nullptr ? std::string(error, static_cast<size_t>(error_length))
                                         : std::string("the text is not JSON");
  if (error != nullptr) ztProgram_Free(c.program(), error);
  c.Fail(message);
}

void HashMd5(Call& c) {
  DigestOf(c, "md5");
}
void HashSha1(Call& c) {
  DigestOf(c, "sha1");
}
void HashSha256(Call& c) {
  DigestOf(c, "sha256");
}

void HashHmac(Call& c) {
  std::string_view text, key, algorithm;
  std::string hex, error;
  if (!c.Text(0, &text) || !c.Text(1, &key) || !c.Text(2, &algorithm)) return;
  if (!Hmac(algorithm, key, text, &hex, &error)) return void(c.Fail(error));
  c.ReturnText(hex);
}

void IdUuid(Call& c) {
  std::string out, error;
  if (!NewUuid(&out, &error)) return void(c.Fail(error));
  c.ReturnText(out);
}

void IdRandom(Call& c) {
  int64_t bytes;
  std::string out, error;
  if (!c.IntegerIn(0, 1, 1024, &bytes)) return;
  if (!RandomHex(static_cast<size_t>(bytes), &out, &error)) return void(c.Fail(error));
  c.ReturnText(out);
}

void IdSession(Call& c) {
  // The server's own form, so that identifiers look alike whoever made them.
  int32_t length = 0;
  char* id = ztProgram_MakeSessionID(c.program(), &length);
  if (id != nullptr && length > 0) {
    c.ReturnText(std::string_view(id, static_cast<size_t>(length)));
    ztProgram_Free(c.program(), id);
    return;
  }
  if (id != nullptr) ztProgram_Free(c.program(), id);
  std::string out, error;
  if (!RandomHex(16, &out, &error)) return void(c.Fail(error));
  c.ReturnText(out);
}

}  // namespace orin_std

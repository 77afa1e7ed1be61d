// Encodings of byte texts. Decoders refuse malformed input with a message
// naming the first bad byte's position (from 1) rather than guessing.
#ifndef ORIN_STD_CORE_ENCODINGS_H_
#define ORIN_STD_CORE_ENCODINGS_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace orin_std {

// RFC 4648 with padding.
std::string Base64Encode(std::string_view bytes);
// Blanks and line breaks are skipped; the padding may be left out.
bool Base64Decode(std::string_view text, std::string* out, std::string* error);

// Lower-case digits; the decoder takes either case.
std::string HexEncode(std::string_view bytes);
bool HexDecode(std::string_view text, std::string* out, std::string* error);

// Every byte but A-Z a-z 0-9 - . _ ~ as %XX (upper-case digits).
std::string UrlEncode(std::string_view bytes);
// %XX sequences and '+' for a space.
bool UrlDecode(std::string_view text, std::string* out, std::string* error);

// & < > " ' as entities.
std::string HtmlEncode(std::string_view text);
// Named entities of XML and HTML's nbsp/copy/reg, and &#N; &#xN; as UTF-8;
// anything else that looks like an entity is kept as written.
std::string HtmlDecode(std::string_view text);

// Position (from 1) of the first byte that does not belong to a well-formed
// UTF-8 sequence (no overlong forms, surrogates or values past U+10FFFF), or
// 0 when the whole text is UTF-8.
size_t Utf8InvalidAt(std::string_view text);
// Characters in a UTF-8 text.
size_t Utf8Length(std::string_view text);
// `length` characters from character `start` (1 .. count + 1).
bool Utf8Sub(std::string_view text, int64_t start, int64_t length, std::string_view* out,
             std::string* error);

// Between any two character sets iconv knows ("UTF-8", "ISO-8859-1",
// "WINDOWS-1252", ...); a byte the source set does not have, or a character
// the target set cannot hold, is an error.
bool ConvertCharset(std::string_view text, std::string_view from, std::string_view to,
                    std::string* out, std::string* error);

}  // namespace orin_std

#endif  // ORIN_STD_CORE_ENCODINGS_H_

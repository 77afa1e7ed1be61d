// Base64 (RFC 4648, standard alphabet with '=' padding), as the mail logins
// exchange their challenges and answers.
#ifndef ORIN_UTIL_BASE64_H_
#define ORIN_UTIL_BASE64_H_

#include <string>
#include <string_view>

namespace orin {

std::string Base64Encode(std::string_view bytes);
// Decodes `text`, ignoring whitespace; false on any other character outside
// the alphabet, on misplaced padding or on a dangling final character.
bool Base64Decode(std::string_view text, std::string* out);

}  // namespace orin

#endif  // ORIN_UTIL_BASE64_H_

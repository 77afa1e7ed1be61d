// The content type of a file, decided by the extension of its path.
//
// Trailing ".", "/" and "\" are ignored; a path without an extension, or
// with one longer than 127 bytes (dot included), is "text/plain"; ".ztc" in
// any letter case is a compiled script; anything else is looked up in the
// system's type table and is "text/plain" when unknown there.
#ifndef ORIN_SERVER_CONTENT_TYPE_H_
#define ORIN_SERVER_CONTENT_TYPE_H_

#include <string_view>

#include "platform/mime_types.h"

namespace orin {

inline constexpr std::string_view kDefaultContentType = "text/plain";
inline constexpr std::string_view kCompiledScriptType = "application/x-zeto-compiled";

std::string_view ContentTypeOf(std::string_view path, const MimeTypes& types);
inline std::string_view ContentTypeOf(std::string_view path) {
  return ContentTypeOf(path, MimeTypes::System());
}

}  // namespace orin

#endif  // ORIN_SERVER_CONTENT_TYPE_H_

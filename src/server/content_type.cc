#include "server/content_type.h"

#include "util/ascii.h"

namespace orin {

namespace {

constexpr size_t kMaxExtensionLength = 127;  // dot included

bool IsSeparator(char c) {
  return c == '/' || c == '\\';
}

}  // namespace

std::string_view ContentTypeOf(std::string_view path, const MimeTypes& types) {
  size_t end = path.size();
  while (end > 0 && (path[end - 1] == '.' || IsSeparator(path[end - 1])))
    --end;
  size_t dot = end;
  while (dot > 0 && path[dot - 1] != '.' && !IsSeparator(path[dot - 1]))
    --dot;
  if (dot == 0 || IsSeparator(path[dot - 1])) return kDefaultContentType;
  std::string_view extension = path.substr(dot - 1, end - dot + 1);  // with its dot
  if (extension.size() > kMaxExtensionLength) return kDefaultContentType;
  if (EqualsNoCase(extension, ".ztc")) return kCompiledScriptType;
  std::string_view type = types.Find(extension.substr(1));
  return type.empty() ? kDefaultContentType : type;
}

}  // namespace orin

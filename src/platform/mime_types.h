// MimeTypes: the system's table of content types by file extension.
//
// Read from /etc/mime.types ("type ext ext ..." lines, "#" comments); when
// that file is missing a small built-in table of common types stands in.
// Extensions are looked up without their dot, ignoring letter case.
#ifndef ORIN_PLATFORM_MIME_TYPES_H_
#define ORIN_PLATFORM_MIME_TYPES_H_

#include <string>
#include <string_view>

#include "util/byte_string.h"
#include "util/hash_table.h"

namespace orin {

class MimeTypes {
 public:
  static constexpr const char* kSystemFile = "/etc/mime.types";

  MimeTypes() : types_(10, true) {}

  // Adds the types of a mime.types file; an extension listed twice keeps its
  // first type. False when the file cannot be read.
  bool LoadFile(const std::string& path);
  void LoadBuiltIn();

  // The type of an extension (without the dot), or empty when unknown.
  std::string_view Find(std::string_view extension) const;
  size_t size() const { return types_.size(); }

  // The process-wide table: the system file, else the built-in one. Loaded
  // on first use; safe to call from any thread.
  static const MimeTypes& System();

 private:
  void Add(std::string_view extension, std::string_view type);

  HashTable<ByteString> types_;
};

}  // namespace orin

#endif  // ORIN_PLATFORM_MIME_TYPES_H_

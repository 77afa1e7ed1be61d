// ScriptArea: what a connection thread needs of the file system: request
// paths resolved inside the script root, and files opened for reading.
//
// Each connection thread has its own area (no locking needed). The file
// manager provides the real one; DirectoryScriptArea serves a plain
// directory.
#ifndef ORIN_SERVER_SCRIPT_AREA_H_
#define ORIN_SERVER_SCRIPT_AREA_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "util/file_identity.h"
#include "util/stream.h"

namespace orin {

class ScriptArea {
 public:
  virtual ~ScriptArea() = default;

  // Makes `root` the directory request paths are resolved in; false
  // (ErrorText) when it is refused. Until a root is accepted nothing
  // resolves.
  virtual bool SetRoot(const std::string& root) = 0;

  // Resolves a request path as received ("/" and "\" separate components)
  // to an existing file or directory inside the root. False (ErrorText)
  // when it is missing or would lie outside the root. *identity, when asked
  // for, tells this version of the file from others (unknown when the area
  // cannot tell).
  virtual bool Resolve(std::string_view request_path, std::string* file_path, bool* is_directory,
                       FileIdentity* identity = nullptr) = 0;

  // Opens a path Resolve returned for reading and gives its size in bytes;
  // null (ErrorText) on failure.
  virtual std::unique_ptr<Stream> OpenForReading(const std::string& file_path, int64_t* size) = 0;

  virtual const std::string& ErrorText() const = 0;
};

}  // namespace orin

#endif  // ORIN_SERVER_SCRIPT_AREA_H_

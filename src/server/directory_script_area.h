// DirectoryScriptArea: a script area over a plain directory.
//
// Request paths are split at "/" and "\"; empty and "." components are
// skipped, ".." and NUL bytes are refused, and a path whose real location
// (symbolic links followed) leaves the root is refused too. Only regular
// files are opened.
#ifndef ORIN_SERVER_DIRECTORY_SCRIPT_AREA_H_
#define ORIN_SERVER_DIRECTORY_SCRIPT_AREA_H_

#include <string>

#include "server/script_area.h"

namespace orin {

class DirectoryScriptArea : public ScriptArea {
 public:
  bool SetRoot(const std::string& root) override;
  bool Resolve(std::string_view request_path, std::string* file_path, bool* is_directory,
               FileIdentity* identity = nullptr) override;
  std::unique_ptr<Stream> OpenForReading(const std::string& file_path, int64_t* size) override;
  const std::string& ErrorText() const override { return error_; }

  const std::string& root() const { return root_; }

 private:
  bool Fail(const char* text) {
    error_ = text;
    return false;
  }
  bool Inside(const std::string& path) const;

  std::string root_;  // canonical; empty until accepted
  std::string error_;
};

}  // namespace orin

#endif  // ORIN_SERVER_DIRECTORY_SCRIPT_AREA_H_

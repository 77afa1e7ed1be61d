// Lockfile: the ZtLOCKFILE block. Its body runs while the run holds the
// lock file "<name>.lck" in the data area (the protocol is the file
// manager's); destroying the feature, at the closing tag or when the block
// is left any other way, deletes the lock file.
#ifndef ORIN_VM_LOCKFILE_H_
#define ORIN_VM_LOCKFILE_H_

#include <string>
#include <string_view>

#include "vm/feature.h"

namespace orin {

class FileManager;

class Lockfile : public Feature {
 public:
  // The lock path is `name` + ".lck".
  Lockfile(FileManager* files, ZetoVM_Frame* frame, std::string_view name);
  ~Lockfile() override;  // releases the lock when it was acquired

  // Takes the lock, waiting as the file manager does. False with ErrorText
  // "Error creating lockfile '<path>': <reason>".
  bool Acquire();
  bool acquired() const { return acquired_; }
  const std::string& path() const { return path_; }

  virtual const std::string& ErrorText() const { return error_; }
  virtual void SetError(std::string text) { error_ = std::move(text); }

 private:
  FileManager* files_;
  std::string path_;
  std::string error_;
  bool acquired_ = false;
};

}  // namespace orin

#endif  // ORIN_VM_LOCKFILE_H_

#include "vm/lockfile.h"

#include "files/file_manager.h"

namespace orin {

Lockfile::Lockfile(FileManager* files, ZetoVM_Frame* frame, std::string_view name)
    : Feature(FeatureKind::kLockfile, frame), files_(files) {
  path_.assign(name);
  path_ += ".lck";
}

Lockfile::~Lockfile() {
  if (acquired_) files_->ReleaseLock(kDataArea, path_);
}

bool Lockfile::Acquire() {
  std::string reason;
  if (files_ == nullptr) {
    reason = "No file manager";
  } else if (files_->AcquireLock(kDataArea, path_) == kLockAcquired) {
    acquired_ = true;
    return true;
  } else {
    reason = files_->ErrorText();
  }
  SetError("Error creating lockfile '" + path_ + "': " + reason);
  return false;
}

}  // namespace orin

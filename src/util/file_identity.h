// FileIdentity: what tells one version of a file from another without
// reading it: device, inode, size, modification and status-change times. A
// file replaced by a rename has a new inode; one rewritten in place a new
// size or times (the change time moves even when a tool puts the
// modification time back).
#ifndef ORIN_UTIL_FILE_IDENTITY_H_
#define ORIN_UTIL_FILE_IDENTITY_H_

#include <cstdint>

namespace orin {

struct FileIdentity {
  uint64_t device = 0;
  uint64_t inode = 0;
  int64_t size = -1;  // -1: unknown (nothing matches it)
  int64_t modified_ns = 0;
  int64_t changed_ns = 0;

  bool known() const { return size >= 0; }
  bool operator==(const FileIdentity&) const = default;
};

}  // namespace orin

#endif  // ORIN_UTIL_FILE_IDENTITY_H_

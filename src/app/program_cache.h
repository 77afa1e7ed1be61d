// ProgramCache: the bytes of compiled programs, kept by the process so that
// a request for an unchanged program reads no file.
//
// An entry is found by the program's resolved path and its FileIdentity
// (device, inode, size, modification and change times) as the request saw
// it. A
// program edited in place or replaced by a rename has another identity, so
// the next request reads the new file; a cached version is never served
// for a file that changed. An entry is stored only when the file showed
// the same identity before and after it was read (so a copy read while
// someone was writing it is never kept) and when that identity is at least
// two seconds old: a second change within the file system's timestamp
// granularity could otherwise leave the identity unchanged.
//
// Shared by every connection thread; a lookup takes a lock for the length
// of a map search and hands out a shared reference.
#ifndef ORIN_APP_PROGRAM_CACHE_H_
#define ORIN_APP_PROGRAM_CACHE_H_

#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "util/file_identity.h"
#include "util/stream.h"

namespace orin {

class ProgramCache {
 public:
  static constexpr size_t kMaxEntries = 512;
  static constexpr size_t kMaxBytes = size_t{64} << 20;

  // The process's cache.
  static ProgramCache& Shared();

  // The bytes stored for `path` with exactly this identity, or null.
  std::shared_ptr<const std::string> Find(const std::string& path, const FileIdentity& identity);
  // Stores what was read from `path`; `before` and `after` are the file's
  // identities around the read and `now_ns` the wall-clock time (the entry
  // is kept only under the rules above). Evicts the least recently stored
  // entries beyond the limits.
  void Store(const std::string& path, const FileIdentity& before, const FileIdentity& after,
             int64_t now_ns, std::shared_ptr<const std::string> bytes);

  size_t size() const;
  void Clear();

 private:
  struct Entry {
    FileIdentity identity;
    std::shared_ptr<const std::string> bytes;
    std::list<std::string>::iterator order;
  };

  mutable std::mutex lock_;
  std::unordered_map<std::string, Entry> entries_;  // guarded by lock_
  std::list<std::string> order_;                    // oldest first; guarded by lock_
  size_t bytes_ = 0;                                // guarded by lock_
};

// Opens one program's bytes, whatever the name asked for: the container of
// a run reads every section, early or late, from the same version.
class BytesStreamOpener : public StreamOpener {
 public:
  explicit BytesStreamOpener(std::shared_ptr<const std::string> bytes) : bytes_(std::move(bytes)) {}
  Stream* OpenStream(std::string_view name, uint32_t mode) override;
  void CloseStream(Stream* stream) override { delete stream; }
  const std::string& ErrorText() const override { return error_; }

 private:
  std::shared_ptr<const std::string> bytes_;
  std::string error_;
};

}  // namespace orin

#endif  // ORIN_APP_PROGRAM_CACHE_H_

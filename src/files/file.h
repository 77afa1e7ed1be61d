// File: an open file reached through a FileManager.
//
// A managed file takes part in the manager's handle cache: when a request
// holds more handles than it may, the least recently used file's handle is
// closed (its position saved) and reopened transparently at the next use.
// An unmanaged file (kOpenUnmanaged) always keeps its handle. Byte-range
// locks belong to this open file: another File on the same path, in this
// thread, another thread or another process, is excluded by them. They are
// advisory: a read or write is never refused because another holds a
// range, so reads need no retry under a lock of their own.
#ifndef ORIN_FILES_FILE_H_
#define ORIN_FILES_FILE_H_

#include <cstdint>
#include <string>

#include "platform/file_system.h"
#include "util/stream.h"

namespace orin {

class FileManager;

class File : public Stream {
 public:
  // Closes the handle and leaves the manager's lists. Destroy files before
  // their manager, or after it (the manager lets go of them when it dies).
  ~File() override;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Positions and transfers; -1 on failure with ErrorText set. Read and
  // Write move at most `count` bytes (Read returns 0 at the end).
  int64_t Seek(int64_t offset) override { return Seek(offset, SeekOrigin::kBegin); }
  int64_t Seek(int64_t offset, SeekOrigin origin);
  int64_t Tell();
  int32_t Read(void* buffer, int32_t count) override;
  int32_t Write(const void* buffer, int32_t count) override;
  // At an absolute offset, leaving the position alone.
  int32_t ReadAt(int64_t offset, void* buffer, int32_t count);
  int32_t WriteAt(int64_t offset, const void* buffer, int32_t count);
  int64_t Size();
  // The user and group ids that own the file; -1 on failure.
  int64_t OwnerId();
  int64_t GroupId();
  bool Truncate(int64_t length);

  // Locks [offset, offset + length), shared or exclusive. With `wait` the
  // call blocks until the range is free; without, a conflict fails at once.
  bool LockRegion(int64_t offset, int64_t length, bool exclusive, bool wait);
  bool UnlockRegion(int64_t offset, int64_t length);

  // Opens the path again with the same access and returns to the saved
  // position; the handle cache uses it after CloseHandleOnly.
  bool Reopen();
  // Closes the handle but keeps the file, remembering the position.
  void CloseHandleOnly();

  bool IsOpen() const { return handle_.valid(); }
  bool managed() const { return managed_; }
  // The absolute canonical path.
  const std::string& path() const { return path_; }
  const std::string& ErrorText() const override { return error_; }
  void SetError(std::string text) { error_ = std::move(text); }

 private:
  friend class FileManager;
  enum class Cache { kNone, kActive, kInactive };

  File(FileManager* manager, std::string path, int root, bool read, bool write, bool managed);
  // Makes sure there is a handle, reopening through the manager if needed.
  bool Ready();
  bool Fail(int err);
  int64_t FailValue(int err);
  // Runs op(count, &done) once the handle is ready.
  template <typename Op>
  int32_t Transfer(int32_t count, Op op);

  FileManager* manager_;
  std::string path_;
  int root_;  // the manager's root the path was resolved in; -1 none
  bool read_;
  bool write_;
  bool managed_;
  FileHandle handle_;
  int64_t saved_position_ = 0;
  int32_t region_locks_ = 0;  // held byte-range locks; such a handle is never closed early
  std::string error_;

  // The manager's active or inactive list, least recently used first.
  Cache cache_ = Cache::kNone;
  File* prev_ = nullptr;
  File* next_ = nullptr;
};

}  // namespace orin

#endif  // ORIN_FILES_FILE_H_

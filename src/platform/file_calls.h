// FileCalls: the system calls under FileHandle and Directory, behind one
// replaceable object so that tests can make any of them fail on purpose.
//
// Every FileHandle and Directory operation that can change or read a file
// makes its calls through CurrentFileCalls(): the real calls unless a test
// installed another implementation (ScopedFileCalls). Each method makes one
// attempt and returns 0 or an errno value; retries on EINTR and short
// transfers stay in the callers, so a replacement sees (and can fail) every
// attempt. Anything built on FileHandle — the file manager, lock files,
// tables — is covered without knowing about it.
#ifndef ORIN_PLATFORM_FILE_CALLS_H_
#define ORIN_PLATFORM_FILE_CALLS_H_

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace orin {

// What a call does, for implementations that count or filter.
enum class FileCall {
  kOpen,
  kRead,
  kWrite,
  kLock,
  kRename,
  kLink,
  kUnlink,
  kMakeDirectory,
  kSync,
  kTruncate,
  kCopy
};

class FileCalls {
 public:
  virtual ~FileCalls() = default;

  // openat2 beneath `directory` when `beneath` (escapes give EXDEV), else
  // openat; O_CLOEXEC is the caller's business.
  virtual int Open(int directory, const char* path, int flags, uint32_t mode, bool beneath,
                   int* fd);
  // One read or write, at `offset` or (offset < 0) at the position.
  virtual int Read(int fd, void* buffer, size_t count, int64_t offset, size_t* done);
  virtual int Write(int fd, const void* buffer, size_t count, int64_t offset, size_t* done);
  // An open-file-description lock; `type` is F_RDLCK, F_WRLCK or F_UNLCK.
  virtual int Lock(int fd, int64_t offset, int64_t length, short type, bool wait);
  virtual int Rename(int from_directory, const char* from, int to_directory, const char* to,
                     bool replace);
  virtual int Link(int from_directory, const char* from, int to_directory, const char* to);
  virtual int Unlink(int directory, const char* name, bool is_directory);
  virtual int MakeDirectory(int directory, const char* name);
  virtual int Sync(int fd);
  virtual int Truncate(int fd, int64_t length);
  // One copy_file_range of up to `count` bytes at both positions.
  virtual int CopyRange(int from_fd, int to_fd, size_t count, size_t* done);
};

namespace file_calls_internal {
extern std::atomic<FileCalls*> current;
}

inline FileCalls& CurrentFileCalls() {
  return *file_calls_internal::current.load(std::memory_order_relaxed);
}

// Installs `calls` for the whole process for the object's lifetime (tests
// only: no file operation may be running meanwhile).
class ScopedFileCalls {
 public:
  explicit ScopedFileCalls(FileCalls* calls);
  ~ScopedFileCalls();
  ScopedFileCalls(const ScopedFileCalls&) = delete;
  ScopedFileCalls& operator=(const ScopedFileCalls&) = delete;

 private:
  FileCalls* previous_;
};

// The real calls, failing the Nth counted one (1-based; 0 never) with the
// errno a full or failing disk gives: ENOSPC for writes, creating opens,
// renames, links, new directories and copies; EIO for reads, other opens,
// fsync, truncation and unlinking; ENOLCK for locks. A failing write of
// more than one byte first writes half of it, as a disk that fills up
// midway does. Unlocks are never failed (the kernel does not fail them).
class FaultInjectingFileCalls : public FileCalls {
 public:
  explicit FaultInjectingFileCalls(int64_t fail_at) : fail_at_(fail_at) {}

  // Calls counted so far, and whether the chosen one was failed.
  int64_t count() const { return count_.load(); }
  bool failed() const { return failed_.load(); }
  FileCall failed_call() const { return failed_call_; }
  // The errno the failed call returned.
  int failed_errno() const { return failed_errno_; }

  int Open(int directory, const char* path, int flags, uint32_t mode, bool beneath,
           int* fd) override;
  int Read(int fd, void* buffer, size_t count, int64_t offset, size_t* done) override;
  int Write(int fd, const void* buffer, size_t count, int64_t offset, size_t* done) override;
  int Lock(int fd, int64_t offset, int64_t length, short type, bool wait) override;
  int Rename(int from_directory, const char* from, int to_directory, const char* to,
             bool replace) override;
  int Link(int from_directory, const char* from, int to_directory, const char* to) override;
  int Unlink(int directory, const char* name, bool is_directory) override;
  int MakeDirectory(int directory, const char* name) override;
  int Sync(int fd) override;
  int Truncate(int fd, int64_t length) override;
  int CopyRange(int from_fd, int to_fd, size_t count, size_t* done) override;

 private:
  // `err` when this call is the one to fail, else 0.
  int Fails(FileCall call, int err);

  int64_t fail_at_;
  std::atomic<int64_t> count_{0};
  std::atomic<bool> failed_{false};
  std::atomic<int> pending_fd_{-1};  // the rest of a half-done write on it fails
  FileCall failed_call_ = FileCall::kOpen;
  int failed_errno_ = 0;
};

}  // namespace orin

#endif  // ORIN_PLATFORM_FILE_CALLS_H_

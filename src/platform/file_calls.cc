#include "platform/file_calls.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

namespace orin {

namespace {

FileCalls real_calls;

int Result(long r) {
  return r < 0 ? errno : 0;
}

}  // namespace

namespace file_calls_internal {
std::atomic<FileCalls*> current{&real_calls};
}

// The real calls ---------------------------------------------------------------

int FileCalls::Open(int directory, const char* path, int flags, uint32_t mode, bool beneath,
                    int* fd) {
  long r;
  if (beneath) {
    struct open_how how = {};
    how.flags = static_cast<uint64_t>(flags);
    how.mode = (flags & O_CREAT) ? mode : 0;
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
    r = ::syscall(SYS_openat2, directory, path, &how, sizeof how);
  } else {
    r = ::openat(directory, path, flags, mode);
  }
  if (r < 0) return errno;
  *fd = static_cast<int>(r);
  return 0;
}

int FileCalls::Read(int fd, void* buffer, size_t count, int64_t offset, size_t* done) {
  ssize_t n = offset < 0 ? ::read(fd, buffer, count)
                         : ::pread(fd, buffer, count, static_cast<off_t>(offset));
  if (n < 0) return errno;
  *done = static_cast<size_t>(n);
  return 0;
}

int FileCalls::Write(int fd, const void* buffer, size_t count, int64_t offset, size_t* done) {
  ssize_t n = offset < 0 ? ::write(fd, buffer, count)
                         : ::pwrite(fd, buffer, count, static_cast<off_t>(offset));
  if (n < 0) return errno;
  *done = static_cast<size_t>(n);
  return 0;
}

int FileCalls::Lock(int fd, int64_t offset, int64_t length, short type, bool wait) {
  struct flock lock = {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = offset;
  lock.l_len = length;
  return Result(::fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &lock));
}

int FileCalls::Rename(int from_directory, const char* from, int to_directory, const char* to,
                      bool replace) {
  return Result(
      ::renameat2(from_directory, from, to_directory, to, replace ? 0 : RENAME_NOREPLACE));
}

int FileCalls::Link(int from_directory, const char* from, int to_directory, const char* to) {
  return Result(::linkat(from_directory, from, to_directory, to, 0));
}

int FileCalls::Unlink(int directory, const char* name, bool is_directory) {
  return Result(::unlinkat(directory, name, is_directory ? AT_REMOVEDIR : 0));
}

int FileCalls::MakeDirectory(int directory, const char* name) {
  return Result(::mkdirat(directory, name, 0777));
}

int FileCalls::Sync(int fd) {
  return Result(::fdatasync(fd));
}

int FileCalls::Truncate(int fd, int64_t length) {
  return Result(::ftruncate(fd, static_cast<off_t>(length)));
}

int FileCalls::CopyRange(int from_fd, int to_fd, size_t count, size_t* done) {
  ssize_t n = ::copy_file_range(from_fd, nullptr, to_fd, nullptr, count, 0);
  if (n < 0) return errno;
  *done = static_cast<size_t>(n);
  return 0;
}

ScopedFileCalls::ScopedFileCalls(FileCalls* calls)
    : previous_(file_calls_internal::current.exchange(calls)) {}

ScopedFileCalls::~ScopedFileCalls() {
  file_calls_internal::current.store(previous_);
}

// Failing the Nth call ---------------------------------------------------------

int FaultInjectingFileCalls::Fails(FileCall call, int err) {
  if (count_.fetch_add(1) + 1 != fail_at_) return 0;
  failed_call_ = call;
  failed_errno_ = err;
  failed_ = true;
  return err;
}

int FaultInjectingFileCalls::Open(int directory, const char* path, int flags, uint32_t mode,
                                  bool beneath, int* fd) {
  if (int err = Fails(FileCall::kOpen, (flags & O_CREAT) ? ENOSPC : EIO)) return err;
  return FileCalls::Open(directory, path, flags, mode, beneath, fd);
}

int FaultInjectingFileCalls::Read(int fd, void* buffer, size_t count, int64_t offset,
                                  size_t* done) {
  if (int err = Fails(FileCall::kRead, EIO)) return err;
  return FileCalls::Read(fd, buffer, count, offset, done);
}

int FaultInjectingFileCalls::Write(int fd, const void* buffer, size_t count, int64_t offset,
                                   size_t* done) {
  int pending = fd;
  if (pending_fd_.compare_exchange_strong(pending, -1)) return ENOSPC;
  if (int err = Fails(FileCall::kWrite, ENOSPC)) {
    if (count < 2) return err;
    pending_fd_ = fd;
    return FileCalls::Write(fd, buffer, count / 2, offset, done);
  }
  return FileCalls::Write(fd, buffer, count, offset, done);
}

int FaultInjectingFileCalls::Lock(int fd, int64_t offset, int64_t length, short type, bool wait) {
  if (type != F_UNLCK) {
    if (int err = Fails(FileCall::kLock, ENOLCK)) return err;
  }
  return FileCalls::Lock(fd, offset, length, type, wait);
}

int FaultInjectingFileCalls::Rename(int from_directory, const char* from, int to_directory,
                                    const char* to, bool replace) {
  if (int err = Fails(FileCall::kRename, ENOSPC)) return err;
  return FileCalls::Rename(from_directory, from, to_directory, to, replace);
}

int FaultInjectingFileCalls::Link(int from_directory, const char* from, int to_directory,
                                  const char* to) {
  if (int err = Fails(FileCall::kLink, ENOSPC)) return err;
  return FileCalls::Link(from_directory, from, to_directory, to);
}

int FaultInjectingFileCalls::Unlink(int directory, const char* name, bool is_directory) {
  if (int err = Fails(FileCall::kUnlink, EIO)) return err;
  return FileCalls::Unlink(directory, name, is_directory);
}

int FaultInjectingFileCalls::MakeDirectory(int directory, const char* name) {
  if (int err = Fails(FileCall::kMakeDirectory, ENOSPC)) return err;
  return FileCalls::MakeDirectory(directory, name);
}

int FaultInjectingFileCalls::Sync(int fd) {
  if (int err = Fails(FileCall::kSync, EIO)) return err;
  return FileCalls::Sync(fd);
}

int FaultInjectingFileCalls::Truncate(int fd, int64_t length) {
  if (int err = Fails(FileCall::kTruncate, EIO)) return err;
  return FileCalls::Truncate(fd, length);
}

int FaultInjectingFileCalls::CopyRange(int from_fd, int to_fd, size_t count, size_t* done) {
  if (int err = Fails(FileCall::kCopy, ENOSPC)) return err;
  return FileCalls::CopyRange(from_fd, to_fd, count, done);
}

}  // namespace orin

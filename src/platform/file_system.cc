#include "platform/file_system.h"

#include "platform/file_calls.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>

namespace orin {

namespace {

// Closes a raw descriptor at the end of a scope.
class ScopedFd {
 public:
  explicit ScopedFd(int fd = -1) : fd_(fd) {}
  ~ScopedFd() {
    if (fd_ >= 0) ::close(fd_);
  }
  ScopedFd(const ScopedFd&) = delete;
  ScopedFd& operator=(const ScopedFd&) = delete;
  int get() const { return fd_; }
  int* out() { return &fd_; }

 private:
  int fd_;
};

void FillStatus(const struct stat& st, FileStatus* status) {
  status->directory = S_ISDIR(st.st_mode);
  status->regular = S_ISREG(st.st_mode);
  status->permissions = st.st_mode & 07777;
  status->links = static_cast<uint32_t>(st.st_nlink);
  status->device = st.st_dev;
  status->inode = st.st_ino;
  status->size = st.st_size;
  status->modified_seconds = st.st_mtim.tv_sec;
  status->modified_nanoseconds = st.st_mtim.tv_nsec;
  status->owner = st.st_uid;
  status->group = st.st_gid;
  status->changed_ns = int64_t{st.st_ctim.tv_sec} * 1000000000 + st.st_ctim.tv_nsec;
}

// Modification time `seconds`, or now; the access time stays.
void ModifiedTimes(struct timespec times[2], int64_t seconds, bool now) {
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_sec = static_cast<time_t>(seconds);
  times[1].tv_nsec = now ? UTIME_NOW : 0;
}

int FcntlLock(int fd, short type, int64_t offset, int64_t length, bool wait) {
  int err;
  do {
    err = CurrentFileCalls().Lock(fd, offset, length, type, wait);
  } while (err == EINTR);
  // A conflict is EAGAIN or EACCES depending on the kernel; callers test one.
  return err == EACCES ? EAGAIN : err;
}

// Moves up to `count` bytes one call at a time (offset < 0: at the
// position), retrying interruptions and short transfers.
template <typename Call>
int TransferAll(size_t count, int64_t offset, bool stop_at_end, size_t* done, Call call) {
  *done = 0;
  while (*done < count) {
    size_t n = 0;
    int err =
        call(*done, count - *done, offset < 0 ? -1 : offset + static_cast<int64_t>(*done), &n);
    if (err == EINTR) continue;
    if (err != 0) return err;
    if (n == 0 && stop_at_end) break;
    *done += n;
  }
  return 0;
}

}  // namespace

// FileHandle ------------------------------------------------------------------

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

void FileHandle::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

namespace {

int ReadLoop(int fd, int64_t offset, void* buffer, size_t count, size_t* done) {
  auto* p = static_cast<char*>(buffer);
  return TransferAll(count, offset, true, done,
                     [&](size_t at, size_t n, int64_t where, size_t* got) {
                       return CurrentFileCalls().Read(fd, p + at, n, where, got);
                     });
}

int WriteLoop(int fd, int64_t offset, const void* buffer, size_t count, size_t* done) {
  const auto* p = static_cast<const char*>(buffer);
  return TransferAll(count, offset, false, done,
                     [&](size_t at, size_t n, int64_t where, size_t* put) {
                       return CurrentFileCalls().Write(fd, p + at, n, where, put);
                     });
}

}  // namespace

int FileHandle::Read(void* buffer, size_t count, size_t* done) {
  return ReadLoop(fd_, -1, buffer, count, done);
}

int FileHandle::Write(const void* buffer, size_t count, size_t* done) {
  return WriteLoop(fd_, -1, buffer, count, done);
}

int FileHandle::ReadAt(int64_t offset, void* buffer, size_t count, size_t* done) {
  *done = 0;
  return offset < 0 ? EINVAL : ReadLoop(fd_, offset, buffer, count, done);
}

int FileHandle::WriteAt(int64_t offset, const void* buffer, size_t count, size_t* done) {
  *done = 0;
  return offset < 0 ? EINVAL : WriteLoop(fd_, offset, buffer, count, done);
}

int FileHandle::Seek(int64_t offset, SeekOrigin origin, int64_t* position) {
  int whence = origin == SeekOrigin::kBegin ? SEEK_SET
               : origin == SeekOrigin::kEnd ? SEEK_END
                                            : SEEK_CUR;
  off_t r = ::lseek(fd_, static_cast<off_t>(offset), whence);
  if (r < 0) return errno;
  *position = r;
  return 0;
}

int FileHandle::Status(FileStatus* status) const {
  struct stat st;
  if (::fstat(fd_, &st) != 0) return errno;
  FillStatus(st, status);
  return 0;
}

int FileHandle::Truncate(int64_t length) {
  int err;
  do {
    err = CurrentFileCalls().Truncate(fd_, length);
  } while (err == EINTR);
  return err;
}

int FileHandle::Sync() {
  return CurrentFileCalls().Sync(fd_);
}

int FileHandle::SetPermissions(uint32_t permissions) {
  return ::fchmod(fd_, permissions & 07777) == 0 ? 0 : errno;
}

int FileHandle::Lock(int64_t offset, int64_t length, bool exclusive, bool wait) {
  return FcntlLock(fd_, exclusive ? F_WRLCK : F_RDLCK, offset, length, wait);
}

int FileHandle::Unlock(int64_t offset, int64_t length) {
  return FcntlLock(fd_, F_UNLCK, offset, length, false);
}

int FileHandle::CopyFrom(FileHandle& source) {
  // copy_file_range lets the file system share or clone blocks; it refuses
  // some pairs of files, and then plain reads and writes do the job.
  for (;;) {
    size_t n = 0;
    int err = CurrentFileCalls().CopyRange(source.fd_, fd_, 1 << 30, &n);
    if (err == 0 && n == 0) return 0;
    if (err == 0 || err == EINTR) continue;
    if (err != EXDEV && err != EINVAL && err != ENOSYS && err != EOPNOTSUPP && err != EBADF) {
      return err;
    }
    break;
  }
  auto buffer = std::make_unique<char[]>(1 << 16);
  for (;;) {
    size_t got = 0, put = 0;
    if (int err = source.Read(buffer.get(), 1 << 16, &got)) return err;
    if (got == 0) return 0;
    if (int err = Write(buffer.get(), got, &put)) return err;
  }
}

int FileHandle::SetModified(int64_t seconds, bool now) {
  struct timespec times[2];
  ModifiedTimes(times, seconds, now);
  return ::futimens(fd_, times) == 0 ? 0 : errno;
}

// Directory -------------------------------------------------------------------

Directory& Directory::operator=(Directory&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.fd_;
    confined_ = other.confined_;
    path_ = std::move(other.path_);
    shared_ = std::move(other.shared_);
    other.fd_ = -1;
  }
  return *this;
}

namespace {

std::mutex shared_directories_lock;
// By path; a server has a few areas, so the map stays small.
std::map<std::string, std::shared_ptr<const int>>& SharedDirectories() {
  static auto* directories = new std::map<std::string, std::shared_ptr<const int>>();
  return *directories;
}
constexpr size_t kMaxSharedDirectories = 64;

}  // namespace

int Directory::OpenShared(const std::string& path) {
  {
    std::lock_guard<std::mutex> hold(shared_directories_lock);
    auto it = SharedDirectories().find(path);
    if (it != SharedDirectories().end()) {
      Close();
      confined_ = true;
      shared_ = it->second;
      fd_ = *shared_;
      path_ = path;
      return 0;
    }
  }
  if (int err = Open(path)) return err;
  std::lock_guard<std::mutex> hold(shared_directories_lock);
  auto& directories = SharedDirectories();
  if (directories.size() >= kMaxSharedDirectories || directories.count(path) != 0) return 0;
  // From now on the descriptor belongs to the shared record.
  shared_ = std::shared_ptr<const int>(new int(fd_), [](const int* fd) {
    ::close(*fd);
    delete fd;
  });
  directories[path] = shared_;
  return 0;
}

void Directory::ForgetShared() {
  std::lock_guard<std::mutex> hold(shared_directories_lock);
  SharedDirectories().clear();
}

int Directory::Open(const std::string& path) {
  Close();
  confined_ = true;
  int fd = -1;
  if (int err = CurrentFileCalls().Open(AT_FDCWD, path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC, 0,
                                        false, &fd)) {
    return err;
  }
  fd_ = fd;
  path_ = path;
  return 0;
}

Directory Directory::Unconfined() {
  Directory d;
  d.fd_ = AT_FDCWD;
  d.confined_ = false;
  return d;
}

int Directory::Duplicate(Directory* copy) const {
  copy->Close();
  copy->confined_ = confined_;
  copy->path_ = path_;
  if (!confined_) {
    copy->fd_ = AT_FDCWD;
    return 0;
  }
  if (fd_ < 0) return EBADF;
  int fd = ::fcntl(fd_, F_DUPFD_CLOEXEC, 0);
  if (fd < 0) return errno;
  copy->fd_ = fd;
  return 0;
}

void Directory::Close() {
  if (shared_ != nullptr) {
    shared_.reset();
  } else if (confined_ && fd_ >= 0) {
    ::close(fd_);
  }
  fd_ = -1;
}

int Directory::OpenBeneath(const std::string& path, int flags, uint32_t mode, int* fd) const {
  flags |= O_CLOEXEC;
  if (!confined_) {
    int err;
    do {
      err = CurrentFileCalls().Open(AT_FDCWD, path.c_str(), flags, mode, false, fd);
    } while (err == EINTR);
    return err;
  }
  if (fd_ < 0) return EBADF;
  const char* p = path.empty() ? "." : path.c_str();
  // EAGAIN means a rename raced with the lookup; the kernel asks for a retry.
  for (int attempt = 0;; ++attempt) {
    int err = CurrentFileCalls().Open(fd_, p, flags, mode, true, fd);
    if (err == 0) return 0;
    if (err == EINTR || (err == EAGAIN && attempt < 100)) continue;
    return err == EXDEV ? kErrorEscapes : err;
  }
}

int Directory::OpenParent(const std::string& path, int* parent_fd, std::string* leaf) const {
  size_t slash = path.rfind('/');
  std::string parent;
  if (slash == std::string::npos) {
    if (!confined_) return EINVAL;  // unconfined paths are absolute
    *leaf = path;
  } else {
    parent = slash == 0 ? std::string("/") : path.substr(0, slash);
    *leaf = path.substr(slash + 1);
  }
  if (leaf->empty() || *leaf == "." || *leaf == "..") {
    return confined_ && *leaf == ".." ? kErrorEscapes : EINVAL;
  }
  return OpenBeneath(parent, O_PATH | O_DIRECTORY, 0, parent_fd);
}

int Directory::OpenFile(const std::string& path, bool read, bool write, Disposition disposition,
                        FileHandle* file) const {
  int flags = read && write ? O_RDWR : write ? O_WRONLY : O_RDONLY;
  switch (disposition) {
    case Disposition::kOpenExisting:
      break;
    case Disposition::kOpenAlways:
      flags |= O_CREAT;
      break;
    case Disposition::kCreateNew:
      flags |= O_CREAT | O_EXCL;
      break;
    case Disposition::kCreateAlways:
      flags |= O_CREAT | O_TRUNC;
      break;
    case Disposition::kTruncateExisting:
      flags |= O_TRUNC;
      break;
  }
  int fd = -1;
  if (int err = OpenBeneath(path, flags, 0666, &fd)) return err;
  FileHandle opened;
  opened.fd_ = fd;
  struct stat st;
  if (::fstat(fd, &st) != 0) return errno;
  // Reading a directory through a file handle only fails later, and less clearly.
  if (S_ISDIR(st.st_mode)) return EISDIR;
  *file = std::move(opened);
  return 0;
}

int Directory::Status(const std::string& path, FileStatus* status) const {
  ScopedFd fd;
  if (int err = OpenBeneath(path, O_PATH, 0, fd.out())) return err;
  struct stat st;
  if (::fstat(fd.get(), &st) != 0) return errno;
  FillStatus(st, status);
  return 0;
}

int Directory::StatusNoFollow(const std::string& path, FileStatus* status) const {
  ScopedFd parent;
  std::string leaf;
  if (int err = OpenParent(path, parent.out(), &leaf)) return err;
  struct stat st;
  if (::fstatat(parent.get(), leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return errno;
  FillStatus(st, status);
  return 0;
}

int Directory::SetModified(const std::string& path, int64_t seconds, bool now) const {
  ScopedFd fd;
  if (int err = OpenBeneath(path, O_PATH, 0, fd.out())) return err;
  struct timespec times[2];
  ModifiedTimes(times, seconds, now);
  return ::utimensat(fd.get(), "", times, AT_EMPTY_PATH) == 0 ? 0 : errno;
}

int Directory::SetPermissions(const std::string& path, uint32_t permissions) const {
  ScopedFd fd;
  if (int err = OpenBeneath(path, O_PATH, 0, fd.out())) return err;
  // fchmod refuses path-only descriptors; the descriptor's /proc entry
  // names exactly the file that was resolved, not the path again.
  char name[64];
  std::snprintf(name, sizeof name, "/proc/self/fd/%d", fd.get());
  return ::chmod(name, permissions & 07777) == 0 ? 0 : errno;
}

int Directory::List(const std::string& path, std::vector<std::string>* names) const {
  int fd = -1;
  if (int err = OpenBeneath(path, O_RDONLY | O_DIRECTORY, 0, &fd)) return err;
  DIR* dir = ::fdopendir(fd);
  if (dir == nullptr) {
    int err = errno;
    ::close(fd);
    return err;
  }
  int err = 0;
  for (;;) {
    errno = 0;
    struct dirent* entry = ::readdir(dir);
    if (entry == nullptr) {
      err = errno;
      break;
    }
    names->emplace_back(entry->d_name);
  }
  ::closedir(dir);
  return err;
}

int Directory::Unlink(const std::string& path) const {
  ScopedFd parent;
  std::string leaf;
  if (int err = OpenParent(path, parent.out(), &leaf)) return err;
  return CurrentFileCalls().Unlink(parent.get(), leaf.c_str(), false);
}

int Directory::MakeDirectory(const std::string& path) const {
  ScopedFd parent;
  std::string leaf;
  if (int err = OpenParent(path, parent.out(), &leaf)) return err;
  return CurrentFileCalls().MakeDirectory(parent.get(), leaf.c_str());
}

int Directory::RemoveDirectory(const std::string& path) const {
  ScopedFd parent;
  std::string leaf;
  if (int err = OpenParent(path, parent.out(), &leaf)) return err;
  return CurrentFileCalls().Unlink(parent.get(), leaf.c_str(), true);
}

int Directory::Link(const std::string& from, const Directory& to_directory,
                    const std::string& to) const {
  ScopedFd from_parent, to_parent;
  std::string from_leaf, to_leaf;
  if (int err = OpenParent(from, from_parent.out(), &from_leaf)) return err;
  if (int err = to_directory.OpenParent(to, to_parent.out(), &to_leaf)) return err;
  return CurrentFileCalls().Link(from_parent.get(), from_leaf.c_str(), to_parent.get(),
                                 to_leaf.c_str());
}

int Directory::Rename(const std::string& from, const Directory& to_directory, const std::string& to,
                      bool replace) const {
  ScopedFd from_parent, to_parent;
  std::string from_leaf, to_leaf;
  if (int err = OpenParent(from, from_parent.out(), &from_leaf)) return err;
  if (int err = to_directory.OpenParent(to, to_parent.out(), &to_leaf)) return err;
  return CurrentFileCalls().Rename(from_parent.get(), from_leaf.c_str(), to_parent.get(),
                                   to_leaf.c_str(), replace);
}

}  // namespace orin

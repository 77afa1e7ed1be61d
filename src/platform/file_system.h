// Thin wrappers over the Linux file calls the sandboxed file manager needs.
//
// Every call returns 0 or an errno value (never throws, never leaves the
// answer in errno), so callers can keep the code and turn it into a message
// with SystemErrorText (platform/plain_file.h). A Directory resolves paths
// from an open directory; a confined one refuses any resolution that would
// leave it (a ".." too far, an absolute symbolic link, a link that climbs out)
// with kErrorEscapes, which is not an errno value.
#ifndef ORIN_PLATFORM_FILE_SYSTEM_H_
#define ORIN_PLATFORM_FILE_SYSTEM_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace orin {

// The resolution of a path would have left its confined directory.
constexpr int kErrorEscapes = -1;

struct FileStatus {
  bool directory = false;
  bool regular = false;
  uint32_t permissions = 0;  // the low 12 mode bits
  uint32_t links = 0;
  uint64_t device = 0;
  uint64_t inode = 0;
  int64_t size = 0;
  int64_t modified_seconds = 0;  // since the epoch
  int64_t modified_nanoseconds = 0;
  uint32_t owner = 0;  // user and group ids
  uint32_t group = 0;
  int64_t changed_ns = 0;  // status change (inode) time, nanoseconds since the epoch
};

// How an open treats an existing or missing file.
enum class Disposition {
  kOpenExisting,      // fails when missing
  kOpenAlways,        // creates when missing
  kCreateNew,         // fails when present
  kCreateAlways,      // creates or truncates
  kTruncateExisting,  // fails when missing
};

enum class SeekOrigin { kBegin, kCurrent, kEnd };

// An open file description. Byte-range locks belong to the description, so
// two FileHandles on one file exclude each other even inside one process.
class FileHandle {
 public:
  FileHandle() = default;
  ~FileHandle() { Close(); }
  FileHandle(FileHandle&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  FileHandle& operator=(FileHandle&& other) noexcept;
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;

  bool valid() const { return fd_ >= 0; }
  void Close();

  // Transfer up to `count` bytes, retrying short transfers; *done receives
  // what moved even when an error ends the loop. Reads stop at end of file.
  int Read(void* buffer, size_t count, size_t* done);
  int Write(const void* buffer, size_t count, size_t* done);
  int ReadAt(int64_t offset, void* buffer, size_t count, size_t* done);
  int WriteAt(int64_t offset, const void* buffer, size_t count, size_t* done);
  int Seek(int64_t offset, SeekOrigin origin, int64_t* position);
  int Status(FileStatus* status) const;
  int Truncate(int64_t length);
  int Sync();
  int SetPermissions(uint32_t permissions);

  // Byte-range locks on [offset, offset + length). A waiting lock blocks
  // until granted; otherwise a conflict returns EAGAIN at once.
  int Lock(int64_t offset, int64_t length, bool exclusive, bool wait);
  int Unlock(int64_t offset, int64_t length);

  // Copies the rest of `source` from its position to this handle's.
  int CopyFrom(FileHandle& source);
  // Sets the modification time (seconds since the epoch), or now when
  // `now` is set; the access time is left alone.
  int SetModified(int64_t seconds, bool now);

 private:
  friend class Directory;
  int fd_ = -1;
};

class Directory {
 public:
  Directory() = default;
  ~Directory() { Close(); }
  Directory(Directory&& other) noexcept
      : fd_(other.fd_),
        confined_(other.confined_),
        path_(std::move(other.path_)),
        shared_(std::move(other.shared_)) {
    other.fd_ = -1;
  }
  Directory& operator=(Directory&& other) noexcept;
  Directory(const Directory&) = delete;
  Directory& operator=(const Directory&) = delete;

  // Opens `path` (absolute) as a confined directory.
  int Open(const std::string& path);
  // The same, but the first open of a path is kept by the process and
  // shared by every later OpenShared of that path (a server's areas are
  // opened once, not once per request). The shared descriptor is closed
  // when ForgetShared has dropped it and no Directory uses it any more.
  int OpenShared(const std::string& path);
  // Later OpenShared calls open their paths afresh (settings reloaded: a
  // directory may have been replaced under the same name).
  static void ForgetShared();
  // Resolves paths as the process does, absolute or from the working
  // directory, following every link.
  static Directory Unconfined();
  int Duplicate(Directory* copy) const;
  void Close();
  bool valid() const { return fd_ >= 0 || !confined_; }
  bool confined() const { return confined_; }

  // Paths below are relative to this directory for a confined one (the
  // empty path is the directory itself) and as given for an unconfined one;
  // components are separated by '/', already normalised. The last component
  // of an open follows links (inside the directory only, when confined).
  int OpenFile(const std::string& path, bool read, bool write, Disposition disposition,
               FileHandle* file) const;
  // Following links.
  int Status(const std::string& path, FileStatus* status) const;
  int SetModified(const std::string& path, int64_t seconds, bool now) const;
  int SetPermissions(const std::string& path, uint32_t permissions) const;
  // Every name in the directory at `path`, "." and ".." included.
  int List(const std::string& path, std::vector<std::string>* names) const;

  // These act on the last component itself, never on what a link there
  // points at, so they cannot reach outside through it.
  int StatusNoFollow(const std::string& path, FileStatus* status) const;
  int Unlink(const std::string& path) const;
  int MakeDirectory(const std::string& path) const;
  int RemoveDirectory(const std::string& path) const;
  // Gives `from` the second name `to` (in `to_directory`); EEXIST when `to`
  // exists. Atomic, and it works on network file systems.
  int Link(const std::string& from, const Directory& to_directory, const std::string& to) const;
  // Moves `from` to `to`, replacing what is there unless `replace` is false
  // (then EEXIST). EXDEV when the two are on different file systems.
  int Rename(const std::string& from, const Directory& to_directory, const std::string& to,
             bool replace) const;

 private:
  int OpenBeneath(const std::string& path, int flags, uint32_t mode, int* fd) const;
  int OpenParent(const std::string& path, int* parent_fd, std::string* leaf) const;

  int fd_ = -1;
  bool confined_ = true;
  std::string path_;
  // Set when fd_ is a descriptor shared through OpenShared; it is closed
  // with the last holder.
  std::shared_ptr<const int> shared_;
};

}  // namespace orin

#endif  // ORIN_PLATFORM_FILE_SYSTEM_H_

// FileManager: every file a script touches, confined to three areas.
//
// Scripts name files relative to an area (kDataArea, kScriptArea,
// kTemporaryArea; the temporary area falls back to the data directory). A
// path that leaves its area is refused before anything is opened: by "..",
// and, because every area operation resolves beneath the open root
// directory, by a symbolic link that points out of it. Each operation also
// has a form taking an absolute path for the system's own files; one that
// lies inside a configured root is held to it in the same way.
//
// The manager also caps the handles a request holds (see File), creates
// unique temporary files and runs the lock-file protocol (file_locks.cc).
// One manager serves one thread; failures return false, null or -1 and
// leave the reason in ErrorText.
#ifndef ORIN_FILES_FILE_MANAGER_H_
#define ORIN_FILES_FILE_MANAGER_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "files/file.h"
#include "files/file_environment.h"
#include "files/file_path.h"
#include "platform/file_system.h"
#include "util/stream.h"

namespace orin {

enum FileArea : int32_t { kDataArea = 0, kScriptArea = 1, kTemporaryArea = 2 };

// SetAttributes bits; read-only clears the write permissions, its absence
// gives the owner write permission back. The others have no counterpart.
enum FileAttribute : uint32_t {
  kAttributeReadOnly = 1,
  kAttributeHidden = 2,
  kAttributeSystem = 4,
  kAttributeDirectory = 16
};

// AcquireLock results.
enum LockResult : int { kLockAcquired = 0, kLockTimedOut = 1, kLockError = 2, kLockDeadlock = 3 };
// CheckLock results.
enum LockState : int { kLockHeld = 0, kLockStale = 1, kLockRetry = 2, kLockOwnThread = 3 };

class FileManager {
 public:
  // The environment must outlive the manager.
  explicit FileManager(FileEnvironment* environment);
  ~FileManager();
  FileManager(const FileManager&) = delete;
  FileManager& operator=(const FileManager&) = delete;

  // Roots. Each call first drops the area's previous root, so a failure
  // leaves none.
  bool SetScriptDirectory(std::string_view path);
  bool SetDataDirectory(std::string_view path);
  bool SetTemporaryDirectory(std::string_view path);
  // For a server: every manager of the process opens a root path once and
  // shares the descriptor with the others (Directory::OpenShared), instead
  // of opening it for each request. Off by default.
  static void ShareRoots(bool share);
  // Shared roots are opened afresh from now on (the settings were reloaded).
  static void ForgetSharedRoots();
  // The status of a path in an area (links inside the area followed);
  // false (ErrorText) when it is missing or outside.
  bool StatOf(int32_t area, std::string_view path, FileStatus* status);
  // A task's manager starts with its parent's roots.
  bool CopyRoots(const FileManager& parent);
  // The canonical root of an area ("" when none).
  std::string RootText(int32_t area) const;

  // Checks a script's path against its area and gives the absolute path.
  bool ResolvePath(int32_t area, std::string_view relative, FilePath* resolved);
  // AUX, CON, NUL, PRN, COM1-9, LPT1-9, alone or before a ".", any case.
  static bool IsReservedDeviceName(std::string_view name);

  // Opens with the OpenMode bits of util/stream.h; null on failure.
  std::unique_ptr<File> Open(int32_t area, std::string_view path, uint32_t mode);
  std::unique_ptr<File> Open(std::string_view path, uint32_t mode);

  // The lock-file protocol: a LockResult, and a LockState.
  int AcquireLock(int32_t area, std::string_view path);
  int AcquireLock(std::string_view path);
  int CheckLock(int32_t area, std::string_view path);
  int CheckLock(std::string_view path);
  bool ReleaseLock(int32_t area, std::string_view path);
  bool ReleaseLock(std::string_view path);

  bool Delete(int32_t area, std::string_view path);
  bool Delete(std::string_view path);
  // Replaces an existing destination; copies content, permissions and the
  // modification time.
  bool Copy(int32_t area, std::string_view source, std::string_view destination);
  bool Copy(std::string_view source, std::string_view destination);
  // Replaces an existing destination, copying across file systems.
  bool Rename(int32_t area, std::string_view source, std::string_view destination);
  bool Rename(std::string_view source, std::string_view destination);
  // Sets the modification time to now.
  bool Touch(int32_t area, std::string_view path);
  bool Touch(std::string_view path);
  bool Exists(int32_t area, std::string_view path);
  bool Exists(std::string_view path);
  int64_t Size(int32_t area, std::string_view path);
  int64_t Size(std::string_view path);
  // True when the path exists; *is_directory tells what it is.
  bool Stat(int32_t area, std::string_view path, bool* is_directory);
  bool Stat(std::string_view path, bool* is_directory);
  // Modification times in seconds since the epoch.
  bool SetTime(int32_t area, std::string_view path, int64_t seconds);
  bool SetTime(std::string_view path, int64_t seconds);
  bool GetTime(int32_t area, std::string_view path, int64_t* seconds);
  bool GetTime(std::string_view path, int64_t* seconds);
  bool MakeDirectory(int32_t area, std::string_view path);
  bool MakeDirectory(std::string_view path);
  bool RemoveDirectory(int32_t area, std::string_view path);
  bool RemoveDirectory(std::string_view path);
  // Scripts may not make links: one could lead out of an area.
  bool MakeSymbolicLink(int32_t area, std::string_view target, std::string_view link);
  bool MakeSymbolicLink(std::string_view target, std::string_view link);
  bool IsDirectory(int32_t area, std::string_view path);
  bool IsDirectory(std::string_view path);
  bool SetAttributes(int32_t area, std::string_view path, uint32_t attributes);
  bool SetAttributes(std::string_view path, uint32_t attributes);
  // The attribute bits a file has now: read-only when nobody may write it,
  // kAttributeDirectory for a directory.
  bool GetAttributes(int32_t area, std::string_view path, uint32_t* attributes);

  // Creates prefix.0, prefix.1, ... (hexadecimal) in `directory`, taking
  // the first name that does not exist; *path receives the name relative
  // to the area, or the absolute name for the second form.
  std::unique_ptr<File> CreateTempFile(int32_t area, std::string_view directory,
                                       std::string_view prefix, std::string* path, uint32_t mode);
  std::unique_ptr<File> CreateTempFile(std::string_view directory, std::string_view prefix,
                                       std::string* path, uint32_t mode);

  // Appends every entry name, "." and ".." included, in the system's order.
  bool ListDirectory(int32_t area, std::string_view path, std::vector<std::string>* names);
  bool ListDirectory(std::string_view path, std::vector<std::string>* names);

  const std::string& ErrorText() const { return error_; }
  void SetError(std::string text) { error_ = std::move(text); }

  // The handle cache. Reserve makes room for `count` more handles by
  // closing the least recently used ones; Activate gives a file its handle
  // back and marks it most recently used.
  bool Reserve(int32_t count);
  void AddActive(File* file);
  void Forget(File* file);
  void Deactivate(File* file);
  bool Activate(File* file);
  void SetMaxFiles(int32_t count) { max_files_ = count < 0 ? 0 : count; }
  int32_t max_files() const { return max_files_; }
  int32_t ActiveCount() const { return active_.count; }
  int32_t InactiveCount() const { return inactive_.count; }

  FileEnvironment* environment() const { return environment_; }

 private:
  friend class File;

  // Where an operation acts: a directory to resolve from and the path
  // below it; `root` is the index of the confining root, or -1.
  struct Location {
    const Directory* directory = nullptr;
    std::string relative;
    std::string full;
    int root = -1;
  };
  struct Root {
    FilePath path;
    Directory directory;
    bool set = false;
  };
  struct FileList {
    File* head = nullptr;
    File* tail = nullptr;
    int32_t count = 0;
  };

  bool SetDirectory(int area, std::string_view path);
  int RootIndex(int32_t area) const;
  bool InArea(int32_t area, std::string_view path, Location* at);
  bool Locate(std::string_view absolute, Location* at);
  // Leaves the message for an errno value (or kErrorEscapes) and fails.
  bool Fail(const Location& at, int err);
  bool ReopenHandle(const File& file, FileHandle* handle);

  std::unique_ptr<File> OpenAt(const Location& at, uint32_t mode);
  std::unique_ptr<File> CreateTempAt(const Location& base, std::string_view shown,
                                     std::string* path, uint32_t mode);
  int AcquireLockAt(const Location& at);
  int CheckLockAt(const Location& at, FileStatus* identity);
  bool BreakStaleLock(const Location& at, const Location& breaker, const FileStatus& identity);
  bool DeleteAt(const Location& at);
  bool CopyAt(const Location& source, const Location& destination);
  bool RenameAt(const Location& source, const Location& destination);
  bool TouchAt(const Location& at);
  bool StatAt(const Location& at, FileStatus* status);
  bool StatOf(std::string_view path, FileStatus* status);
  bool SetTimeAt(const Location& at, int64_t seconds);
  bool MakeDirectoryAt(const Location& at);
  bool RemoveDirectoryAt(const Location& at);
  bool SetAttributesAt(const Location& at, uint32_t attributes);
  bool ListDirectoryAt(const Location& at, std::vector<std::string>* names);

  static void Append(FileList* list, File* file);
  static void Remove(FileList* list, File* file);

  FileEnvironment* environment_;
  std::string error_;
  int32_t max_files_;
  FileList active_;
  FileList inactive_;
  Root roots_[3];  // indexed by area
  Directory unconfined_;
};

// Opens streams in one area of a manager, for readers such as TaggedFile
// that take a StreamOpener.
class AreaStreamOpener : public StreamOpener {
 public:
  AreaStreamOpener(FileManager* manager, int32_t area) : manager_(manager), area_(area) {}
  Stream* OpenStream(std::string_view name, uint32_t mode) override;
  void CloseStream(Stream* stream) override { delete stream; }
  const std::string& ErrorText() const override { return manager_->ErrorText(); }

 private:
  FileManager* manager_;
  int32_t area_;
};

}  // namespace orin

#endif  // ORIN_FILES_FILE_MANAGER_H_

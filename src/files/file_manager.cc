#include "files/file_manager.h"

#include <atomic>
#include <cerrno>
#include <cstdio>

#include "platform/plain_file.h"
#include "util/ascii.h"

namespace orin {

namespace {

constexpr const char* kAreaNames[3] = {"data", "script", "temporary"};

// Longer script paths are refused before any copy or system call.
constexpr size_t kMaxPathLength = 4096;

std::string OutsideMessage(int root) {
  return std::string("The specified path references a path outside the configured ") +
         kAreaNames[root] + " directory";
}

Disposition ModeDisposition(uint32_t mode) {
  if (mode & kOpenCreateNew) return Disposition::kCreateNew;
  if ((mode & kOpenCreate) && (mode & kOpenTruncate)) return Disposition::kCreateAlways;
  if (mode & kOpenTruncate) return Disposition::kTruncateExisting;
  if (mode & kOpenMustExist) return Disposition::kOpenExisting;
  if (mode & (kOpenAppend | kOpenCreate)) return Disposition::kOpenAlways;
  return Disposition::kOpenExisting;
}

}  // namespace

FileManager::FileManager(FileEnvironment* environment)
    : environment_(environment),
      max_files_(environment->MaxFiles() < 0 ? 0 : environment->MaxFiles()),
      unconfined_(Directory::Unconfined()) {}

FileManager::~FileManager() {
  // Files that outlive the manager keep their handles but can no longer be
  // reopened or listed.
  for (FileList* list : {&active_, &inactive_}) {
    for (File* f = list->head; f != nullptr;) {
      File* next = f->next_;
      f->manager_ = nullptr;
      f->cache_ = File::Cache::kNone;
      f->prev_ = f->next_ = nullptr;
      f = next;
    }
  }
}

// Roots -----------------------------------------------------------------------

namespace {
std::atomic<bool> share_roots{false};
}  // namespace

void FileManager::ShareRoots(bool share) {
  share_roots.store(share);
}

void FileManager::ForgetSharedRoots() {
  Directory::ForgetShared();
}

bool FileManager::SetScriptDirectory(std::string_view path) {
  return SetDirectory(kScriptArea, path);
}

bool FileManager::SetDataDirectory(std::string_view path) {
  return SetDirectory(kDataArea, path);
}

bool FileManager::SetTemporaryDirectory(std::string_view path) {
  return SetDirectory(kTemporaryArea, path);
}

// Roots must be absolute ('/' first); where other systems ask for a drive
// letter ("... is not a fully qualified path including a drive letter"),
// this one says "... is not an absolute path". Device names are still
// refused so that a site's configuration means the same everywhere.
bool FileManager::SetDirectory(int area, std::string_view path) {
  Root& root = roots_[area];
  root.set = false;
  root.directory.Close();
  std::string prefix = std::string("The configured ") + kAreaNames[area] + " directory ";
  root.path.Parse(path);
  if (!root.path.absolute()) {
    error_ = prefix + "is not an absolute path";
    return false;
  }
  if (IsReservedDeviceName(root.path.LastComponent())) {
    error_ = prefix + "references a reserved Windows device name";
    return false;
  }
  if (path.find('\0') != std::string_view::npos || path.size() > kMaxPathLength ||
      (share_roots.load() ? root.directory.OpenShared(root.path.Canonical())
                          : root.directory.Open(root.path.Canonical())) != 0) {
    error_ = prefix + "does not exist, or is not a directory";
    return false;
  }
  root.set = true;
  return true;
}

bool FileManager::CopyRoots(const FileManager& parent) {
  for (int i = 0; i < 3; ++i) {
    roots_[i].set = false;
    roots_[i].directory.Close();
    if (!parent.roots_[i].set) continue;
    roots_[i].path = parent.roots_[i].path;
    if (int err = parent.roots_[i].directory.Duplicate(&roots_[i].directory)) {
      error_ = SystemErrorText(err);
      return false;
    }
    roots_[i].set = true;
  }
  return true;
}

std::string FileManager::RootText(int32_t area) const {
  if (area < 0 || area > 2 || !roots_[area].set) return {};
  return roots_[area].path.Canonical();
}

int FileManager::RootIndex(int32_t area) const {
  if (area == kTemporaryArea && !roots_[kTemporaryArea].set) area = kDataArea;
  if (area < 0 || area > 2 || !roots_[area].set) return -1;
  return area;
}

bool FileManager::IsReservedDeviceName(std::string_view name) {
  size_t length;
  if (name.size() < 3) return false;
  std::string_view head = name.substr(0, 3);
  if (EqualsNoCase(head, "AUX") || EqualsNoCase(head, "CON") || EqualsNoCase(head, "NUL") ||
      EqualsNoCase(head, "PRN")) {
    length = 3;
  } else if ((EqualsNoCase(head, "COM") || EqualsNoCase(head, "LPT")) && name.size() >= 4 &&
             name[3] >= '1' && name[3] <= '9') {
    length = 4;
  } else {
    return false;
  }
  return name.size() == length || name[length] == '.';
}

bool FileManager::ResolvePath(int32_t area, std::string_view relative, FilePath* resolved) {
  int root = RootIndex(area);
  if (root < 0) {
    if (area < 0 || area > 2) {
      error_ = "Invalid file area " + std::to_string(area);
    } else {
      error_ = area == kScriptArea ? "There is no configured script directory"
                                   : "There is no configured data directory";
    }
    return false;
  }
  if (relative.find('\0') != std::string_view::npos) {
    error_ = "The specified path contains a NUL byte";
    return false;
  }
  if (relative.size() > kMaxPathLength) {
    error_ = SystemErrorText(ENAMETOOLONG);
    return false;
  }
  // A script's path is always relative, whatever it starts with.
  size_t skip = 0;
  while (skip < relative.size() && (relative[skip] == '/' || relative[skip] == '\\'))
    ++skip;
  const FilePath& base = roots_[root].path;
  std::string text = base.Canonical();
  text += '/';
  text.append(relative.substr(skip));
  resolved->Parse(text);
  if (!resolved->StartsWith(base)) {
    error_ = OutsideMessage(root);
    return false;
  }
  std::string_view last = resolved->LastComponent();
  if (last.find(':') != std::string_view::npos) {
    // Meaningless here, but a site must behave the same on every server.
    error_ = "The specified path references an NTFS alternate data stream";
    return false;
  }
  if (IsReservedDeviceName(last)) {
    error_ = "The specified path references a Windows reserved device name";
    return false;
  }
  return true;
}

bool FileManager::InArea(int32_t area, std::string_view path, Location* at) {
  FilePath resolved;
  if (!ResolvePath(area, path, &resolved)) return false;
  int root = RootIndex(area);
  at->directory = &roots_[root].directory;
  at->relative = resolved.JoinFrom(roots_[root].path.NormalisedCount());
  at->full = resolved.Canonical();
  at->root = root;
  return true;
}

bool FileManager::Locate(std::string_view absolute, Location* at) {
  if (absolute.find('\0') != std::string_view::npos) {
    error_ = "The specified path contains a NUL byte";
    return false;
  }
  FilePath path(absolute);
  if (!path.absolute()) {
    error_ = "The specified path is not an absolute path";
    return false;
  }
  // The innermost root that holds the path confines it.
  int best = -1;
  for (int i = 0; i < 3; ++i) {
    if (!roots_[i].set || !path.StartsWith(roots_[i].path)) continue;
    if (best < 0 || roots_[i].path.NormalisedCount() > roots_[best].path.NormalisedCount()) {
      best = i;
    }
  }
  at->full = path.Canonical();
  at->root = best;
  if (best < 0) {
    at->directory = &unconfined_;
    at->relative = at->full;
  } else {
    at->directory = &roots_[best].directory;
    at->relative = path.JoinFrom(roots_[best].path.NormalisedCount());
  }
  return true;
}

bool FileManager::Fail(const Location& at, int err) {
  error_ = err == kErrorEscapes && at.root >= 0 ? OutsideMessage(at.root) : SystemErrorText(err);
  return false;
}

// Handle cache ----------------------------------------------------------------

void FileManager::Append(FileList* list, File* file) {
  file->prev_ = list->tail;
  file->next_ = nullptr;
  if (list->tail != nullptr) {
    list->tail->next_ = file;
  } else {
    list->head = file;
  }
  list->tail = file;
  ++list->count;
}

void FileManager::Remove(FileList* list, File* file) {
  if (file->prev_ != nullptr) {
    file->prev_->next_ = file->next_;
  } else {
    list->head = file->next_;
  }
  if (file->next_ != nullptr) {
    file->next_->prev_ = file->prev_;
  } else {
    list->tail = file->prev_;
  }
  file->prev_ = file->next_ = nullptr;
  --list->count;
}

bool FileManager::Reserve(int32_t count) {
  if (max_files_ == 0) return true;
  if (count > max_files_) {
    error_ = "Simultaneous request for " + std::to_string(count) +
             " file handles exceeds the maximum number of simultaneous file handles.";
    return false;
  }
  // A handle that holds byte-range locks stays open: closing it would drop
  // the locks. When only such handles are left the limit gives way.
  for (File* f = active_.head; f != nullptr && active_.count + count > max_files_;) {
    File* next = f->next_;
    if (f->region_locks_ == 0) Deactivate(f);
    f = next;
  }
  return true;
}

void FileManager::AddActive(File* file) {
  Forget(file);
  Append(&active_, file);
  file->cache_ = File::Cache::kActive;
}

void FileManager::Forget(File* file) {
  if (file->cache_ == File::Cache::kActive) Remove(&active_, file);
  if (file->cache_ == File::Cache::kInactive) Remove(&inactive_, file);
  file->cache_ = File::Cache::kNone;
}

void FileManager::Deactivate(File* file) {
  if (file->cache_ == File::Cache::kNone) return;
  Forget(file);
  Append(&inactive_, file);
  file->cache_ = File::Cache::kInactive;
  file->CloseHandleOnly();
}

bool FileManager::Activate(File* file) {
  switch (file->cache_) {
    case File::Cache::kActive:
      if (!file->IsOpen() && !file->Reopen()) {
        error_ = file->ErrorText();
        return false;
      }
      if (active_.tail != file) {
        Remove(&active_, file);
        Append(&active_, file);
      }
      return true;
    case File::Cache::kInactive:
      if (!Reserve(1)) return false;
      if (!file->Reopen()) {
        error_ = file->ErrorText();
        return false;
      }
      AddActive(file);
      return true;
    case File::Cache::kNone:
      break;
  }
  error_ = "Activation request for invalid or non-active file";
  return false;
}

bool FileManager::ReopenHandle(const File& file, FileHandle* handle) {
  Location at;
  if (file.root_ < 0) {
    if (!Locate(file.path_, &at)) return false;
  } else {
    const Root& root = roots_[file.root_];
    FilePath path(file.path_);
    if (!root.set || !path.StartsWith(root.path)) {
      error_ = OutsideMessage(file.root_);
      return false;
    }
    at.directory = &root.directory;
    at.relative = path.JoinFrom(root.path.NormalisedCount());
    at.root = file.root_;
  }
  // Never create or truncate again: the file already holds what was written.
  if (int err = at.directory->OpenFile(at.relative, file.read_, file.write_,
                                       Disposition::kOpenExisting, handle)) {
    return Fail(at, err);
  }
  return true;
}

// Opening ---------------------------------------------------------------------

std::unique_ptr<File> FileManager::Open(int32_t area, std::string_view path, uint32_t mode) {
  Location at;
  if (!InArea(area, path, &at)) return nullptr;
  return OpenAt(at, mode);
}

std::unique_ptr<File> FileManager::Open(std::string_view path, uint32_t mode) {
  Location at;
  if (!Locate(path, &at)) return nullptr;
  return OpenAt(at, mode);
}

std::unique_ptr<File> FileManager::OpenAt(const Location& at, uint32_t mode) {
  if (!Reserve(1)) return nullptr;
  bool read = mode & kOpenRead, write = mode & kOpenWrite;
  FileHandle handle;
  if (int err = at.directory->OpenFile(at.relative, read, write, ModeDisposition(mode), &handle)) {
    Fail(at, err);
    return nullptr;
  }
  int64_t end = 0;
  if (mode & kOpenAppend) {
    if (int err = handle.Seek(0, SeekOrigin::kEnd, &end)) {
      Fail(at, err);
      return nullptr;
    }
  }
  std::unique_ptr<File> file(
      new File(this, at.full, at.root, read, write, (mode & kOpenUnmanaged) == 0));
  file->handle_ = std::move(handle);
  if (file->managed()) AddActive(file.get());
  return file;
}

namespace {

bool TempBase(std::string_view directory, std::string_view prefix, std::string* base,
              std::string* error) {
  if (prefix.find_first_of("/\\") != std::string_view::npos) {
    *error = "Invalid temporary filename prefix";
    return false;
  }
  if (directory.empty() || directory == ".") {
    base->assign(prefix);
  } else {
    base->assign(directory);
    if (directory.back() != '/' && directory.back() != '\\') *base += '/';
    base->append(prefix);
  }
  return true;
}

}  // namespace

std::unique_ptr<File> FileManager::CreateTempFile(int32_t area, std::string_view directory,
                                                  std::string_view prefix, std::string* path,
                                                  uint32_t mode) {
  std::string base;
  Location at;
  if (!TempBase(directory, prefix, &base, &error_) || !InArea(area, base, &at)) return nullptr;
  return CreateTempAt(at, base, path, mode);
}

std::unique_ptr<File> FileManager::CreateTempFile(std::string_view directory,
                                                  std::string_view prefix, std::string* path,
                                                  uint32_t mode) {
  std::string base;
  Location at;
  if (!TempBase(directory, prefix, &base, &error_) || !Locate(base, &at)) return nullptr;
  return CreateTempAt(at, at.full, path, mode);
}

std::unique_ptr<File> FileManager::CreateTempAt(const Location& base, std::string_view shown,
                                                std::string* path, uint32_t mode) {
  if (base.relative.empty() || base.relative.back() == '/') {
    error_ = "Invalid temporary filename prefix";  // the base names the root itself
    return nullptr;
  }
  if (!Reserve(1)) return nullptr;
  bool read = mode & kOpenRead, write = mode & kOpenWrite;
  for (uint32_t n = 0; n <= 2147483646u; ++n) {
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, ".%x", n);
    FileHandle handle;
    int err = base.directory->OpenFile(base.relative + suffix, read, write, Disposition::kCreateNew,
                                       &handle);
    if (err == EEXIST) continue;
    if (err != 0) {
      Fail(base, err);
      return nullptr;
    }
    std::unique_ptr<File> file(
        new File(this, base.full + suffix, base.root, read, write, (mode & kOpenUnmanaged) == 0));
    file->handle_ = std::move(handle);
    if (file->managed()) AddActive(file.get());
    path->assign(shown);
    path->append(suffix);
    return file;
  }
  error_ = "Unable to generate unique temporary filename";
  return nullptr;
}

Stream* AreaStreamOpener::OpenStream(std::string_view name, uint32_t mode) {
  return manager_->Open(area_, name, mode).release();
}

}  // namespace orin

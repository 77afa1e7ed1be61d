// FileManager operations on whole files and directories. Each comes as an
// area form and an absolute form that meet in one *At function.
#include <cerrno>
#include <chrono>
#include <string>
#include <thread>

#include "files/file_manager.h"
#include "platform/plain_file.h"

namespace orin {

bool FileManager::DeleteAt(const Location& at) {
  if (int err = at.directory->Unlink(at.relative)) return Fail(at, err);
  return true;
}

// The copy goes to a private file beside the destination, reaches the disk
// and then replaces the destination in one rename: a full disk or a crash
// midway leaves the old destination whole, never a truncated mix.
bool FileManager::CopyAt(const Location& source, const Location& destination) {
  FileHandle in, out;
  FileStatus from, to;
  int err =
      source.directory->OpenFile(source.relative, true, false, Disposition::kOpenExisting, &in);
  if (err == 0) err = in.Status(&from);
  if (err != 0) return Fail(source, err);
  err = destination.directory->Status(destination.relative, &to);
  if (err == 0 && from.device == to.device && from.inode == to.inode) {
    error_ = "The source and destination are the same file";
    return false;
  }
  if (err != 0 && err != ENOENT) return Fail(destination, err);
  std::string temporary = destination.relative + ".orin-copy." +
                          std::to_string(environment_->ProcessId()) + "." +
                          std::to_string(environment_->ThreadId());
  const Directory& directory = *destination.directory;
  directory.Unlink(temporary);  // an earlier failure's leftover of this thread
  err = directory.OpenFile(temporary, false, true, Disposition::kCreateNew, &out);
  if (err != 0) return Fail(destination, err);
  err = out.CopyFrom(in);
  if (err == 0) err = out.SetPermissions(from.permissions);
  if (err == 0) err = out.SetModified(from.modified_seconds, false);
  if (err == 0) err = out.Sync();
  out.Close();
  if (err == 0) err = directory.Rename(temporary, directory, destination.relative, true);
  if (err == 0) return true;
  directory.Unlink(temporary);
  return Fail(destination, err);
}

bool FileManager::RenameAt(const Location& source, const Location& destination) {
  auto move = [&] {
    return source.directory->Rename(source.relative, *destination.directory, destination.relative,
                                    true);
  };
  int err = move();
  if (err == 0) return true;
  if (err == EXDEV) return CopyAt(source, destination) && DeleteAt(source);
  if (err != EACCES && err != EPERM) return Fail(source, err);
  // Denied: worth waiting only when the destination itself is writable.
  FileHandle probe;
  if (destination.directory->OpenFile(destination.relative, false, true, Disposition::kOpenExisting,
                                      &probe) != 0) {
    return Fail(source, err);
  }
  probe.Close();
  auto give_up =
      std::chrono::steady_clock::now() + std::chrono::seconds(environment_->FileTimeout());
  while (err == EACCES || err == EPERM) {
    if (environment_->TimedOut() || std::chrono::steady_clock::now() >= give_up) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(environment_->FileDelay()));
    err = move();
  }
  return err == 0 || Fail(source, err);
}

bool FileManager::TouchAt(const Location& at) {
  if (int err = at.directory->SetModified(at.relative, 0, true)) return Fail(at, err);
  return true;
}

bool FileManager::StatAt(const Location& at, FileStatus* status) {
  if (int err = at.directory->Status(at.relative, status)) return Fail(at, err);
  return true;
}

bool FileManager::SetTimeAt(const Location& at, int64_t seconds) {
  if (int err = at.directory->SetModified(at.relative, seconds, false)) return Fail(at, err);
  return true;
}

bool FileManager::MakeDirectoryAt(const Location& at) {
  if (int err = at.directory->MakeDirectory(at.relative)) return Fail(at, err);
  return true;
}

bool FileManager::RemoveDirectoryAt(const Location& at) {
  if (int err = at.directory->RemoveDirectory(at.relative)) return Fail(at, err);
  return true;
}

bool FileManager::SetAttributesAt(const Location& at, uint32_t attributes) {
  FileStatus status;
  if (!StatAt(at, &status)) return false;
  uint32_t permissions =
      (attributes & kAttributeReadOnly) ? status.permissions & ~0222u : status.permissions | 0200u;
  if (permissions == status.permissions) return true;
  if (int err = at.directory->SetPermissions(at.relative, permissions)) return Fail(at, err);
  return true;
}

bool FileManager::ListDirectoryAt(const Location& at, std::vector<std::string>* names) {
  if (int err = at.directory->List(at.relative, names)) return Fail(at, err);
  return true;
}

// The pairs -------------------------------------------------------------------

bool FileManager::Delete(int32_t area, std::string_view path) {
  Location at;
  return InArea(area, path, &at) && DeleteAt(at);
}

bool FileManager::Delete(std::string_view path) {
  Location at;
  return Locate(path, &at) && DeleteAt(at);
}

bool FileManager::Copy(int32_t area, std::string_view source, std::string_view destination) {
  Location from, to;
  return InArea(area, source, &from) && InArea(area, destination, &to) && CopyAt(from, to);
}

bool FileManager::Copy(std::string_view source, std::string_view destination) {
  Location from, to;
  return Locate(source, &from) && Locate(destination, &to) && CopyAt(from, to);
}

bool FileManager::Rename(int32_t area, std::string_view source, std::string_view destination) {
  Location from, to;
  return InArea(area, source, &from) && InArea(area, destination, &to) && RenameAt(from, to);
}

bool FileManager::Rename(std::string_view source, std::string_view destination) {
  Location from, to;
  return Locate(source, &from) && Locate(destination, &to) && RenameAt(from, to);
}

bool FileManager::Touch(int32_t area, std::string_view path) {
  Location at;
  return InArea(area, path, &at) && TouchAt(at);
}

bool FileManager::Touch(std::string_view path) {
  Location at;
  return Locate(path, &at) && TouchAt(at);
}

bool FileManager::StatOf(int32_t area, std::string_view path, FileStatus* status) {
  Location at;
  return InArea(area, path, &at) && StatAt(at, status);
}

bool FileManager::StatOf(std::string_view path, FileStatus* status) {
  Location at;
  return Locate(path, &at) && StatAt(at, status);
}

bool FileManager::Exists(int32_t area, std::string_view path) {
  FileStatus status;
  return StatOf(area, path, &status);
}

bool FileManager::Exists(std::string_view path) {
  FileStatus status;
  return StatOf(path, &status);
}

int64_t FileManager::Size(int32_t area, std::string_view path) {
  FileStatus status;
  return StatOf(area, path, &status) ? status.size : -1;
}

int64_t FileManager::Size(std::string_view path) {
  FileStatus status;
  return StatOf(path, &status) ? status.size : -1;
}

bool FileManager::Stat(int32_t area, std::string_view path, bool* is_directory) {
  FileStatus status;
  if (!StatOf(area, path, &status)) return false;
  *is_directory = status.directory;
  return true;
}

bool FileManager::Stat(std::string_view path, bool* is_directory) {
  FileStatus status;
  if (!StatOf(path, &status)) return false;
  *is_directory = status.directory;
  return true;
}

bool FileManager::SetTime(int32_t area, std::string_view path, int64_t seconds) {
  Location at;
  return InArea(area, path, &at) && SetTimeAt(at, seconds);
}

bool FileManager::SetTime(std::string_view path, int64_t seconds) {
  Location at;
  return Locate(path, &at) && SetTimeAt(at, seconds);
}

bool FileManager::GetTime(int32_t area, std::string_view path, int64_t* seconds) {
  FileStatus status;
  if (!StatOf(area, path, &status)) return false;
  *seconds = status.modified_seconds;
  return true;
}

bool FileManager::GetTime(std::string_view path, int64_t* seconds) {
  FileStatus status;
  if (!StatOf(path, &status)) return false;
  *seconds = status.modified_seconds;
  return true;
}

bool FileManager::MakeDirectory(int32_t area, std::string_view path) {
  Location at;
  return InArea(area, path, &at) && MakeDirectoryAt(at);
}

bool FileManager::MakeDirectory(std::string_view path) {
  Location at;
  return Locate(path, &at) && MakeDirectoryAt(at);
}

bool FileManager::RemoveDirectory(int32_t area, std::string_view path) {
  Location at;
  return InArea(area, path, &at) && RemoveDirectoryAt(at);
}

bool FileManager::RemoveDirectory(std::string_view path) {
  Location at;
  return Locate(path, &at) && RemoveDirectoryAt(at);
}

bool FileManager::MakeSymbolicLink(int32_t, std::string_view, std::string_view) {
  error_ = "FileManager::MakeSymbolicLink is not implemented";
  return false;
}

bool FileManager::MakeSymbolicLink(std::string_view, std::string_view) {
  error_ = "FileManager::MakeSymbolicLink is not implemented";
  return false;
}

bool FileManager::IsDirectory(int32_t area, std::string_view path) {
  bool directory = false;
  return Stat(area, path, &directory) && directory;
}

bool FileManager::IsDirectory(std::string_view path) {
  bool directory = false;
  return Stat(path, &directory) && directory;
}

bool FileManager::SetAttributes(int32_t area, std::string_view path, uint32_t attributes) {
  Location at;
  return InArea(area, path, &at) && SetAttributesAt(at, attributes);
}

bool FileManager::SetAttributes(std::string_view path, uint32_t attributes) {
  Location at;
  return Locate(path, &at) && SetAttributesAt(at, attributes);
}

bool FileManager::GetAttributes(int32_t area, std::string_view path, uint32_t* attributes) {
  FileStatus status;
  if (!StatOf(area, path, &status)) return false;
  *attributes = ((status.permissions & 0222u) == 0 ? kAttributeReadOnly : 0u) |
                (status.directory ? kAttributeDirectory : 0u);
  return true;
}

bool FileManager::ListDirectory(int32_t area, std::string_view path,
                                std::vector<std::string>* names) {
  Location at;
  return InArea(area, path, &at) && ListDirectoryAt(at, names);
}

bool FileManager::ListDirectory(std::string_view path, std::vector<std::string>* names) {
  Location at;
  return Locate(path, &at) && ListDirectoryAt(at, names);
}

}  // namespace orin

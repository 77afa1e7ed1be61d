// Exported interface: sandboxed files (ztFile_*, ztDirectory_Listing).
#include <climits>
#include <memory>
#include <string>
#include <vector>

#include "files/file.h"
#include "files/file_manager.h"
#include "files/file_path.h"
#include "libraries/exports.h"
#include "variables/variable.h"
#include "variables/variable_list.h"

using namespace orin;

namespace {

std::string_view Text(const char* bytes, int32_t length) {
  return MeasuredText(bytes, length);
}

// Runs `op` on the run's file manager: 1 when it succeeds, 0 otherwise
// (also without a running script).
template <typename Op>
int Managed(ztProgram* program, Op op) {
  FileManager* files = ProgramFiles(program);
  return files != nullptr && op(*files) ? 1 : 0;
}

SeekOrigin Origin(int whence) {
  switch (whence) {
    case 1:
      return SeekOrigin::kCurrent;
    case 2:
      return SeekOrigin::kEnd;
    default:
      return SeekOrigin::kBegin;
  }
}

}  // namespace

extern "C" {

ztFile* ztFile_Open(ztProgram* program, int32_t area, const char* path, int32_t path_length,
                    uint32_t mode) {
  FileManager* files = ProgramFiles(program);
  if (files == nullptr) return nullptr;
  return Handle(files->Open(area, Text(path, path_length), mode).release());
}

int ztFile_Close(ztFile* file) {
  if (file == nullptr) return 0;
  delete Host(file);
  return 1;
}

int64_t ztFile_Read(ztFile* file, void* buffer, int64_t count) {
  if (count < 0 || count > INT32_MAX) return -1;
  return Host(file)->Read(buffer, static_cast<int32_t>(count));
}

int64_t ztFile_Write(ztFile* file, const void* buffer, int64_t count) {
  if (count < 0 || count > INT32_MAX) return -1;
  return Host(file)->Write(buffer, static_cast<int32_t>(count));
}

int64_t ztFile_Seek(ztFile* file, int64_t offset, int whence) {
  return Host(file)->Seek(offset, Origin(whence));
}

int64_t ztFile_Tell(ztFile* file) {
  return Host(file)->Tell();
}

int64_t ztFile_Length(ztFile* file) {
  return Host(file)->Size();
}

int ztFile_Lock(ztFile* file, int64_t offset, int64_t length, int exclusive, int wait) {
  return Host(file)->LockRegion(offset, length, exclusive != 0, wait != 0) ? 1 : 0;
}

int ztFile_Release(ztFile* file, int64_t offset, int64_t length) {
  return Host(file)->UnlockRegion(offset, length) ? 1 : 0;
}

int64_t ztFile_OwnerID(ztFile* file) {
  return file != nullptr ? Host(file)->OwnerId() : -1;
}

int64_t ztFile_GroupID(ztFile* file) {
  return file != nullptr ? Host(file)->GroupId() : -1;
}

const char* ztFile_Error(ztProgram* program, ztFile* file, int32_t* length) {
  const std::string* text = nullptr;
  if (file != nullptr) {
    text = &Host(file)->ErrorText();
  } else if (FileManager* files = ProgramFiles(program)) {
    text = &files->ErrorText();
  }
  const char* result = text != nullptr ? text->c_str() : kNoProgram;
  if (length != nullptr) *length = Length32(text != nullptr ? text->size() : sizeof kNoProgram - 1);
  return result;
}

int ztFile_Exists(ztProgram* program, int32_t area, const char* path, int32_t path_length) {
  return Managed(program, [&](FileManager& f) { return f.Exists(area, Text(path, path_length)); });
}

int ztFile_IsDirectory(ztProgram* program, int32_t area, const char* path, int32_t path_length) {
  return Managed(program,
                 [&](FileManager& f) { return f.IsDirectory(area, Text(path, path_length)); });
}

int64_t ztFile_Size(ztProgram* program, int32_t area, const char* path, int32_t path_length) {
  FileManager* files = ProgramFiles(program);
  return files != nullptr ? files->Size(area, Text(path, path_length)) : -1;
}

int32_t ztFile_Mode(ztProgram* program, int32_t area, const char* path, int32_t path_length) {
  FileManager* files = ProgramFiles(program);
  uint32_t attributes = 0;
  if (files == nullptr || !files->GetAttributes(area, Text(path, path_length), &attributes)) {
    return -1;
  }
  return static_cast<int32_t>(attributes);
}

int ztFile_Change_Mode(ztProgram* program, int32_t area, const char* path, int32_t path_length,
                       uint32_t mode) {
  return Managed(program, [&](FileManager& f) {
    return f.SetAttributes(area, Text(path, path_length), mode);
  });
}

int ztFile_Time(ztProgram* program, int32_t area, const char* path, int32_t path_length,
                int64_t* seconds) {
  int64_t ignored = 0;
  return Managed(program, [&](FileManager& f) {
    return f.GetTime(area, Text(path, path_length), seconds != nullptr ? seconds : &ignored);
  });
}

int ztFile_SetTime(ztProgram* program, int32_t area, const char* path, int32_t path_length,
                   int64_t seconds) {
  return Managed(program,
                 [&](FileManager& f) { return f.SetTime(area, Text(path, path_length), seconds); });
}

int ztFile_TouchFile(ztProgram* program, int32_t area, const char* path, int32_t path_length) {
  return Managed(program, [&](FileManager& f) { return f.Touch(area, Text(path, path_length)); });
}

int ztFile_Delete(ztProgram* program, int32_t area, const char* path, int32_t path_length) {
  return Managed(program, [&](FileManager& f) { return f.Delete(area, Text(path, path_length)); });
}

int ztFile_Copy(ztProgram* program, int32_t area, const char* source, int32_t source_length,
                const char* destination, int32_t destination_length) {
  return Managed(program, [&](FileManager& f) {
    return f.Copy(area, Text(source, source_length), Text(destination, destination_length));
  });
}

int ztFile_Rename(ztProgram* program, int32_t area, const char* source, int32_t source_length,
                  const char* destination, int32_t destination_length) {
  return Managed(program, [&](FileManager& f) {
    return f.Rename(area, Text(source, source_length), Text(destination, destination_length));
  });
}

int ztFile_MakeDirectory(ztProgram* program, int32_t area, const char* path, int32_t path_length) {
  return Managed(program,
                 [&](FileManager& f) { return f.MakeDirectory(area, Text(path, path_length)); });
}

int ztFile_RemoveDirectory(ztProgram* program, int32_t area, const char* path,
                           int32_t path_length) {
  return Managed(program,
                 [&](FileManager& f) { return f.RemoveDirectory(area, Text(path, path_length)); });
}

int ztFile_MakeSymbolicLink(ztProgram* program, int32_t area, const char* target,
                            int32_t target_length, const char* link, int32_t link_length) {
  return Managed(program, [&](FileManager& f) {
    return f.MakeSymbolicLink(area, Text(target, target_length), Text(link, link_length));
  });
}

ztFile* ztFile_MakeTemporary(ztProgram* program, int32_t area, const char* directory,
                             int32_t directory_length, const char* prefix, int32_t prefix_length,
                             uint32_t mode, char** path, int32_t* path_length) {
  FileManager* files = ProgramFiles(program);
  if (files == nullptr) return nullptr;
  std::string made;
  std::unique_ptr<File> file = files->CreateTempFile(area, Text(directory, directory_length),
                                                     Text(prefix, prefix_length), &made, mode);
  if (file && path != nullptr) *path = AllocatedText(made, path_length);
  return Handle(file.release());
}

int ztFile_LockFile(ztProgram* program, int32_t area, const char* path, int32_t path_length) {
  FileManager* files = ProgramFiles(program);
  return files != nullptr ? files->AcquireLock(area, Text(path, path_length)) : ZT_LOCK_ERROR;
}

int ztFile_LockFile_Valid(ztProgram* program, int32_t area, const char* path, int32_t path_length) {
  FileManager* files = ProgramFiles(program);
  return files != nullptr && files->CheckLock(area, Text(path, path_length)) == kLockOwnThread ? 1
                                                                                               : 0;
}

char* ztFile_NormalizePath(ztProgram*, const char* path, int32_t path_length, int32_t* length) {
  return AllocatedText(FilePath(Text(path, path_length)).Canonical(), length);
}

char* ztFile_Resolve(ztProgram* program, int32_t area, const char* path, int32_t path_length,
                     int32_t* length) {
  FileManager* files = ProgramFiles(program);
  FilePath resolved;
  if (files == nullptr || !files->ResolvePath(area, Text(path, path_length), &resolved)) {
    return nullptr;
  }
  return AllocatedText(resolved.Canonical(), length);
}

char ztFile_Path_Separator(void) {
  return '/';
}

int32_t ztDirectory_Listing(ztProgram* program, int32_t area, const char* path, int32_t path_length,
                            ztVariableList* list) {
  FileManager* files = ProgramFiles(program);
  std::vector<std::string> names;
  if (files == nullptr || list == nullptr ||
      !files->ListDirectory(area, Text(path, path_length), &names)) {
    return -1;
  }
  for (const std::string& name : names)
    Host(list)->InsertAdopted(new Variable(std::string_view(), name));
  return static_cast<int32_t>(names.size());
}

}  // extern "C"

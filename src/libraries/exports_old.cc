// Exported interface: the old family (zeto_alloc, zeto_file_*,
// zeto_variable*), a thin adapter over the same host operations as the
// current one. Texts are NUL-terminated; memory is the C library's.
#include <cstdlib>
#include <cstring>
#include <string>

#include "files/file_manager.h"
#include "libraries/exports.h"
#include "libraries/plugin_scope.h"
#include "variables/variable.h"
#include "variables/variable_hash.h"
#include "variables/variable_list.h"

using namespace orin;

namespace {

// Location 1 is the script area; every other value the data area.
int32_t Area(int location) {
  return location == 1 ? kScriptArea : kDataArea;
}

int Status(int ok) {
  return ok ? 0 : -1;
}

std::string UrlPart(std::string_view text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
        c == '_' || c == '.' || c == '~') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

}  // namespace

extern "C" {

// --- Memory ---

void* zeto_alloc(int32_t size) {
  return std::malloc(size < 0 ? 0 : static_cast<size_t>(size));
}

void* zeto_realloc(void* memory, int32_t size) {
  return std::realloc(memory, size < 0 ? 0 : static_cast<size_t>(size));
}

void zeto_free(void* memory) {
  std::free(memory);
}

// --- Files ---

ztFile* zeto_file_open(ztProgram* program, int location, const char* path, uint32_t mode) {
  return ztFile_Open(program, Area(location), path, -1, mode);
}

int zeto_file_close(ztProgram*, ztFile* file) {
  return Status(ztFile_Close(file));
}

int32_t zeto_file_read(ztProgram*, ztFile* file, void* buffer, int32_t count) {
  if (file == nullptr) return -1;
  return static_cast<int32_t>(ztFile_Read(file, buffer, count));
}

int32_t zeto_file_write(ztProgram*, ztFile* file, const void* buffer, int32_t count) {
  if (file == nullptr) return -1;
  return static_cast<int32_t>(ztFile_Write(file, buffer, count));
}

int64_t zeto_file_seek(ztProgram*, ztFile* file, int64_t offset, int whence) {
  return file == nullptr ? -1 : ztFile_Seek(file, offset, whence);
}

int64_t zeto_file_tell(ztProgram*, ztFile* file) {
  return file == nullptr ? -1 : ztFile_Tell(file);
}

int64_t zeto_file_length(ztProgram*, ztFile* file) {
  return file == nullptr ? -1 : ztFile_Length(file);
}

const char* zeto_file_error(ztProgram* program, ztFile* file) {
  if (file == nullptr && ProgramFiles(program) == nullptr) return "";
  return ztFile_Error(program, file, nullptr);
}

int zeto_file_exists(ztProgram* program, int location, const char* path) {
  return Status(ztFile_Exists(program, Area(location), path, -1));
}

int zeto_file_isdirectory(ztProgram* program, int location, const char* path) {
  return Status(ztFile_IsDirectory(program, Area(location), path, -1));
}

int64_t zeto_file_size(ztProgram* program, int location, const char* path) {
  return ztFile_Size(program, Area(location), path, -1);
}

int32_t zeto_file_mode(ztProgram* program, int location, const char* path) {
  return ztFile_Mode(program, Area(location), path, -1);
}

int zeto_file_changemode(ztProgram* program, int location, const char* path, uint32_t mode) {
  return Status(ztFile_Change_Mode(program, Area(location), path, -1, mode));
}

int zeto_file_delete(ztProgram* program, int location, const char* path) {
  return Status(ztFile_Delete(program, Area(location), path, -1));
}

int zeto_file_rename(ztProgram* program, int location, const char* source,
                     const char* destination) {
  return Status(ztFile_Rename(program, Area(location), source, -1, destination, -1));
}

int zeto_file_makedirectory(ztProgram* program, int location, const char* path) {
  return Status(ztFile_MakeDirectory(program, Area(location), path, -1));
}

int zeto_file_removedirectory(ztProgram* program, int location, const char* path) {
  return Status(ztFile_RemoveDirectory(program, Area(location), path, -1));
}

int zeto_file_lock(ztProgram* program, int location, const char* path) {
  return Status(ztFile_LockFile(program, Area(location), path, -1) == ZT_LOCK_ACQUIRED);
}

int zeto_file_release(ztProgram* program, int location, const char* path) {
  FileManager* files = ProgramFiles(program);
  return Status(files != nullptr && files->ReleaseLock(Area(location), MeasuredText(path, -1)));
}

int zeto_file_resolve(ztProgram* program, int, const char*, char* buffer, int32_t size) {
  if (FileManager* files = ProgramFiles(program)) {
    files->SetError("zeto_file_resolve is no longer supported");
  }
  if (buffer != nullptr && size > 0) buffer[0] = '\0';
  return 0;
}

int zeto_file_pathseparator(void) {
  return '/';
}

// --- Variables ---

ztVariable* zeto_variable_new(const char* name, const char* value) {
  return ztVariable_Allocate(name, -1, value, -1);
}

void zeto_variable_delete(ztVariable* v) {
  ztVariable_Free(v);
}

const char* zeto_variable_name(ztVariable* v) {
  return v == nullptr ? "" : Host(v)->Name().data();
}

const char* zeto_variable_value(ztVariable* v) {
  return v == nullptr ? "" : Host(v)->Value().data();
}

void zeto_variable_setvalue(ztVariable* v, const char* text) {
  ztVariable_SetValue(v, text, -1);
}

ztVariable* zeto_variable_array_element(ztVariable* v, int32_t index, int create) {
  return ztVariable_Array_Element(index, v, create);
}

ztVariable* zeto_variable_structure_member(ztVariable* v, const char* name, int create) {
  return ztVariable_Struct_Member(name, -1, v, create);
}

ztVariable* zeto_variable_set_array_element_value(ztVariable* v, int32_t index, const char* text) {
  ztVariable* element = ztVariable_Array_Element(index, v, 1);
  if (element != nullptr) ztVariable_SetValue(element, text, -1);
  return element;
}

ztVariable* zeto_variable_set_structure_member_value(ztVariable* v, const char* name,
                                                     const char* text) {
  ztVariable* member = ztVariable_Struct_Member(name, -1, v, 1);
  if (member != nullptr) ztVariable_SetValue(member, text, -1);
  return member;
}

int32_t zeto_variable_array_min(ztVariable* v) {
  return ztVariable_Array_Min(v);
}

int32_t zeto_variable_array_max(ztVariable* v) {
  return ztVariable_Array_Max(v);
}

int32_t zeto_variable_array_elements(ztVariable* v) {
  return ztVariable_ElementsUsed(v);
}

int zeto_variable_aggregate_type(ztVariable* v) {
  return ztVariable_Aggregate_Type(v);
}

ztVariableList* zeto_variable_aggregate_list(ztVariable* v) {
  auto* list = new VariableList();
  AggregateElementTree* tree = Host(v)->RealIdentity()->ElementTree();
  if (tree != nullptr) {
    tree->ForEach([list](AggregateElement* element) {
      Variable* item = element->GetVariable();
      ByteString key = element->Key().Text();
      item->SetName(key.data(), key.size());
      list->Insert(item);
    });
  }
  return Handle(list);
}

// --- Lists ---

ztVariableList* zeto_variablelist_new(void) {
  return ztVariableList_Allocate();
}

void zeto_variablelist_delete(ztVariableList* list) {
  ztVariableList_Free(list);
}

ztVariable* zeto_variablelist_first(ztVariableList* list) {
  return ztVariableList_First(list);
}

ztVariable* zeto_variablelist_next(ztVariableList* list) {
  return ztVariableList_Next(list);
}

ztVariable* zeto_variablelist_current(ztVariableList* list) {
  return ztVariableList_Current(list);
}

void zeto_variablelist_dump(ztVariableList* list) {
  ztVariableList_Dump(list);
}

ztVariable* zeto_variablelist_find(ztVariableList* list, const char* name) {
  return ztVariableList_Find(list, name, -1);
}

ztVariable* zeto_variablelist_setvariable(ztVariableList* list, const char* name,
                                          const char* value) {
  Variable* existing = Host(list)->Find(MeasuredText(name, -1));
  if (existing != nullptr) {
    existing->SetValue(value == nullptr ? "" : value, -1);
    return Handle(existing);
  }
  return ztVariableList_SetVariable(list, name, -1, value, -1);
}

// "?" starts the query; a URL that already has one gets "&", or nothing
// when it already ends in "?" or "&".
char* zeto_variablelist_to_url(const char* url, ztVariableList* list) {
  std::string text(url == nullptr ? "" : url);
  std::string pairs;
  VariableList* entries = Host(list);
  for (uint32_t i = 0; entries != nullptr && i < entries->Entries(); ++i) {
    Variable* v = entries->At(i);
    if (!pairs.empty()) pairs += '&';
    pairs += UrlPart(v->Name().view());
    pairs += '=';
    pairs += UrlPart(v->Value().view());
  }
  if (!pairs.empty()) {
    if (text.find('?') == std::string::npos) {
      text += '?';
    } else if (text.back() != '?' && text.back() != '&') {
      text += '&';
    }
    text += pairs;
  }
  return AllocatedText(text, nullptr);
}

// --- Trees ---

ztVariableHash* zeto_variabletree_new(void) {
  return Handle(PluginScope::New());
}

void zeto_variabletree_delete(ztVariableHash* tree) {
  delete Host(tree);
}

ztVariable* zeto_variabletree_find(ztVariableHash* tree, const char* name) {
  std::string_view text = MeasuredText(name, -1);
  Variable* found = nullptr;
  Host(tree)->Find(&found, text.data(), static_cast<int64_t>(text.size()), false);
  return Handle(found);
}

int zeto_variabletree_insert(ztVariableHash* tree, ztVariable* v) {
  return ztVariableHash_Insert(tree, v) >= 0 ? 1 : 0;
}

int zeto_variabletree_setvariable(ztVariableHash* tree, const char* name, ztVariable* v) {
  if (v == nullptr) return 0;
  Host(v)->SetName(name == nullptr ? "" : name, -1);
  return Host(tree)->ReplaceVariable(Host(v)) ? 1 : 0;
}

void zeto_variabletree_dump(ztVariableHash* tree) {
  ztVariableHash_Dump(tree);
}

}  // extern "C"

// file_... functions: every path goes through the server's file manager,
// so scripts stay inside the data, script and temporary areas.
#include <algorithm>

#include "call.h"
#include "core/text.h"
#include "functions.h"

namespace orin_std {

namespace {

struct Target {
  int32_t area;
  std::string_view area_name;
  std::string_view path;
};

bool ReadTarget(Call& c, Target* t) {
  std::string_view area;
  if (!c.Text(0, &area) || !c.Text(1, &t->path)) return false;
  static const std::pair<std::string_view, int32_t> kAreas[] = {
      {"data", ZT_AREA_DATA}, {"script", ZT_AREA_SCRIPT}, {"temp", ZT_AREA_TEMPORARY},
      {"0", ZT_AREA_DATA},    {"1", ZT_AREA_SCRIPT},      {"2", ZT_AREA_TEMPORARY}};
  for (const auto& [name, code] : kAreas) {
    if (area == name) {
      t->area = code;
      t->area_name = kAreas[code].first;
      return true;
    }
  }
  return c.Fail("unknown area '" + std::string(area.substr(0, 32)) + "' (data, script or temp)");
}

std::string Where(const Target& t) {
  return "'" + std::string(t.path.substr(0, 200)) + "' in the " + std::string(t.area_name) +
         " area";
}

std::string FileError(Call& c, ztFile* file) {
  int32_t length = 0;
  const char* text = ztFile_Error(c.program(), file, &length);
  return std::string(text, length > 0 ? static_cast<size_t>(length) : 0);
}

int32_t Length(std::string_view s) {
  return static_cast<int32_t>(s.size());
}

// Checks without touching the file that the path stays inside its area, so
// that "is it there" never answers "no" for a path that may not be asked.
bool InsideArea(Call& c, const Target& t, std::string_view action) {
  int32_t length = 0;
  char* resolved = ztFile_Resolve(c.program(), t.area, t.path.data(), Length(t.path), &length);
  if (resolved != nullptr) {
    ztProgram_Free(c.program(), resolved);
    return true;
  }
  std::string reason = FileError(c, nullptr);
  if (reason.empty()) reason = "the path leaves the area";
  return c.Fail("cannot " + std::string(action) + " " + Where(t) + ": " + reason);
}

void Write(Call& c, uint32_t mode) {
  Target t;
  std::string_view text;
  if (!ReadTarget(c, &t) || !c.Text(2, &text)) return;
  ztFile* file = ztFile_Open(c.program(), t.area, t.path.data(), Length(t.path), mode);
  if (file == nullptr) {
    return void(c.Fail("cannot open " + Where(t) + ": " + FileError(c, nullptr)));
  }
  int64_t written = ztFile_Write(file, text.data(), static_cast<int64_t>(text.size()));
  std::string error = written < 0 ? FileError(c, file) : std::string();
  if (!ztFile_Close(file) && error.empty()) error = FileError(c, nullptr);
  if (written < 0 || static_cast<size_t>(written) != text.size() || !error.empty()) {
    return void(c.Fail("cannot write " + Where(t) + ": " + error));
  }
  c.ReturnInteger(written);
}

}  // namespace

void FileExists(Call& c) {
  Target t;
  if (!ReadTarget(c, &t) || !InsideArea(c, t, "look for")) return;
  c.ReturnBool(ztFile_Exists(c.program(), t.area, t.path.data(), Length(t.path)));
}

void FileRead(Call& c) {
  Target t;
  if (!ReadTarget(c, &t)) return;
  ztFile* file = ztFile_Open(c.program(), t.area, t.path.data(), Length(t.path), ZT_FILE_READ);
  if (file == nullptr) {
    return void(c.Fail("cannot open " + Where(t) + ": " + FileError(c, nullptr)));
  }
  std::string content, error;
  char buffer[65536];
  for (;;) {
    int64_t n = ztFile_Read(file, buffer, sizeof buffer);
    if (n < 0) {
      error = FileError(c, file);
      break;
    }
    if (n == 0) break;
    content.append(buffer, static_cast<size_t>(n));
    if (content.size() > kMaxResultBytes) {
      error = "the file is larger than " + std::to_string(kMaxResultBytes) + " bytes";
      break;
    }
  }
  ztFile_Close(file);
  if (!error.empty()) return void(c.Fail("cannot read " + Where(t) + ": " + error));
  c.ReturnText(content);
}

void FileWrite(Call& c) {
  Write(c, ZT_FILE_WRITE | ZT_FILE_CREATE | ZT_FILE_TRUNCATE);
}
void FileAppend(Call& c) {
  Write(c, ZT_FILE_WRITE | ZT_FILE_CREATE | ZT_FILE_APPEND);
}

void FileDelete(Call& c) {
  Target t;
  if (!ReadTarget(c, &t) || !InsideArea(c, t, "delete")) return;
  if (!ztFile_Exists(c.program(), t.area, t.path.data(), Length(t.path)))
    return c.ReturnBool(false);
  if (!ztFile_Delete(c.program(), t.area, t.path.data(), Length(t.path))) {
    return void(c.Fail("cannot delete " + Where(t) + ": " + FileError(c, nullptr)));
  }
  c.ReturnBool(true);
}

void FileList(Call& c) {
  Target t;
  if (!ReadTarget(c, &t)) return;
  ztVariableList* list = ztVariableList_Allocate();
  if (list == nullptr) return void(c.Fail("out of memory"));
  int32_t count = ztDirectory_Listing(c.program(), t.area, t.path.data(), Length(t.path), list);
  if (count < 0) {
    ztVariableList_Free(list);
    return void(c.Fail("cannot list " + Where(t) + ": " + FileError(c, nullptr)));
  }
  std::vector<std::string> names;
  for (ztVariable* v = ztVariableList_First(list); v != nullptr; v = ztVariableList_Next(list)) {
    int32_t length = 0;
    const char* value = ztVariable_Value(v, &length);
    if (length <= 0) value = ztVariable_Name(v, &length);  // the name may be the entry
    std::string name(value, length > 0 ? static_cast<size_t>(length) : 0);
    if (name != "." && name != "..") names.push_back(std::move(name));
  }
  ztVariableList_Free(list);
  std::sort(names.begin(), names.end());
  MakeEmpty(c, true);
  for (size_t i = 0; i < names.size(); ++i) {
    StoreIndexText(c.result(), static_cast<int32_t>(i + 1), names[i]);
  }
}

}  // namespace orin_std

#include "platform/config_store.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <time.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>

#include <toml++/toml.h>

#include "platform/plain_file.h"
#include "util/ascii.h"

namespace orin {

namespace {

constexpr char kSystemFile[] = "/etc/zeto/orin/vm.toml";
constexpr size_t kMaxFileSize = 16 << 20;

std::mutex override_mutex;
std::string override_path;

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    c = AsciiLower(c);
  return out;
}

// Reads a whole file of at most kMaxFileSize bytes; false with *missing
// set when it does not exist.
bool ReadWhole(const std::string& path, std::string* out, bool* missing, std::string* error) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  *missing = fd < 0 && errno == ENOENT;
  if (fd < 0) {
    *error = SystemErrorText(errno);
    return false;
  }
  bool ok = true;
  char buf[65536];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n < 0) *error = SystemErrorText(errno);
      ok = n == 0;
      break;
    }
    if (out->size() + static_cast<size_t>(n) > kMaxFileSize) {
      *error = "The file is too large";
      ok = false;
      break;
    }
    out->append(buf, static_cast<size_t>(n));
  }
  ::close(fd);
  return ok;
}

// Reads and parses a settings file; a missing file is an empty table.
bool ParseFile(const std::string& path, toml::table* table, std::string* error) {
  std::string text, why;
  bool missing;
  if (!ReadWhole(path, &text, &missing, &why)) {
    if (missing) return true;
    *error = "Error reading '" + path + "': " + why;
    return false;
  }
  try {
    *table = toml::parse(text, path);
  } catch (const toml::parse_error& e) {
    std::ostringstream s;
    s << "Error reading '" << path << "': " << e.description() << " at line "
      << e.source().begin.line << ", column " << e.source().begin.column;
    *error = s.str();
    return false;
  }
  return true;
}

// RFC 3629 UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool ValidUtf8(std::string_view s) {
  auto at = [&s](size_t i) { return static_cast<unsigned char>(s[i]); };
  size_t i = 0;
  while (i < s.size()) {
    unsigned char c = at(i);
    size_t more;
    unsigned char lo = 0x80, hi = 0xBF;  // range of the second byte
    if (c < 0x80) {
      more = 0;
    } else if (c >= 0xC2 && c <= 0xDF) {
      more = 1;
    } else if (c >= 0xE0 && c <= 0xEF) {
      more = 2;
      if (c == 0xE0) lo = 0xA0;
      if (c == 0xED) hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      more = 3;
      if (c == 0xF0) lo = 0x90;
      if (c == 0xF4) hi = 0x8F;
    } else {
      return false;
    }
    if (more >= s.size() - i) return false;
    for (size_t k = 1; k <= more; ++k) {
      unsigned char b = at(i + k);
      if (k == 1 ? (b < lo || b > hi) : (b & 0xC0) != 0x80) return false;
    }
    i += more + 1;
  }
  return true;
}

// Creates the directories above `path` (mode 0700 for new ones).
bool MakeParents(const std::string& path, std::string* error) {
  for (size_t pos = path.find('/', 1); pos != std::string::npos; pos = path.find('/', pos + 1)) {
    std::string dir = path.substr(0, pos);
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
      *error = SystemErrorText(errno);
      return false;
    }
  }
  return true;
}

// Writes the text beside `path` and renames it into place.
bool WriteAtomically(const std::string& path, const std::string& text, std::string* error) {
  if (!MakeParents(path, error)) return false;
  std::string temp = path + ".XXXXXX";
  int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) {
    *error = SystemErrorText(errno);
    return false;
  }
  size_t done = 0;
  bool ok = true;
  while (ok && done < text.size()) {
    ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0)
      ok = false;
    else
      done += static_cast<size_t>(n);
  }
  if (ok && ::fsync(fd) != 0) ok = false;
  if (!ok) *error = SystemErrorText(errno);
  if (::close(fd) != 0 && ok) {
    *error = SystemErrorText(errno);
    ok = false;
  }
  if (ok && ::rename(temp.c_str(), path.c_str()) != 0) {
    *error = SystemErrorText(errno);
    ok = false;
  }
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

}  // namespace

std::string HomeDirectory() {
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/') return home;
  struct passwd pw, *found = nullptr;
  char buf[4096];
  if (::getpwuid_r(::getuid(), &pw, buf, sizeof buf, &found) == 0 && found != nullptr &&
      pw.pw_dir != nullptr && pw.pw_dir[0] == '/') {
    return pw.pw_dir;
  }
  return "";
}

void SetConfigFileOverride(const std::string& path) {
  std::lock_guard<std::mutex> lock(override_mutex);
  override_path = path;
}

ConfigFiles DefaultConfigFiles() {
  {
    std::lock_guard<std::mutex> lock(override_mutex);
    if (!override_path.empty()) return {override_path, ""};
  }
  const char* env = std::getenv("ZETO_ORIN_CONFIG");
  if (env != nullptr && env[0] != 0) return {env, ""};
  std::string base;
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg != nullptr && xdg[0] == '/') {
    base = xdg;
  } else {
    std::string home = HomeDirectory();
    if (home.empty()) return {"", kSystemFile};  // nowhere to keep the user's settings
    base = home + "/.config";
  }
  return {base + "/zeto/orin/vm.toml", kSystemFile};
}

bool ConfigStore::Load() {
  values_.clear();
  changes_.clear();
  error_.clear();
  // A broken machine-wide file must not hide the user's own settings.
  bool system_ok = files_.system.empty() || LoadFile(files_.system);
  std::string system_error = error_;
  bool user_ok = LoadFile(files_.user);
  if (!system_ok) error_ = system_error;
  return system_ok && user_ok;
}

namespace {

struct FileIdentity {
  bool exists = false;
  uint64_t device = 0, inode = 0;
  int64_t size = 0, modified_ns = 0, changed_ns = 0;
  bool operator==(const FileIdentity&) const = default;
};

// False when the file's identity cannot be had (then it is read anyway).
bool IdentityOf(const std::string& path, FileIdentity* id) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) {
    *id = FileIdentity();
    return errno == ENOENT;
  }
  id->exists = true;
  id->device = st.st_dev;
  id->inode = st.st_ino;
  id->size = st.st_size;
  id->modified_ns = int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec;
  id->changed_ns = int64_t{st.st_ctim.tv_sec} * 1000000000 + st.st_ctim.tv_nsec;
  return true;
}

// Changes this close to the read may share their timestamp with a later one.
constexpr int64_t kSettledNs = 2000000000;

bool Settled(const FileIdentity& id) {
  if (!id.exists) return true;
  struct timespec now;
  ::clock_gettime(CLOCK_REALTIME, &now);
  int64_t now_ns = int64_t{now.tv_sec} * 1000000000 + now.tv_nsec;
  return now_ns - std::max(id.modified_ns, id.changed_ns) >= kSettledNs;
}

std::mutex parsed_mutex;

}  // namespace

// What one file held when it was last read.
struct ConfigStore::ParsedFile {
  FileIdentity identity;
  bool ok = true;
  std::string error;
  std::map<std::string, Value> values;
};

bool ConfigStore::LoadFile(const std::string& path) {
  // By path; a few files at most (the settings of this process's sites).
  static auto* parsed = new std::map<std::string, std::shared_ptr<const ParsedFile>>();
  FileIdentity identity;
  bool known = IdentityOf(path, &identity);
  std::shared_ptr<const ParsedFile> file;
  if (known) {
    std::lock_guard<std::mutex> hold(parsed_mutex);
    auto it = parsed->find(path);
    if (it != parsed->end() && it->second->identity == identity) file = it->second;
  }
  if (file == nullptr) {
    auto fresh = std::make_shared<ParsedFile>();
    fresh->identity = identity;
    std::string error;
    fresh->ok = ReadFile(path, &fresh->values, &error);
    fresh->error = std::move(error);
    file = fresh;
    if (known && Settled(identity)) {
      std::lock_guard<std::mutex> hold(parsed_mutex);
      (*parsed)[path] = file;
    }
  }
  for (const auto& [name, v] : file->values)
    values_[name] = v;
  if (!file->ok) error_ = file->error;
  return file->ok;
}

bool ConfigStore::ReadFile(const std::string& path, std::map<std::string, Value>* values,
                           std::string* error) {
  toml::table table;
  if (!ParseFile(path, &table, error)) return false;
  for (auto&& [key, node] : table) {
    Value v;
    if (auto i = node.as_integer()) {
      v.kind = Kind::kInt;
      v.number = i->get();
    } else if (auto s = node.as_string()) {
      v.kind = Kind::kString;
      v.text = s->get();
    } else if (auto a = node.as_array()) {
      v.kind = Kind::kList;
      for (auto&& e : *a) {
        if (auto es = e.as_string()) v.list.push_back(es->get());
      }
    }
    (*values)[Lower(key.str())] = std::move(v);
  }
  return true;
}

const ConfigStore::Value* ConfigStore::Find(std::string_view name, Kind kind) const {
  auto it = values_.find(Lower(name));
  return it != values_.end() && it->second.kind == kind ? &it->second : nullptr;
}

bool ConfigStore::GetInt(std::string_view name, int32_t* value) const {
  const Value* v = Find(name, Kind::kInt);
  if (v == nullptr || v->number < INT32_MIN || v->number > UINT32_MAX) return false;
  *value = static_cast<int32_t>(static_cast<uint32_t>(v->number));
  return true;
}

bool ConfigStore::GetString(std::string_view name, std::string* value) const {
  const Value* v = Find(name, Kind::kString);
  if (v == nullptr) return false;
  *value = v->text;
  return true;
}

bool ConfigStore::GetStringList(std::string_view name, std::vector<std::string>* values) const {
  const Value* v = Find(name, Kind::kList);
  if (v == nullptr) return false;
  *values = v->list;
  return true;
}

void ConfigStore::Change(std::string_view name, Value v) {
  changes_.emplace_back(std::string(name), std::move(v));
}

void ConfigStore::SetInt(std::string_view name, int32_t value) {
  Value v;
  v.kind = Kind::kInt;
  v.number = value;
  Change(name, std::move(v));
}

void ConfigStore::SetString(std::string_view name, std::string_view value) {
  Value v;
  v.kind = Kind::kString;
  v.text = value;
  Change(name, std::move(v));
}

void ConfigStore::SetStringList(std::string_view name, std::vector<std::string> values) {
  Value v;
  v.kind = Kind::kList;
  v.list = std::move(values);
  Change(name, std::move(v));
}

void ConfigStore::Remove(std::string_view name) {
  Value v;
  v.kind = Kind::kRemoved;
  Change(name, std::move(v));
}

bool ConfigStore::Save() {
  const std::string& path = files_.user;
  if (path.empty()) {
    error_ = "No settings file is configured";
    return false;
  }
  toml::table table;
  if (!ParseFile(path, &table, &error_)) return false;
  for (auto& [name, v] : changes_) {
    bool text_ok = ValidUtf8(v.text);
    for (const std::string& t : v.list)
      text_ok = text_ok && ValidUtf8(t);
    if (!text_ok) {  // the file cannot carry these bytes unchanged
      error_ = "Error writing '" + path + "': The value '" + name + "' is not valid UTF-8";
      return false;
    }
    std::vector<std::string> same;  // every spelling of the name
    for (auto&& [key, node] : table) {
      if (EqualsNoCase(key.str(), name)) same.emplace_back(key.str());
    }
    for (const std::string& k : same)
      table.erase(k);
    if (v.kind == Kind::kInt) {
      table.insert(name, v.number);
    } else if (v.kind == Kind::kString) {
      table.insert(name, v.text);
    } else if (v.kind == Kind::kList) {
      toml::array a;
      for (const std::string& s : v.list)
        a.push_back(s);
      table.insert(name, std::move(a));
    }
  }
  std::ostringstream text;
  text << table << "\n";
  // Never leave a file that cannot be read again.
  try {
    (void)toml::parse(text.str(), path);
  } catch (const toml::parse_error& e) {
    error_ = "Error writing '" + path + "': " + std::string(e.description());
    return false;
  }
  std::string why;
  if (!WriteAtomically(path, text.str(), &why)) {
    error_ = "Error writing '" + path + "': " + why;
    return false;
  }
  for (auto& [name, v] : changes_) {
    if (v.kind == Kind::kRemoved)
      values_.erase(Lower(name));
    else
      values_[Lower(name)] = std::move(v);
  }
  changes_.clear();
  return true;
}

}  // namespace orin

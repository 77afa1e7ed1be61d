// ConfigStore: the settings file, a flat TOML table of named values:
// integers, strings and arrays of strings.
//
// Where it lives: the file named by `--config` (SetConfigFileOverride), else
// the one named by ZETO_ORIN_CONFIG, else $XDG_CONFIG_HOME/zeto/orin/vm.toml
// (~/.config/zeto/orin/vm.toml). Only in the last case is the machine-wide
// /etc/zeto/orin/vm.toml read first, with the user's values overriding it; a
// file chosen explicitly stands alone, so a test or a second site is never
// disturbed by the machine's settings.
//
// Reading a file that has not changed since the last Load costs one stat:
// each file's parsed values are kept by path, with the file's identity
// (device, inode, size, modification and change times), and used again
// while the identity is the same. A file changed within the last two
// seconds is read again every time, since a second change within the
// file system's timestamp granularity would not change its identity.
//
// Value names are matched without regard to letter case. Saving rewrites
// only the user file: it reads it again, applies the changes made since
// Load and replaces it through a temporary file and a rename, so a reader
// never sees half a file. Comments in the file are not kept.
#ifndef ORIN_PLATFORM_CONFIG_STORE_H_
#define ORIN_PLATFORM_CONFIG_STORE_H_

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace orin {

struct ConfigFiles {
  std::string user;    // read last, written by Save
  std::string system;  // read first when not empty
};

// The files to use now, as described above.
ConfigFiles DefaultConfigFiles();
// Chooses the file for the whole process (the `--config` option); an empty
// path returns to the default.
void SetConfigFileOverride(const std::string& path);
// The user's home directory, or "" when it cannot be found.
std::string HomeDirectory();

class ConfigStore {
 public:
  ConfigStore() : ConfigStore(DefaultConfigFiles()) {}
  explicit ConfigStore(ConfigFiles files) : files_(std::move(files)) {}

  // Reads the files. A missing file is an empty one. False when a file
  // exists but cannot be read or parsed (ErrorText); the other file's
  // values are still read.
  bool Load();

  // False when the value is missing or of another type. Integers must fit
  // 32 bits (unsigned values above 2^31 wrap, as a DWORD would). Array
  // elements that are not strings are skipped.
  bool GetInt(std::string_view name, int32_t* value) const;
  bool GetString(std::string_view name, std::string* value) const;
  bool GetStringList(std::string_view name, std::vector<std::string>* values) const;

  // Changes, written by Save.
  void SetInt(std::string_view name, int32_t value);
  void SetString(std::string_view name, std::string_view value);
  void SetStringList(std::string_view name, std::vector<std::string> values);
  void Remove(std::string_view name);
  bool Save();

  const ConfigFiles& files() const { return files_; }
  const std::string& ErrorText() const { return error_; }

 private:
  enum class Kind { kInt, kString, kList, kOther, kRemoved };
  struct Value {
    Kind kind = Kind::kOther;
    int64_t number = 0;
    std::string text;
    std::vector<std::string> list;
  };

  bool LoadFile(const std::string& path);
  bool ReadFile(const std::string& path, std::map<std::string, Value>* values,
                std::string* error);
  struct ParsedFile;
  const Value* Find(std::string_view name, Kind kind) const;
  void Change(std::string_view name, Value v);

  ConfigFiles files_;
  std::map<std::string, Value> values_;  // by lower-cased name
  std::vector<std::pair<std::string, Value>> changes_;
  std::string error_;
};

}  // namespace orin

#endif  // ORIN_PLATFORM_CONFIG_STORE_H_

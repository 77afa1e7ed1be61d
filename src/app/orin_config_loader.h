// OrinConfigLoader: reads and writes the settings file for the server, its
// connection threads and the settings dialogs. Libraries and error settings
// are kept as lists, in file order.
#ifndef ORIN_APP_ORIN_CONFIG_LOADER_H_
#define ORIN_APP_ORIN_CONFIG_LOADER_H_

#include <string>
#include <vector>

#include "app/orin_base_config.h"

namespace orin {

enum LibraryKind : int32_t {
  kLibraryBuiltin = 0,
  kLibraryDatabase = 1,
  kLibraryCommerce = 2,
  kLibrarySystem = 3,
};

struct LibraryEntry {
  int32_t kind;      // LibraryKind
  std::string name;  // "n/a" for a builtin library
  std::string path;
};

struct ErrorSettingEntry {
  std::string name;
  std::string value;
};

class OrinConfigLoader : public OrinBaseConfig {
 public:
  OrinConfigLoader() = default;
  explicit OrinConfigLoader(ConfigFiles files) : OrinBaseConfig(std::move(files)) {}

  void AddSystemLibrary(std::string_view name, std::string_view path) override;
  void AddBuiltinLibrary(std::string_view path) override;
  void AddCommerceLibrary(std::string_view name, std::string_view path) override;
  void AddDatabaseLibrary(std::string_view name, std::string_view path) override;
  void SetErrorSetting(std::string_view name, std::string_view value) override;
  void ClearLibraries() override { libraries_.clear(); }
  void ClearErrorSettings() override { error_settings_.clear(); }

  // Writes port, showdialog and every saved value; a text without a value
  // is removed from the file. False with ErrorText when the file cannot be
  // written.
  virtual bool Save();
  // Writes "libraries": kind letter (b, d, c, s), ",", name, ",", path.
  virtual bool SaveLibraries();
  // Writes "errorsettings": name, "=", value.
  virtual bool SaveErrorSettings();
  virtual const std::vector<LibraryEntry>& Libraries() const { return libraries_; }
  virtual const std::vector<ErrorSettingEntry>& ErrorSettings() const { return error_settings_; }

 private:
  bool Commit(ConfigStore* store);

  std::vector<LibraryEntry> libraries_;
  std::vector<ErrorSettingEntry> error_settings_;
};

}  // namespace orin

#endif  // ORIN_APP_ORIN_CONFIG_LOADER_H_

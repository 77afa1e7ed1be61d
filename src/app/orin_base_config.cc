#include "app/orin_base_config.h"

#include <vector>

#include "util/ascii.h"
#include "vm/error_settings.h"

namespace orin {

OrinBaseConfig::OrinBaseConfig() : default_files_(true) {}

OrinBaseConfig::OrinBaseConfig(ConfigFiles files)
    : default_files_(false), files_(std::move(files)) {}

OrinBaseConfig::~OrinBaseConfig() = default;

ConfigFiles OrinBaseConfig::Files() const {
  return default_files_ ? DefaultConfigFiles() : files_;
}

ConfigValue* OrinBaseConfig::CreateDefault(uint32_t key) {
  const char* leaf = key == config_key::kDirZeto   ? "/ZetoOrin/html"
                     : key == config_key::kDirData ? "/ZetoOrin/data"
                                                   : nullptr;
  if (leaf == nullptr) return Config::CreateDefault(key);
  std::string home = HomeDirectory();
  if (home.empty()) return nullptr;
  return CopiedText(key, home + leaf);
}

int32_t* OrinBaseConfig::PortField() {
  return &port_;
}

int32_t* OrinBaseConfig::ShowDialogField() {
  return &show_dialog_;
}

bool OrinBaseConfig::Load() {
  ConfigStore store(Files());
  bool ok = store.Load();
  error_ = ok ? std::string() : store.ErrorText();
  LoadValues(store);
  LoadLibraries(store);
  LoadErrorSettings(store);
  return ok;
}

void OrinBaseConfig::LoadValues(const ConfigStore& store) {
  std::string text;
  for (const ConfigKeyName& n : ConfigKeyNames()) {
    if (n.value_name == nullptr) continue;
    Reset(n.key);
    int32_t number;
    if (IsIntConfigKey(n.key) && store.GetInt(n.value_name, &number)) SetInt(n.key, number);
    if (IsTextConfigKey(n.key) && store.GetString(n.value_name, &text)) SetText(n.key, text);
  }
  port_ = kDefaultPort;
  show_dialog_ = 1;
  store.GetInt("port", &port_);
  store.GetInt("showdialog", &show_dialog_);
}

// Entries are kind letter, ",", name, ",", path; the path may hold commas.
void OrinBaseConfig::LoadLibraries(const ConfigStore& store) {
  ClearLibraries();
  std::vector<std::string> entries;
  if (!store.GetStringList("libraries", &entries)) return;
  for (const std::string& e : entries) {
    size_t first = e.find(',');
    size_t second = first == std::string::npos ? first : e.find(',', first + 1);
    if (second == std::string::npos) continue;
    std::string_view entry(e);
    std::string_view name = entry.substr(first + 1, second - first - 1);
    std::string_view path = entry.substr(second + 1);
    switch (AsciiLower(e[0])) {
      case 'c':
        AddCommerceLibrary(name, path);
        break;
      case 'd':
        AddDatabaseLibrary(name, path);
        break;
      case 'b':
        AddBuiltinLibrary(path);
        break;
      case 's':
        AddSystemLibrary(name, path);
        break;
      default:
        break;
    }
  }
}

// Entries are name "=" value; names that are no runtime error are skipped.
void OrinBaseConfig::LoadErrorSettings(const ConfigStore& store) {
  ClearErrorSettings();
  std::vector<std::string> entries;
  if (!store.GetStringList("errorsettings", &entries)) return;
  for (const std::string& e : entries) {
    size_t eq = e.find('=');
    if (eq == std::string::npos) continue;
    std::string_view entry(e);
    std::string_view name = entry.substr(0, eq);
    if (TagLookup(name) < 0) continue;
    SetErrorSetting(name, entry.substr(eq + 1));
  }
}

}  // namespace orin

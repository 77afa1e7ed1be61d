#include "app/orin_config_loader.h"

namespace orin {

void OrinConfigLoader::AddSystemLibrary(std::string_view name, std::string_view path) {
  libraries_.push_back({kLibrarySystem, std::string(name), std::string(path)});
}

void OrinConfigLoader::AddBuiltinLibrary(std::string_view path) {
  libraries_.push_back({kLibraryBuiltin, "n/a", std::string(path)});
}

void OrinConfigLoader::AddCommerceLibrary(std::string_view name, std::string_view path) {
  libraries_.push_back({kLibraryCommerce, std::string(name), std::string(path)});
}

void OrinConfigLoader::AddDatabaseLibrary(std::string_view name, std::string_view path) {
  libraries_.push_back({kLibraryDatabase, std::string(name), std::string(path)});
}

void OrinConfigLoader::SetErrorSetting(std::string_view name, std::string_view value) {
  error_settings_.push_back({std::string(name), std::string(value)});
}

bool OrinConfigLoader::Commit(ConfigStore* store) {
  if (store->Save()) return true;
  set_error(store->ErrorText());
  return false;
}

bool OrinConfigLoader::Save() {
  ConfigStore store(Files());
  store.SetInt("port", port());
  store.SetInt("showdialog", show_dialog());
  for (const ConfigKeyName& n : ConfigKeyNames()) {
    if (!n.saved) continue;
    if (IsIntConfigKey(n.key)) {
      store.SetInt(n.value_name, GetInt(n.key));
      continue;
    }
    int32_t length = 0;
    const char* text = GetString(n.key, &length);
    if (text == nullptr) {
      store.Remove(n.value_name);
    } else {
      store.SetString(n.value_name, std::string_view(text, static_cast<size_t>(length)));
    }
  }
  return Commit(&store);
}

bool OrinConfigLoader::SaveLibraries() {
  static constexpr char kLetters[] = {'b', 'd', 'c', 's'};
  std::vector<std::string> entries;
  for (const LibraryEntry& l : libraries_) {
    if (l.kind < 0 || l.kind > 3) continue;
    entries.push_back(std::string(1, kLetters[l.kind]) + "," + l.name + "," + l.path);
  }
  ConfigStore store(Files());
  store.SetStringList("libraries", std::move(entries));
  return Commit(&store);
}

bool OrinConfigLoader::SaveErrorSettings() {
  std::vector<std::string> entries;
  for (const ErrorSettingEntry& e : error_settings_)
    entries.push_back(e.name + "=" + e.value);
  ConfigStore store(Files());
  store.SetStringList("errorsettings", std::move(entries));
  return Commit(&store);
}

}  // namespace orin

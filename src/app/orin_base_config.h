// OrinBaseConfig: the server's configuration as kept in the settings file
// (platform/config_store.h): the keyed values of Config, the listening port
// and the show-dialog flag, the external libraries and the runtime error
// settings.
//
// Load reads the file; what it does with libraries and error settings is
// up to the subclass: OrinConfigLoader keeps them as lists (for the server
// and the settings dialogs), OrinConfig applies them to the run.
//
// The order of the virtual operations is fixed: libraries call through it.
#ifndef ORIN_APP_ORIN_BASE_CONFIG_H_
#define ORIN_APP_ORIN_BASE_CONFIG_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/config_store.h"
#include "util/config.h"

namespace orin {

class OrinBaseConfig : public Config {
 public:
  static constexpr int32_t kDefaultPort = 80;

  // Uses the settings files of DefaultConfigFiles() at the time of Load.
  OrinBaseConfig();
  // Uses the given files (tests, a second site).
  explicit OrinBaseConfig(ConfigFiles files);
  ~OrinBaseConfig() override;

  // The script root and data directory default to ~/ZetoOrin/html and
  // ~/ZetoOrin/data; everything else comes from Config.
  ConfigValue* CreateDefault(uint32_t key) override;

  // Reads the settings files. Every value that has a name in the file goes
  // back to its default first, so a value removed from the file reverts.
  // Missing files or values leave the defaults; wrongly typed values are
  // ignored. False (ErrorText) when a file exists but cannot be read; the
  // values of the other file still count.
  virtual bool Load();
  virtual void AddSystemLibrary(std::string_view name, std::string_view path) = 0;
  virtual void AddBuiltinLibrary(std::string_view path) = 0;
  virtual void AddCommerceLibrary(std::string_view name, std::string_view path) = 0;
  virtual void AddDatabaseLibrary(std::string_view name, std::string_view path) = 0;
  // A setting for a known runtime error name (TagLookup); `value` is the
  // configured text ("fatal,display").
  virtual void SetErrorSetting(std::string_view name, std::string_view value) = 0;
  virtual void ClearLibraries() = 0;
  virtual void ClearErrorSettings() = 0;
  virtual int32_t* PortField();
  virtual int32_t* ShowDialogField();

  int32_t port() const { return port_; }
  int32_t show_dialog() const { return show_dialog_; }
  const std::string& ErrorText() const { return error_; }

 protected:
  // The settings files to read and write now.
  ConfigFiles Files() const;
  void set_error(std::string text) { error_ = std::move(text); }

 private:
  void LoadValues(const ConfigStore& store);
  void LoadLibraries(const ConfigStore& store);
  void LoadErrorSettings(const ConfigStore& store);

  bool default_files_;
  ConfigFiles files_;
  int32_t port_ = kDefaultPort;
  int32_t show_dialog_ = 1;
  std::string error_;
};

}  // namespace orin

#endif  // ORIN_APP_ORIN_BASE_CONFIG_H_

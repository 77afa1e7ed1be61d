#include "desktop_test_support.h"

#include <QDir>
#include <QPixmap>

#include "platform/socket.h"

namespace orin {

SettingsFile::SettingsFile(const std::string& text) {
  dir_.MakeDir("html");
  dir_.MakeDir("data");
  dir_.Write("vm.toml", text);
}

std::unique_ptr<OrinConfigLoader> SettingsFile::NewLoader() const {
  auto loader = std::make_unique<OrinConfigLoader>(files());
  loader->Load();
  return loader;
}

ConfigStore SettingsFile::Reread() const {
  ConfigStore store(files());
  store.Load();
  return store;
}

void ClickOk(QDialog* dialog) {
  Find<QDialogButtonBox>(dialog, "buttons")->button(QDialogButtonBox::Ok)->click();
}

void ClickCancel(QDialog* dialog) {
  Find<QDialogButtonBox>(dialog, "buttons")->button(QDialogButtonBox::Cancel)->click();
}

void Click(QWidget* parent, const char* button) {
  Find<QPushButton>(parent, button)->click();
}

void SaveScreenshot(QWidget* window, const char* name) {
  QString dir = QString(ORIN_BINARY_DIR) + "/desktop-screenshots";
  QDir().mkpath(dir);
  window->adjustSize();
  window->grab().save(dir + "/" + name + ".png");
}

int FreePort() {
  Socket listener;
  std::string error;
  if (ListenTcp("127.0.0.1", 0, 1, &listener, &error) != ListenStatus::kListening) return -1;
  return listener.LocalPort();
}

bool Answers(int port) {
  Socket s;
  std::string error;
  return ConnectTcp("127.0.0.1", port, &s, &error);
}

}  // namespace orin

// Shared pieces of the desktop tests: a settings file in a temporary
// folder, prompts that record what the windows say instead of waiting for
// a person, a way to answer a modal dialog, and screenshots.
#ifndef ORIN_TESTS_DESKTOP_DESKTOP_TEST_SUPPORT_H_
#define ORIN_TESTS_DESKTOP_DESKTOP_TEST_SUPPORT_H_

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/orin_config_loader.h"
#include "files/temp_dir.h"
#include "platform/config_store.h"
#include "shell_prompts.h"

namespace orin {

// A temporary folder with vm.toml, an html and a data directory.
class SettingsFile {
 public:
  explicit SettingsFile(const std::string& text);
  std::string path() const { return dir_ / "vm.toml"; }
  std::string root() const { return dir_ / "html"; }
  std::string Text() const { return dir_.Read("vm.toml"); }
  void Write(const std::string& text) const { dir_.Write("vm.toml", text); }
  ConfigFiles files() const { return {path(), ""}; }
  // A loader over this file, loaded.
  std::unique_ptr<OrinConfigLoader> NewLoader() const;
  // The file as the server would read it now.
  ConfigStore Reread() const;

 private:
  TempDir dir_;
};

class RecordingPrompts : public ShellPrompts {
 public:
  RecordingPrompts() { ShellPrompts::Set(this); }
  ~RecordingPrompts() override { ShellPrompts::Set(nullptr); }

  struct Message {
    QString caption;
    QString text;
  };
  std::vector<Message> errors;
  std::vector<Message> questions;
  std::vector<QString> opened;
  bool confirm_answer = true;
  bool open_succeeds = true;
  QString chosen;  // what a directory or file chooser returns

  void Error(QWidget*, const QString& caption, const QString& text) override {
    errors.push_back({caption, text});
  }
  bool Confirm(QWidget*, const QString& caption, const QString& text) override {
    questions.push_back({caption, text});
    return confirm_answer;
  }
  QString Directory(QWidget*, const QString&) override { return chosen; }
  QString File(QWidget*, const QString&, const QString& filter, const QString& suffix) override {
    last_filter = filter;
    last_suffix = suffix;
    return chosen;
  }
  bool OpenUrl(const QString& address) override {
    opened.push_back(address);
    return open_succeeds;
  }
  QString last_filter;
  QString last_suffix;
  QString LastError() const { return errors.empty() ? QString() : errors.back().text; }
};

template <typename T>
T* Find(QWidget* parent, const char* name) {
  return parent->findChild<T*>(name);
}
inline void SetField(QWidget* parent, const char* name, const QString& text) {
  Find<QLineEdit>(parent, name)->setText(text);
}
inline QString Field(QWidget* parent, const char* name) {
  return Find<QLineEdit>(parent, name)->text();
}
void ClickOk(QDialog* dialog);
void ClickCancel(QDialog* dialog);
void Click(QWidget* parent, const char* button);

// Runs `answer` on the next modal dialog of type T once it is open (the
// caller then opens it with exec()).
template <typename T>
void WhenModal(std::function<void(T*)> answer) {
  auto* timer = new QTimer(qApp);
  QObject::connect(timer, &QTimer::timeout, [timer, answer] {
    if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
      timer->stop();
      timer->deleteLater();
      answer(dialog);
    }
  });
  timer->start(5);
}

// Saves a picture of the window into <build>/desktop-screenshots/<name>.png.
void SaveScreenshot(QWidget* window, const char* name);

// A TCP port nobody listens on now.
int FreePort();
// True when a connection to 127.0.0.1:port is accepted.
bool Answers(int port);

}  // namespace orin

#endif  // ORIN_TESTS_DESKTOP_DESKTOP_TEST_SUPPORT_H_

#include "shell_prompts.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QUrl>

namespace orin {

namespace {
ShellPrompts* installed = nullptr;
}  // namespace

void ShellPrompts::Error(QWidget* parent, const QString& caption, const QString& text) {
  QMessageBox::critical(parent, caption, text);
}

bool ShellPrompts::Confirm(QWidget* parent, const QString& caption, const QString& text) {
  return QMessageBox::warning(parent, caption, text, QMessageBox::Yes | QMessageBox::No,
                              QMessageBox::Yes) == QMessageBox::Yes;
}

QString ShellPrompts::Directory(QWidget* parent, const QString& start) {
  return QFileDialog::getExistingDirectory(parent, "Please select a directory:", start);
}

QString ShellPrompts::File(QWidget* parent, const QString& start, const QString& filter,
                           const QString& default_suffix) {
  QFileDialog dialog(parent, QString(), start, filter);
  dialog.setFileMode(QFileDialog::AnyFile);
  if (!default_suffix.isEmpty()) dialog.setDefaultSuffix(default_suffix);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
  return dialog.selectedFiles().first();
}

bool ShellPrompts::OpenUrl(const QString& address) {
  return QDesktopServices::openUrl(QUrl(address));
}

ShellPrompts& ShellPrompts::Current() {
  static ShellPrompts standard;
  return installed ? *installed : standard;
}

void ShellPrompts::Set(ShellPrompts* prompts) {
  installed = prompts;
}

bool ReadIntField(QWidget* parent, QLineEdit* field, int low, int high, int32_t* value) {
  bool ok = false;
  qlonglong number = field->text().trimmed().toLongLong(&ok);
  if (ok && number >= low && number <= high) {
    *value = static_cast<int32_t>(number);
    return true;
  }
  ShellPrompts::Current().Error(
      parent, "Zeto Orin",
      QString("Please enter an integer between %1 and %2.").arg(low).arg(high));
  field->setFocus();
  field->selectAll();
  return false;
}

}  // namespace orin

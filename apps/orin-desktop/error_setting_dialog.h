// ErrorSettingDialog: the runtime error settings (name = value);
// ErrorSettingEditDialog: one of them.
#ifndef ORIN_APPS_ORIN_DESKTOP_ERROR_SETTING_DIALOG_H_
#define ORIN_APPS_ORIN_DESKTOP_ERROR_SETTING_DIALOG_H_

#include <QDialog>
#include <vector>

#include "app/orin_config_loader.h"

class QLineEdit;
class QTreeWidget;

namespace orin {

class ErrorSettingEditDialog : public QDialog {
  Q_OBJECT

 public:
  explicit ErrorSettingEditDialog(const ErrorSettingEntry& entry, QWidget* parent = nullptr);

  const ErrorSettingEntry& entry() const { return entry_; }
  void accept() override;

 private:
  ErrorSettingEntry entry_;
  QLineEdit* name_;
  QLineEdit* value_;
};

class ErrorSettingDialog : public QDialog {
  Q_OBJECT

 public:
  explicit ErrorSettingDialog(std::vector<ErrorSettingEntry> settings, QWidget* parent = nullptr);

  const std::vector<ErrorSettingEntry>& settings() const { return settings_; }

  void Insert();
  void Edit();
  void Delete();

 private:
  void Fill(int select);

  std::vector<ErrorSettingEntry> settings_;
  QTreeWidget* list_;
};

}  // namespace orin

#endif  // ORIN_APPS_ORIN_DESKTOP_ERROR_SETTING_DIALOG_H_

// COptionsDialog: caller-id cookie, certificate checks, POST limits and the
// SOCKS proxy.
#ifndef ORIN_APPS_ORIN_DESKTOP_OPTIONS_DIALOG_H_
#define ORIN_APPS_ORIN_DESKTOP_OPTIONS_DIALOG_H_

#include <QDialog>

#include "shell_values.h"

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace orin {

class COptionsDialog : public QDialog {
  Q_OBJECT

 public:
  explicit COptionsDialog(const OptionsValues& values, QWidget* parent = nullptr);

  // The edited values; changed only by an accepted OK.
  const OptionsValues& values() const { return values_; }
  void accept() override;

 private:
  OptionsValues values_;
  QCheckBox* cookies_;
  QCheckBox* verify_chain_;
  QCheckBox* verify_hostname_;
  QCheckBox* verify_ip_;
  QLineEdit* max_post_vars_;
  QLineEdit* post_timeout_;
  QComboBox* socks_version_;
  QLineEdit* socks_host_;
  QLineEdit* socks_port_;
  QLineEdit* socks_username_;
  QLineEdit* socks_password_;
};

}  // namespace orin

#endif  // ORIN_APPS_ORIN_DESKTOP_OPTIONS_DIALOG_H_

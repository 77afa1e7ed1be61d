// CSSLSettingsDialog: the OpenSSL library files and the SSL settings text.
#ifndef ORIN_APPS_ORIN_DESKTOP_SSL_SETTINGS_DIALOG_H_
#define ORIN_APPS_ORIN_DESKTOP_SSL_SETTINGS_DIALOG_H_

#include <QDialog>

#include "shell_values.h"

class QLineEdit;

namespace orin {

class CSSLSettingsDialog : public QDialog {
  Q_OBJECT

 public:
  explicit CSSLSettingsDialog(const SslValues& values, QWidget* parent = nullptr);

  const SslValues& values() const { return values_; }
  void accept() override;

 private:
  void Browse(QLineEdit* field);

  SslValues values_;
  QLineEdit* openssl_;
  QLineEdit* crypto_;
  QLineEdit* config_;
};

}  // namespace orin

#endif  // ORIN_APPS_ORIN_DESKTOP_SSL_SETTINGS_DIALOG_H_

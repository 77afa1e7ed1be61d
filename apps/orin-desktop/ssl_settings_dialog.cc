#include "ssl_settings_dialog.h"

#include <QFormLayout>
#include <QVBoxLayout>

#include "dialog_parts.h"
#include "shell_prompts.h"

namespace orin {

CSSLSettingsDialog::CSSLSettingsDialog(const SslValues& values, QWidget* parent)
    : QDialog(parent), values_(values) {
  setWindowTitle("SSL Settings");
  setMinimumWidth(420);
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  openssl_ = NewField(this, "openssl", Q(values.openssl));
  crypto_ = NewField(this, "openssl_crypto", Q(values.crypto));
  config_ = NewField(this, "sslconfig", Q(values.config));
  form->addRow("OpenSSL Library:",
               WithBrowseButton(openssl_, "browseopenssl", [this] { Browse(openssl_); }));
  form->addRow("Crypto Library:",
               WithBrowseButton(crypto_, "browsecrypto", [this] { Browse(crypto_); }));
  form->addRow("Config:", WithBrowseButton(config_, "browseconfig", [this] { Browse(config_); }));
  layout->addLayout(form);
  layout->addWidget(NewOkCancel(this));
}

void CSSLSettingsDialog::Browse(QLineEdit* field) {
  QString file = ShellPrompts::Current().File(this, field->text(), QString(), QString());
  if (!file.isEmpty()) field->setText(file);
}

void CSSLSettingsDialog::accept() {
  values_ = {S(openssl_->text()), S(crypto_->text()), S(config_->text())};
  QDialog::accept();
}

}  // namespace orin

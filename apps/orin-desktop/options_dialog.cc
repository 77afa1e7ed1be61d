#include "options_dialog.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QVBoxLayout>
#include <climits>

#include "dialog_parts.h"
#include "shell_prompts.h"

namespace orin {

COptionsDialog::COptionsDialog(const OptionsValues& values, QWidget* parent)
    : QDialog(parent), values_(values) {
  setWindowTitle("Options");
  auto* layout = new QVBoxLayout(this);
  cookies_ = NewCheck(this, "usecookies", "Enable pgscallerid Cookie", values.use_cookies);
  layout->addWidget(cookies_);

  auto* tls = new QGroupBox("SSL/TLS Certificate Verification", this);
  auto* tls_layout = new QVBoxLayout(tls);
  verify_chain_ = NewCheck(tls, "verifychain", "Verify Chain", values.verify_chain);
  verify_hostname_ = NewCheck(tls, "verifyhostname", "Verify Identity When Using Hostname",
                              values.verify_hostname);
  verify_ip_ = NewCheck(tls, "verifyip", "Verify Identity When Using IP", values.verify_ip);
  tls_layout->addWidget(verify_chain_);
  tls_layout->addWidget(verify_hostname_);
  tls_layout->addWidget(verify_ip_);
  layout->addWidget(tls);

  auto* post = new QGroupBox("POST Options", this);
  auto* post_form = new QFormLayout(post);
  max_post_vars_ = NewNumberField(post, "maxpostvars", values.max_post_vars);
  post_timeout_ = NewNumberField(post, "posttimeout", values.post_timeout);
  post_form->addRow("Max. Variables:", max_post_vars_);
  post_form->addRow("Timeout:", post_timeout_);
  layout->addWidget(post);

  auto* socks = new QGroupBox("SOCKS Proxy Server Options", this);
  auto* socks_form = new QFormLayout(socks);
  socks_version_ = new QComboBox(socks);
  socks_version_->setObjectName("socksversion");
  socks_version_->addItems({"4", "5"});
  socks_version_->setCurrentIndex(values.socks_version == 5 ? 1 : 0);
  socks_host_ = NewField(socks, "sockshost", Q(values.socks_host));
  socks_port_ = NewNumberField(socks, "socksport", values.socks_port);
  socks_username_ = NewField(socks, "socksusername", Q(values.socks_username));
  socks_password_ = NewField(socks, "sockspassword", Q(values.socks_password));
  socks_password_->setEchoMode(QLineEdit::Password);
  socks_form->addRow("Version:", socks_version_);
  socks_form->addRow("Host:", socks_host_);
  socks_form->addRow("Port:", socks_port_);
  socks_form->addRow("Username:", socks_username_);
  socks_form->addRow("Password:", socks_password_);
  layout->addWidget(socks);
  layout->addWidget(NewOkCancel(this));
}

void COptionsDialog::accept() {
  OptionsValues v = values_;
  if (!ReadIntField(this, max_post_vars_, 0, INT_MAX, &v.max_post_vars) ||
      !ReadIntField(this, post_timeout_, 0, INT_MAX, &v.post_timeout) ||
      !ReadIntField(this, socks_port_, 1, 65535, &v.socks_port)) {
    return;
  }
  v.use_cookies = cookies_->isChecked();
  v.verify_chain = verify_chain_->isChecked();
  v.verify_hostname = verify_hostname_->isChecked();
  v.verify_ip = verify_ip_->isChecked();
  v.socks_version = socks_version_->currentIndex() == 1 ? 5 : 4;
  v.socks_host = S(socks_host_->text());
  v.socks_username = S(socks_username_->text());
  v.socks_password = S(socks_password_->text());
  values_ = v;
  QDialog::accept();
}

}  // namespace orin

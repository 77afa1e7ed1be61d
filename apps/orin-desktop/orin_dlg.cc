#include "orin_dlg.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <climits>

#include "about_dlg.h"
#include "app/site_server.h"
#include "debug_log_dialog.h"
#include "dialog_parts.h"
#include "error_setting_dialog.h"
#include "library_dialog.h"
#include "options_dialog.h"
#include "shell_prompts.h"
#include "ssl_settings_dialog.h"

namespace orin {

COrinDlg::COrinDlg(SiteServer* server, OrinConfigLoader* config, QWidget* parent)
    : QDialog(parent), server_(server), config_(config) {
  setWindowTitle("Zeto Orin - Status: Running");
  setWindowIcon(QIcon(":/orin-desktop.png"));
  setMinimumWidth(640);  // room for the directory paths
  auto* outer = new QVBoxLayout(this);
  no_tray_note_ = new QLabel(
      "There is no notification area on this desktop, so this window stays open while the "
      "server runs.",
      this);
  no_tray_note_->setObjectName("notray");
  no_tray_note_->setWordWrap(true);
  no_tray_note_->hide();
  outer->addWidget(no_tray_note_);

  auto* columns = new QHBoxLayout;
  auto* form = new QFormLayout;
  port_ = NewField(this, "port", "");
  zetoroot_ = NewField(this, "zetoroot", "");
  datadir_ = NewField(this, "datadir", "");
  defaultfile_ = NewField(this, "defaultfile", "");
  global_timeout_ = NewField(this, "globaltimeout", "");
  mail_timeout_ = NewField(this, "mailtimeout", "");
  call_timeout_ = NewField(this, "calltimeout", "");
  show_dialog_ = NewCheck(this, "showdialog", "Display this Screen on Startup", true);
  auto browse_directory = [this](QLineEdit* field) {
    QString dir = ShellPrompts::Current().Directory(this, field->text());
    if (!dir.isEmpty()) field->setText(dir);
  };
  form->addRow("Port:", port_);
  form->addRow("WWW documents directory:", WithBrowseButton(zetoroot_, "browsezetoroot", [=, this] {
                 browse_directory(zetoroot_);
               }));
  form->addRow("Data directory:", WithBrowseButton(datadir_, "browsedatadir",
                                                   [=, this] { browse_directory(datadir_); }));
  form->addRow("File used when no file name is given:", defaultfile_);
  form->addRow("Global Timeout:", global_timeout_);
  form->addRow("Mail Timeout:", mail_timeout_);
  form->addRow("Call Timeout:", call_timeout_);
  form->addRow(show_dialog_);
  columns->addLayout(form, 1);

  // The letters after "&" are the keyboard shortcuts (Alt+letter).
  auto* buttons = new QVBoxLayout;
  const std::pair<const char*, const char*> labels[] = {
      {"ok", "OK"},
      {"apply", "&Apply"},
      {"shutdown", "S&hutdown"},
      {"libraries", "&Libraries..."},
      {"errorsettings", "&Error Settings..."},
      {"debuglog", "De&bug Log..."},
      {"options", "O&ptions..."},
      {"homepage", "Ho&me Page..."},
      {"sslsettings", "SSL Se&ttings..."},
      {"about", "Ab&out..."},
  };
  const std::function<void()> actions[] = {
      [this] { accept(); },
      [this] { Apply(); },
      [this] { emit ShutdownRequested(); },
      [this] { EditLibraries(); },
      [this] { EditErrorSettings(); },
      [this] { EditDebugLog(); },
      [this] { EditOptions(); },
      [this] { ShowHomePage(); },
      [this] { EditSslSettings(); },
      [this] { ShowAbout(); },
  };
  for (size_t i = 0; i < std::size(labels); ++i) {
    auto* button = new QPushButton(labels[i].second, this);
    button->setObjectName(labels[i].first);
    button->setAutoDefault(false);
    if (i == 0) button->setDefault(true);
    connect(button, &QPushButton::clicked, this, actions[i]);
    buttons->addWidget(button);
  }
  buttons->addStretch(1);
  columns->addLayout(buttons);
  outer->addLayout(columns);
  LoadFields();
  port_->setFocus();
}

void COrinDlg::LoadFields() {
  MainValues v = LoadMainValues(*config_);
  port_->setText(QString::number(v.port));
  zetoroot_->setText(Q(v.zetoroot));
  datadir_->setText(Q(v.datadir));
  defaultfile_->setText(Q(v.defaultfile));
  global_timeout_->setText(QString::number(v.global_timeout));
  mail_timeout_->setText(QString::number(v.mail_timeout));
  call_timeout_->setText(QString::number(v.call_timeout));
  show_dialog_->setChecked(v.show_dialog);
  options_ = LoadOptionsValues(*config_);
  ssl_ = LoadSslValues(*config_);
}

void COrinDlg::SetNoNotificationArea() {
  no_notification_area_ = true;
  no_tray_note_->show();
}

bool COrinDlg::Apply() {
  MainValues v;
  if (!ReadIntField(this, port_, 1, 65535, &v.port) ||
      !ReadIntField(this, global_timeout_, 0, INT_MAX, &v.global_timeout) ||
      !ReadIntField(this, mail_timeout_, 0, INT_MAX, &v.mail_timeout) ||
      !ReadIntField(this, call_timeout_, 0, INT_MAX, &v.call_timeout)) {
    return false;
  }
  v.zetoroot = S(zetoroot_->text());
  v.datadir = S(datadir_->text());
  v.defaultfile = S(defaultfile_->text());
  v.show_dialog = show_dialog_->isChecked();

  int running = server_->port();
  bool restart = v.port != running;
  if (restart && !ShellPrompts::Current().Confirm(
                     this, "Warning",
                     "A server restart is required to change the port.\nDoing so will close all "
                     "active connections.")) {
    return false;
  }
  StoreMainValues(v, config_);
  StoreOptionsValues(options_, config_);
  StoreSslValues(ssl_, config_);
  // The listener takes its port from the settings file, so save first.
  if (!config_->Save()) {
    ShellPrompts::Current().Error(this, "Error", Q(config_->ErrorText()));
    return false;
  }
  if (restart && !Restart() && running > 0) {
    // Back to the port that worked, in the file and in the field.
    *config_->PortField() = running;
    config_->Save();
    server_->Start();
    port_->setText(QString::number(running));
  }
  emit ConfigChanged();
  return true;
}

bool COrinDlg::Restart() {
  server_->Stop();
  if (server_->Start()) return true;
  ShellPrompts::Current().Error(
      this, "Error",
      server_->port_in_use() ? QString("The specified port is in use") : Q(server_->ErrorText()));
  return false;
}

void COrinDlg::ShowHomePage() {
  QString address = Q(HomePageAddress(server_->port()));
  if (ShellPrompts::Current().OpenUrl(address)) return;
  ShellPrompts::Current().Error(this, "Error",
                                "Zeto Vendra Orin was unable to launch your WWW browser.\n"
                                "Manually start your browser and enter the URL " +
                                    address);
}

void COrinDlg::accept() {
  if (Apply()) Close();
}

void COrinDlg::reject() {
  Close();
}

void COrinDlg::Close() {
  if (no_notification_area_) {
    showMinimized();
  } else {
    hide();
  }
}

void COrinDlg::EditOptions() {
  COptionsDialog dialog(options_, this);
  if (dialog.exec() == QDialog::Accepted) options_ = dialog.values();
}

void COrinDlg::EditSslSettings() {
  CSSLSettingsDialog dialog(ssl_, this);
  if (dialog.exec() == QDialog::Accepted) ssl_ = dialog.values();
}

void COrinDlg::EditDebugLog() {
  CDebugLogDialog dialog(LoadDebugLogValues(*config_), this);
  if (dialog.exec() != QDialog::Accepted) return;
  StoreDebugLogValues(dialog.values(), config_);
  if (!config_->Save()) {
    ShellPrompts::Current().Error(this, "Error", Q(config_->ErrorText()));
    return;
  }
  emit ConfigChanged();
}

void COrinDlg::EditLibraries() {
  CLibraryDialog dialog(config_->Libraries(), this);
  if (dialog.exec() != QDialog::Accepted) return;
  StoreLibraries(dialog.libraries(), config_);
  if (!config_->SaveLibraries()) {
    ShellPrompts::Current().Error(this, "Error", Q(config_->ErrorText()));
    return;
  }
  emit ConfigChanged();
}

void COrinDlg::EditErrorSettings() {
  ErrorSettingDialog dialog(config_->ErrorSettings(), this);
  if (dialog.exec() != QDialog::Accepted) return;
  StoreErrorSettings(dialog.settings(), config_);
  if (!config_->SaveErrorSettings()) {
    ShellPrompts::Current().Error(this, "Error", Q(config_->ErrorText()));
    return;
  }
  emit ConfigChanged();
}

void COrinDlg::ShowAbout() {
  CAboutDlg about(this);
  about.exec();
}

}  // namespace orin

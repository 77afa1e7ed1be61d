// COrinDlg: the main settings window. Modeless; closing it only hides it
// (or, where there is no notification icon to bring it back, minimises it).
#ifndef ORIN_APPS_ORIN_DESKTOP_ORIN_DLG_H_
#define ORIN_APPS_ORIN_DESKTOP_ORIN_DLG_H_

#include <QDialog>

#include "app/orin_config_loader.h"
#include "shell_values.h"

class QCheckBox;
class QLabel;
class QLineEdit;

namespace orin {

class SiteServer;

class COrinDlg : public QDialog {
  Q_OBJECT

 public:
  COrinDlg(SiteServer* server, OrinConfigLoader* config, QWidget* parent = nullptr);

  // Validates the fields, restarts the listener when the port changed (after
  // asking), stores every value and saves the settings. False when nothing
  // was applied.
  bool Apply();
  void ShowHomePage();
  // Without a notification area the window must stay reachable.
  void SetNoNotificationArea();
  // The Options and SSL values waiting for Apply.
  const OptionsValues& options() const { return options_; }
  const SslValues& ssl() const { return ssl_; }

  void accept() override;  // OK
  void reject() override;  // the close box and Escape

  void EditOptions();
  void EditSslSettings();
  void EditDebugLog();
  void EditLibraries();
  void EditErrorSettings();
  void ShowAbout();

 signals:
  // The settings file changed: the connection threads should read it again.
  void ConfigChanged();
  void ShutdownRequested();

 private:
  void LoadFields();
  bool Restart();
  void Close();

  SiteServer* server_;
  OrinConfigLoader* config_;
  OptionsValues options_;
  SslValues ssl_;
  bool no_notification_area_ = false;
  QLineEdit* port_;
  QLineEdit* zetoroot_;
  QLineEdit* datadir_;
  QLineEdit* defaultfile_;
  QLineEdit* global_timeout_;
  QLineEdit* mail_timeout_;
  QLineEdit* call_timeout_;
  QCheckBox* show_dialog_;
  QLabel* no_tray_note_;
};

}  // namespace orin

#endif  // ORIN_APPS_ORIN_DESKTOP_ORIN_DLG_H_

// CDelegationWindow: owns the notification icon, its menu and the main
// window, and passes settings changes on to the server.
#ifndef ORIN_APPS_ORIN_DESKTOP_DELEGATION_WINDOW_H_
#define ORIN_APPS_ORIN_DESKTOP_DELEGATION_WINDOW_H_

#include <QObject>
#include <memory>

#include "app/orin_config_loader.h"

class QMenu;
class QSystemTrayIcon;

namespace orin {

class COrinDlg;
class SiteServer;

class CDelegationWindow : public QObject {
  Q_OBJECT

 public:
  // `config` is the shell's configuration the main window edits.
  CDelegationWindow(SiteServer* server, OrinConfigLoader* config);
  ~CDelegationWindow() override;

  // Adds the icon (or, without a notification area, shows the main window
  // and says so on standard error) and shows the main window when
  // `showdialog` is set.
  void Create();
  COrinDlg* main_window() const { return main_window_.get(); }
  bool has_icon() const { return icon_ != nullptr; }
  // The icon's menu (built even where there is no icon to show it).
  QMenu* menu() const { return menu_.get(); }

  void ShowMainWindow();
  // Reads the settings again and has every connection thread do the same.
  void OnConfigChanged();
  // Stops the server, removes the icon and ends the program.
  void ShutDown();

 private:
  SiteServer* server_;
  OrinConfigLoader own_config_;
  std::unique_ptr<COrinDlg> main_window_;
  std::unique_ptr<QMenu> menu_;
  QSystemTrayIcon* icon_ = nullptr;
};

}  // namespace orin

#endif  // ORIN_APPS_ORIN_DESKTOP_DELEGATION_WINDOW_H_

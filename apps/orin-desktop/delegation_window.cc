#include "delegation_window.h"

#include <QApplication>
#include <QIcon>
#include <QMenu>
#include <QSystemTrayIcon>
#include <cstdio>

#include "about_dlg.h"
#include "app/site_server.h"
#include "orin_dlg.h"

namespace orin {

CDelegationWindow::CDelegationWindow(SiteServer* server, OrinConfigLoader* config)
    : server_(server), main_window_(std::make_unique<COrinDlg>(server, config)) {
  own_config_.Load();
  // Posted, as a message to a window would be: the dialog that changed the
  // settings has returned before the threads are told.
  connect(main_window_.get(), &COrinDlg::ConfigChanged, this, &CDelegationWindow::OnConfigChanged,
          Qt::QueuedConnection);
  connect(main_window_.get(), &COrinDlg::ShutdownRequested, this, &CDelegationWindow::ShutDown,
          Qt::QueuedConnection);
  menu_ = std::make_unique<QMenu>();
  connect(menu_->addAction("&Properties"), &QAction::triggered, this,
          &CDelegationWindow::ShowMainWindow);
  connect(menu_->addAction("&Show Home Page"), &QAction::triggered, main_window_.get(),
          &COrinDlg::ShowHomePage);
  connect(menu_->addAction("Shut &Down"), &QAction::triggered, this, &CDelegationWindow::ShutDown);
}

CDelegationWindow::~CDelegationWindow() {
  if (icon_) icon_->hide();
}

void CDelegationWindow::Create() {
  if (!QSystemTrayIcon::isSystemTrayAvailable()) {
    std::fprintf(stderr,
                 "orin-desktop: this desktop has no notification area; the main window stays "
                 "open while the server runs\n");
    main_window_->SetNoNotificationArea();
    ShowMainWindow();
    return;
  }
  icon_ = new QSystemTrayIcon(QIcon(":/orin-desktop.png"), this);
  icon_->setToolTip(kProductName);
  icon_->setContextMenu(menu_.get());
  connect(icon_, &QSystemTrayIcon::activated, this,
          [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::DoubleClick) ShowMainWindow();
          });
  icon_->show();
  if (own_config_.show_dialog() != 0) ShowMainWindow();
}

void CDelegationWindow::ShowMainWindow() {
  main_window_->showNormal();
  main_window_->raise();
  main_window_->activateWindow();
}

void CDelegationWindow::OnConfigChanged() {
  own_config_.Load();
  server_->Reload();
}

void CDelegationWindow::ShutDown() {
  server_->Stop();
  main_window_->hide();
  if (icon_) icon_->hide();
  QApplication::quit();
}

}  // namespace orin

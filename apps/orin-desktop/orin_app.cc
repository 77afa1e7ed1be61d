#include "orin_app.h"

#include "app/site_server.h"
#include "delegation_window.h"
#include "dialog_parts.h"
#include "port_in_use_dialog.h"
#include "shell_prompts.h"
#include "shell_values.h"

namespace orin {

namespace {

SiteSettings DesktopSiteSettings() {
  SiteSettings settings;
  settings.run.files = DefaultConfigFiles();
  return settings;  // port -1: the one in the settings file, read at each Listen
}

}  // namespace

COrinApp::COrinApp() : server_(std::make_unique<SiteServer>(DesktopSiteSettings())) {
  config_.Load();
}

COrinApp::~COrinApp() {
  delegation_.reset();
  server_.reset();
}

bool COrinApp::StartServer() {
  while (!server_->Start()) {
    if (!server_->port_in_use()) {
      ShellPrompts::Current().Error(nullptr, "Error", Q(server_->ErrorText()));
      return false;
    }
    CPortInUseDialog dialog(config_.port(), ProposeFreePort());
    if (dialog.exec() != QDialog::Accepted) return false;
    *config_.PortField() = dialog.port();
    if (!config_.Save()) {
      ShellPrompts::Current().Error(nullptr, "Error", Q(config_.ErrorText()));
      return false;
    }
  }
  return true;
}

void COrinApp::CreateWindows() {
  delegation_ = std::make_unique<CDelegationWindow>(server_.get(), &config_);
  delegation_->Create();
}

void COrinApp::ShutDown() {
  if (delegation_) {
    delegation_->ShutDown();
  } else {
    server_->Stop();
  }
}

}  // namespace orin

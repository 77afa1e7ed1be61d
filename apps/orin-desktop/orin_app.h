// COrinApp: starts the server (settling a busy port with the user), then
// the notification icon and the main window; ends when the user shuts down.
#ifndef ORIN_APPS_ORIN_DESKTOP_ORIN_APP_H_
#define ORIN_APPS_ORIN_DESKTOP_ORIN_APP_H_

#include <memory>

#include "app/orin_config_loader.h"

namespace orin {

class CDelegationWindow;
class SiteServer;

class COrinApp {
 public:
  COrinApp();
  ~COrinApp();

  // Listens, asking for another port while the configured one is taken.
  // False when the user cancelled or listening failed for another reason
  // (then the reason has been shown).
  bool StartServer();
  // Creates the icon and the main window.
  void CreateWindows();
  // Stops the server in order: the threads first, then the windows.
  void ShutDown();

  SiteServer* server() const { return server_.get(); }
  OrinConfigLoader* config() { return &config_; }
  CDelegationWindow* delegation() const { return delegation_.get(); }

 private:
  OrinConfigLoader config_;
  std::unique_ptr<SiteServer> server_;
  std::unique_ptr<CDelegationWindow> delegation_;
};

}  // namespace orin

#endif  // ORIN_APPS_ORIN_DESKTOP_ORIN_APP_H_

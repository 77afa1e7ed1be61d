// orin-desktop: the server with a notification icon and settings windows.
#include <QApplication>
#include <QIcon>
#include <QMetaObject>
#include <cstdio>
#include <cstring>
#include <thread>

#include "delegation_window.h"
#include "orin_app.h"
#include "platform/config_store.h"
#include "platform/signals.h"

namespace {

constexpr const char* kUsage =
    "usage: orin-desktop [--config FILE]\n"
    "Serves the configured site and shows the Zeto Orin icon and settings window.\n"
    "SIGTERM or SIGINT shut the server down; SIGHUP makes it read the settings again.\n";

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--config") == 0 && i + 1 < argc) {
      orin::SetConfigFileOverride(argv[++i]);
    } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (std::strncmp(argv[i], "--", 2) == 0) {
      std::fprintf(stderr, "orin-desktop: unknown option %s\n%s", argv[i], kUsage);
      return 2;
    }
  }
  // Before any thread starts, so that only the waiter below sees them.
  orin::BlockControlSignals();
  QApplication application(argc, argv);
  // The icon lives in the shell library; its resources need pulling in.
  Q_INIT_RESOURCE(orin_desktop);
  QApplication::setApplicationName("orin-desktop");
  QApplication::setWindowIcon(QIcon(":/orin-desktop.png"));
  // Closing the main window only hides it.
  QApplication::setQuitOnLastWindowClosed(false);

  orin::COrinApp app;
  if (!app.StartServer()) return 1;
  app.CreateWindows();

  std::thread([&app] {
    for (;;) {
      orin::ControlSignal s = orin::WaitForControlSignal();
      QMetaObject::invokeMethod(qApp, [&app, s] {
        if (s == orin::ControlSignal::kStop) {
          app.ShutDown();
        } else {
          app.delegation()->OnConfigChanged();
        }
      });
      if (s == orin::ControlSignal::kStop) return;
    }
  }).detach();

  int result = QApplication::exec();
  app.ShutDown();
  return result;
}

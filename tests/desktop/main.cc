// The desktop program's tests, run under the offscreen platform.
#include <QApplication>

namespace orin {
int RunDialogsTests(int argc, char** argv);
int RunMainWindowTests(int argc, char** argv);
}  // namespace orin

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  Q_INIT_RESOURCE(orin_desktop);
  int failed = 0;
  failed += orin::RunDialogsTests(argc, argv);
  failed += orin::RunMainWindowTests(argc, argv);
  return failed == 0 ? 0 : 1;
}

// CAboutDlg: the product name and version.
#ifndef ORIN_APPS_ORIN_DESKTOP_ABOUT_DLG_H_
#define ORIN_APPS_ORIN_DESKTOP_ABOUT_DLG_H_

#include <QDialog>

namespace orin {

constexpr const char* kProductName = "Zeto Vendra Orin";
constexpr const char* kProductVersion = "5.52";

class CAboutDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CAboutDlg(QWidget* parent = nullptr);
};

}  // namespace orin

#endif  // ORIN_APPS_ORIN_DESKTOP_ABOUT_DLG_H_

#include "about_dlg.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QVBoxLayout>

namespace orin {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QString("About %1").arg(kProductName));
  auto* layout = new QVBoxLayout(this);
  auto* top = new QHBoxLayout;
  auto* icon = new QLabel(this);
  icon->setPixmap(QIcon(":/orin-desktop.png").pixmap(48, 48));
  top->addWidget(icon);
  auto* text = new QLabel(QString("<b>%1</b><br>Version %2<br>A script server for Linux.")
                              .arg(kProductName, kProductVersion),
                          this);
  text->setObjectName("product");
  top->addWidget(text, 1);
  layout->addLayout(top);
  auto* box = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  box->setObjectName("buttons");
  connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
  layout->addWidget(box);
}

}  // namespace orin

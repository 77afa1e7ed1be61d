// CPortInUseDialog: asks for another port when the configured one is taken.
#ifndef ORIN_APPS_ORIN_DESKTOP_PORT_IN_USE_DIALOG_H_
#define ORIN_APPS_ORIN_DESKTOP_PORT_IN_USE_DIALOG_H_

#include <QDialog>

class QLineEdit;

namespace orin {

class CPortInUseDialog : public QDialog {
  Q_OBJECT

 public:
  CPortInUseDialog(int configured_port, int proposed_port, QWidget* parent = nullptr);

  // The chosen port, valid after OK.
  int port() const { return port_; }
  void accept() override;

 private:
  QLineEdit* port_field_;
  int port_;
};

}  // namespace orin

#endif  // ORIN_APPS_ORIN_DESKTOP_PORT_IN_USE_DIALOG_H_

#include "port_in_use_dialog.h"

#include <QFormLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "dialog_parts.h"
#include "platform/socket.h"
#include "shell_prompts.h"

namespace orin {

CPortInUseDialog::CPortInUseDialog(int configured_port, int proposed_port, QWidget* parent)
    : QDialog(parent), port_(proposed_port) {
  setWindowTitle("Port in Use");
  auto* layout = new QVBoxLayout(this);
  auto* text = new QLabel(QString("Zeto Vendra Orin is configured to listen for HTTP requests on "
                                  "port %1, but has detected that this port is in use by "
                                  "another WWW server, or another instance of Orin.")
                              .arg(configured_port),
                          this);
  text->setObjectName("message");
  text->setWordWrap(true);
  text->setMinimumWidth(360);
  layout->addWidget(text);
  auto* form = new QFormLayout;
  port_field_ = NewNumberField(this, "port", proposed_port);
  form->addRow("Port:", port_field_);
  layout->addLayout(form);
  layout->addWidget(NewOkCancel(this));
  port_field_->setFocus();
  port_field_->selectAll();
}

void CPortInUseDialog::accept() {
  int32_t port = 0;
  if (!ReadIntField(this, port_field_, 1, 65535, &port)) return;
  if (TcpPortInUse(port)) {
    ShellPrompts::Current().Error(this, "Error", "The specified port is in use");
    port_field_->setFocus();
    return;
  }
  port_ = port;
  QDialog::accept();
}

}  // namespace orin

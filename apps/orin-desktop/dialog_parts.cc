#include "dialog_parts.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QPushButton>

namespace orin {

QLineEdit* NewField(QWidget* parent, const char* name, const QString& text) {
  auto* field = new QLineEdit(text, parent);
  field->setObjectName(name);
  return field;
}

QLineEdit* NewNumberField(QWidget* parent, const char* name, int32_t value) {
  return NewField(parent, name, QString::number(value));
}

QCheckBox* NewCheck(QWidget* parent, const char* name, const QString& label, bool checked) {
  auto* check = new QCheckBox(label, parent);
  check->setObjectName(name);
  check->setChecked(checked);
  return check;
}

QDialogButtonBox* NewOkCancel(QDialog* dialog) {
  auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
  box->setObjectName("buttons");
  QObject::connect(box, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
  QObject::connect(box, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
  return box;
}

QWidget* WithBrowseButton(QLineEdit* field, const char* button_name, std::function<void()> browse) {
  auto* row = new QWidget(field->parentWidget());
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  field->setParent(row);
  layout->addWidget(field, 1);
  auto* button = new QPushButton("...", row);
  button->setObjectName(button_name);
  button->setAutoDefault(false);
  button->setFixedWidth(32);
  QObject::connect(button, &QPushButton::clicked, row, std::move(browse));
  layout->addWidget(button);
  return row;
}

}  // namespace orin

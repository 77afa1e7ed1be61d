#include "error_setting_dialog.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "dialog_parts.h"
#include "shell_prompts.h"
#include "vm/error_settings.h"

namespace orin {

ErrorSettingEditDialog::ErrorSettingEditDialog(const ErrorSettingEntry& entry, QWidget* parent)
    : QDialog(parent), entry_(entry) {
  setWindowTitle("Error Setting");
  setMinimumWidth(360);
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  name_ = NewField(this, "name", Q(entry.name));
  name_->setPlaceholderText("ZtASSIGN");
  value_ = NewField(this, "value", Q(entry.value));
  value_->setPlaceholderText("fatal,display");
  form->addRow("Name:", name_);
  form->addRow("Value:", value_);
  layout->addLayout(form);
  layout->addWidget(NewOkCancel(this));
}

void ErrorSettingEditDialog::accept() {
  std::string name = S(name_->text().trimmed());
  // The settings file keeps only names the server knows; another would
  // vanish on the next load.
  if (TagLookup(name) < 0) {
    ShellPrompts::Current().Error(this, "Error",
                                  Q("'" + name + "' is not the name of a runtime error."));
    name_->setFocus();
    return;
  }
  entry_ = {name, S(value_->text().trimmed())};
  QDialog::accept();
}

ErrorSettingDialog::ErrorSettingDialog(std::vector<ErrorSettingEntry> settings, QWidget* parent)
    : QDialog(parent), settings_(std::move(settings)) {
  setWindowTitle("Error Settings");
  auto* layout = new QVBoxLayout(this);
  list_ = new QTreeWidget(this);
  list_->setObjectName("list");
  list_->setRootIsDecorated(false);
  list_->setHeaderLabels({"Name", "Value"});
  list_->setColumnWidth(0, 200);
  list_->setMinimumWidth(400);
  layout->addWidget(list_);
  auto* row = new QHBoxLayout;
  const std::pair<const char*, void (ErrorSettingDialog::*)()> actions[] = {
      {"Insert", &ErrorSettingDialog::Insert}, {"Delete", &ErrorSettingDialog::Delete}};
  for (const auto& [label, slot] : actions) {
    auto* button = new QPushButton(label, this);
    button->setObjectName(QString(label).toLower());
    button->setAutoDefault(false);
    connect(button, &QPushButton::clicked, this, slot);
    row->addWidget(button);
  }
  row->addStretch(1);
  row->addWidget(NewOkCancel(this));
  layout->addLayout(row);
  connect(list_, &QTreeWidget::itemDoubleClicked, this, &ErrorSettingDialog::Edit);
  Fill(0);
}

void ErrorSettingDialog::Fill(int select) {
  list_->clear();
  for (const ErrorSettingEntry& e : settings_)
    list_->addTopLevelItem(new QTreeWidgetItem({Q(e.name), Q(e.value)}));
  if (select >= 0 && select < list_->topLevelItemCount())
    list_->setCurrentItem(list_->topLevelItem(select));
}

void ErrorSettingDialog::Insert() {
  ErrorSettingEditDialog edit({}, this);
  if (edit.exec() != QDialog::Accepted) return;
  settings_.push_back(edit.entry());
  Fill(static_cast<int>(settings_.size()) - 1);
}

void ErrorSettingDialog::Edit() {
  int at = list_->indexOfTopLevelItem(list_->currentItem());
  if (at < 0) return;
  ErrorSettingEditDialog edit(settings_[at], this);
  if (edit.exec() != QDialog::Accepted) return;
  settings_[at] = edit.entry();
  Fill(at);
}

void ErrorSettingDialog::Delete() {
  int at = list_->indexOfTopLevelItem(list_->currentItem());
  if (at < 0) return;
  settings_.erase(settings_.begin() + at);
  Fill(at < static_cast<int>(settings_.size()) ? at : at - 1);
}

}  // namespace orin

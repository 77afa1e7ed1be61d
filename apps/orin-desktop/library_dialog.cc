#include "library_dialog.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "dialog_parts.h"
#include "shell_prompts.h"
#include "shell_values.h"

namespace orin {

namespace {

// The order of the type list; the index is the kind.
const char* const kKindNames[] = {"Builtin", "Database", "Commerce", "System"};

}  // namespace

CLibraryEditDialog::CLibraryEditDialog(const LibraryEntry& entry, QWidget* parent)
    : QDialog(parent), entry_(entry) {
  setWindowTitle("Library");
  setMinimumWidth(420);
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  kind_ = new QComboBox(this);
  kind_->setObjectName("kind");
  for (const char* name : kKindNames)
    kind_->addItem(name);
  kind_->setCurrentIndex(entry.kind >= 0 && entry.kind <= 3 ? entry.kind : kLibrarySystem);
  name_ = NewField(this, "method", Q(entry.kind == kLibraryBuiltin ? "" : entry.name));
  path_ = NewField(this, "library", Q(entry.path));
  form->addRow("Library Type:", kind_);
  form->addRow("Method:", name_);
  form->addRow("Library:", WithBrowseButton(path_, "browselibrary", [this] {
                 QString file = ShellPrompts::Current().File(this, path_->text(),
                                                             "Libraries (*.so *.so.*)", QString());
                 if (!file.isEmpty()) path_->setText(file);
               }));
  layout->addLayout(form);
  layout->addWidget(NewOkCancel(this));
  // A builtin library has no method name of its own.
  auto builtin = [this](int kind) { name_->setEnabled(kind != kLibraryBuiltin); };
  connect(kind_, &QComboBox::currentIndexChanged, this, builtin);
  builtin(kind_->currentIndex());
}

void CLibraryEditDialog::accept() {
  LibraryEntry e;
  e.kind = kind_->currentIndex();
  e.name = e.kind == kLibraryBuiltin ? "n/a" : S(name_->text().trimmed());
  e.path = S(path_->text().trimmed());
  if (e.kind != kLibraryBuiltin && e.name.empty()) {
    ShellPrompts::Current().Error(this, "Error", "Please enter the method name.");
    name_->setFocus();
    return;
  }
  // The stored entry is "kind,name,path": a comma in the name would move it.
  if (e.name.find(',') != std::string::npos) {
    ShellPrompts::Current().Error(this, "Error", "The method name cannot contain a comma.");
    name_->setFocus();
    return;
  }
  if (e.path.empty()) {
    ShellPrompts::Current().Error(this, "Error", "Please enter the library file.");
    path_->setFocus();
    return;
  }
  entry_ = e;
  QDialog::accept();
}

CLibraryDialog::CLibraryDialog(std::vector<LibraryEntry> libraries, QWidget* parent)
    : QDialog(parent), libraries_(std::move(libraries)) {
  setWindowTitle("Libraries");
  auto* layout = new QVBoxLayout(this);
  list_ = new QTreeWidget(this);
  list_->setObjectName("list");
  list_->setRootIsDecorated(false);
  list_->setHeaderLabels({"Type", "Method", "Library", "Version", "Copyright", "Description"});
  const int widths[] = {50, 70, 150, 50, 100, 250};
  for (int i = 0; i < 6; ++i)
    list_->setColumnWidth(i, widths[i]);
  list_->setMinimumWidth(700);
  layout->addWidget(list_);
  auto* row = new QHBoxLayout;
  const std::pair<const char*, void (CLibraryDialog::*)()> actions[] = {
      {"Add", &CLibraryDialog::Add},
      {"Update", &CLibraryDialog::Update},
      {"Delete", &CLibraryDialog::Delete}};
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
  connect(list_, &QTreeWidget::itemDoubleClicked, this, &CLibraryDialog::Update);
  Fill(0);
}

void CLibraryDialog::Fill(int select) {
  list_->clear();
  for (const LibraryEntry& l : libraries_) {
    // Linux libraries carry no copyright or description; the version is
    // the one in the file name, when it has one.
    auto* item = new QTreeWidgetItem(
        {LibraryKindName(l.kind), Q(l.name), Q(l.path), Q(LibraryVersionFromPath(l.path)), "", ""});
    list_->addTopLevelItem(item);
  }
  if (select >= 0 && select < list_->topLevelItemCount())
    list_->setCurrentItem(list_->topLevelItem(select));
}

void CLibraryDialog::Add() {
  CLibraryEditDialog edit({kLibrarySystem, "", ""}, this);
  if (edit.exec() != QDialog::Accepted) return;
  libraries_.push_back(edit.entry());
  Fill(static_cast<int>(libraries_.size()) - 1);
}

void CLibraryDialog::Update() {
  int at = list_->indexOfTopLevelItem(list_->currentItem());
  if (at < 0) return;
  CLibraryEditDialog edit(libraries_[at], this);
  if (edit.exec() != QDialog::Accepted) return;
  libraries_[at] = edit.entry();
  Fill(at);
}

void CLibraryDialog::Delete() {
  int at = list_->indexOfTopLevelItem(list_->currentItem());
  if (at < 0) return;
  libraries_.erase(libraries_.begin() + at);
  Fill(at < static_cast<int>(libraries_.size()) ? at : at - 1);
}

}  // namespace orin

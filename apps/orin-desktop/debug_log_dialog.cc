#include "debug_log_dialog.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QUuid>
#include <QVBoxLayout>

#include "dialog_parts.h"
#include "shell_prompts.h"

namespace orin {

CDebugLogDialog::CDebugLogDialog(const DebugLogValues& values, QWidget* parent)
    : QDialog(parent), values_(values) {
  setWindowTitle("Debug Log");
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  logfile_ = NewField(this, "logfile", Q(values.logfile));
  logfilter_ = NewField(this, "logfilter", Q(values.logfilter));
  logcookie_ = NewField(this, "logcookie", Q(values.logcookie));
  form->addRow("Log File:",
               WithBrowseButton(logfile_, "browselogfile", [this] { BrowseLogFile(); }));
  form->addRow("Filter:", logfilter_);
  auto* cookie_row = new QHBoxLayout;
  cookie_row->addWidget(logcookie_, 1);
  auto* generate = new QPushButton("Generate", this);
  generate->setObjectName("generate");
  generate->setAutoDefault(false);
  connect(generate, &QPushButton::clicked, this, &CDebugLogDialog::Generate);
  cookie_row->addWidget(generate);
  form->addRow("Cookie:", cookie_row);
  layout->addLayout(form);

  layout->addWidget(AddBit(this, "trace", "Source File/Line Number Trace", 0x40000000));
  layout->addWidget(AddBit(this, "ztcall", "ZtCALL", 0x100000));
  layout->addWidget(AddBit(this, "ztsmtp", "ZtSMTP", 0x200000));

  // Rows of four (or fewer) bits under one heading each.
  struct Row {
    const char* heading;
    const char* prefix;
    std::vector<std::pair<const char*, uint32_t>> bits;
  };
  const Row rows[] = {
      {"Script functions:",
       "script",
       {{"Call", 0x10}, {"Parameters", 0x20}, {"Return Value", 0x40}, {"Return", 0x80}}},
      {"Builtin/External functions:",
       "external",
       {{"Call", 0x100}, {"Parameters", 0x200}, {"Return Value", 0x400}, {"Return", 0x800}}},
      {"ZtDO:", "ztdo", {{"Enter File", 0x1000}, {"Leave File", 0x2000}}},
      {"Errors:",
       "errors",
       {{"Runtime", 0x10000000}, {"Fatal", 0x20000000}, {"Timeout", 0x8000000}}},
  };
  auto* grid_box = new QWidget(this);
  auto* grid = new QGridLayout(grid_box);
  grid->setContentsMargins(0, 0, 0, 0);
  int r = 0;
  for (const Row& row : rows) {
    grid->addWidget(new QLabel(row.heading, grid_box), r, 0);
    int c = 1;
    for (const auto& [label, bit] : row.bits) {
      std::string name = std::string(row.prefix) + "_" + label;
      for (char& ch : name)
        ch = ch == ' ' ? '_' : static_cast<char>(std::tolower(ch));
      grid->addWidget(AddBit(grid_box, name.c_str(), label, bit), r, c++);
    }
    ++r;
  }
  layout->addWidget(grid_box);
  layout->addWidget(NewOkCancel(this));
}

QCheckBox* CDebugLogDialog::AddBit(QWidget* parent, const char* name, const QString& label,
                                   uint32_t bit) {
  QCheckBox* check = NewCheck(parent, name, label, (values_.loglevel & bit) != 0);
  bits_.emplace_back(check, bit);
  return check;
}

void CDebugLogDialog::BrowseLogFile() {
  QString file = ShellPrompts::Current().File(this, logfile_->text(), "Log Files (*.log)", "log");
  if (!file.isEmpty()) logfile_->setText(file);
}

void CDebugLogDialog::Generate() {
  QByteArray uuid = QUuid::createUuid().toRfc4122();
  logcookie_->setText(Q(LogCookieFromUuid(std::string(uuid.constData(), uuid.size()))));
}

void CDebugLogDialog::accept() {
  DebugLogValues v = values_;
  v.logfile = S(logfile_->text());
  v.logfilter = S(logfilter_->text());
  v.logcookie = S(logcookie_->text());
  // Bits without a check box stay as they were.
  for (const auto& [check, bit] : bits_) {
    if (check->isChecked()) {
      v.loglevel |= bit;
    } else {
      v.loglevel &= ~bit;
    }
  }
  values_ = v;
  QDialog::accept();
}

}  // namespace orin

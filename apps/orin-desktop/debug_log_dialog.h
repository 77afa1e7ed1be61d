// CDebugLogDialog: the log file, its filter and cookie, and the events the
// log records (`loglevel` bits).
#ifndef ORIN_APPS_ORIN_DESKTOP_DEBUG_LOG_DIALOG_H_
#define ORIN_APPS_ORIN_DESKTOP_DEBUG_LOG_DIALOG_H_

#include <QDialog>
#include <utility>
#include <vector>

#include "shell_values.h"

class QCheckBox;
class QLineEdit;

namespace orin {

class CDebugLogDialog : public QDialog {
  Q_OBJECT

 public:
  explicit CDebugLogDialog(const DebugLogValues& values, QWidget* parent = nullptr);

  const DebugLogValues& values() const { return values_; }
  void accept() override;
  // Fills the cookie with a new one.
  void Generate();

 private:
  QCheckBox* AddBit(QWidget* parent, const char* name, const QString& label, uint32_t bit);
  void BrowseLogFile();

  DebugLogValues values_;
  QLineEdit* logfile_;
  QLineEdit* logfilter_;
  QLineEdit* logcookie_;
  std::vector<std::pair<QCheckBox*, uint32_t>> bits_;
};

}  // namespace orin

#endif  // ORIN_APPS_ORIN_DESKTOP_DEBUG_LOG_DIALOG_H_

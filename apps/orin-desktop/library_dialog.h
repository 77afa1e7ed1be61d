// CLibraryDialog: the list of external libraries; CLibraryEditDialog: one
// entry of it.
#ifndef ORIN_APPS_ORIN_DESKTOP_LIBRARY_DIALOG_H_
#define ORIN_APPS_ORIN_DESKTOP_LIBRARY_DIALOG_H_

#include <QDialog>
#include <vector>

#include "app/orin_config_loader.h"

class QComboBox;
class QLineEdit;
class QTreeWidget;

namespace orin {

class CLibraryEditDialog : public QDialog {
  Q_OBJECT

 public:
  explicit CLibraryEditDialog(const LibraryEntry& entry, QWidget* parent = nullptr);

  const LibraryEntry& entry() const { return entry_; }
  void accept() override;

 private:
  LibraryEntry entry_;
  QComboBox* kind_;
  QLineEdit* name_;
  QLineEdit* path_;
};

class CLibraryDialog : public QDialog {
  Q_OBJECT

 public:
  explicit CLibraryDialog(std::vector<LibraryEntry> libraries, QWidget* parent = nullptr);

  // The list as edited; what OK hands back.
  const std::vector<LibraryEntry>& libraries() const { return libraries_; }

  void Add();
  void Update();
  void Delete();

 private:
  void Fill(int select);

  std::vector<LibraryEntry> libraries_;
  QTreeWidget* list_;
};

}  // namespace orin

#endif  // ORIN_APPS_ORIN_DESKTOP_LIBRARY_DIALOG_H_

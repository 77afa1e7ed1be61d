// Small pieces every settings dialog is built from.
#ifndef ORIN_APPS_ORIN_DESKTOP_DIALOG_PARTS_H_
#define ORIN_APPS_ORIN_DESKTOP_DIALOG_PARTS_H_

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QString>
#include <functional>
#include <string>

namespace orin {

inline QString Q(const std::string& text) {
  return QString::fromStdString(text);
}
inline std::string S(const QString& text) {
  return text.toStdString();
}

// A text field named `name` (the tests find controls by name).
QLineEdit* NewField(QWidget* parent, const char* name, const QString& text);
QLineEdit* NewNumberField(QWidget* parent, const char* name, int32_t value);
QCheckBox* NewCheck(QWidget* parent, const char* name, const QString& label, bool checked);
// OK and Cancel, wired to accept() and reject(); named "buttons".
QDialogButtonBox* NewOkCancel(QDialog* dialog);
// A field with a "..." button beside it that runs `browse`.
QWidget* WithBrowseButton(QLineEdit* field, const char* button_name, std::function<void()> browse);

}  // namespace orin

#endif  // ORIN_APPS_ORIN_DESKTOP_DIALOG_PARTS_H_

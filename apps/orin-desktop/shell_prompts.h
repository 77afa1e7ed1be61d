// Message boxes and file choosers of the shell, behind one seam so that the
// tests can answer them without a person at the screen.
#ifndef ORIN_APPS_ORIN_DESKTOP_SHELL_PROMPTS_H_
#define ORIN_APPS_ORIN_DESKTOP_SHELL_PROMPTS_H_

#include <QString>

class QLineEdit;
class QWidget;

namespace orin {

class ShellPrompts {
 public:
  virtual ~ShellPrompts() = default;
  virtual void Error(QWidget* parent, const QString& caption, const QString& text);
  // True when the user agreed (Yes).
  virtual bool Confirm(QWidget* parent, const QString& caption, const QString& text);
  // The chosen directory, or "" when cancelled.
  virtual QString Directory(QWidget* parent, const QString& start);
  // The chosen file, or "" when cancelled. `default_suffix` without a dot.
  virtual QString File(QWidget* parent, const QString& start, const QString& filter,
                       const QString& default_suffix);
  // Opens an address in the desktop's browser; false when that failed.
  virtual bool OpenUrl(const QString& address);

  // The prompts in use (a process-wide default until Set is called).
  static ShellPrompts& Current();
  // Installs other prompts; nullptr returns to the default.
  static void Set(ShellPrompts* prompts);
};

// Reads a whole number within [low, high] from a field. When the text is not
// one, says "Please enter an integer between <low> and <high>.", puts the
// focus on the field and returns false.
bool ReadIntField(QWidget* parent, QLineEdit* field, int low, int high, int32_t* value);

}  // namespace orin

#endif  // ORIN_APPS_ORIN_DESKTOP_SHELL_PROMPTS_H_

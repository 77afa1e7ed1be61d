// UploadHandler: what the multipart parser asks of the run around it while
// a body with files arrives: the program's two upload functions
// ("Zeto_ValidateFileUpload", "Zeto_ProcessFileUpload") and the timers that
// the script calls and the transfer run under.
//
// ApplicationUploadHandler answers the timers from a ZetoApplication; the
// request application adds the two calls over its virtual machine.
#ifndef ORIN_SERVER_UPLOAD_HANDLER_H_
#define ORIN_SERVER_UPLOAD_HANDLER_H_

#include <string_view>
#include <vector>

#include "vm/zeto_application.h"

namespace orin {

class Variable;

class UploadHandler {
 public:
  virtual ~UploadHandler() = default;

  // Whether the program defines a function of that name; *parameter_count
  // gets its number of parameters.
  virtual bool FindFunction(std::string_view name, int* parameter_count) = 0;
  // Runs the function with `args` as its by-value parameters, first to
  // last, and stores its return value in *result. False when the script
  // stopped with an error or exited inside it.
  virtual bool CallFunction(std::string_view name, const std::vector<Variable*>& args,
                            Variable* result) = 0;

  virtual void RestartGlobalTimer() = 0;
  virtual void StartPostTimer() = 0;
  virtual void StopPostTimer() = 0;
};

class ApplicationUploadHandler : public UploadHandler {
 public:
  explicit ApplicationUploadHandler(ZetoApplication* application) : application_(application) {}

  void RestartGlobalTimer() override { application_->StartGlobalTimer(); }
  void StartPostTimer() override { application_->StartPostTimer(); }
  void StopPostTimer() override { application_->StopPostTimer(); }

 protected:
  ZetoApplication* application() const { return application_; }

 private:
  ZetoApplication* application_;
};

}  // namespace orin

#endif  // ORIN_SERVER_UPLOAD_HANDLER_H_

#include "vm/vm_callback.h"

#include <algorithm>

#include "output/output.h"
#include "util/byte_string.h"
#include "variables/variable_list.h"
#include "vm/zeto_vm.h"

namespace orin {

ZetoVMCallbackVariableCallback::ZetoVMCallbackVariableCallback(ZetoVM* program,
                                                               std::string_view function,
                                                               Variable* data)
    : program_(program),
      function_(function),
      data_(data != nullptr ? VarRef::Share(data) : NewVariable()),
      result_(NewVariable()) {
  program_->Callbacks().Add(this);
}

ZetoVMCallbackVariableCallback::~ZetoVMCallbackVariableCallback() = default;

void ZetoVMCallbackVariableCallback::Unregister() {
  program_->Callbacks().Remove(this);
}

void ZetoVMCallbackVariableCallback::VariableDestroyed(Variable* variable) {
  if (variable_ == variable) variable_ = nullptr;
  if (running_) {
    released_ = true;  // LookupMember finishes first
    return;
  }
  Unregister();
  delete this;
}

bool ZetoVMCallbackVariableCallback::LookupMember(Variable* variable, const AggregateIndex& key) {
  if (function_.empty() || running_ || !key.is_member()) return false;
  struct Running {
    explicit Running(bool* flag) : flag(flag) { *flag = true; }
    ~Running() { *flag = false; }
    bool* flag;
  };
  bool supplied;
  {
    Running running(&running_);
    if (result_->ReferenceCount() > 1) result_ = NewVariable();
    VariableList arguments;
    arguments.Insert(variable);
    arguments.InsertAdopted(new Variable(std::string_view(), key.name()));
    arguments.Insert(data_.get());
    Output* out = program_->CurrentOutput();
    uint32_t mode = out != nullptr ? out->GetMode() : 0;
    supplied = program_->RunFunction(function_, &arguments, result_.get());
    if (Output* now = program_->CurrentOutput()) now->SetMode(mode);
  }
  if (released_) {
    Unregister();
    delete this;
    return false;
  }
  return supplied;
}

ZetoVMCallbacks::~ZetoVMCallbacks() {
  std::vector<ZetoVMCallbackVariableCallback*> remaining;
  remaining.swap(callbacks_);
  for (ZetoVMCallbackVariableCallback* callback : remaining) {
    callback->DetachVariable();
    delete callback;
  }
}

void ZetoVMCallbacks::Remove(ZetoVMCallbackVariableCallback* callback) {
  auto it = std::find(callbacks_.begin(), callbacks_.end(), callback);
  if (it != callbacks_.end()) callbacks_.erase(it);
}

bool ztVariable_Make_CallbackStruct(Variable* variable, ZetoVM* program, const char* name,
                                    int32_t length, Variable* data) {
  if (variable == nullptr || program == nullptr) return false;
  std::string_view function = MeasuredText(name, length);
  auto* callback = new ZetoVMCallbackVariableCallback(program, function, data);
  return variable->Make_CallbackStruct(callback);
}

}  // namespace orin

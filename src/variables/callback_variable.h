// Variables whose values a callback object supplies.
//
// A CallbackVariable carries a CallbackVariableCallback given by its creator
// (and owned from then on: VariableDestroyed is its release). A
// CallbackStructVariable asks its callback for structure members it does not
// have yet: the machine uses it to let a script function compute members on
// demand. Both are ordinary Variables with a callback link (see variable.h),
// so Make_CallbackStruct can turn an existing variable into one in place.
#ifndef ORIN_VARIABLES_CALLBACK_VARIABLE_H_
#define ORIN_VARIABLES_CALLBACK_VARIABLE_H_

#include <string_view>

#include "variables/variable.h"

namespace orin {

class CallbackVariableCallback {
 public:
  virtual ~CallbackVariableCallback() = default;
  // Serves `variable` from now on; a previously attached one is detached.
  virtual void AttachVariable(Variable* variable);
  // Clears the attached variable's link to this callback and forgets it.
  virtual void DetachVariable();
  // The variable this callback served is being destroyed, or has dropped
  // this callback: the callback's release. The default deletes it.
  virtual void VariableDestroyed(Variable* variable);
  // Asked for a member `key` the structure lacks. Answers whether it
  // supplied it, either by storing it into `variable` or as
  // SuppliedVariable().
  virtual bool LookupMember(Variable* variable, const AggregateIndex& key) = 0;
  // The variable holding the value LookupMember supplied.
  virtual Variable* SuppliedVariable() = 0;

  Variable* attached() const { return variable_; }

 protected:
  Variable* variable_ = nullptr;
};

class CallbackVariable : public Variable {
 public:
  // Takes `callback` and attaches it to this variable.
  CallbackVariable(std::string_view name, CallbackVariableCallback* callback);

 protected:
  CallbackVariable(std::string_view name, CallbackVariableCallback* callback, bool structure);
};

class CallbackStructVariable : public CallbackVariable {
 public:
  CallbackStructVariable(std::string_view name, CallbackVariableCallback* callback);
};

}  // namespace orin

#endif  // ORIN_VARIABLES_CALLBACK_VARIABLE_H_

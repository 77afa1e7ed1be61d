// Structures whose missing members a script function supplies.
//
// ztVariable_Make_CallbackStruct turns a variable into a callback structure
// served by a ZetoVMCallbackVariableCallback: asked for a member the
// structure lacks, it calls the script function with (the structure, the
// member's name, the data variable); the function either stores the member
// into the structure (its first parameter by reference) or returns its
// value. A lookup started while one of the same callback runs answers
// nothing, so a function that reads missing members of its own structure
// does not recurse.
//
// Each callback is registered with its machine, which destroys those still
// alive when it goes (their structures become plain ones).
#ifndef ORIN_VM_VM_CALLBACK_H_
#define ORIN_VM_VM_CALLBACK_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "variables/callback_variable.h"
#include "variables/variable.h"

namespace orin {

class ZetoVM;

class ZetoVMCallbackVariableCallback : public CallbackVariableCallback {
 public:
  // Registers itself with `program`. `data` (may be null) is held.
  ZetoVMCallbackVariableCallback(ZetoVM* program, std::string_view function, Variable* data);
  ~ZetoVMCallbackVariableCallback() override;

  // Unregisters and deletes itself (later, when a lookup is running).
  void VariableDestroyed(Variable* variable) override;
  bool LookupMember(Variable* variable, const AggregateIndex& key) override;
  Variable* SuppliedVariable() override { return result_.get(); }

  const std::string& function() const { return function_; }
  Variable* data() const { return data_.get(); }

 private:
  void Unregister();

  ZetoVM* program_;
  std::string function_;
  VarRef data_;
  VarRef result_;
  bool running_ = false;
  bool released_ = false;  // its variable let go during a lookup
};

// The callbacks of one machine.
class ZetoVMCallbacks {
 public:
  ZetoVMCallbacks() = default;
  // Detaches every remaining callback from its variable and destroys it.
  ~ZetoVMCallbacks();
  ZetoVMCallbacks(const ZetoVMCallbacks&) = delete;
  ZetoVMCallbacks& operator=(const ZetoVMCallbacks&) = delete;

  void Add(ZetoVMCallbackVariableCallback* callback) { callbacks_.push_back(callback); }
  void Remove(ZetoVMCallbackVariableCallback* callback);
  size_t size() const { return callbacks_.size(); }

 private:
  std::vector<ZetoVMCallbackVariableCallback*> callbacks_;
};

// Makes `variable` a callback structure whose missing members the script
// function `name` (`length` -1: NUL-terminated) of `program` supplies, with
// `data` as its third argument. False when the variable refuses (a locked
// one); the callback is then already gone.
bool ztVariable_Make_CallbackStruct(Variable* variable, ZetoVM* program, const char* name,
                                    int32_t length, Variable* data);

}  // namespace orin

#endif  // ORIN_VM_VM_CALLBACK_H_

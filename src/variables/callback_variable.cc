#include "variables/callback_variable.h"

namespace orin {

void CallbackVariableCallback::AttachVariable(Variable* variable) {
  if (variable_ != nullptr && variable_ != variable) DetachVariable();
  variable_ = variable;
}

void CallbackVariableCallback::DetachVariable() {
  if (variable_ != nullptr) variable_->DropCallbackLink(this);
  variable_ = nullptr;
}

void CallbackVariableCallback::VariableDestroyed(Variable* variable) {
  if (variable_ == variable) variable_ = nullptr;
  delete this;
}

CallbackVariable::CallbackVariable(std::string_view name, CallbackVariableCallback* callback)
    : CallbackVariable(name, callback, false) {}

CallbackVariable::CallbackVariable(std::string_view name, CallbackVariableCallback* callback,
                                   bool structure)
    : Variable(name) {
  if (callback == nullptr) return;
  link_ = structure ? LinkKind::kCallbackStruct : LinkKind::kCallback;
  callback_ = callback;
  callback->AttachVariable(this);
}

CallbackStructVariable::CallbackStructVariable(std::string_view name,
                                               CallbackVariableCallback* callback)
    : CallbackVariable(name, callback, true) {}

Variable* Variable::CallbackElement(const AggregateIndex& key, bool create) {
  auto find = [this, &key]() -> Variable* {
    if (tree_ == nullptr || kind_ != kKindStructure) return nullptr;
    AggregateElement* e = tree_->Find(key);
    return e != nullptr ? e->GetVariable() : nullptr;
  };
  if (Variable* v = find()) return v;
  in_lookup_ = true;
  bool supplied;
  try {
    supplied = callback_->LookupMember(this, key);
  } catch (...) {
    in_lookup_ = false;
    throw;
  }
  in_lookup_ = false;
  // The lookup runs script code, which may have replaced the callback.
  Variable* given =
      supplied && link_ == LinkKind::kCallbackStruct ? callback_->SuppliedVariable() : nullptr;
  if (supplied) {
    if (Variable* v = find()) return v;
  }
  if (!create) return given;
  if (tree_ == nullptr || kind_ != kKindStructure) {
    ConvertToAggregate(kKindStructure);
    if (tree_ == nullptr || kind_ != kKindStructure) return nullptr;
  }
  VarRef member = given != nullptr ? VarRef::Share(given) : VarRef::Adopt(NewElementVariable());
  tree_->Insert(new AggregateElement(key, member.get()));
  return member.release();
}

}  // namespace orin

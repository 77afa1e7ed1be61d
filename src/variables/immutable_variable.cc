#include "variables/immutable_variable.h"

#include <cstdlib>
#include <vector>

#include "variables/callback_variable.h"

namespace orin {

// --- ImmutableVariable ---

ImmutableVariable::ImmutableVariable(std::string_view name) : Variable(SubclassTag{}, name) {}

ImmutableVariable::ImmutableVariable(Variable* source) : Variable(SubclassTag{}, {}) {
  if (source == nullptr) return;
  name_ = source->Name();
  Variable::SetValue_Variable(source);
}

ImmutableVariable::~ImmutableVariable() {
  if (placeholder_ != nullptr) placeholder_->Release();
}

Variable* ImmutableVariable::Clone() {
  auto* copy = new ImmutableVariable(static_cast<Variable*>(this));
  if (locked_) copy->Lock();
  return copy;
}

void ImmutableVariable::Clear() {
  if (!locked_) Variable::Clear();
}

bool ImmutableVariable::SetValue_Variable(Variable* source) {
  return locked_ || Variable::SetValue_Variable(source);
}

bool ImmutableVariable::SetValue(const char* bytes, int64_t length) {
  return locked_ || Variable::SetValue(bytes, length);
}

bool ImmutableVariable::SetValue_Nocopy(char* buffer, uint32_t length, uint32_t capacity) {
  if (locked_) {
    std::free(buffer);
    return true;
  }
  return Variable::SetValue_Nocopy(buffer, length, capacity);
}

bool ImmutableVariable::SetValue_Integer(int32_t value) {
  return locked_ || Variable::SetValue_Integer(value);
}

bool ImmutableVariable::SetValue_DecimalCopy(const mpd_t* value) {
  return locked_ || Variable::SetValue_DecimalCopy(value);
}

bool ImmutableVariable::SetValue_Decimal(mpd_t* value) {
  if (locked_) {
    mpd_del(value);
    return true;
  }
  return Variable::SetValue_Decimal(value);
}

Variable* ImmutableVariable::Element(const AggregateIndex& key, bool create) {
  Variable* found = Variable::Element(key, false);
  if (found != nullptr || !create) return found;
  if (!locked_) return Variable::Element(key, true);  // makes an ImmutableVariable
  if (placeholder_ == nullptr) placeholder_ = new NULLVariable();
  return placeholder_;
}

bool ImmutableVariable::SetElement(const AggregateIndex& key, Variable* element) {
  return locked_ || Variable::SetElement(key, element);
}

bool ImmutableVariable::Insert_Array_Element(int32_t, Variable*) {
  return false;
}

bool ImmutableVariable::Delete_Struct_Member(const AggregateIndex&, bool) {
  return false;
}

bool ImmutableVariable::Delete_Array_Elements(int32_t, int32_t, bool) {
  return false;
}

bool ImmutableVariable::Array_Merge(Variable*, int32_t, int32_t, int32_t, bool) {
  return false;
}

bool ImmutableVariable::Array_Copy(Variable*, int32_t, int32_t, int32_t, bool) {
  return false;
}

int32_t ImmutableVariable::Array_Collapse() {
  if (locked_) return AggregateKind() == kKindArray ? ElementsUsed() : 0;
  return Variable::Array_Collapse();
}

bool ImmutableVariable::ConvertToAggregate(int32_t kind) {
  return locked_ || Variable::ConvertToAggregate(kind);
}

bool ImmutableVariable::Make_Reference(Variable*) {
  return false;
}

bool ImmutableVariable::Make_CallbackStruct(CallbackVariableCallback* callback) {
  if (callback != nullptr) callback->VariableDestroyed(this);
  return false;
}

Variable* ImmutableVariable::NewElementVariable() {
  return new ImmutableVariable();
}

void ImmutableVariable::Lock() {
  if (locked_) return;
  std::vector<ImmutableVariable*> todo{this};
  while (!todo.empty()) {
    ImmutableVariable* v = todo.back();
    todo.pop_back();
    v->locked_ = true;
    // A locked variable's elements are already locked: skipping them also
    // ends the walk on a value that contains itself.
    if (v->tree_ == nullptr) continue;
    v->tree_->ForEach([&todo](AggregateElement* e) {
      auto* inner = dynamic_cast<ImmutableVariable*>(e->GetVariable());
      if (inner != nullptr && !inner->locked_) todo.push_back(inner);
    });
  }
}

// --- DynamicImmutableVariable ---

const ByteString& DynamicImmutableVariable::Value() {
  Update();
  return ImmutableVariable::Value();
}

int32_t DynamicImmutableVariable::Value_Integer() {
  Update();
  return ImmutableVariable::Value_Integer();
}

const mpd_t* DynamicImmutableVariable::Value_Decimal() {
  Update();
  return ImmutableVariable::Value_Decimal();
}

const mpd_t* DynamicImmutableVariable::Value_Decimal_Checked(bool* not_number) {
  Update();
  return ImmutableVariable::Value_Decimal_Checked(not_number);
}

int32_t DynamicImmutableVariable::ScalarType() {
  Update();
  return ImmutableVariable::ScalarType();
}

bool DynamicImmutableVariable::IsTrue() {
  Update();
  return ImmutableVariable::IsTrue();
}

bool DynamicImmutableVariable::IsNULL() {
  Update();
  return ImmutableVariable::IsNULL();
}

AggregateElementTree* DynamicImmutableVariable::ElementTree() {
  Update();
  return ImmutableVariable::ElementTree();
}

int32_t DynamicImmutableVariable::AggregateKind() {
  Update();
  return ImmutableVariable::AggregateKind();
}

Variable* DynamicImmutableVariable::Element(const AggregateIndex& key, bool create) {
  Update();
  return ImmutableVariable::Element(key, create);
}

int32_t DynamicImmutableVariable::Array_Max() {
  Update();
  return ImmutableVariable::Array_Max();
}

int32_t DynamicImmutableVariable::Array_Min() {
  Update();
  return ImmutableVariable::Array_Min();
}

int32_t DynamicImmutableVariable::Array_Next(int32_t index) {
  Update();
  return ImmutableVariable::Array_Next(index);
}

int32_t DynamicImmutableVariable::Array_Previous(int32_t index) {
  Update();
  return ImmutableVariable::Array_Previous(index);
}

int32_t DynamicImmutableVariable::ElementsUsed() {
  Update();
  return ImmutableVariable::ElementsUsed();
}

void DynamicImmutableVariable::AppendFlattened(ByteString* into) {
  Update();
  ImmutableVariable::AppendFlattened(into);
}

// --- NULLVariable ---

NULLVariable::NULLVariable(std::string_view name) : ImmutableVariable(name) {
  locked_ = true;
}

Variable* NULLVariable::Clone() {
  return new NULLVariable(Name().view());
}

Variable* NULLVariable::Element(const AggregateIndex&, bool create) {
  return create ? this : nullptr;
}

}  // namespace orin

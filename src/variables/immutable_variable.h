// Variables that scripts cannot change.
//
// ImmutableVariable: while locked, value setters, SetElement,
// ConvertToAggregate, Array_Collapse and Clear do nothing and report success
// (setters that take ownership free what they were given). The structural
// array operations and Make_Reference never act on it, locked or not. A
// missing element asked for with create is a placeholder NULLVariable when
// locked, a new unlocked ImmutableVariable otherwise.
//
// DynamicImmutableVariable computes its value on demand (system variables):
// every value accessor first asks IsCurrent and, when it answers false,
// Refresh, which stores the new value through the Store* functions.
//
// NULLVariable is the permanently locked empty value.
#ifndef ORIN_VARIABLES_IMMUTABLE_VARIABLE_H_
#define ORIN_VARIABLES_IMMUTABLE_VARIABLE_H_

#include <string_view>

#include "variables/variable.h"

namespace orin {

class NULLVariable;

class ImmutableVariable : public Variable {
 public:
  explicit ImmutableVariable(std::string_view name = {});
  // Copies the name and, deeply, the value of `source`; elements become
  // ImmutableVariables. The copy is unlocked.
  explicit ImmutableVariable(Variable* source);
  ~ImmutableVariable() override;

  Variable* Clone() override;  // a locked variable gives a locked copy
  void Clear() override;
  bool SetValue_Variable(Variable* source) override;
  bool SetValue(const char* bytes, int64_t length) override;
  bool SetValue_Nocopy(char* buffer, uint32_t length, uint32_t capacity) override;
  bool SetValue_Integer(int32_t value) override;
  bool SetValue_DecimalCopy(const mpd_t* value) override;
  bool SetValue_Decimal(mpd_t* value) override;
  Variable* Element(const AggregateIndex& key, bool create) override;
  bool SetElement(const AggregateIndex& key, Variable* element) override;
  bool Insert_Array_Element(int32_t index, Variable* element) override;
  bool Delete_Struct_Member(const AggregateIndex& key, bool renumber) override;
  bool Delete_Array_Elements(int32_t index, int32_t count, bool renumber) override;
  bool Array_Merge(Variable* source, int32_t start, int32_t count, int32_t position,
                   bool copy) override;
  bool Array_Copy(Variable* source, int32_t start, int32_t count, int32_t position,
                  bool copy) override;
  int32_t Array_Collapse() override;
  bool ConvertToAggregate(int32_t kind) override;
  bool Make_Reference(Variable* target) override;
  bool Make_CallbackStruct(CallbackVariableCallback* callback) override;
  Variable* NewElementVariable() override;

  // Locks this variable and every ImmutableVariable element, recursively.
  virtual void Lock();
  bool IsLocked() const { return locked_; }

 protected:
  bool locked_ = false;

 private:
  NULLVariable* placeholder_ = nullptr;
};

class DynamicImmutableVariable : public ImmutableVariable {
 public:
  using ImmutableVariable::ImmutableVariable;

  // Whether the stored value is still the value to answer.
  virtual bool IsCurrent() = 0;
  // Computes and stores the value (through the Store* functions).
  virtual void Refresh() = 0;

  const ByteString& Value() override;
  int32_t Value_Integer() override;
  const mpd_t* Value_Decimal() override;
  const mpd_t* Value_Decimal_Checked(bool* not_number) override;
  int32_t ScalarType() override;
  bool IsTrue() override;
  bool IsNULL() override;
  AggregateElementTree* ElementTree() override;
  int32_t AggregateKind() override;
  Variable* Element(const AggregateIndex& key, bool create) override;
  int32_t Array_Max() override;
  int32_t Array_Min() override;
  int32_t Array_Next(int32_t index) override;
  int32_t Array_Previous(int32_t index) override;
  int32_t ElementsUsed() override;
  void AppendFlattened(ByteString* into) override;

 protected:
  void Update() {
    if (!IsCurrent()) Refresh();
  }
};

class NULLVariable : public ImmutableVariable {
 public:
  explicit NULLVariable(std::string_view name = {});

  Variable* Clone() override;
  int32_t VariableClass() override { return kClassNull; }
  bool IsTrue() override { return false; }
  bool IsNULL() override { return true; }
  // Every element of the NULL value is the NULL value.
  Variable* Element(const AggregateIndex& key, bool create) override;
  void Lock() override {}
};

}  // namespace orin

#endif  // ORIN_VARIABLES_IMMUTABLE_VARIABLE_H_

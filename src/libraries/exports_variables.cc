// Exported interface: variables (ztVariable_*).
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "libraries/exports.h"
#include "variables/decimal.h"
#include "variables/variable.h"
#include "variables/variable_list.h"
#include "vm/vm_callback.h"

using namespace orin;

namespace {

Variable* Element(Variable* v, const AggregateIndex& key, bool create) {
  return v == nullptr ? nullptr : v->Element(key, create);
}

}  // namespace

extern "C" {

ztVariable* ztVariable_Allocate(const char* name, int32_t name_length, const char* value,
                                int32_t value_length) {
  return Handle(new Variable(MeasuredText(name, name_length), MeasuredText(value, value_length)));
}

ztVariable* ztVariable_Allocate_Copy(ztVariable* v) {
  if (v == nullptr) return nullptr;
  Variable* source = Host(v);
  auto* copy = new Variable(source->Name().view());
  copy->SetValue_Variable(source);
  return Handle(copy);
}

void ztVariable_Free(ztVariable* v) {
  if (v != nullptr) Host(v)->Release();
}

const char* ztVariable_Name(ztVariable* v, int32_t* length) {
  const ByteString& name = Host(v)->Name();
  if (length != nullptr) *length = Length32(name.size());
  return name.data();
}

const char* ztVariable_Value(ztVariable* v, int32_t* length) {
  const ByteString& value = Host(v)->Value();
  if (length != nullptr) *length = Length32(value.size());
  return value.data();
}

int32_t ztVariable_Value_Integer(ztVariable* v) {
  return Host(v)->Value_Integer();
}

double ztVariable_Value_Double(ztVariable* v) {
  return DoubleFromDecimal(Host(v)->Value_Decimal());
}

char* ztVariable_Value_Decimal_String(ztVariable* v, int32_t* length, int32_t* capacity) {
  uint32_t n = 0, room = 0;
  char* text = TextFromDecimal(Host(v)->Value_Decimal(), &n, &room);
  if (length != nullptr) *length = static_cast<int32_t>(n);
  if (capacity != nullptr) *capacity = static_cast<int32_t>(room);
  return text;
}

int ztVariable_Value_Decimal_Size(ztVariable* v, int32_t* digits, int32_t* places) {
  bool not_number = false;
  const mpd_t* value = Host(v)->Value_Decimal_Checked(&not_number);
  if (not_number || value == nullptr || mpd_isspecial(value)) return 0;
  // Trailing zeros do not count: -12.500 has three digits, one of them
  // after the point.
  mpd_t* reduced = NewDecimal();
  uint32_t status = 0;
  mpd_qreduce(reduced, value, DecimalContext(), &status);
  int64_t exponent = mpd_iszero(reduced) ? 0 : reduced->exp;
  int64_t coefficient = mpd_iszero(reduced) ? 1 : static_cast<int64_t>(reduced->digits);
  int64_t after = exponent < 0 ? -exponent : 0;
  int64_t total = std::max(coefficient + (exponent > 0 ? exponent : 0), after);
  mpd_del(reduced);
  if (digits != nullptr) *digits = static_cast<int32_t>(total);
  if (places != nullptr) *places = static_cast<int32_t>(after);
  return 1;
}

char* ztVariable_Value_NS(ztVariable* v, int32_t* length, int32_t* capacity) {
  std::string_view value = Host(v)->Value().view();
  std::string kept;
  kept.reserve(value.size());
  for (char c : value)
    if (c != '\0') kept += c;
  return AllocatedText(kept, length, capacity);
}

void ztVariable_SetValue(ztVariable* v, const char* bytes, int32_t length) {
  std::string_view text = MeasuredText(bytes, length);
  Host(v)->SetValue(text.data(), static_cast<int64_t>(text.size()));
}

void ztVariable_SetValue_Nocopy(ztVariable* v, char* bytes, int32_t length, int32_t capacity) {
  if (bytes == nullptr || length < 0 || capacity <= length) {
    // Not a buffer the variable can adopt: copy what there is and free it.
    ztVariable_SetValue(v, bytes, bytes == nullptr ? 0 : length);
    std::free(bytes);
    return;
  }
  Host(v)->SetValue_Nocopy(bytes, static_cast<uint32_t>(length), static_cast<uint32_t>(capacity));
}

void ztVariable_SetValue_Integer(ztVariable* v, int32_t value) {
  Host(v)->SetValue_Integer(value);
}

void ztVariable_SetValue_Double(ztVariable* v, double value) {
  Host(v)->SetValue_Decimal(DecimalFromDouble(nullptr, value));
}

int ztVariable_SetValue_Decimal_String(ztVariable* v, const char* bytes, int32_t length) {
  bool error = false;
  mpd_t* value = DecimalFromText(nullptr, bytes == nullptr ? "" : bytes, length, &error);
  if (error) {
    mpd_del(value);
    return 0;
  }
  Host(v)->SetValue_Decimal(value);
  return 1;
}

void ztVariable_SetValue_Variable(ztVariable* v, ztVariable* source) {
  if (source != nullptr) Host(v)->SetValue_Variable(Host(source));
}

int ztVariable_Type(ztVariable* v) {
  Variable* host = Host(v);
  switch (host->AggregateKind()) {
    case kKindStructure:
      return ZT_TYPE_STRUCTURE;
    case kKindArray:
      return ZT_TYPE_ARRAY;
    case kKindScalar:
      break;
    default:
      return ZT_TYPE_OTHER;
  }
  switch (host->ScalarType()) {
    case kTypeNone:
      return ZT_TYPE_NONE;
    case kTypeInteger:
      return ZT_TYPE_INTEGER;
    case kTypeDecimal:
      return ZT_TYPE_DECIMAL;
    case kTypeText:
      return ZT_TYPE_TEXT;
    default:
      return ZT_TYPE_OTHER;
  }
}

int ztVariable_Aggregate_Type(ztVariable* v) {
  switch (Host(v)->AggregateKind()) {
    case kKindScalar:
      return ZT_AGGREGATE_SCALAR;
    case kKindArray:
      return ZT_AGGREGATE_ARRAY;
    case kKindStructure:
      return ZT_AGGREGATE_STRUCTURE;
    default:
      return ZT_AGGREGATE_OTHER;
  }
}

int ztVariable_IsTrue(ztVariable* v) {
  return Host(v)->IsTrue() ? 1 : 0;
}

int ztVariable_IsNULL(ztVariable* v) {
  return Host(v)->IsNULL() ? 1 : 0;
}

ztVariable* ztVariable_Array_Element(int32_t index, ztVariable* v, int create) {
  return Handle(Element(Host(v), AggregateIndex(index), create != 0));
}

ztVariable* ztVariable_Struct_Member(const char* name, int32_t name_length, ztVariable* v,
                                     int create) {
  return Handle(
      Element(Host(v), AggregateIndex::Member(MeasuredText(name, name_length)), create != 0));
}

int ztVariable_Set_Array_Element(int32_t index, ztVariable* element, ztVariable* v) {
  if (element == nullptr) return 0;
  return Host(v)->SetElement(AggregateIndex(index), Host(element)) ? 1 : 0;
}

int ztVariable_Set_Struct_Member(const char* name, int32_t name_length, ztVariable* element,
                                 ztVariable* v) {
  if (element == nullptr) return 0;
  return Host(v)->SetElement(AggregateIndex::Member(MeasuredText(name, name_length)), Host(element))
             ? 1
             : 0;
}

int ztVariable_Insert_Array_Element(int32_t index, ztVariable* element, ztVariable* v) {
  if (element == nullptr) return 0;
  return Host(v)->Insert_Array_Element(index, Host(element)) ? 1 : 0;
}

int ztVariable_Delete_Array_Elements(int32_t index, int32_t count, int renumber, ztVariable* v) {
  return Host(v)->Delete_Array_Elements(index, count, renumber != 0) ? 1 : 0;
}

int ztVariable_Delete_Struct_Member(const char* name, int32_t name_length, ztVariable* v) {
  return Host(v)->Delete_Struct_Member(AggregateIndex::Member(MeasuredText(name, name_length)),
                                       false)
             ? 1
             : 0;
}

int ztVariable_Array_Copy(ztVariable* source, int32_t start, int32_t count, ztVariable* target,
                          int32_t position, int copy) {
  if (source == nullptr || target == nullptr) return 0;
  return Host(target)->Array_Copy(Host(source), start, count, position, copy != 0) ? 1 : 0;
}

int ztVariable_Array_Merge(ztVariable* source, int32_t start, int32_t count, ztVariable* target,
                           int32_t position, int copy) {
  if (source == nullptr || target == nullptr) return 0;
  return Host(target)->Array_Merge(Host(source), start, count, position, copy != 0) ? 1 : 0;
}

int ztVariable_Array_Collapse(ztVariable* v) {
  return Host(v)->Array_Collapse();
}

int32_t ztVariable_Array_Min(ztVariable* v) {
  return Host(v)->Array_Min();
}

int32_t ztVariable_Array_Max(ztVariable* v) {
  return Host(v)->Array_Max();
}

int32_t ztVariable_Array_Next(ztVariable* v, int32_t index) {
  return Host(v)->Array_Next(index);
}

int32_t ztVariable_Array_Previous(ztVariable* v, int32_t index) {
  return Host(v)->Array_Previous(index);
}

int32_t ztVariable_ElementsUsed(ztVariable* v) {
  return Host(v)->ElementsUsed();
}

int32_t ztVariable_Aggregate_List(ztVariable* v, ztVariableList* list) {
  VariableList* out = Host(list);
  out->Dump();
  AppendElementReferences(Host(v), out);
  return static_cast<int32_t>(out->Entries());
}

int ztVariable_Make_Reference(ztVariable* v, ztVariable* target) {
  if (target == nullptr) return 0;
  return Host(v)->Make_Reference(Host(target)) ? 1 : 0;
}

int ztVariable_Make_CallbackStruct(ztVariable* v, ztProgram* program, const char* function,
                                   int32_t function_length, ztVariable* data) {
  return orin::ztVariable_Make_CallbackStruct(Host(v), Host(program), function, function_length,
                                              data != nullptr ? Host(data) : nullptr)
             ? 1
             : 0;
}

ztVariable* ztVariable_NextIdentity(ztVariable* v) {
  return Handle(Host(v)->NextIdentity());
}

ztVariable* ztVariable_RealIdentity(ztVariable* v) {
  return Handle(Host(v)->RealIdentity());
}

}  // extern "C"

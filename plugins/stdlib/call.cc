#include "call.h"

#include <charconv>

#include "core/numbers.h"

namespace orin_std {

namespace {

std::string_view TypeName(int type) {
  switch (type) {
    case ZT_TYPE_ARRAY:
      return "an array";
    case ZT_TYPE_STRUCTURE:
      return "a structure";
    default:
      return "not a plain value";
  }
}

}  // namespace

ztVariable* Call::Arg(int i) const {
  ztVariable* v = ztVariableHash_Index(parameters_, i);
  return v == nullptr ? nullptr : ztVariable_RealIdentity(v);
}

std::string Call::ParameterName(int i) const {
  std::string_view all(spec_.parameters);
  for (int k = 0; k < i && !all.empty(); ++k) {
    size_t comma = all.find(',');
    all = comma == std::string_view::npos ? std::string_view() : all.substr(comma + 1);
  }
  all = all.substr(0, all.find(','));
  while (!all.empty() && (all.front() == ' ' || all.front() == '&'))
    all.remove_prefix(1);
  return std::string(all);
}

bool Call::ScalarCheck(int i, ztVariable* v) {
  if (v == nullptr) return true;
  int aggregate = ztVariable_Aggregate_Type(v);
  if (aggregate == ZT_AGGREGATE_SCALAR) return true;
  return Fail(ParameterName(i) + " is " + std::string(TypeName(ztVariable_Type(v))) +
              ", not a single value");
}

bool Call::Text(int i, std::string_view* out) {
  ztVariable* v = Arg(i);
  if (!ScalarCheck(i, v)) return false;
  if (v == nullptr) {
    *out = std::string_view();
    return true;
  }
  int32_t length = 0;
  const char* bytes = ztVariable_Value(v, &length);
  *out = std::string_view(bytes, length > 0 ? static_cast<size_t>(length) : 0);
  return true;
}

bool Call::Integer(int i, int64_t* out) {
  ztVariable* v = Arg(i);
  if (!ScalarCheck(i, v)) return false;
  if (v != nullptr && ztVariable_Type(v) == ZT_TYPE_INTEGER) {
    *out = ztVariable_Value_Integer(v);
    return true;
  }
  std::string_view text;
  if (!Text(i, &text)) return false;
  std::string error;
  if (!WholeNumber(text, out, &error)) return Fail(ParameterName(i) + " " + error);
  return true;
}

bool Call::IntegerIn(int i, int64_t low, int64_t high, int64_t* out) {
  if (!Integer(i, out)) return false;
  if (*out >= low && *out <= high) return true;
  return Fail(ParameterName(i) + " " + std::to_string(*out) + " is outside " + std::to_string(low) +
              " to " + std::to_string(high));
}

bool Call::Number(int i, std::string* out) {
  std::string_view text;
  if (!Text(i, &text)) return false;
  if (!IsNumber(text)) {
    std::string shown(text.substr(0, 40));
    return Fail(ParameterName(i) + " '" + shown + "' is not a number");
  }
  out->assign(text);
  return true;
}

bool Call::Aggregate(int i, ztVariable** out, bool* is_array) {
  ztVariable* v = Arg(i);
  int aggregate = v == nullptr ? ZT_AGGREGATE_OTHER : ztVariable_Aggregate_Type(v);
  if (aggregate == ZT_AGGREGATE_ARRAY || aggregate == ZT_AGGREGATE_STRUCTURE) {
    *out = v;
    *is_array = aggregate == ZT_AGGREGATE_ARRAY;
    return true;
  }
  if (v != nullptr && ztVariable_Type(v) == ZT_TYPE_NONE) {
    *out = v;
    *is_array = true;
    return true;
  }
  return Fail(ParameterName(i) + " is not an array or a structure");
}

bool Call::Fail(std::string_view message) {
  if (failed_) return false;
  failed_ = true;
  std::string text = std::string(spec_.name) + ": " + std::string(message);
  ztProgram_FatalError(program_, text.data(), static_cast<int32_t>(text.size()));
  return false;
}

void Call::ReturnText(std::string_view text) {
  ztVariable_SetValue(result_, text.data(), static_cast<int32_t>(text.size()));
}

void Call::ReturnInteger(int64_t value) {
  if (value >= INT32_MIN && value <= INT32_MAX) {
    ztVariable_SetValue_Integer(result_, static_cast<int32_t>(value));
  } else {
    std::string text = std::to_string(value);
    ztVariable_SetValue_Decimal_String(result_, text.data(), static_cast<int32_t>(text.size()));
  }
}

void Call::ReturnNumber(std::string_view text) {
  int32_t value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec == std::errc() && end == text.data() + text.size()) {
    ztVariable_SetValue_Integer(result_, value);
  } else {
    ztVariable_SetValue_Decimal_String(result_, text.data(), static_cast<int32_t>(text.size()));
  }
}

ElementList::ElementList(ztVariable* aggregate) : list_(ztVariableList_Allocate()) {
  if (list_ == nullptr) throw std::bad_alloc();
  if (ztVariable_Aggregate_Type(aggregate) == ZT_AGGREGATE_SCALAR) return;
  ztVariable_Aggregate_List(aggregate, list_);
  for (ztVariable* v = ztVariableList_First(list_); v != nullptr; v = ztVariableList_Next(list_)) {
    int32_t length = 0;
    const char* name = ztVariable_Name(v, &length);
    std::string_view key(name, length > 0 ? static_cast<size_t>(length) : 0);
    Element e{false, 0, std::string(), ztVariable_RealIdentity(v)};
    if (key.size() >= 2 && key.front() == '[' && key.back() == ']') {
      e.is_index = true;
      std::from_chars(key.data() + 1, key.data() + key.size() - 1, e.index);
    } else {
      if (!key.empty() && key.front() == ':') key.remove_prefix(1);
      e.name.assign(key);
    }
    elements_.push_back(std::move(e));
  }
}

ElementList::~ElementList() {
  ztVariableList_Free(list_);
}

void MakeEmpty(Call& c, bool array) {
  // The JSON reader is the interface's one way to an empty aggregate.
  char* error = nullptr;
  ztProgram_JSON_Decode(c.program(), array ? "[]" : "{}", 2, c.result(), &error, nullptr, nullptr);
  if (error != nullptr) ztProgram_Free(c.program(), error);
}

void StoreIndexCopy(ztVariable* target, int32_t index, ztVariable* value) {
  ztVariable* slot = ztVariable_Array_Element(index, target, 1);
  if (slot != nullptr) ztVariable_SetValue_Variable(slot, value);
}

void StoreIndexText(ztVariable* target, int32_t index, std::string_view text) {
  ztVariable* slot = ztVariable_Array_Element(index, target, 1);
  if (slot != nullptr) ztVariable_SetValue(slot, text.data(), static_cast<int32_t>(text.size()));
}

void StoreCopy(ztVariable* target, const Element& key, ztVariable* value) {
  if (key.is_index) {
    StoreIndexCopy(target, key.index, value);
    return;
  }
  ztVariable* slot =
      ztVariable_Struct_Member(key.name.data(), static_cast<int32_t>(key.name.size()), target, 1);
  if (slot != nullptr) ztVariable_SetValue_Variable(slot, value);
}

}  // namespace orin_std

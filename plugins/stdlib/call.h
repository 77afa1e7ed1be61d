// One call of a standard-library function: typed access to its arguments,
// the result variable, and the fatal error that bad input gets. Argument
// readers return false after reporting the error, so a body reads
//
//   std::string_view text;
//   if (!c.Text(0, &text)) return;
//
// Every message starts with the function's name.
#ifndef ORIN_STD_CALL_H_
#define ORIN_STD_CALL_H_

#include <orin/plugin.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orin_std {

class Call;
using FunctionBody = void (*)(Call&);

struct FunctionSpec {
  const char* name;
  // Parameter names separated by commas; '&' marks a by-reference one.
  const char* parameters;
  FunctionBody body;
};

class Call {
 public:
  Call(const FunctionSpec& spec, ztProgram* program, ztVariableHash* parameters, ztVariable* result)
      : spec_(spec), program_(program), parameters_(parameters), result_(result) {}

  ztProgram* program() const { return program_; }
  ztVariable* result() const { return result_; }
  bool failed() const { return failed_; }

  // The argument variable itself (a reference followed to its end).
  ztVariable* Arg(int i) const;

  // A scalar's text (borrowed from the argument).
  bool Text(int i, std::string_view* out);
  // A whole number (integer, decimal or text).
  bool Integer(int i, int64_t* out);
  // Like Integer, limited to [low, high].
  bool IntegerIn(int i, int64_t low, int64_t high, int64_t* out);
  // A finite number's decimal text.
  bool Number(int i, std::string* out);
  // An array or a structure (an empty, never assigned variable counts as
  // an empty array); *array_out tells which.
  bool Aggregate(int i, ztVariable** out, bool* is_array);

  // Raises the fatal error "<name>: <message>"; later calls do nothing.
  // Returns false for `return c.Fail(...)`.
  bool Fail(std::string_view message);

  void ReturnText(std::string_view text);
  // An integer when it fits 32 bits, a decimal beyond.
  void ReturnInteger(int64_t value);
  void ReturnNumber(std::string_view decimal_text);
  void ReturnBool(bool value) { ReturnInteger(value ? 1 : 0); }

 private:
  std::string ParameterName(int i) const;
  bool ScalarCheck(int i, ztVariable* v);

  const FunctionSpec& spec_;
  ztProgram* program_;
  ztVariableHash* parameters_;
  ztVariable* result_;
  bool failed_ = false;
};

// Aggregate walking: the elements of an array or structure in order, with
// their keys.
struct Element {
  bool is_index;  // array element: index; structure member: name
  int32_t index;
  std::string name;
  ztVariable* value;  // borrowed while the list lives
};

class ElementList {
 public:
  explicit ElementList(ztVariable* aggregate);
  ~ElementList();
  ElementList(const ElementList&) = delete;
  ElementList& operator=(const ElementList&) = delete;
  const std::vector<Element>& elements() const { return elements_; }

 private:
  ztVariableList* list_;
  std::vector<Element> elements_;
};

// Makes the result an empty array or structure.
void MakeEmpty(Call& c, bool array);

// Stores a copy of `value` as element `index` / member `name` of `target`.
void StoreCopy(ztVariable* target, const Element& key, ztVariable* value);
void StoreIndexCopy(ztVariable* target, int32_t index, ztVariable* value);
void StoreIndexText(ztVariable* target, int32_t index, std::string_view text);

}  // namespace orin_std

#endif  // ORIN_STD_CALL_H_

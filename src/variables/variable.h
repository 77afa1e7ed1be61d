// Variable: the reference-counted script value.
//
// A scalar holds a text, a 32-bit integer and a decimal, stored in the
// representation it was assigned and converted lazily to the others, which
// are then cached (validity bits). An aggregate (array or structure) holds an
// AggregateElementTree of element variables instead. Assignment copies
// values, deeply for aggregates; sharing happens only through references.
//
// In-place identity changes. Scopes, element trees and lists hold plain
// pointers, so turning a variable into a reference (`Make_Reference`) or a
// callback structure (`Make_CallbackStruct`) must keep the object. Rebuilding
// it with placement new as another class would be undefined behaviour for
// every pointer already held. Instead Variable carries a link kind: none, a
// reference target, or a callback object (plain or structure). Variable's
// own operations test the kind first: a reference forwards every value,
// element and array operation to its target; a callback structure answers
// missing members through its callback. ReferenceVariable, CallbackVariable
// and CallbackStructVariable are therefore only constructors that set the
// link; an object made one of them in place behaves exactly the same.
// Subclasses that override value operations (ImmutableVariable and its
// family, field variables) must override Make_Reference and
// Make_CallbackStruct as well, as ImmutableVariable does.
//
// Reference counts are intrusive and not atomic: a variable belongs to one
// script run. A new variable has count 1. Containers (element trees, scopes,
// lists) hold one reference per entry. A reference with count n holds n
// references on its target, so AddRef and Release pass through to it. C++
// code holds variables through VarRef; the plug-in interface keeps explicit
// AddRef/Release.
//
// Destruction and whole-value walks (copy, flattening, locking) never
// recurse along the nesting of aggregates, so values nested 100000 deep are
// freed and copied without exhausting the C stack. A value that contains
// itself through a reference is cut where it would repeat: its copy and its
// text hold nothing there.
//
// The virtual operations are declared in their numbered slot order (0-46);
// operations after slot 46 are this implementation's own.
#ifndef ORIN_VARIABLES_VARIABLE_H_
#define ORIN_VARIABLES_VARIABLE_H_

#include <mpdecimal.h>

#include <cstdint>
#include <string_view>
#include <utility>

#include "util/byte_string.h"
#include "util/check.h"
#include "variables/aggregate_tree.h"
#include "variables/decimal.h"

namespace orin {

class CallbackVariableCallback;

// Scalar type: the representation that was assigned.
enum ScalarTypeCode : int32_t { kTypeNone = 0, kTypeText = 1, kTypeInteger = 2, kTypeDecimal = 3 };
// Aggregate kind.
enum AggregateKindCode : int32_t { kKindStructure = 0, kKindArray = 1, kKindScalar = 2 };
// How assignment copies from a variable (VariableClass).
enum VariableClassCode : int32_t {
  kClassOrdinary = 0,
  kClassNull = 2,
  kClassInteger = 3,
  kClassText = 4,
  kClassField = 5,
};
// Validity bits.
constexpr uint8_t kTextValid = 1;
constexpr uint8_t kIntegerValid = 2;
constexpr uint8_t kDecimalValid = 4;

class Variable {
 public:
  Variable() : Variable(std::string_view()) {}
  explicit Variable(std::string_view name);
  Variable(std::string_view name, std::string_view text);
  Variable(const Variable&) = delete;
  Variable& operator=(const Variable&) = delete;

  // 0: frees text, decimal and element tree. Called only through Release.
  virtual ~Variable();
  // 1: a new variable (count 1) with this name and a deep copy of the value.
  virtual Variable* Clone();
  // 2
  virtual const ByteString& Name();
  // 3: itself; a reference answers its target.
  virtual Variable* NextIdentity();
  // 4: itself; a reference answers the end of its chain.
  virtual Variable* RealIdentity();
  // 5: the text, converted when needed; an aggregate answers its flattened
  // text. Valid until the variable changes.
  virtual const ByteString& Value();
  // 6
  virtual int32_t Value_Integer();
  // 7: the decimal, converted when needed; owned by the variable (or the
  // shared zero), valid until the variable changes.
  virtual const mpd_t* Value_Decimal();
  // 8: as Value_Decimal, and *not_number set when a text does not parse as a
  // number (always for an aggregate).
  virtual const mpd_t* Value_Decimal_Checked(bool* not_number);
  // 9: kClassOrdinary etc.
  virtual int32_t VariableClass();
  // 10
  virtual int32_t ScalarType();
  // 11
  virtual int32_t NaturalType();
  // 12
  virtual bool IsTrue();
  // 13
  virtual bool IsNULL();
  // 14: empty scalar: text "", nothing valid, type none, no tree.
  virtual void Clear();
  // 15: the tree of an aggregate, or null.
  virtual AggregateElementTree* ElementTree();
  // 16
  virtual int32_t AggregateKind();
  // 17
  virtual int32_t ReferenceCount();
  // 18: a length of -1 means up to the first NUL.
  virtual void SetName(const char* bytes, int64_t length);
  // 19: assignment (a copy).
  virtual bool SetValue_Variable(Variable* source);
  // 20: text assignment; a length of -1 means up to the first NUL.
  virtual bool SetValue(const char* bytes, int64_t length);
  // 21: takes a malloc'ed buffer of `capacity` bytes holding `length`.
  virtual bool SetValue_Nocopy(char* buffer, uint32_t length, uint32_t capacity);
  // 22
  virtual bool SetValue_Integer(int32_t value);
  // 23
  virtual bool SetValue_DecimalCopy(const mpd_t* value);
  // 24: takes ownership (mpd_del).
  virtual bool SetValue_Decimal(mpd_t* value);
  // 25: the element of `key`; with `create`, a missing element is made (and
  // the variable made an aggregate of the key's kind). Borrowed.
  virtual Variable* Element(const AggregateIndex& key, bool create);
  // 26: stores `element` (shared: one reference added) under `key`.
  virtual bool SetElement(const AggregateIndex& key, Variable* element);
  // 27: index < 1 appends after the last element; at an index, elements from
  // there move up by one. The element is shared.
  virtual bool Insert_Array_Element(int32_t index, Variable* element);
  // 28: removes one element or member; `renumber` closes the gap of an array.
  virtual bool Delete_Struct_Member(const AggregateIndex& key, bool renumber);
  // 29: removes `count` elements from `index` (-1: all from there).
  virtual bool Delete_Array_Elements(int32_t index, int32_t count, bool renumber);
  // 30, 31: copies elements start .. start+count-1 of `source` to this array
  // from `position`; merge first moves the elements there up by `count`.
  // With `copy` the elements are copied, otherwise shared.
  virtual bool Array_Merge(Variable* source, int32_t start, int32_t count, int32_t position,
                           bool copy);
  virtual bool Array_Copy(Variable* source, int32_t start, int32_t count, int32_t position,
                          bool copy);
  // 32: renumbers 1, 2, 3 ...; returns the count (0 for non-arrays).
  virtual int32_t Array_Collapse();
  // 33-37
  virtual int32_t Array_Max();
  virtual int32_t Array_Min();
  virtual int32_t Array_Next(int32_t index);
  virtual int32_t Array_Previous(int32_t index);
  virtual int32_t ElementsUsed();
  // 38, 39: never overridden; they carry the reference forwarding. Inline:
  // the machine takes and drops a reference for every stacked variable.
  virtual void AddRef() final {
    ORIN_ASSERT(refs_ > 0);  // a variable being destroyed cannot be revived
    ++refs_;
    if (link_ == LinkKind::kReference) target_->AddRef();
  }
  virtual void Release() final {
    ORIN_ASSERT(refs_ > 0);  // released more often than referenced
    Variable* target = link_ == LinkKind::kReference ? target_ : nullptr;
    if (--refs_ == 0) Destroy(this);
    if (target != nullptr) target->Release();
  }
  // 40-42: compute one representation from the others and mark it valid.
  virtual void MakeString();
  virtual void MakeInteger();
  virtual void MakeDecimal();
  // 43: an empty aggregate of `kind`, unless it already is one.
  virtual bool ConvertToAggregate(int32_t kind);
  // 44: appends ',' (when `into` is not empty) and the text of each leaf.
  virtual void AppendFlattened(ByteString* into);
  // 45: becomes, in place, a reference to `target` (a no-op when the target
  // resolves to this variable). A reference is re-targeted.
  virtual bool Make_Reference(Variable* target);
  // 46: becomes, in place, a callback structure served by `callback` (taking
  // ownership); an earlier callback is detached and released.
  virtual bool Make_CallbackStruct(CallbackVariableCallback* callback);

  // --- Not numbered. ---

  // A new variable for a missing element (ImmutableVariable makes its own).
  virtual Variable* NewElementVariable();

  bool IsReference() const { return link_ == LinkKind::kReference; }
  // Constructed as Variable itself and not turned into a reference or a
  // callback: its value is its own and only Variable's code touches it.
  bool IsPlain() const { return plain_ && link_ == LinkKind::kNone; }
  bool IsCallback() const {
    return link_ == LinkKind::kCallback || link_ == LinkKind::kCallbackStruct;
  }
  CallbackVariableCallback* Callback() const { return IsCallback() ? callback_ : nullptr; }
  // Called by a callback that lets go of this variable: the link is cleared
  // when it still points at `callback`.
  void DropCallbackLink(CallbackVariableCallback* callback);

  // The machine's fast path: true with the value when this is a plain
  // integer variable, answered without a virtual call.
  bool PeekInteger(int32_t* out) const {
    if (plain_ && link_ == LinkKind::kNone && type_ == kTypeInteger) {
      *out = integer_;
      return true;
    }
    return false;
  }
  // The machine's fast stores, answered without a virtual call for a plain
  // scalar variable (not a reference, callback, subclass or aggregate);
  // false leaves the variable alone and asks for the virtual setter.
  bool PokeInteger(int32_t value) {
    if (!plain_ || link_ != LinkKind::kNone || tree_ != nullptr) return false;
    integer_ = value;
    valid_ = kIntegerValid;
    type_ = kTypeInteger;
    return true;
  }
  // Appends bytes to the text of a plain scalar variable, which becomes a
  // text (`s = s $ x` without copying s).
  bool AppendText(const char* bytes, size_t length);

 protected:
  enum class LinkKind : uint8_t { kNone, kReference, kCallback, kCallbackStruct };
  struct SubclassTag {};
  // Subclasses construct through this so that PeekInteger stays exact.
  Variable(SubclassTag, std::string_view name);

  // Stores that bypass subclass setters (locks, settable system values).
  // They set one representation and its type and leave the tree alone.
  void StoreText(const char* bytes, size_t length);
  void StoreTextNocopy(char* buffer, uint32_t length, uint32_t capacity);
  void StoreInteger(int32_t value);
  void StoreDecimalCopy(const mpd_t* value);
  void StoreDecimal(mpd_t* value);  // takes ownership
  void StoreNothing();              // no representation, type none
  // Releases the tree (if any) and makes the variable a scalar.
  void DropTree();
  // Installs `tree` (taken) as an aggregate of `kind`; clears the scalar
  // value; the previous tree is released last.
  void InstallTree(AggregateElementTree* tree, int32_t kind);
  // Rule of assignment from a resolved source other than this one.
  void AssignFrom(Variable* source);
  void AssignScalarFrom(Variable* source);
  // Element operations of a variable that is not a reference.
  Variable* ElementOf(const AggregateIndex& key, bool create);
  Variable* CallbackElement(const AggregateIndex& key, bool create);
  bool TransferElements(Variable* source, int32_t start, int32_t count, int32_t position, bool copy,
                        bool merge);
  // Becomes a reference without the checks of Make_Reference.
  void BecomeReference(Variable* target);
  void DetachCallback();

  ByteString name_;
  ByteString text_;
  int32_t integer_ = 0;
  uint8_t valid_ = 0;
  uint8_t type_ = kTypeNone;
  uint8_t kind_ = kKindScalar;
  LinkKind link_ = LinkKind::kNone;
  mpd_t* decimal_ = nullptr;
  AggregateElementTree* tree_ = nullptr;
  int32_t refs_ = 1;
  bool plain_ = true;       // constructed as Variable itself (PeekInteger)
  bool on_path_ = false;    // inside a running whole-value walk
  bool in_lookup_ = false;  // its callback is being asked for a member
  union {
    Variable* target_;  // kReference
    CallbackVariableCallback* callback_ = nullptr;
  };

 private:
  template <typename Visitor>
  friend void WalkValue(Variable* root, Visitor& visitor);
  friend class ImmutableVariable;
  friend class ValueCopier;

  // Text parse state cached beside the decimal: the text is a number whose
  // value the decimal holds, or the text is known not to be a number.
  static constexpr uint8_t kTextIsNumber = 8;
  static constexpr uint8_t kTextNotNumber = 16;

  void AddReferences(int32_t n);
  void ReleaseReferences(int32_t n);
  static void Destroy(Variable* v);
  mpd_t* OwnDecimal();
  const mpd_t* ParseTextDecimal(bool* not_number);
};

// An alias: value, element and array operations go to the target.
class ReferenceVariable : public Variable {
 public:
  // Holds one reference on `target` (as many as its own count).
  ReferenceVariable(std::string_view name, Variable* target);
};

// RAII holder of one reference.
class VarRef {
 public:
  VarRef() = default;
  // Takes over a reference the caller owns (e.g. a new variable).
  static VarRef Adopt(Variable* v) { return VarRef(v); }
  // Adds a reference of its own.
  static VarRef Share(Variable* v) {
    if (v != nullptr) v->AddRef();
    return VarRef(v);
  }
  VarRef(const VarRef& other) : v_(other.v_) {
    if (v_ != nullptr) v_->AddRef();
  }
  VarRef(VarRef&& other) noexcept : v_(std::exchange(other.v_, nullptr)) {}
  VarRef& operator=(VarRef other) noexcept {
    std::swap(v_, other.v_);
    return *this;
  }
  ~VarRef() {
    if (v_ != nullptr) v_->Release();
  }

  Variable* get() const { return v_; }
  Variable* operator->() const { return v_; }
  Variable& operator*() const { return *v_; }
  explicit operator bool() const { return v_ != nullptr; }
  // Hands the reference to the caller.
  Variable* release() { return std::exchange(v_, nullptr); }

 private:
  explicit VarRef(Variable* v) : v_(v) {}
  Variable* v_ = nullptr;
};

// A new plain variable, held.
inline VarRef NewVariable(std::string_view name = {}) {
  return VarRef::Adopt(new Variable(name));
}
inline VarRef NewTextVariable(std::string_view name, std::string_view text) {
  return VarRef::Adopt(new Variable(name, text));
}

// Order of two values (negative, zero, positive; only the sign counts):
// numeric when both are numbers, else by their texts. NaN compares greater
// than everything and unequal to everything.
int32_t CompareVariables(Variable* a, Variable* b);
int32_t CompareVariableInteger(Variable* a, int32_t b);

}  // namespace orin

#endif  // ORIN_VARIABLES_VARIABLE_H_

// Variable: construction, reference counting, scalar representations and
// their conversions, assignment. Element and array operations are in
// variable_elements.cc.
#include "variables/variable.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "util/byte_string.h"
#include "variables/callback_variable.h"

namespace orin {

namespace {

// Destruction of nested aggregates recurses through Release; past this many
// nested destructions the rest is queued and freed by the outermost one.
constexpr int kMaxDestroyDepth = 32;
thread_local int t_destroy_depth = 0;
thread_local std::vector<Variable*> t_destroy_queue;

}  // namespace

Variable::Variable(std::string_view name) : name_(name) {}

Variable::Variable(std::string_view name, std::string_view text) : name_(name) {
  StoreText(text.data(), text.size());
}

Variable::Variable(SubclassTag, std::string_view name) : name_(name), plain_(false) {}

Variable::~Variable() {
  DetachCallback();
  delete tree_;
  if (decimal_ != nullptr) mpd_del(decimal_);
}

void Variable::Destroy(Variable* v) {
  if (t_destroy_depth >= kMaxDestroyDepth) {
    t_destroy_queue.push_back(v);
    return;
  }
  ++t_destroy_depth;
  delete v;
  if (t_destroy_depth == 1) {
    while (!t_destroy_queue.empty()) {
      Variable* next = t_destroy_queue.back();
      t_destroy_queue.pop_back();
      delete next;
    }
  }
  --t_destroy_depth;
}

// --- Reference counting ---

void Variable::AddReferences(int32_t n) {
  for (Variable* v = this; v != nullptr;) {
    v->refs_ += n;
    v = v->link_ == LinkKind::kReference ? v->target_ : nullptr;
  }
}

void Variable::ReleaseReferences(int32_t n) {
  for (int32_t i = 0; i < n; ++i)
    Release();
}

int32_t Variable::ReferenceCount() {
  return refs_;
}

// --- Identity, names ---

Variable* Variable::Clone() {
  VarRef copy = VarRef::Adopt(new Variable(name_.view()));
  copy->SetValue_Variable(this);
  return copy.release();
}

const ByteString& Variable::Name() {
  return name_;
}

void Variable::SetName(const char* bytes, int64_t length) {
  name_.Assign(bytes == nullptr ? "" : bytes, MeasuredText(bytes, length).size());
}

Variable* Variable::NextIdentity() {
  return IsReference() ? target_ : this;
}

Variable* Variable::RealIdentity() {
  Variable* v = this;
  while (v->link_ == LinkKind::kReference)
    v = v->target_;
  return v;
}

// --- Internal stores ---

mpd_t* Variable::OwnDecimal() {
  if (decimal_ == nullptr) decimal_ = NewDecimal();
  return decimal_;
}

void Variable::StoreText(const char* bytes, size_t length) {
  text_.Assign(bytes, length);
  valid_ = kTextValid;
  type_ = kTypeText;
}

bool Variable::AppendText(const char* bytes, size_t length) {
  if (!plain_ || link_ != LinkKind::kNone || tree_ != nullptr) return false;
  if (!(valid_ & kTextValid)) MakeString();
  text_.Append(bytes, length);
  valid_ = kTextValid;  // the number caches describe the old text
  type_ = kTypeText;
  return true;
}

void Variable::StoreTextNocopy(char* buffer, uint32_t length, uint32_t capacity) {
  text_ = ByteString::Adopt(buffer, length, capacity);
  valid_ = kTextValid;
  type_ = kTypeText;
}

void Variable::StoreInteger(int32_t value) {
  integer_ = value;
  valid_ = kIntegerValid;
  type_ = kTypeInteger;
}

void Variable::StoreDecimalCopy(const mpd_t* value) {
  mpd_t* d = OwnDecimal();
  if (value != d) {
    uint32_t status = 0;
    mpd_qcopy(d, value, &status);
    CheckDecimalStatus(status);
  }
  valid_ = kDecimalValid;
  type_ = kTypeDecimal;
}

void Variable::StoreDecimal(mpd_t* value) {
  if (value != decimal_) {
    if (decimal_ != nullptr) mpd_del(decimal_);
    decimal_ = value;
  }
  valid_ = kDecimalValid;
  type_ = kTypeDecimal;
}

void Variable::StoreNothing() {
  text_.SetSize(0);
  valid_ = 0;
  type_ = kTypeNone;
}

void Variable::DropTree() {
  AggregateElementTree* old = tree_;
  tree_ = nullptr;
  kind_ = kKindScalar;
  delete old;
}

void Variable::InstallTree(AggregateElementTree* tree, int32_t kind) {
  AggregateElementTree* old = tree_;
  tree_ = tree;
  kind_ = static_cast<uint8_t>(kind);
  valid_ = 0;
  type_ = kTypeNone;
  delete old;
}

// --- Lazy representations ---

const ByteString& Variable::Value() {
  if (IsReference()) return target_->Value();
  if (tree_ != nullptr) {
    ByteString flat;
    AppendFlattened(&flat);
    text_ = std::move(flat);
    return text_;
  }
  if (!(valid_ & kTextValid)) MakeString();
  return text_;
}

int32_t Variable::Value_Integer() {
  if (IsReference()) return target_->Value_Integer();
  if (tree_ != nullptr) return 0;
  if (valid_ & kIntegerValid) return integer_;
  if (!(valid_ & (kTextValid | kDecimalValid))) return 0;
  MakeInteger();
  return integer_;
}

const mpd_t* Variable::Value_Decimal() {
  if (IsReference()) return target_->Value_Decimal();
  if (tree_ != nullptr) return DecimalZero();
  if (valid_ & kDecimalValid) return decimal_;
  if (!(valid_ & (kTextValid | kIntegerValid))) return DecimalZero();
  MakeDecimal();
  return decimal_;
}

const mpd_t* Variable::ParseTextDecimal(bool* not_number) {
  if (!(valid_ & (kTextIsNumber | kTextNotNumber))) {
    bool error;
    ScratchDecimal parsed;
    DecimalFromText(parsed.get(), text_.data(), text_.size(), &error);
    if (error) {
      valid_ |= kTextNotNumber;
    } else {
      uint32_t status = 0;
      mpd_qcopy(OwnDecimal(), parsed.get(), &status);
      CheckDecimalStatus(status);
      valid_ |= kDecimalValid | kTextIsNumber;
    }
  }
  *not_number = (valid_ & kTextNotNumber) != 0;
  return *not_number ? DecimalZero() : decimal_;
}

const mpd_t* Variable::Value_Decimal_Checked(bool* not_number) {
  if (IsReference()) return target_->Value_Decimal_Checked(not_number);
  *not_number = false;
  if (tree_ != nullptr) {
    *not_number = true;
    return DecimalZero();
  }
  // Only an assigned text can fail to be a number; texts made from numbers
  // always parse back to them.
  if ((valid_ & kTextValid) && type_ == kTypeText) return ParseTextDecimal(not_number);
  return Value_Decimal();
}

void Variable::MakeString() {
  if (IsReference()) return target_->MakeString();
  if (valid_ & kDecimalValid) {
    uint32_t n, capacity;
    char* text = TextFromDecimal(decimal_, &n, &capacity);
    text_ = ByteString::Adopt(text, n, capacity);
  } else if (valid_ & kIntegerValid) {
    char digits[16];
    text_.Assign(digits, FormatInteger(integer_, digits));
  } else {
    text_.SetSize(0);
  }
  valid_ |= kTextValid;
}

void Variable::MakeInteger() {
  if (IsReference()) return target_->MakeInteger();
  int32_t value = 0;
  if (valid_ & kDecimalValid) {
    value = IntegerFromDecimal(decimal_);
  } else if (valid_ & kTextValid) {
    bool error;
    value = IntegerFromText(text_.data(), text_.size(), &error);
    if (error) {
      MakeDecimal();
      value = IntegerFromDecimal(decimal_);
    }
  }
  integer_ = value;
  valid_ |= kIntegerValid;
}

void Variable::MakeDecimal() {
  if (IsReference()) return target_->MakeDecimal();
  mpd_t* d = OwnDecimal();
  if ((valid_ & kTextValid) && type_ != kTypeInteger) {
    bool error;
    DecimalFromText(d, text_.data(), text_.size(), &error);
    valid_ |= error ? kTextNotNumber : kTextIsNumber;
  } else if (valid_ & kIntegerValid) {
    DecimalFromInteger(d, integer_);
  } else {
    uint32_t status = 0;
    mpd_qcopy(d, DecimalZero(), &status);
  }
  valid_ |= kDecimalValid;
}

// --- Classification ---

int32_t Variable::VariableClass() {
  return IsReference() ? target_->VariableClass() : kClassOrdinary;
}

int32_t Variable::ScalarType() {
  return IsReference() ? target_->ScalarType() : type_;
}

int32_t Variable::NaturalType() {
  return IsReference() ? target_->NaturalType() : kTypeText;
}

bool Variable::IsTrue() {
  if (IsReference()) return target_->IsTrue();
  if (tree_ != nullptr) {
    const ByteString& t = Value();
    return TextIsTrue(t.data(), t.size());
  }
  if (valid_ & kTextValid) return TextIsTrue(text_.data(), text_.size());
  if (valid_ & kDecimalValid) return !mpd_iszero(decimal_);
  if (valid_ & kIntegerValid) return integer_ != 0;
  return false;
}

bool Variable::IsNULL() {
  if (IsReference()) return target_->IsNULL();
  if (tree_ != nullptr) return false;
  if (valid_ & kTextValid) return text_.empty();
  return (valid_ & (kIntegerValid | kDecimalValid)) == 0;
}

void Variable::Clear() {
  if (IsReference()) return target_->Clear();
  StoreNothing();
  DropTree();
}

AggregateElementTree* Variable::ElementTree() {
  return IsReference() ? target_->ElementTree() : tree_;
}

int32_t Variable::AggregateKind() {
  return IsReference() ? target_->AggregateKind() : kind_;
}

// --- Assignment ---

bool Variable::SetValue(const char* bytes, int64_t length) {
  if (IsReference()) return target_->SetValue(bytes, length);
  StoreText(bytes == nullptr ? "" : bytes, MeasuredText(bytes, length).size());
  DropTree();
  return true;
}

bool Variable::SetValue_Nocopy(char* buffer, uint32_t length, uint32_t capacity) {
  if (IsReference()) return target_->SetValue_Nocopy(buffer, length, capacity);
  StoreTextNocopy(buffer, length, capacity);
  DropTree();
  return true;
}

bool Variable::SetValue_Integer(int32_t value) {
  if (IsReference()) return target_->SetValue_Integer(value);
  StoreInteger(value);
  DropTree();
  return true;
}

bool Variable::SetValue_DecimalCopy(const mpd_t* value) {
  if (IsReference()) return target_->SetValue_DecimalCopy(value);
  StoreDecimalCopy(value);
  DropTree();
  return true;
}

bool Variable::SetValue_Decimal(mpd_t* value) {
  if (IsReference()) return target_->SetValue_Decimal(value);
  StoreDecimal(value);
  DropTree();
  return true;
}

bool Variable::SetValue_Variable(Variable* source) {
  if (IsReference()) return target_->SetValue_Variable(source);
  if (source == nullptr) return false;
  Variable* from = source->RealIdentity();
  if (from != this) AssignFrom(from);
  return true;
}

void Variable::AssignScalarFrom(Variable* source) {
  switch (source->VariableClass()) {
    case kClassNull:
      StoreNothing();
      break;
    case kClassInteger:
      StoreInteger(source->Value_Integer());
      break;
    case kClassText: {
      const ByteString& t = source->Value();
      StoreText(t.data(), t.size());
      break;
    }
    default: {
      source->ScalarType();  // lets a computed value bring itself up to date
      if (source->type_ == kTypeNone && source->VariableClass() == kClassField) {
        switch (source->NaturalType()) {
          case kTypeInteger:
            StoreInteger(source->Value_Integer());
            break;
          case kTypeDecimal:
            StoreDecimalCopy(source->Value_Decimal());
            break;
          default: {
            const ByteString& t = source->Value();
            StoreText(t.data(), t.size());
          }
        }
        break;
      }
      if (source->valid_ == 0) source->Value();
      uint8_t valid = source->valid_;
      if (valid & kTextValid) text_.Assign(source->text_.data(), source->text_.size());
      if (valid & kIntegerValid) integer_ = source->integer_;
      if (valid & kDecimalValid) {
        uint32_t status = 0;
        mpd_qcopy(OwnDecimal(), source->decimal_, &status);
        CheckDecimalStatus(status);
      }
      valid_ = valid;
      type_ = source->type_;
    }
  }
  DropTree();
}

// --- Callbacks ---

void Variable::DropCallbackLink(CallbackVariableCallback* callback) {
  if (IsCallback() && callback_ == callback) {
    link_ = LinkKind::kNone;
    callback_ = nullptr;
  }
}

void Variable::DetachCallback() {
  if (!IsCallback()) return;
  CallbackVariableCallback* callback = callback_;
  link_ = LinkKind::kNone;
  callback_ = nullptr;
  if (callback != nullptr) callback->VariableDestroyed(this);
}

bool Variable::Make_CallbackStruct(CallbackVariableCallback* callback) {
  if (IsReference()) return target_->Make_CallbackStruct(callback);
  if (callback == nullptr) return false;
  if (IsCallback()) {
    CallbackVariableCallback* old = callback_;
    link_ = LinkKind::kNone;
    callback_ = nullptr;
    old->DetachVariable();
    old->VariableDestroyed(this);
  }
  link_ = LinkKind::kCallbackStruct;
  callback_ = callback;
  callback->AttachVariable(this);
  return true;
}

// --- References ---

void Variable::BecomeReference(Variable* target) {
  target->AddReferences(refs_);
  DetachCallback();
  StoreNothing();
  DropTree();
  if (decimal_ != nullptr) {
    mpd_del(decimal_);
    decimal_ = nullptr;
  }
  link_ = LinkKind::kReference;
  target_ = target;
}

bool Variable::Make_Reference(Variable* target) {
  if (target == nullptr) return false;
  if (target == this || target->RealIdentity() == this) return true;
  if (IsReference()) {
    if (target == target_) return true;
    Variable* old = target_;
    target->AddReferences(refs_);
    target_ = target;
    old->ReleaseReferences(refs_);
    return true;
  }
  BecomeReference(target);
  return true;
}

ReferenceVariable::ReferenceVariable(std::string_view name, Variable* target) : Variable(name) {
  if (target != nullptr) BecomeReference(target);
}

}  // namespace orin

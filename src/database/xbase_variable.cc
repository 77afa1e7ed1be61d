#include "database/xbase_variable.h"

#include <cstdio>
#include <cstdlib>

#include "database/xbase_database.h"
#include "database/xbase_field.h"
#include "util/ascii.h"
#include "variables/decimal.h"

namespace orin {

namespace {

std::string_view TextOf(Variable* v) {
  const ByteString& text = v->Value();
  return std::string_view(text.data(), text.size());
}

}  // namespace

bool AdjustNumberText(std::string_view text, uint32_t decimals, std::string* out) {
  size_t i = 0;
  if (i < text.size() && text[i] == '-') ++i;
  size_t digits = 0, points = 0;
  for (; i < text.size(); ++i) {
    if (text[i] >= '0' && text[i] <= '9') {
      ++digits;
    } else if (text[i] == '.' && points == 0) {
      ++points;
    } else {
      return false;
    }
  }
  if (digits == 0 && !text.empty()) return false;
  std::string s = text.empty() ? std::string("0") : std::string(text);
  size_t point = s.find('.');
  if (decimals == 0) {
    if (point != std::string::npos) s.erase(point);
    if (s.empty() || s == "-") s.insert(s.size(), "0");
  } else {
    if (point == std::string::npos) {
      point = s.size();
      s += '.';
    }
    size_t fraction = s.size() - point - 1;
    if (fraction < decimals) {
      s.append(decimals - fraction, '0');
    } else {
      s.erase(point + 1 + decimals);
    }
  }
  *out = std::move(s);
  return true;
}

// --- XBaseVariable ---

void XBaseVariable::Detach() {
  view_ = nullptr;
  field_ = nullptr;
  DatabaseVariable::Detach();
}

void XBaseVariable::Refresh() {
  if (view_ == nullptr) return;
  Load();
  cached_ = true;
}

bool XBaseVariable::Set(Variable* source) {
  if (detached_) return true;
  if (source == nullptr) return false;
  Variable* from = source->RealIdentity();
  VarRef copy;
  if (from == this) {  // x = x: take the value as it stands
    copy = NewVariable();
    copy->SetValue_Variable(this);
    from = copy.get();
  }
  if (!Assign(from)) return false;
  cached_ = true;
  if (field_ != nullptr) modified_ = true;
  return true;
}

void XBaseVariable::Clear() {
  VarRef empty = NewVariable();
  Set(empty.get());
}

bool XBaseVariable::SetValue_Variable(Variable* source) {
  return Set(source);
}

bool XBaseVariable::SetValue(const char* bytes, int64_t length) {
  VarRef v = NewVariable();
  v->SetValue(bytes, length);
  return Set(v.get());
}

bool XBaseVariable::SetValue_Nocopy(char* buffer, uint32_t length, uint32_t capacity) {
  VarRef v = NewVariable();
  v->SetValue_Nocopy(buffer, length, capacity);
  return Set(v.get());
}

bool XBaseVariable::SetValue_Integer(int32_t value) {
  VarRef v = NewVariable();
  v->SetValue_Integer(value);
  return Set(v.get());
}

bool XBaseVariable::SetValue_DecimalCopy(const mpd_t* value) {
  VarRef v = NewVariable();
  v->SetValue_DecimalCopy(value);
  return Set(v.get());
}

bool XBaseVariable::SetValue_Decimal(mpd_t* value) {
  VarRef v = NewVariable();
  v->SetValue_Decimal(value);
  return Set(v.get());
}

// --- Special variables ---

namespace {

void StoreUnsigned(uint32_t value, std::string* out) {
  char buffer[16];
  int n = std::snprintf(buffer, sizeof buffer, "%u", value);
  out->assign(buffer, static_cast<size_t>(n));
}

}  // namespace

void XBaseTotalRecordsVariable::Load() {
  std::string text;
  StoreUnsigned(view_->table()->record_count(), &text);
  StoreText(text.data(), text.size());
}

void XBaseRecordNumberVariable::Load() {
  std::string text;
  StoreUnsigned(view_->table()->current_record(), &text);
  StoreText(text.data(), text.size());
}

void XBaseDeletedVariable::Load() {
  bool deleted = view_->table()->current_record() != 0 && view_->table()->deleted();
  StoreText(deleted ? "1" : "0", 1);
}

void XBaseEOFVariable::Load() {
  StoreInteger(view_->eof() ? 1 : 0);
}

// --- Number ---

XBaseNumberVariable::XBaseNumberVariable(XBaseDatabaseView* view, XBaseField* field)
    : XBaseVariable(field->name(), view, field) {}

void XBaseNumberVariable::Load() {
  std::string_view text = field_->Value();
  while (!text.empty() && text.front() == ' ')
    text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ')
    text.remove_suffix(1);
  StoreText(text.data(), text.size());
}

bool XBaseNumberVariable::Assign(Variable* source) {
  switch (source->ScalarType()) {
    case kTypeInteger:
      StoreInteger(source->Value_Integer());
      return true;
    case kTypeDecimal: {
      mpd_context_t context = *DecimalContext();
      context.round = MPD_ROUND_DOWN;
      mpd_t* truncated = NewDecimal();
      uint32_t status = 0;
      mpd_qrescale(truncated, source->Value_Decimal(), -static_cast<int64_t>(field_->decimals()),
                   &context, &status);
      if (status & MPD_Errors) {
        mpd_del(truncated);
        return false;
      }
      StoreDecimal(truncated);
      return true;
    }
    default: {
      std::string adjusted;
      if (!AdjustNumberText(TextOf(source), field_->decimals(), &adjusted)) return false;
      StoreText(adjusted.data(), adjusted.size());
      return true;
    }
  }
}

void XBaseNumberVariable::WriteField() {
  if (!modified_ || field_ == nullptr) return;
  std::string adjusted;
  if (!AdjustNumberText(TextOf(this), field_->decimals(), &adjusted)) adjusted = "0";
  field_->SetValue(adjusted);
  modified_ = false;
}

// --- Boolean ---

XBaseBooleanVariable::XBaseBooleanVariable(XBaseDatabaseView* view, XBaseField* field)
    : XBaseVariable(field->name(), view, field) {}

void XBaseBooleanVariable::Load() {
  std::string_view text = field_->Value();
  char c = text.empty() ? ' ' : text.front();
  StoreInteger(c == 'T' || c == 't' || c == 'Y' || c == 'y' ? 1 : 0);
}

bool XBaseBooleanVariable::Assign(Variable* source) {
  StoreInteger(source->IsTrue() ? 1 : 0);
  return true;
}

void XBaseBooleanVariable::WriteField() {
  if (!modified_ || field_ == nullptr) return;
  field_->SetValue(Value_Integer() != 0 ? "T" : "F");
  modified_ = false;
}

// --- String ---

XBaseStringVariable::XBaseStringVariable(XBaseDatabaseView* view, XBaseField* field)
    : XBaseVariable(field->name(), view, field) {}

void XBaseStringVariable::Load() {
  if (!field_->LoadValue() && view_ != nullptr) view_->SetError(field_->table()->error());
  std::string_view text = field_->Value();
  StoreText(text.data(), text.size());
}

bool XBaseStringVariable::Assign(Variable* source) {
  std::string_view text = TextOf(source);
  if (field_->type() != kXBaseMemo && text.size() > field_->length()) {
    text = text.substr(0, field_->length());
  }
  while (!text.empty() && IsSpaceTabCrLf(text.back()))
    text.remove_suffix(1);
  StoreText(text.data(), text.size());
  return true;
}

void XBaseStringVariable::WriteField() {
  if (!modified_ || field_ == nullptr) return;
  field_->SetValue(TextOf(this));
  modified_ = false;
}

}  // namespace orin

#include "variables/variable_hash.h"

#include <cstring>

#include "image/dictionary.h"
#include "util/byte_string.h"
#include "variables/decimal.h"
#include "variables/variable.h"
#include "variables/variable_list.h"

namespace orin {

VariableHash::VariableHash(Dictionary* dictionary, uint32_t bits, uint32_t capacity)
    : dictionary_(dictionary),
      capacity_(capacity),
      own_(std::make_unique<VariableHashLayout>(bits)) {
  own_->Reserve(capacity);
  entries_.reserve(capacity);
}

VariableHash::VariableHash(Dictionary* dictionary, const VariableHashLayout* layout)
    : dictionary_(dictionary), entries_(layout->Count(), Entry{0, nullptr}), shared_(layout) {
  capacity_ = (layout->Count() / kGrowth + 1) * kGrowth;
  entries_.reserve(capacity_);
}

VariableHash::VariableHash(const VariableHash& other, bool clone_variables, Dictionary* dictionary)
    : dictionary_(dictionary != nullptr ? dictionary : other.dictionary_),
      capacity_(other.capacity_),
      own_(std::make_unique<VariableHashLayout>(other.layout())),
      name_(other.name_) {
  entries_.reserve(capacity_);
  for (const Entry& e : other.entries_) {
    Variable* v = clone_variables && e.variable != nullptr ? e.variable->Clone() : nullptr;
    entries_.push_back({e.link, v});
  }
}

VariableHash::~VariableHash() {
  Dump();
}

VariableHash* VariableHash::Copy(bool clone_variables, Dictionary* dictionary) const {
  return new VariableHash(*this, clone_variables, dictionary);
}

VariableHash* UserVariableHash::Copy(bool clone_variables, Dictionary* dictionary) const {
  return new UserVariableHash(*this, clone_variables, dictionary);
}

VariableHashLayout& VariableHash::MutableLayout() {
  if (!own_) own_ = std::make_unique<VariableHashLayout>(*shared_);
  return *own_;
}

std::string_view VariableHash::EntryName(uint32_t entry) const {
  return layout().Name(entry, *dictionary_);
}

Variable* VariableHash::NewEntryVariable(uint32_t entry) {
  auto* v = new Variable(EntryName(entry));
  entries_[entry] = {ScopeCode(), v};
  return v;
}

void VariableHash::Dump() {
  for (Entry& e : entries_) {
    Variable* v = e.variable;
    e.variable = nullptr;
    if (v != nullptr) v->Release();
  }
}

bool VariableHash::Recycle() {
  if (own_) return false;
  for (Entry& e : entries_) {
    Variable* v = e.variable;
    if (v == nullptr) continue;
    // A plain variable is exactly a Variable: no virtual dispatch needed.
    if (v->IsPlain() && v->Variable::ReferenceCount() == 1) {
      v->Variable::Clear();
    } else {
      e.variable = nullptr;
      v->Release();
    }
  }
  return true;
}

void VariableHash::SetSlot(uint32_t entry, Variable* variable) {
  SlotChanging(entry);
  if (variable != nullptr) variable->AddRef();
  Variable* old = entries_[entry].variable;
  entries_[entry].variable = variable;
  if (old != nullptr) old->Release();
}

int32_t VariableHash::AddEntry(int32_t name_id, const char* name, int64_t length,
                               Variable* variable) {
  if (entries_.size() >= VariableHashLayout::kMaxVariables) return -1;
  if (name_id < 0) {
    std::string_view n = MeasuredText(name, length);
    name_id = dictionary_->Add(n.data(), static_cast<int64_t>(n.size()));
    if (name_id < 0) return -1;
  }
  if (entries_.size() == capacity_) {
    capacity_ += kGrowth;
    entries_.reserve(capacity_);
    MutableLayout().Reserve(capacity_);
  }
  uint32_t e = MutableLayout().Add(static_cast<uint32_t>(name_id), *dictionary_);
  entries_.push_back({ScopeCode(), variable});
  if (variable != nullptr) variable->AddRef();
  return static_cast<int32_t>(e);
}

int32_t VariableHash::AddById(int32_t name_id) {
  if (!dictionary_->Has(name_id)) return -1;
  return AddEntry(name_id, nullptr, 0, nullptr);
}

int32_t VariableHash::AddByName(const char* name, int64_t length) {
  return AddEntry(-1, name, length, nullptr);
}

int32_t VariableHash::Insert(Variable* variable) {
  if (variable == nullptr) return -1;
  const ByteString& name = variable->Name();
  return AddEntry(-1, name.data(), name.size(), variable);
}

bool VariableHash::ReplaceVariable(Variable* variable) {
  if (variable == nullptr) return false;
  int32_t e = FindEntry(variable->Name().view());
  if (e < 0) return Insert(variable) >= 0;
  SetSlot(static_cast<uint32_t>(e), variable);
  return true;
}

bool VariableHash::AdoptVariable(Variable* variable) {
  bool replaced = ReplaceVariable(variable);
  if (variable != nullptr) variable->Release();
  return replaced;
}

Variable* VariableHash::SetVariable(const char* name, int64_t length, const char* value,
                                    int64_t value_length) {
  std::string_view n = MeasuredText(name, length);
  Variable* v = nullptr;
  if (!Find(&v, n.data(), static_cast<int64_t>(n.size()), true)) {
    VarRef made = NewVariable(n);
    if (Insert(made.get()) < 0) return nullptr;
    v = made.get();
  }
  if (v != nullptr) v->SetValue(value == nullptr ? "" : value, value == nullptr ? 0 : value_length);
  return v;
}

bool VariableHash::MakeReference(int32_t entry, Variable* target) {
  if (entry < 0 || static_cast<uint32_t>(entry) >= entries_.size() || target == nullptr) {
    return false;
  }
  VarRef alias = VarRef::Adopt(new ReferenceVariable(EntryName(entry), target));
  SetSlot(static_cast<uint32_t>(entry), alias.get());
  return true;
}

Variable* VariableHash::SetFromText(const char* path, int64_t length, const char* value,
                                    int64_t value_length, bool repeats_become_array) {
  Variable* v = nullptr;
  if (!LookupPath(&v, path, length, true) || v == nullptr) return nullptr;
  Variable* target = v;
  if (repeats_become_array && v->AggregateKind() == kKindArray) {
    target = v->Element(AggregateIndex(v->ElementsUsed() + 1), true);
  } else if (repeats_become_array && !v->IsNULL()) {
    VarRef old = NewVariable();
    old->SetValue_Variable(v);
    v->Clear();
    v->SetElement(AggregateIndex(1), old.get());
    target = v->Element(AggregateIndex(2), true);
  }
  target->SetValue(value == nullptr ? "" : value, value == nullptr ? 0 : value_length);
  return target;
}

int32_t VariableHash::FindEntry(std::string_view name) {
  return layout().Find(name, *dictionary_);
}

int32_t VariableHash::FindEntryById(int32_t name_id) {
  bool found;
  std::string_view name = dictionary_->View(name_id, &found);
  return found ? FindEntry(name) : -1;
}

bool VariableHash::ClearVariable(const char* name, int64_t length) {
  std::string_view n = MeasuredText(name, length);
  Variable* v = nullptr;
  Find(&v, n.data(), static_cast<int64_t>(n.size()), false);
  if (v == nullptr) return false;
  v->Clear();
  return true;
}

bool VariableHash::Find(Variable** out, const char* name, int64_t length, bool create) {
  int32_t e = FindEntry(MeasuredText(name, length));
  if (e < 0) {
    *out = nullptr;
    return false;
  }
  *out = Index(e, create);
  return true;
}

Variable* VariableHash::Index(int32_t entry, bool create) {
  if (entry < 0 || static_cast<uint32_t>(entry) >= entries_.size()) return nullptr;
  Variable* v = entries_[entry].variable;
  if (v == nullptr && create) v = NewEntryVariable(static_cast<uint32_t>(entry));
  return v;
}

namespace {

// One step of a path after its base name: a member or an index.
struct PathStep {
  std::string_view member;
  int32_t index;  // -1 for a member
};

// Splits ":member" and "[index]" steps; false for a malformed path.
bool ParseSteps(std::string_view p, size_t i, std::vector<PathStep>* steps) {
  while (i < p.size()) {
    if (p[i] == ':') {
      size_t end = p.find_first_of(":[", i + 1);
      size_t n = end == std::string_view::npos ? p.size() - i - 1 : end - i - 1;
      steps->push_back({p.substr(i + 1, n), -1});
      i = i + 1 + n;
    } else if (p[i] == '[') {
      size_t close = p.find(']', i + 1);
      if (close == std::string_view::npos) return false;
      bool error;
      int32_t index =
          IntegerFromText(p.data() + i + 1, static_cast<int64_t>(close - i - 1), &error);
      if (error || index < 0) return false;
      steps->push_back({{}, index});
      i = close + 1;
    } else {
      return false;  // text after ']' that starts no step
    }
  }
  return true;
}

}  // namespace

bool VariableHash::LookupPath(Variable** out, const char* path, int64_t length, bool create) {
  std::string_view p = MeasuredText(path, length);
  *out = nullptr;
  size_t cut = p.find_first_of(":[");
  std::vector<PathStep> steps;
  if (cut != std::string_view::npos && !ParseSteps(p, cut, &steps)) return false;
  std::string_view base = p.substr(0, cut);
  Variable* v = nullptr;
  if (!Find(&v, base.data(), static_cast<int64_t>(base.size()), create) && create) {
    VarRef made = NewVariable(base);
    if (Insert(made.get()) < 0) return false;
    v = made.get();
  }
  for (const PathStep& step : steps) {
    if (v == nullptr) break;
    v = step.index < 0 ? v->Element(AggregateIndex::Member(step.member), create)
                       : v->Element(AggregateIndex(step.index), create);
  }
  *out = v;
  return true;
}

void VariableHash::Variables(VariableList* list) {
  for (const Entry& e : entries_) {
    if (e.variable != nullptr) list->Insert(e.variable);
  }
}

bool VariableHash::Write(Stream& stream) {
  VariableHashLayout& layout = MutableLayout();
  if (layout.Write(stream)) return true;
  error_ = layout.ErrorText();
  return false;
}

bool VariableHash::WriteSection(TaggedFile& file, uint32_t id) {
  VariableHashLayout& layout = MutableLayout();
  if (layout.WriteSection(file, id)) return true;
  error_ = layout.ErrorText();
  return false;
}

}  // namespace orin

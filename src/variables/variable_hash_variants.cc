// The variants of VariableHash: system tables with save levels, the
// cloned view of an asynchronous task, and tables of references.
#include "image/dictionary.h"
#include "util/byte_string.h"
#include "variables/variable.h"
#include "variables/variable_hash.h"
#include "variables/variable_list.h"

namespace orin {

// --- SystemVariableHash ---

SystemVariableHash::SystemVariableHash(const SystemVariableHash& other, bool clone_variables,
                                       Dictionary* dictionary)
    : VariableHash(other, clone_variables, dictionary), scope_code_(other.scope_code_) {}

SystemVariableHash::~SystemVariableHash() {
  while (PopSaveLevel()) {
  }
}

VariableHash* SystemVariableHash::Copy(bool clone_variables, Dictionary* dictionary) const {
  return new SystemVariableHash(*this, clone_variables, dictionary);
}

void SystemVariableHash::SlotChanging(uint32_t entry) {
  if (levels_.empty()) return;
  std::vector<Saved>& level = levels_.back();
  for (const Saved& s : level) {
    if (s.entry == entry) return;  // the first replacement keeps the original
  }
  Variable* old = VariableAt(entry);
  level.reserve(level.size() + 1);
  if (old != nullptr) old->AddRef();
  level.push_back({entry, old});
}

bool SystemVariableHash::PopSaveLevel() {
  if (levels_.empty()) return false;
  std::vector<Saved> level = std::move(levels_.back());
  levels_.pop_back();
  for (auto it = level.rbegin(); it != level.rend(); ++it) {
    Variable* replacement = entries_[it->entry].variable;
    entries_[it->entry].variable = it->variable;  // the saved reference moves back
    if (replacement != nullptr) replacement->Release();
  }
  return true;
}

// --- ClonedVariableHash ---

ClonedVariableHash::ClonedVariableHash(VariableHash& source, bool copy_variables)
    : VariableHash(source, false) {
  // The task gets its own names, at the same ids.
  backing_dictionary_ = std::make_unique<Dictionary>(*source.dictionary());
  dictionary_ = backing_dictionary_.get();
  backing_.reset(source.BaseTable()->Copy(copy_variables, dictionary_));
  for (Entry& e : entries_)
    e.link = -1;
}

ClonedVariableHash::~ClonedVariableHash() = default;

VariableHash* ClonedVariableHash::Copy(bool clone_variables, Dictionary*) const {
  return new ClonedVariableHash(const_cast<ClonedVariableHash&>(*this), clone_variables);
}

int32_t ClonedVariableHash::BackingEntry(uint32_t entry, bool create) {
  int32_t b = entries_[entry].link;
  if (b >= 0) return b;
  std::string_view name = EntryName(entry);
  b = backing_->FindEntry(name);
  if (b < 0 && create) {
    b = backing_->AddByName(name.data(), static_cast<int64_t>(name.size()));
  }
  if (b >= 0) entries_[entry].link = b;
  return b;
}

Variable* ClonedVariableHash::Index(int32_t entry, bool create) {
  if (entry < 0 || static_cast<uint32_t>(entry) >= entries_.size()) return nullptr;
  int32_t b = BackingEntry(static_cast<uint32_t>(entry), create);
  return b < 0 ? nullptr : backing_->Index(b, create);
}

bool ClonedVariableHash::Find(Variable** out, const char* name, int64_t length, bool create) {
  std::string_view n = MeasuredText(name, length);
  int32_t e = FindEntry(n);
  if (e < 0) return backing_->Find(out, n.data(), static_cast<int64_t>(n.size()), create);
  *out = Index(e, create);
  return true;
}

int32_t ClonedVariableHash::Insert(Variable* variable) {
  return backing_->Insert(variable);
}

bool ClonedVariableHash::ReplaceVariable(Variable* variable) {
  return backing_->ReplaceVariable(variable);
}

bool ClonedVariableHash::MakeReference(int32_t entry, Variable* target) {
  if (entry < 0 || static_cast<uint32_t>(entry) >= entries_.size()) return false;
  int32_t b = BackingEntry(static_cast<uint32_t>(entry), true);
  return b >= 0 && backing_->MakeReference(b, target);
}

void ClonedVariableHash::Variables(VariableList* list) {
  backing_->Variables(list);
}

// --- ReferenceVariableHash ---

ReferenceVariableHash::ReferenceVariableHash(VariableHash* source)
    : VariableHash(*source, false), source_(source), mapped_(source->Entries()) {}

Variable* ReferenceVariableHash::Index(int32_t entry, bool create) {
  if (entry < 0 || static_cast<uint32_t>(entry) >= entries_.size()) return nullptr;
  if (static_cast<uint32_t>(entry) >= mapped_) return VariableHash::Index(entry, create);
  if (Variable* v = entries_[entry].variable) return v;
  Variable* target = source_->Index(entry, create);
  if (target == nullptr) return nullptr;
  auto* alias = new ReferenceVariable(EntryName(static_cast<uint32_t>(entry)), target);
  entries_[entry].variable = alias;
  return alias;
}

bool ReferenceVariableHash::Find(Variable** out, const char* name, int64_t length, bool create) {
  int32_t e = FindEntry(MeasuredText(name, length));
  if (e < 0) {
    *out = nullptr;
    return false;
  }
  *out = Index(e, create);
  return true;
}

}  // namespace orin

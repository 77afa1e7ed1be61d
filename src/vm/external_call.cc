#include "vm/external_call.h"

#include "util/ascii.h"

namespace orin {

ExternalCall::ExternalCall(const ZetoFunctionEntry& entry)
    : entry_(entry), result_(NewVariable()) {}

ExternalCall::~ExternalCall() {
  if (data_ != nullptr && entry_.entry != nullptr) entry_.entry(nullptr, nullptr, nullptr, &data_);
}

Variable* ExternalCall::Invoke(ZetoVM* machine, VariableHash* parameters) {
  // A result the script still holds (stored by reference, on a stack) must
  // not change under it: start from a new variable then.
  if (result_->ReferenceCount() >= 2) {
    result_ = NewVariable();
  } else {
    result_->Clear();
  }
  if (entry_.entry != nullptr) entry_.entry(machine, parameters, result_.get(), &data_);
  result_->AddRef();
  return result_.get();
}

ExternalCallManager::ExternalCallManager() : cache_(8, true, 16) {}

ExternalCallManager::~ExternalCallManager() = default;

void ExternalCallManager::AddFunctionTable(const void* library, const ZetoFunctionEntry* entries) {
  if (entries == nullptr) return;
  if (tables_.size() == tables_.capacity()) tables_.reserve(tables_.size() + kTableGrowth);
  tables_.push_back({library, entries});
}

const ZetoFunctionEntry* ExternalCallManager::FindEntry(std::string_view name) const {
  for (const Table& t : tables_) {
    for (const ZetoFunctionEntry* e = t.entries; e->name != nullptr; ++e) {
      if (EqualsNoCase(std::string_view(e->name, e->name_length), name)) return e;
    }
  }
  return nullptr;
}

std::shared_ptr<ExternalCall> ExternalCallManager::Resolve(std::string_view name) {
  if (std::shared_ptr<ExternalCall>* cached = cache_.Find(name)) return *cached;
  const ZetoFunctionEntry* entry = FindEntry(name);
  if (entry == nullptr) {
    error_ = "Unresolved call to external function '";
    error_.append(name);
    error_ += "'";
    return nullptr;
  }
  auto call = std::make_shared<ExternalCall>(*entry);
  cache_.Set(name, call);
  return call;
}

}  // namespace orin

#include "database/database.h"

#include <algorithm>

#include "database/database_registry.h"
#include "util/ascii.h"
#include "vm/dynamic_expression.h"
#include "vm/zeto_vm.h"

namespace orin {

std::string DatabaseKey(std::string_view name) {
  std::string key(name);
  for (char& c : key)
    c = AsciiLower(c);
  return key;
}

// --- DatabaseVariable ---

void DatabaseVariable::Detach() {
  detached_ = true;
  StoreNothing();
  Lock();
}

int32_t DatabaseVariable::VariableClass() {
  return detached_ ? kClassNull : DynamicImmutableVariable::VariableClass();
}

bool DatabaseVariable::IsNULL() {
  return detached_ || DynamicImmutableVariable::IsNULL();
}

bool DatabaseVariable::IsTrue() {
  return !detached_ && DynamicImmutableVariable::IsTrue();
}

Variable* DatabaseVariable::Clone() {
  Variable* copy = new Variable(std::string_view(Name().data(), Name().size()));
  if (!detached_) copy->SetValue_Variable(this);
  return copy;
}

bool DatabaseVariable::ConvertToAggregate(int32_t) {
  return false;
}

Variable* DatabaseVariable::Element(const AggregateIndex&, bool) {
  return nullptr;
}

// --- DatabaseVariableHash ---

DatabaseVariableHash::~DatabaseVariableHash() {
  Clear();
}

void DatabaseVariableHash::Insert(DatabaseVariable* variable) {
  const ByteString& name = variable->Name();
  std::string key = DatabaseKey(std::string_view(name.data(), name.size()));
  auto it = index_.find(key);
  if (it != index_.end()) {
    DatabaseVariable* old = variables_[it->second];
    variables_[it->second] = variable;
    if (old->ReferenceCount() > 1) old->Detach();
    old->Release();
    return;
  }
  index_.emplace(std::move(key), variables_.size());
  variables_.push_back(variable);
}

DatabaseVariable* DatabaseVariableHash::Find(std::string_view name) const {
  auto it = index_.find(DatabaseKey(name));
  return it == index_.end() ? nullptr : variables_[it->second];
}

void DatabaseVariableHash::Clear() {
  std::vector<DatabaseVariable*> variables;
  variables.swap(variables_);
  index_.clear();
  for (DatabaseVariable* v : variables) {
    if (v->ReferenceCount() > 1) v->Detach();
    v->Release();
  }
}

// --- DatabaseView ---

DatabaseView::DatabaseView(ZetoVM* machine, Database* database, std::string_view name)
    : machine_(machine), application_(machine->application()), database_(database), name_(name) {}

DatabaseView::~DatabaseView() {
  ReleaseFilter();
  variables_.Clear();
}

void DatabaseView::ReleaseFilter() {
  filter_.reset();
}

Variable* DatabaseView::FindVariable(std::string_view name) {
  return variables_.Find(name);
}

void DatabaseView::SetFilter(std::shared_ptr<FilterCode> filter) {
  filter_ = std::move(filter);
}

bool DatabaseView::Fail(std::string text) {
  SetError(std::move(text));
  return false;
}

bool DatabaseView::FilterAccepts() {
  if (!filter_ || machine_->Aborted()) return false;
  // Bare field names in the filter mean this database's fields: it is
  // the primary one while the filter runs.
  DatabaseRegistry* registry = database_->registry();
  std::vector<Database*> order;
  if (registry != nullptr) {
    order = registry->primary_list();
    registry->MakePrimary(database_);
  }
  VarRef result = NewVariable();
  bool ran =
      ztProgram_Execute_Dynamic_Expression(machine_, filter_->segment, nullptr, result.get()) != 0;
  if (registry != nullptr) registry->RestorePrimaryList(order);
  return ran && result->IsTrue();
}

// --- Database ---

Database::Database(ZetoVM* machine, DatabaseRegistry* registry, std::string_view name)
    : machine_(machine), application_(machine->application()), registry_(registry), name_(name) {}

Database::~Database() {
  ReleaseViews();
}

void Database::ReleaseViews() {
  while (!views_.empty())
    RemoveView(views_.back().get());
}

bool Database::AddView(std::unique_ptr<DatabaseView> view) {
  DatabaseView* v = view.get();
  view_table_[DatabaseKey(v->Name())] = v;
  if (registry_ != nullptr) registry_->AddView(v);
  views_.push_back(std::move(view));
  return true;
}

bool Database::RemoveView(DatabaseView* view) {
  auto it =
      std::find_if(views_.begin(), views_.end(),
                   [view](const std::unique_ptr<DatabaseView>& v) { return v.get() == view; });
  if (it == views_.end()) return false;
  std::unique_ptr<DatabaseView> owned = std::move(*it);
  views_.erase(it);
  auto entry = view_table_.find(DatabaseKey(view->Name()));
  if (entry != view_table_.end() && entry->second == view) view_table_.erase(entry);
  if (registry_ != nullptr) registry_->RemoveView(view);
  return true;
}

DatabaseView* Database::PrimaryView() {
  return views_.empty() ? nullptr : views_.front().get();
}

void Database::MakePrimaryView(DatabaseView* view) {
  auto it =
      std::find_if(views_.begin(), views_.end(),
                   [view](const std::unique_ptr<DatabaseView>& v) { return v.get() == view; });
  if (it != views_.end()) std::rotate(views_.begin(), it, it + 1);
}

Variable* Database::FindVariable(std::string_view name) {
  for (const std::unique_ptr<DatabaseView>& view : views_) {
    if (Variable* v = view->FindVariable(name)) return v;
  }
  return nullptr;
}

DatabaseView* Database::FindView(std::string_view name) const {
  auto it = view_table_.find(DatabaseKey(name));
  return it == view_table_.end() ? nullptr : it->second;
}

bool Database::Fail(std::string text) {
  SetError(std::move(text));
  return false;
}

}  // namespace orin

#include "database/database_registry.h"

#include <algorithm>

#include "database/xbase_database.h"
#include "util/ascii.h"
#include "vm/zeto_vm.h"

namespace orin {

namespace {

DatabaseTypeFactory g_library_factory = nullptr;

}  // namespace

void SetDatabaseLibraryFactory(DatabaseTypeFactory factory) {
  g_library_factory = factory;
}

DatabaseRegistry* RunRegistry(ZetoVM& machine) {
  return static_cast<DatabaseRegistry*>(machine.Databases(true));
}

DatabaseRegistry::~DatabaseRegistry() {
  CloseAll();
}

Variable* DatabaseRegistry::FindField(std::string_view alias, std::string_view field) {
  if (!alias.empty()) {
    DatabaseView* view = FindView(alias);
    return view != nullptr ? view->FindVariable(field) : nullptr;
  }
  for (Database* database : primary_) {
    if (Variable* v = database->FindVariable(field)) return v;
  }
  return nullptr;
}

void DatabaseRegistry::CloseAll() {
  // Most recently preferred first, the way a script would close them.
  while (!primary_.empty()) {
    std::unique_ptr<Database> database = Remove(primary_.front());
    if (database) database->Close();
  }
  databases_.clear();
  views_.clear();
}

std::unique_ptr<Database> DatabaseRegistry::MakeDatabase(std::string_view type,
                                                         std::string_view name,
                                                         std::string* error) {
  std::string chosen(type);
  if (chosen.empty()) {
    ZetoApplication* application = machine_.application();
    if (application != nullptr) chosen.assign(application->DefaultDatabase());
  }
  if (chosen.empty() || EqualsNoCase(chosen, "xbase3")) {
    return std::make_unique<XBaseDatabase>(&machine_, this, name);
  }
  if (g_library_factory != nullptr) {
    return g_library_factory(machine_, *this, chosen, name, error);
  }
  *error = "Database type '" + chosen + "' is unsupported or not configured";
  return nullptr;
}

Database* DatabaseRegistry::Find(std::string_view name) const {
  auto it = databases_.find(DatabaseKey(name));
  return it == databases_.end() ? nullptr : it->second.get();
}

void DatabaseRegistry::Add(std::unique_ptr<Database> database) {
  primary_.insert(primary_.begin(), database.get());
  databases_[DatabaseKey(database->Name())] = std::move(database);
}

std::unique_ptr<Database> DatabaseRegistry::Remove(Database* database) {
  primary_.erase(std::remove(primary_.begin(), primary_.end(), database), primary_.end());
  auto it = databases_.find(DatabaseKey(database->Name()));
  if (it == databases_.end() || it->second.get() != database) return nullptr;
  std::unique_ptr<Database> owned = std::move(it->second);
  databases_.erase(it);
  return owned;
}

void DatabaseRegistry::MakePrimary(Database* database) {
  auto it = std::find(primary_.begin(), primary_.end(), database);
  if (it != primary_.end()) std::rotate(primary_.begin(), it, it + 1);
}

void DatabaseRegistry::RestorePrimaryList(const std::vector<Database*>& order) {
  std::vector<Database*> restored;
  for (Database* d : primary_) {
    if (std::find(order.begin(), order.end(), d) == order.end()) restored.push_back(d);
  }
  for (Database* d : order) {
    if (std::find(primary_.begin(), primary_.end(), d) != primary_.end()) restored.push_back(d);
  }
  primary_ = std::move(restored);
}

void DatabaseRegistry::AddView(DatabaseView* view) {
  views_[DatabaseKey(view->Name())] = view;
}

void DatabaseRegistry::RemoveView(DatabaseView* view) {
  auto it = views_.find(DatabaseKey(view->Name()));
  if (it != views_.end() && it->second == view) views_.erase(it);
}

DatabaseView* DatabaseRegistry::FindView(std::string_view name) const {
  auto it = views_.find(DatabaseKey(name));
  return it == views_.end() ? nullptr : it->second;
}

}  // namespace orin

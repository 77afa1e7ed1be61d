// DatabaseRegistry: the databases and views one script run has open.
//
// Databases are kept by name (letter case ignored) and in the primary list,
// whose first element is the primary database; views of every database are
// kept by name for "view.d.field" names. The registry belongs to the run's
// root machine (see vm/run_databases.h) and is touched only by its thread.
//
// Database types: "xbase3" is built in; any other type name is handed to
// the library hook (database libraries), which without libraries answers
// "Database type '<type>' is unsupported or not configured".
#ifndef ORIN_DATABASE_DATABASE_REGISTRY_H_
#define ORIN_DATABASE_DATABASE_REGISTRY_H_

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "database/database.h"
#include "vm/run_databases.h"

namespace orin {

// Makes an unopened database of one type named `name`; null with *error.
using DatabaseTypeFactory = std::unique_ptr<Database> (*)(ZetoVM& machine,
                                                          DatabaseRegistry& registry,
                                                          std::string_view type,
                                                          std::string_view name,
                                                          std::string* error);

// Database types other than the built-in one go to this hook (the database
// library manager installs it); set once at start-up.
void SetDatabaseLibraryFactory(DatabaseTypeFactory factory);

class DatabaseRegistry : public RunDatabases {
 public:
  explicit DatabaseRegistry(ZetoVM& machine) : machine_(machine) {}
  ~DatabaseRegistry() override;

  // RunDatabases.
  Variable* FindField(std::string_view alias, std::string_view field) override;
  void CloseAll() override;

  // A new database of `type` (empty: the run's default type) named `name`,
  // not yet registered; null with *error.
  std::unique_ptr<Database> MakeDatabase(std::string_view type, std::string_view name,
                                         std::string* error);

  Database* Find(std::string_view name) const;
  Database* Primary() const { return primary_.empty() ? nullptr : primary_.front(); }
  // Registers an opened database as the primary one.
  void Add(std::unique_ptr<Database> database);
  // Unregisters; the caller closes and destroys what it gets back.
  std::unique_ptr<Database> Remove(Database* database);
  void MakePrimary(Database* database);
  // Puts back an order saved from primary_list(), skipping databases
  // closed since; ones opened since stay in front.
  void RestorePrimaryList(const std::vector<Database*>& order);
  const std::vector<Database*>& primary_list() const { return primary_; }

  // The run-wide view table (Database::AddView and RemoveView keep it).
  void AddView(DatabaseView* view);
  void RemoveView(DatabaseView* view);
  DatabaseView* FindView(std::string_view name) const;

 private:
  ZetoVM& machine_;
  std::unordered_map<std::string, std::unique_ptr<Database>> databases_;
  std::vector<Database*> primary_;
  std::unordered_map<std::string, DatabaseView*> views_;
};

// The run's registry, made on first use.
DatabaseRegistry* RunRegistry(ZetoVM& machine);

// Registers the handlers of the database instructions and the per-run
// registry with the machine. Safe to call more than once.
void InstallDatabaseLayer();

}  // namespace orin

#endif  // ORIN_DATABASE_DATABASE_REGISTRY_H_

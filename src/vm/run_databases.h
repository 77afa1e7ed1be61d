// RunDatabases: the databases one script run has open, as the machine sees
// them.
//
// The database layer sits above the machine, so the machine knows it only
// through this interface: the root machine of a run makes one through the
// installed factory when a database instruction first asks for it, routes
// database field names to it, and closes it when the run ends. Machines of
// ZtDO files share their root's.
#ifndef ORIN_VM_RUN_DATABASES_H_
#define ORIN_VM_RUN_DATABASES_H_

#include <memory>
#include <string_view>

namespace orin {

class Variable;
class ZetoVM;

class RunDatabases {
 public:
  virtual ~RunDatabases() = default;
  // Field `field` of view `alias`; with an empty alias, of the first view
  // (databases in primary order, their views in order) that has it. Null
  // when there is none.
  virtual Variable* FindField(std::string_view alias, std::string_view field) = 0;
  // Closes every open database and view (end of run).
  virtual void CloseAll() = 0;
};

using RunDatabasesFactory = std::unique_ptr<RunDatabases> (*)(ZetoVM& machine);

// Installed once at start-up, before any machine runs; null uninstalls.
void SetRunDatabasesFactory(RunDatabasesFactory factory);
RunDatabasesFactory GetRunDatabasesFactory();

}  // namespace orin

#endif  // ORIN_VM_RUN_DATABASES_H_

// Database and DatabaseView: what every database type offers the script
// instructions, and the variables through which scripts see a view's
// current record.
//
// A Database is one named database open in a run; it creates its views
// (the primary view, named like the database, at open or create time) and
// destroys them with itself. A view owns a DatabaseVariableHash of its
// variables. When a view goes away, variables a script still holds are
// detached in place and read as NULL from then on, so held references stay
// valid without reaching the closed database.
//
// The virtual operations are declared in their slot order. Operations
// report failure by returning false with their last error message set.
#ifndef ORIN_DATABASE_DATABASE_H_
#define ORIN_DATABASE_DATABASE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "variables/immutable_variable.h"
#include "variables/variable.h"

namespace orin {

class DatabaseRegistry;
class Segment;
class ZetoApplication;
class ZetoVM;

// Lower-cased key for the case-insensitive name tables.
std::string DatabaseKey(std::string_view name);

// A variable of a view. Its value comes from the database on demand
// (Refresh); setters are the subclass's. Once detached it is the NULL value
// for good.
class DatabaseVariable : public DynamicImmutableVariable {
 public:
  explicit DatabaseVariable(std::string_view name) : DynamicImmutableVariable(name) {}

  // The view is going away: forget the database, read as NULL.
  virtual void Detach();
  bool detached() const { return detached_; }

  int32_t VariableClass() override;
  bool IsNULL() override;
  bool IsTrue() override;
  // A copy is a plain variable holding the current value.
  Variable* Clone() override;
  // Fields hold scalars only.
  bool ConvertToAggregate(int32_t kind) override;
  Variable* Element(const AggregateIndex& key, bool create) override;

 protected:
  bool detached_ = false;
};

// The variables of one view, by name without regard to case, in the order
// they were added.
class DatabaseVariableHash {
 public:
  DatabaseVariableHash() = default;
  ~DatabaseVariableHash();
  DatabaseVariableHash(const DatabaseVariableHash&) = delete;
  DatabaseVariableHash& operator=(const DatabaseVariableHash&) = delete;

  // Takes the caller's reference. A name already present is replaced.
  void Insert(DatabaseVariable* variable);
  DatabaseVariable* Find(std::string_view name) const;
  size_t size() const { return variables_.size(); }
  DatabaseVariable* at(size_t i) const { return variables_[i]; }
  // Drops every variable: one nobody else holds is destroyed, one still
  // held is detached first.
  void Clear();

 private:
  std::vector<DatabaseVariable*> variables_;
  std::unordered_map<std::string, size_t> index_;
};

class Database;

// A compiled filter expression: the code lives in the machine's program,
// the owner is shared by whoever uses the filter.
struct FilterCode {
  Segment* segment = nullptr;
  std::string text;
};

class DatabaseView {
 public:
  DatabaseView(ZetoVM* machine, Database* database, std::string_view name);
  virtual ~DatabaseView();  // 0
  DatabaseView(const DatabaseView&) = delete;
  DatabaseView& operator=(const DatabaseView&) = delete;
  virtual void ReleaseFilter();                                          // 1
  virtual Variable* FindVariable(std::string_view name);                 // 2
  virtual bool Close() = 0;                                              // 3
  virtual bool Skip(int32_t count) = 0;                                  // 4
  virtual bool SkipFiltered(int32_t count) = 0;                          // 5
  virtual bool Go(int64_t row) = 0;                                      // 6
  virtual bool GoFiltered(int64_t row) = 0;                              // 7
  virtual bool Find(std::string_view value, bool exact) = 0;             // 8
  virtual bool FindFiltered(std::string_view value, bool exact) = 0;     // 9
  virtual bool Add() = 0;                                                // 10
  virtual bool Delete() = 0;                                             // 11
  virtual bool Undelete() = 0;                                           // 12
  virtual bool Update() = 0;                                             // 13
  virtual bool Filter(std::string_view expression) = 0;                  // 14
  virtual bool RevealStructureToFile(std::string_view file_name) = 0;    // 15
  virtual bool RevealStructureToVariable(Variable* target) = 0;          // 16
  virtual const std::string& Name() { return name_; }                    // 17
  virtual void SetFilter(std::shared_ptr<FilterCode> filter);            // 18
  virtual bool HasFilter() { return filter_ != nullptr; }                // 19
  virtual const std::string& ErrorText() { return error_; }              // 20
  virtual void SetError(std::string text) { error_ = std::move(text); }  // 21
  virtual void RefreshVariables(bool all) = 0;                           // 22

  Database* database() const { return database_; }
  ZetoVM* machine() const { return machine_; }
  DatabaseVariableHash& variables() { return variables_; }

 protected:
  // Fails with `text` as the view's message.
  bool Fail(std::string text);
  // Runs the filter on the current record: true when it holds. A filter
  // that cannot run counts as false.
  bool FilterAccepts();

  ZetoVM* machine_;
  ZetoApplication* application_;
  Database* database_;
  std::string name_;
  std::string error_;
  DatabaseVariableHash variables_;
  std::shared_ptr<FilterCode> filter_;
};

// The operands of the make-index instruction.
struct MakeIndexOperands {
  std::string file_name;
  std::string expression;
  std::string flags;
};

class Database {
 public:
  Database(ZetoVM* machine, DatabaseRegistry* registry, std::string_view name);
  virtual ~Database();  // 0
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;
  virtual void ReleaseViews();  // 1
  // Only instruction 534 passes text 3.
  virtual bool Open(std::string_view file, std::string_view name, std::string_view text1,
                    std::string_view text2, const std::string* text3) = 0;  // 2
  virtual bool Close() = 0;                                                 // 3
  virtual bool Create(std::string_view file, std::string_view name,
                      std::string_view fields) = 0;                     // 4
  virtual bool SetIndexes(ZetoVM& machine, std::string_view list) = 0;  // 5
  virtual bool SelectMainIndex(std::string_view index) = 0;             // 6
  virtual bool MakeIndex(const MakeIndexOperands& operands) = 0;        // 7
  virtual bool Pack() = 0;                                              // 8
  virtual bool Reindex() = 0;                                           // 9
  virtual bool OpenView(std::string_view text1, std::string_view text2,
                        std::string_view text3) = 0;                         // 10
  virtual bool CloseView(std::string_view view) = 0;                         // 11
  virtual bool Query(std::string_view text1, std::string_view text2) = 0;    // 12
  virtual bool Commit() = 0;                                                 // 13
  virtual bool Rollback() = 0;                                               // 14
  virtual bool Transact() = 0;                                               // 15
  virtual bool Command(std::string_view text1, std::string_view text2) = 0;  // 16
  // Takes ownership of `view` and registers it in the run and here.
  virtual bool AddView(std::unique_ptr<DatabaseView> view);  // 17
  // Unregisters and destroys `view`.
  virtual bool RemoveView(DatabaseView* view);                           // 18
  virtual DatabaseView* PrimaryView();                                   // 19
  virtual void MakePrimaryView(DatabaseView* view);                      // 20
  virtual Variable* FindVariable(std::string_view name);                 // 21
  virtual const std::string& Name() { return name_; }                    // 22
  virtual const std::string& ErrorText() { return error_; }              // 23
  virtual void SetError(std::string text) { error_ = std::move(text); }  // 24

  // The view of that name, letter case ignored; null when absent.
  DatabaseView* FindView(std::string_view name) const;
  ZetoVM* machine() const { return machine_; }
  DatabaseRegistry* registry() const { return registry_; }

 protected:
  bool Fail(std::string text);

  ZetoVM* machine_;
  ZetoApplication* application_;
  DatabaseRegistry* registry_;
  std::string name_;
  std::string error_;
  std::vector<std::unique_ptr<DatabaseView>> views_;  // in order of preference
  std::unordered_map<std::string, DatabaseView*> view_table_;
};

}  // namespace orin

#endif  // ORIN_DATABASE_DATABASE_H_

// The database instructions: each pops its operands (the last pushed
// first), finds the database or view they name, calls the operation and
// either clears its tag's error or raises it with the message of whoever
// failed.
#include <cstdlib>
#include <mutex>
#include <string>

#include "database/database_registry.h"
#include "image/opcodes.h"
#include "util/ascii.h"
#include "vm/tag_instructions.h"
#include "vm/zeto_vm.h"

namespace orin {

namespace {

// Tag numbers of the error-settings table.
enum DatabaseTag : int32_t {
  kTagOpen = 28,
  kTagClose = 29,
  kTagSkip = 30,
  kTagGo = 31,
  kTagPrimary = 32,
  kTagFind = 33,
  kTagSetIndex = 34,
  kTagUpdate = 35,
  kTagDelete = 36,
  kTagUndelete = 37,
  kTagAdd = 38,
  kTagMakeIndex = 39,
  kTagPack = 40,
  kTagReindex = 41,
  kTagCreate = 42,
  kTagRevealStructure = 43,
  kTagOpenView = 44,
  kTagCloseView = 45,
  kTagQuery = 46,
  kTagFilter = 47,
  kTagCommit = 52,
  kTagRollback = 53,
  kTagTransact = 55,
  kTagDbCommand = 58,
};

std::string PopText(ZetoVM& vm) {
  std::string text;
  vm.PopText(&text);
  return text;
}

bool Report(ZetoVM& vm, int32_t tag, bool ok, const std::string& message) {
  if (vm.Aborted()) return false;
  if (ok) {
    vm.ClearTagError(tag);
  } else {
    vm.RuntimeError(tag, message);
  }
  return ok;
}

// The database NAME names (the primary one when empty), or null after
// raising the tag's error.
Database* FindDatabase(ZetoVM& vm, int32_t tag, const std::string& name) {
  if (vm.Aborted()) return nullptr;
  DatabaseRegistry* registry = RunRegistry(vm);
  Database* database = nullptr;
  if (registry == nullptr) {
    vm.RuntimeError(tag, "Database support is not installed");
    return nullptr;
  }
  if (name.empty()) {
    database = registry->Primary();
    if (database == nullptr) {
      vm.RuntimeError(tag, "There is no primary database, and no database was specified");
    }
    return database;
  }
  database = registry->Find(name);
  if (database == nullptr) vm.RuntimeError(tag, "Database '" + name + "' is not open");
  return database;
}

Database* PopDatabase(ZetoVM& vm, int32_t tag) {
  std::string name = PopText(vm);
  return FindDatabase(vm, tag, name);
}

// Pops VIEW and NAME; the view named (the primary view when empty).
DatabaseView* PopView(ZetoVM& vm, int32_t tag) {
  std::string view_name = PopText(vm);
  Database* database = PopDatabase(vm, tag);
  if (database == nullptr) return nullptr;
  if (view_name.empty()) {
    DatabaseView* view = database->PrimaryView();
    if (view == nullptr) {
      vm.RuntimeError(tag, "Database '" + database->Name() + "' has no primary view");
    }
    return view;
  }
  DatabaseView* view = database->FindView(view_name);
  if (view == nullptr) {
    vm.RuntimeError(tag,
                    "Database '" + database->Name() + "' has no view named '" + view_name + "'");
  }
  return view;
}

bool ReportDatabase(ZetoVM& vm, int32_t tag, Database* database, bool ok) {
  return Report(vm, tag, ok, ok ? std::string() : database->ErrorText());
}

bool ReportView(ZetoVM& vm, int32_t tag, DatabaseView* view, bool ok) {
  return Report(vm, tag, ok, ok ? std::string() : view->ErrorText());
}

// Open and create: a new database under NAME, primary when it worked; a
// failure leaves no trace.
void OpenOrCreate(ZetoVM& vm, int32_t tag, bool create, bool with_text3) {
  std::string text3, text2, text1, fields, type, indexes, file, name;
  if (create) {
    fields = PopText(vm);
    type = PopText(vm);
  } else {
    if (with_text3) text3 = PopText(vm);
    text2 = PopText(vm);
    text1 = PopText(vm);
    type = PopText(vm);
    indexes = PopText(vm);
  }
  file = PopText(vm);
  name = PopText(vm);
  if (vm.Aborted()) return;
  DatabaseRegistry* registry = RunRegistry(vm);
  if (registry == nullptr) {
    vm.RuntimeError(tag, "Database support is not installed");
    return;
  }
  if (registry->Find(name) != nullptr) {
    vm.RuntimeError(tag, "A database with the name '" + name + "' is already open");
    return;
  }
  std::string error;
  std::unique_ptr<Database> database = registry->MakeDatabase(type, name, &error);
  if (!database) {
    vm.RuntimeError(tag, error);
    return;
  }
  bool ok;
  if (create) {
    ok = database->Create(file, name, fields);
  } else {
    ok = database->Open(file, name, text1, text2, with_text3 ? &text3 : nullptr);
    if (ok && !indexes.empty()) ok = database->SetIndexes(vm, indexes);
  }
  if (!ok) {
    std::string message = database->ErrorText();
    database->Close();
    database.reset();
    vm.RuntimeError(tag, message);
    return;
  }
  registry->Add(std::move(database));
  vm.ClearTagError(tag);
}

void DbOpen(ZetoVM& vm, const TagInstruction&) {
  OpenOrCreate(vm, kTagOpen, false, false);
}
void DbOpen2(ZetoVM& vm, const TagInstruction&) {
  OpenOrCreate(vm, kTagOpen, false, true);
}
void DbCreate(ZetoVM& vm, const TagInstruction&) {
  OpenOrCreate(vm, kTagCreate, true, false);
}

void DbClose(ZetoVM& vm, const TagInstruction&) {
  Database* database = PopDatabase(vm, kTagClose);
  if (database == nullptr) return;
  vm.ClearTagError(kTagClose);
  std::unique_ptr<Database> owned = RunRegistry(vm)->Remove(database);
  if (owned) owned->Close();
}

void DbSkip(ZetoVM& vm, const TagInstruction&) {
  int32_t count = vm.PopInteger();
  DatabaseView* view = PopView(vm, kTagSkip);
  if (view == nullptr) return;
  ReportView(vm, kTagSkip, view, view->HasFilter() ? view->SkipFiltered(count) : view->Skip(count));
}

// "top" is -1, "bottom" -2, anything else a record number.
int64_t RowNumber(const std::string& row) {
  std::string_view text = row;
  while (!text.empty() && IsSpaceTabCrLf(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && IsSpaceTabCrLf(text.back()))
    text.remove_suffix(1);
  if (EqualsNoCase(text, "top")) return -1;
  if (EqualsNoCase(text, "bottom")) return -2;
  return std::strtoll(std::string(text).c_str(), nullptr, 10);
}

void DbGo(ZetoVM& vm, const TagInstruction&) {
  int64_t row = RowNumber(PopText(vm));
  DatabaseView* view = PopView(vm, kTagGo);
  if (view == nullptr) return;
  ReportView(vm, kTagGo, view, view->HasFilter() ? view->GoFiltered(row) : view->Go(row));
}

template <int32_t kTag, bool (DatabaseView::*kOperation)()>
void ViewOperation(ZetoVM& vm, const TagInstruction&) {
  DatabaseView* view = PopView(vm, kTag);
  if (view == nullptr) return;
  ReportView(vm, kTag, view, (view->*kOperation)());
}

void DbPrimary(ZetoVM& vm, const TagInstruction&) {
  std::string indexes = PopText(vm);
  std::string view_name = PopText(vm);
  std::string name = PopText(vm);
  if (vm.Aborted()) return;
  DatabaseRegistry* registry = RunRegistry(vm);
  Database* database = registry != nullptr ? registry->Find(name) : nullptr;
  if (database == nullptr) {
    vm.RuntimeError(kTagPrimary, "Database '" + name + "' is not open");
    return;
  }
  registry->MakePrimary(database);
  if (!view_name.empty()) {
    DatabaseView* view = database->FindView(view_name);
    if (view == nullptr) {
      vm.RuntimeError(kTagPrimary,
                      "Database '" + database->Name() + "' has no view named '" + view_name + "'");
      return;
    }
    database->MakePrimaryView(view);
  }
  if (!indexes.empty()) {
    ReportDatabase(vm, kTagPrimary, database, database->SelectMainIndex(indexes));
  } else {
    vm.ClearTagError(kTagPrimary);
  }
}

void DbFind(ZetoVM& vm, const TagInstruction&) {
  int32_t exact = vm.PopInteger();
  std::string value = PopText(vm);
  DatabaseView* view = PopView(vm, kTagFind);
  if (view == nullptr) return;
  bool ok =
      view->HasFilter() ? view->FindFiltered(value, exact != 0) : view->Find(value, exact != 0);
  ReportView(vm, kTagFind, view, ok);
}

void DbSetIndex(ZetoVM& vm, const TagInstruction&) {
  std::string list = PopText(vm);
  DatabaseView* view = PopView(vm, kTagSetIndex);
  if (view == nullptr) return;
  Database* database = view->database();
  ReportDatabase(vm, kTagSetIndex, database, database->SetIndexes(vm, list));
}

void DbMakeIndex(ZetoVM& vm, const TagInstruction&) {
  MakeIndexOperands operands;
  operands.flags = PopText(vm);
  operands.expression = PopText(vm);
  operands.file_name = PopText(vm);
  Database* database = PopDatabase(vm, kTagMakeIndex);
  if (database == nullptr) return;
  ReportDatabase(vm, kTagMakeIndex, database, database->MakeIndex(operands));
}

template <int32_t kTag, bool (Database::*kOperation)()>
void DatabaseOperation(ZetoVM& vm, const TagInstruction&) {
  Database* database = PopDatabase(vm, kTag);
  if (database == nullptr) return;
  ReportDatabase(vm, kTag, database, (database->*kOperation)());
}

void DbOpenView(ZetoVM& vm, const TagInstruction&) {
  std::string text3 = PopText(vm);
  std::string text2 = PopText(vm);
  std::string text1 = PopText(vm);
  Database* database = PopDatabase(vm, kTagOpenView);
  if (database == nullptr) return;
  ReportDatabase(vm, kTagOpenView, database, database->OpenView(text1, text2, text3));
}

void DbCloseView(ZetoVM& vm, const TagInstruction&) {
  std::string view = PopText(vm);
  Database* database = PopDatabase(vm, kTagCloseView);
  if (database == nullptr) return;
  ReportDatabase(vm, kTagCloseView, database, database->CloseView(view));
}

void DbQuery(ZetoVM& vm, const TagInstruction&) {
  std::string text2 = PopText(vm);
  std::string text1 = PopText(vm);
  Database* database = PopDatabase(vm, kTagQuery);
  if (database == nullptr) return;
  ReportDatabase(vm, kTagQuery, database, database->Query(text1, text2));
}

void DbCommand(ZetoVM& vm, const TagInstruction&) {
  std::string text2 = PopText(vm);
  std::string text1 = PopText(vm);
  Database* database = PopDatabase(vm, kTagDbCommand);
  if (database == nullptr) return;
  ReportDatabase(vm, kTagDbCommand, database, database->Command(text1, text2));
}

void DbFilter(ZetoVM& vm, const TagInstruction&) {
  std::string expression = PopText(vm);
  DatabaseView* view = PopView(vm, kTagFilter);
  if (view == nullptr) return;
  ReportView(vm, kTagFilter, view, view->Filter(expression));
}

void DbRevealStructureToFile(ZetoVM& vm, const TagInstruction&) {
  std::string file = PopText(vm);
  DatabaseView* view = PopView(vm, kTagRevealStructure);
  if (view == nullptr) return;
  ReportView(vm, kTagRevealStructure, view, view->RevealStructureToFile(file));
}

void DbRevealStructureToVariable(ZetoVM& vm, const TagInstruction&) {
  VarRef target = vm.PopVariable();
  DatabaseView* view = PopView(vm, kTagRevealStructure);
  if (view == nullptr || !target) return;
  ReportView(vm, kTagRevealStructure, view, view->RevealStructureToVariable(target.get()));
}

void Install() {
  SetRunDatabasesFactory([](ZetoVM& machine) -> std::unique_ptr<RunDatabases> {
    return std::make_unique<DatabaseRegistry>(machine);
  });
  SetTagInstructionHandler(kDbopen, DbOpen);
  SetTagInstructionHandler(kDbopen2, DbOpen2);
  SetTagInstructionHandler(kDbcreate, DbCreate);
  SetTagInstructionHandler(kDbclose, DbClose);
  SetTagInstructionHandler(kDbskip, DbSkip);
  SetTagInstructionHandler(kDbgo, DbGo);
  SetTagInstructionHandler(kDbadd, ViewOperation<kTagAdd, &DatabaseView::Add>);
  SetTagInstructionHandler(kDbupdate, ViewOperation<kTagUpdate, &DatabaseView::Update>);
  SetTagInstructionHandler(kDbdelete, ViewOperation<kTagDelete, &DatabaseView::Delete>);
  SetTagInstructionHandler(kDbundelete, ViewOperation<kTagUndelete, &DatabaseView::Undelete>);
  SetTagInstructionHandler(kDbprimary, DbPrimary);
  SetTagInstructionHandler(kDbfind, DbFind);
  SetTagInstructionHandler(kDbsetindex, DbSetIndex);
  SetTagInstructionHandler(kDbmakeindex, DbMakeIndex);
  SetTagInstructionHandler(kDbpack, DatabaseOperation<kTagPack, &Database::Pack>);
  SetTagInstructionHandler(kDbreindex, DatabaseOperation<kTagReindex, &Database::Reindex>);
  SetTagInstructionHandler(kDbopenview, DbOpenView);
  SetTagInstructionHandler(kDbcloseview, DbCloseView);
  SetTagInstructionHandler(kDbquery, DbQuery);
  SetTagInstructionHandler(kDbfilter, DbFilter);
  SetTagInstructionHandler(kDbrevealstructuredb, DbRevealStructureToFile);
  SetTagInstructionHandler(kDbrevealstructureagg, DbRevealStructureToVariable);
  SetTagInstructionHandler(kDbcommit, DatabaseOperation<kTagCommit, &Database::Commit>);
  SetTagInstructionHandler(kDbrollback, DatabaseOperation<kTagRollback, &Database::Rollback>);
  SetTagInstructionHandler(kDbtransact, DatabaseOperation<kTagTransact, &Database::Transact>);
  SetTagInstructionHandler(kDbcommand, DbCommand);
}

}  // namespace

void InstallDatabaseLayer() {
  static std::once_flag once;
  std::call_once(once, Install);
}

}  // namespace orin

// Databases of types that database libraries supply.
//
// ExternalDatabase and ExternalDatabaseView forward each operation to the
// library's descriptor table (ztDatabaseTable, orin/plugin.h); an entry the
// library leaves empty is reported as an unsupported operation. The library
// builds the views and their field variables itself through the exported
// interface (ztDatabase_AddView, ztDatabaseView_AddVariable), and they live
// in the same registries and variable tables as xBase views.
//
// ExternalDatabaseVariable caches the text the library fetched for it. An
// assignment by the script only caches the new value and marks it changed;
// the library collects changed values with ztDatabaseView_Commit when it
// adds or updates a row. Marking the view dirty (after navigation) drops
// the cache and any uncommitted change, as xBase views do.
#ifndef ORIN_DATABASE_EXTERNAL_DATABASE_H_
#define ORIN_DATABASE_EXTERNAL_DATABASE_H_

#include <string>
#include <string_view>

#include "database/database.h"
#include "orin/plugin.h"

namespace orin {

class ExternalDatabaseView;

class ExternalDatabaseVariable : public DatabaseVariable {
 public:
  ExternalDatabaseVariable(std::string_view name, ExternalDatabaseView* view, void* data);
  ~ExternalDatabaseVariable() override;

  ztDatabaseVariable* Handle() { return reinterpret_cast<ztDatabaseVariable*>(this); }
  static ExternalDatabaseVariable* Host(ztDatabaseVariable* v) {
    return reinterpret_cast<ExternalDatabaseVariable*>(v);
  }

  ExternalDatabaseView* view() const { return view_; }
  void* data() const { return data_; }
  void set_data(void* data) { data_ = data; }
  bool modified() const { return modified_; }
  // The next read fetches the value again; an uncommitted change is lost.
  void Forget() {
    cached_ = false;
    modified_ = false;
  }
  // The value held is the one to answer (no fetch on the next read).
  void MarkCurrent() { cached_ = true; }
  // Holds the empty value until the next fetch.
  void Empty();
  // Hands a changed value to the library's store function, once.
  void Commit();

  void Detach() override;
  bool IsCurrent() override { return detached_ || cached_; }
  void Refresh() override;

  void Clear() override;
  bool SetValue_Variable(Variable* source) override;
  bool SetValue(const char* bytes, int64_t length) override;
  bool SetValue_Nocopy(char* buffer, uint32_t length, uint32_t capacity) override;
  bool SetValue_Integer(int32_t value) override;
  bool SetValue_DecimalCopy(const mpd_t* value) override;
  bool SetValue_Decimal(mpd_t* value) override;

 private:
  // After a setter stored a value: the library's fetch or the script's
  // assignment.
  bool Stored(bool ok);
  void FreeData();

  ExternalDatabaseView* view_;
  const ztDatabaseTable* table_;
  void* data_;
  bool cached_ = false;
  bool modified_ = false;
  bool fetching_ = false;
};

class ExternalDatabase;

class ExternalDatabaseView : public DatabaseView {
 public:
  ExternalDatabaseView(ExternalDatabase* database, std::string_view name, void* data);
  ~ExternalDatabaseView() override;

  ztDatabaseView* Handle() { return reinterpret_cast<ztDatabaseView*>(this); }
  static ExternalDatabaseView* Host(ztDatabaseView* v) {
    return reinterpret_cast<ExternalDatabaseView*>(v);
  }

  bool Close() override;
  bool Skip(int32_t count) override;
  bool SkipFiltered(int32_t count) override;
  bool Go(int64_t row) override;
  bool GoFiltered(int64_t row) override;
  bool Find(std::string_view value, bool exact) override;
  bool FindFiltered(std::string_view value, bool exact) override;
  bool Add() override;
  bool Delete() override;
  bool Undelete() override;
  bool Update() override;
  bool Filter(std::string_view expression) override;
  bool RevealStructureToFile(std::string_view file_name) override;
  bool RevealStructureToVariable(Variable* target) override;
  void RefreshVariables(bool all) override;

  // A new field variable holding the library's data; null when the name
  // is taken.
  ExternalDatabaseVariable* AddVariable(std::string_view name, void* data);
  void MarkDirty();
  void EmptyVariables();
  void CommitVariables();

  ExternalDatabase* external_database() const { return external_database_; }
  const ztDatabaseTable* table() const { return table_; }
  void* data() const { return data_; }
  void set_data(void* data) { data_ = data; }

 private:
  // The library's result; on failure its view error text.
  bool Result(int ok);

  ExternalDatabase* external_database_;
  const ztDatabaseTable* table_;
  void* data_;
};

class ExternalDatabase : public Database {
 public:
  // `table` is the library's descriptor table (never null).
  ExternalDatabase(ZetoVM* machine, DatabaseRegistry* registry, std::string_view name,
                   const ztDatabaseTable* table);
  ~ExternalDatabase() override;

  ztDatabase* Handle() { return reinterpret_cast<ztDatabase*>(this); }
  static ExternalDatabase* Host(ztDatabase* d) { return reinterpret_cast<ExternalDatabase*>(d); }

  bool Open(std::string_view file, std::string_view name, std::string_view text1,
            std::string_view text2, const std::string* text3) override;
  bool Close() override;
  bool Create(std::string_view file, std::string_view name, std::string_view fields) override;
  bool SetIndexes(ZetoVM& machine, std::string_view list) override;
  bool SelectMainIndex(std::string_view index) override;
  bool MakeIndex(const MakeIndexOperands& operands) override;
  bool Pack() override;
  bool Reindex() override;
  bool OpenView(std::string_view text1, std::string_view text2, std::string_view text3) override;
  bool CloseView(std::string_view view) override;
  bool Query(std::string_view text1, std::string_view text2) override;
  bool Commit() override;
  bool Rollback() override;
  bool Transact() override;
  bool Command(std::string_view text1, std::string_view text2) override;

  // A new view of the library's; null (with the message set) when the
  // database already has a view of that name.
  ExternalDatabaseView* NewView(std::string_view name, void* data);

  const ztDatabaseTable* table() const { return table_; }
  void* data() const { return data_; }
  void set_data(void* data) { data_ = data; }

 private:
  bool Result(int ok);

  const ztDatabaseTable* table_;
  void* data_ = nullptr;
};

}  // namespace orin

#endif  // ORIN_DATABASE_EXTERNAL_DATABASE_H_

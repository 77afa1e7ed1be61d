// The databases and views of the SQL libraries.
//
// A database is one connection (SqlBackend). A table view walks its table
// in key order (the row id, or the primary key), or in the order of the
// column its main index covers, one row at a time with keyset queries, so
// a large table costs nothing to open; the current row is held in memory.
// A query view (ZtQUERY) holds its whole result. Every view has the field
// variables of its columns and the special variables recno, eof, totrec
// and deleted, as xBase views have.
#ifndef ORIN_PLUGINS_SQL_SQL_DATABASE_H_
#define ORIN_PLUGINS_SQL_SQL_DATABASE_H_

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "backend.h"
#include "sql_text.h"

namespace orin_sql {

class SqlDatabase;

class SqlView {
 public:
  enum class Special { kNone, kRecno, kEof, kTotrec, kDeleted };

  SqlView(SqlDatabase* database, std::string name) : database_(database), name_(std::move(name)) {}

  // A view of `table`; builds the view and its variables in the host and
  // goes to the first row.
  bool OpenTable(std::string_view table);
  // A view of a statement's result.
  bool OpenQuery(std::string_view sql);

  bool Skip(int32_t count);
  bool Go(int64_t row);
  bool Find(std::string_view value, bool exact);
  bool Add();
  bool Update();
  bool Remove();
  bool Undelete();
  bool SetOrder(std::string_view index);
  bool Reveal(ztVariable* target);
  // A new table `table` in the same database with one row per column:
  // field_name, field_type, field_len, field_dec.
  bool RevealToTable(std::string_view table);

  // Field variable values.
  void Fetch(ztDatabaseVariable* variable, int column, Special special);
  void Store(int column, std::string_view value);

  const std::string& name() const { return name_; }
  const std::string& table() const { return table_; }
  const char* error() const { return error_.c_str(); }
  bool Fail(std::string text) {
    error_ = std::move(text);
    return false;
  }
  ztDatabaseView* handle() const { return handle_; }

 private:
  bool Build(const std::vector<ColumnInfo>& columns);
  std::string SelectList() const;
  // Runs a row query and makes its first row current; none found sets eof
  // and keeps the current row.
  bool LoadOne(const std::string& sql, const std::vector<SqlValue>& parameters);
  void SetRow(SqlRow row);
  // Changes the host's variables must pick up.
  void Changed();
  std::string KeyOrder(bool descending) const;
  bool Execute(const std::string& sql, const std::vector<SqlValue>& parameters, SqlResult* out,
               const std::string& key_column = std::string());
  bool ColumnValue(int column, std::string_view value, SqlValue* out);

  SqlDatabase* database_;
  std::string name_;
  ztDatabaseView* handle_ = nullptr;
  std::string error_;
  bool query_ = false;
  std::string table_;
  std::string key_;     // key column of a table view
  std::string select_;  // SELECT key, columns FROM table
  std::vector<ColumnInfo> columns_;
  int order_ = -1;
  // Find statements (nearest, exact), built for the main index find_order_.
  std::string find_sql_[2];
  int find_order_ = -2;  // column of the main index, -1: key order
  // Current row: the key, then the columns.
  bool has_row_ = false;
  bool eof_ = true;
  bool deleted_ = false;
  SqlRow row_;
  // Query views: the result and the current position (0-based).
  std::vector<SqlRow> rows_;
  size_t position_ = 0;
  // Values the script assigned, collected by ztDatabaseView_Commit.
  std::vector<std::pair<int, SqlValue>> pending_;
};

// What a field variable stands for (the data the host keeps for it).
struct FieldData {
  SqlView* view;
  int column;  // index into the view's columns, or -1 for a special one
  SqlView::Special special;
};

class SqlDatabase {
 public:
  SqlDatabase(ztDatabase* handle, std::unique_ptr<SqlBackend> backend)
      : handle_(handle), backend_(std::move(backend)) {}
  ~SqlDatabase();

  bool Open(std::string_view target, std::string_view name, std::string_view table,
            std::string_view order);
  bool Create(std::string_view target, std::string_view name, std::string_view fields);
  bool Close();
  bool OpenView(std::string_view view, std::string_view table, std::string_view order);
  bool Query(std::string_view view, std::string_view sql);
  bool Command(std::string_view sql, std::string_view count_variable);
  bool Transact();
  bool Commit();
  bool Rollback();
  bool MakeIndex(std::string_view name, std::string_view column, std::string_view flags);
  bool SetOrder(std::string_view index);
  bool CloseView(SqlView* view);
  bool CreateTable(std::string_view name, const std::vector<FieldDefinition>& definitions,
                   std::string* error);

  // Runs a statement with the named parameters it holds bound to the
  // script variables of those names.
  bool ExecuteNamed(std::string_view sql, SqlResult* out, std::string* error);

  SqlBackend* backend() const { return backend_.get(); }
  ztDatabase* handle() const { return handle_; }
  const std::string& name() const { return name_; }
  ztProgram* program() const { return ztDatabase_Program(handle_); }
  const char* error() const { return error_.c_str(); }
  bool Fail(std::string text) {
    error_ = std::move(text);
    return false;
  }
  bool in_transaction() const { return in_transaction_; }

 private:
  SqlView* NewView(std::string_view name);
  SqlView* PrimaryView() const;

  ztDatabase* handle_;
  std::unique_ptr<SqlBackend> backend_;
  std::string name_;
  std::string error_;
  bool connected_ = false;
  bool in_transaction_ = false;
  std::vector<std::unique_ptr<SqlView>> views_;
};

}  // namespace orin_sql

#endif  // ORIN_PLUGINS_SQL_SQL_DATABASE_H_

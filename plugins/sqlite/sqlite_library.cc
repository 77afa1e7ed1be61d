// liborin_sqlite.so: the "sqlite" database type. A database is one SQLite
// file in the data area; the path a script gives is resolved by the
// server's file manager, so it cannot leave the area.
#include <sqlite3.h>

#include <memory>
#include <string>
#include <unordered_map>

#include "backend.h"
#include "sql_text.h"

namespace {

using orin_sql::ColumnInfo;
using orin_sql::SqlResult;
using orin_sql::SqlValue;

class SqliteBackend : public orin_sql::SqlBackend {
 public:
  ~SqliteBackend() override { Disconnect(false); }

  bool Connect(ztProgram* program, std::string_view target, bool create,
               std::string* error) override {
    std::string name(target);
    int32_t length = 0;
    char* path = ztFile_Resolve(program, ZT_AREA_DATA, name.data(),
                                static_cast<int32_t>(name.size()), &length);
    if (path == nullptr) {
      *error = "Error opening '" + name + "': " + ztFile_Error(program, nullptr, nullptr);
      return false;
    }
    std::string resolved(path, static_cast<size_t>(length));
    ztProgram_Free(program, path);
    if (!create &&
        !ztFile_Exists(program, ZT_AREA_DATA, name.data(), static_cast<int32_t>(name.size()))) {
      *error = "Error opening '" + name + "': No such file or directory";
      return false;
    }
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (create ? SQLITE_OPEN_CREATE : 0);
    if (sqlite3_open_v2(resolved.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
      *error = "Error opening '" + name +
               "': " + (db_ != nullptr ? sqlite3_errmsg(db_) : "out of memory");
      Disconnect(false);
      return false;
    }
    // Other requests and processes may hold the file for a moment.
    sqlite3_busy_timeout(db_, 10000);
    return true;
  }

  void Disconnect(bool in_transaction) override {
    if (db_ == nullptr) return;
    if (in_transaction) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    for (auto& entry : statements_)
      sqlite3_finalize(entry.second);
    statements_.clear();
    sqlite3_close_v2(db_);
    db_ = nullptr;
  }

  bool Execute(const std::string& sql, const std::vector<SqlValue>& parameters, SqlResult* out,
               std::string* error, const std::string& key_column) override {
    if (db_ == nullptr) {
      *error = "The database is not open";
      return false;
    }
    sqlite3_stmt* statement = Prepare(sql, error);
    if (statement == nullptr) return false;
    for (size_t i = 0; i < parameters.size(); ++i) {
      const SqlValue& p = parameters[i];
      int n = static_cast<int>(i + 1);
      if (p.null) {
        sqlite3_bind_null(statement, n);
      } else {
        sqlite3_bind_text64(statement, n, p.text.data(), p.text.size(), SQLITE_TRANSIENT,
                            SQLITE_UTF8);
      }
    }
    int columns = sqlite3_column_count(statement);
    out->columns.clear();
    for (int c = 0; out->want_columns && c < columns; ++c) {
      const char* name = sqlite3_column_name(statement, c);
      out->columns.emplace_back(name != nullptr ? name : "");
    }
    out->rows.clear();
    int rc;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
      orin_sql::SqlRow row(static_cast<size_t>(columns));
      for (int c = 0; c < columns; ++c) {
        if (sqlite3_column_type(statement, c) == SQLITE_NULL) continue;
        const void* bytes = sqlite3_column_blob(statement, c);
        int size = sqlite3_column_bytes(statement, c);
        row[c].null = false;
        if (size > 0) row[c].text.assign(static_cast<const char*>(bytes), size);
      }
      out->rows.push_back(std::move(row));
    }
    bool ok = rc == SQLITE_DONE;
    if (!ok) *error = sqlite3_errmsg(db_);
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
    if (ok) {
      out->changed = sqlite3_changes64(db_);
      if (!key_column.empty()) out->inserted_key = std::to_string(sqlite3_last_insert_rowid(db_));
    }
    return ok;
  }

  std::string Placeholder(int) const override { return "?"; }

  bool Describe(const std::string& table, std::vector<ColumnInfo>* columns, std::string* key,
                std::string* error) override {
    SqlResult result;
    if (!Execute("SELECT name, type, pk FROM pragma_table_info(?)", {SqlValue::Text(table)},
                 &result, error, std::string())) {
      return false;
    }
    if (result.rows.empty()) {
      *error = "Table '" + table + "' does not exist";
      return false;
    }
    columns->clear();
    std::string integer_key;
    int keys = 0;
    for (const auto& row : result.rows) {
      ColumnInfo info;
      info.name = orin_sql::Lower(row[0].text);
      orin_sql::ClassifyType(row[1].text, &info);
      if (row[2].text != "0") {
        ++keys;
        if (orin_sql::Lower(row[1].text) == "integer") integer_key = info.name;
      }
      columns->push_back(info);
    }
    // An INTEGER PRIMARY KEY is the row id under its own name.
    *key = keys == 1 && !integer_key.empty() ? integer_key : "rowid";
    return true;
  }

  std::string IndexColumn(const std::string& index, std::string* error) override {
    SqlResult result;
    if (!Execute("SELECT name FROM pragma_index_info(?) ORDER BY seqno", {SqlValue::Text(index)},
                 &result, error, std::string()) ||
        result.rows.empty()) {
      return std::string();
    }
    return orin_sql::Lower(result.rows[0][0].text);
  }

  std::string CreatedKeyColumn() const override { return std::string(); }

  std::string TypeFor(char type, int length, int decimals) const override {
    switch (type) {
      case 'C':
        return "VARCHAR(" + std::to_string(length) + ")";
      case 'N':
        return "NUMERIC(" + std::to_string(length + decimals) + "," + std::to_string(decimals) +
               ")";
      case 'D':
        return "DATE";
      case 'L':
        return "BOOLEAN";
      default:
        return "TEXT";
    }
  }

  // Takes the write lock at once: two transactions that read and then
  // write would otherwise deadlock, and one of them fail at its write.
  const char* Begin() const override { return "BEGIN IMMEDIATE"; }

  bool TextHoldsNul() const override { return true; }

 private:
  // A prepared statement for `sql`, kept for the next use.
  sqlite3_stmt* Prepare(const std::string& sql, std::string* error) {
    auto it = statements_.find(sql);
    if (it != statements_.end()) return it->second;
    if (statements_.size() >= 64) {
      for (auto& entry : statements_)
        sqlite3_finalize(entry.second);
      statements_.clear();
    }
    sqlite3_stmt* statement = nullptr;
    const char* tail = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), static_cast<int>(sql.size()), &statement, &tail) !=
        SQLITE_OK) {
      *error = sqlite3_errmsg(db_);
      return nullptr;
    }
    if (statement == nullptr) {
      *error = "The statement is empty";
      return nullptr;
    }
    statements_.emplace(sql, statement);
    return statement;
  }

  sqlite3* db_ = nullptr;
  std::unordered_map<std::string, sqlite3_stmt*> statements_;
};

std::unique_ptr<orin_sql::SqlBackend> NewBackend() {
  return std::make_unique<SqliteBackend>();
}

}  // namespace

extern "C" ZT_EXPORT const ztDatabaseTable* zeto_database_library(void) {
  return orin_sql::DatabaseTable(NewBackend);
}

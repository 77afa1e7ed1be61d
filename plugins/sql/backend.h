// What the SQL database libraries ("sqlite", "postgresql") need from their
// database engine. The shared part (sql_database.cc) builds every statement
// and keeps views and rows; a backend only connects, runs one statement
// with bound text parameters and describes tables.
#ifndef ORIN_PLUGINS_SQL_BACKEND_H_
#define ORIN_PLUGINS_SQL_BACKEND_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "orin/plugin.h"

namespace orin_sql {

struct SqlValue {
  bool null = true;
  std::string text;
  static SqlValue Text(std::string_view t) { return SqlValue{false, std::string(t)}; }
};

using SqlRow = std::vector<SqlValue>;

struct SqlResult {
  bool want_columns = false;  // fill `columns` (queries; row reads know theirs)
  std::vector<std::string> columns;
  std::vector<SqlRow> rows;
  int64_t changed = 0;       // rows an INSERT, UPDATE or DELETE touched
  std::string inserted_key;  // the key of the row an insert made, when asked
};

// A column as the structure of a view shows it, in xBase terms.
struct ColumnInfo {
  std::string name;  // lower case
  char type = 'C';   // C, N, D, L or M
  int length = 0;
  int decimals = 0;
};

class SqlBackend {
 public:
  virtual ~SqlBackend() = default;

  // Opens the database `target` (a file of the data area or a connection
  // string); `create` allows making a new file. False with *error.
  virtual bool Connect(ztProgram* program, std::string_view target, bool create,
                       std::string* error) = 0;
  // Gives the connection up at the end of its database; a transaction still
  // open is rolled back.
  virtual void Disconnect(bool in_transaction) = 0;
  // Runs one statement with text parameters (placeholders from
  // Placeholder). With `key_column` set the statement is an INSERT whose
  // new row's key goes to out->inserted_key.
  virtual bool Execute(const std::string& sql, const std::vector<SqlValue>& parameters,
                       SqlResult* out, std::string* error,
                       const std::string& key_column = std::string()) = 0;
  // The n-th (1-based) parameter marker.
  virtual std::string Placeholder(int n) const = 0;
  // Columns of `table` (without the key when the key is not a declared
  // column) and its key column; false with *error when there is no such
  // table or no usable key.
  virtual bool Describe(const std::string& table, std::vector<ColumnInfo>* columns,
                        std::string* key, std::string* error) = 0;
  // The column an index covers (its first), or empty.
  virtual std::string IndexColumn(const std::string& index, std::string* error) = 0;
  // The column definition a created table starts with (its key), or empty
  // when the engine has its own row key.
  virtual std::string CreatedKeyColumn() const = 0;
  // The engine's type for an xBase field.
  virtual std::string TypeFor(char type, int length, int decimals) const = 0;
  // The statement that opens a transaction.
  virtual const char* Begin() const { return "BEGIN"; }
  // Whether text values may hold NUL bytes.
  virtual bool TextHoldsNul() const = 0;
};

using BackendFactory = std::unique_ptr<SqlBackend> (*)();

// The descriptor table of a library whose databases use `factory`.
const ztDatabaseTable* DatabaseTable(BackendFactory factory);

// Reads a declared SQL type ("VARCHAR(8)", "numeric(6,2)", "text") as an
// xBase column type, length and decimals.
void ClassifyType(std::string_view declared, ColumnInfo* info);

}  // namespace orin_sql

#endif  // ORIN_PLUGINS_SQL_BACKEND_H_

// liborin_postgresql.so, the "postgresql" database type. The database
// operand of ZtOPEN / ZtCREATE is a libpq connection string (empty: the
// PG* environment variables of the server). Each request thread keeps its
// connections open between runs and hands them to the next run that asks
// for the same connection string; a run that ends inside a transaction
// (its script stopped, failed or timed out) has it rolled back first.
#include <libpq-fe.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "backend.h"
#include "sql_text.h"

namespace {

using orin_sql::ColumnInfo;
using orin_sql::SqlResult;
using orin_sql::SqlValue;

// The idle connections of one thread, closed when the thread ends.
struct IdleConnections {
  std::vector<std::pair<std::string, PGconn*>> idle;
  ~IdleConnections() {
    for (auto& entry : idle)
      PQfinish(entry.second);
  }
  PGconn* Take(const std::string& conninfo) {
    for (size_t i = 0; i < idle.size(); ++i) {
      if (idle[i].first != conninfo) continue;
      PGconn* connection = idle[i].second;
      idle.erase(idle.begin() + static_cast<std::ptrdiff_t>(i));
      if (PQstatus(connection) == CONNECTION_OK) return connection;
      PQfinish(connection);
      return nullptr;
    }
    return nullptr;
  }
  void Give(std::string conninfo, PGconn* connection) {
    if (idle.size() >= 4) {
      PQfinish(idle.front().second);
      idle.erase(idle.begin());
    }
    idle.emplace_back(std::move(conninfo), connection);
  }
};

thread_local IdleConnections t_idle;

std::string Trimmed(const char* text) {
  std::string s = text != nullptr ? text : "";
  while (!s.empty() && (s.back() == '\n' || s.back() == ' '))
    s.pop_back();
  return s;
}

class PostgresBackend : public orin_sql::SqlBackend {
 public:
  ~PostgresBackend() override { Disconnect(false); }

  bool Connect(ztProgram*, std::string_view target, bool, std::string* error) override {
    conninfo_.assign(target);
    connection_ = t_idle.Take(conninfo_);
    if (connection_ != nullptr) return true;
    connection_ = PQconnectdb(conninfo_.c_str());
    if (connection_ == nullptr || PQstatus(connection_) != CONNECTION_OK) {
      *error = "Error connecting to PostgreSQL: " +
               Trimmed(connection_ != nullptr ? PQerrorMessage(connection_) : "out of memory");
      if (connection_ != nullptr) PQfinish(connection_);
      connection_ = nullptr;
      return false;
    }
    return true;
  }

  void Disconnect(bool in_transaction) override {
    if (connection_ == nullptr) return;
    if (in_transaction || PQtransactionStatus(connection_) != PQTRANS_IDLE) {
      PQclear(PQexec(connection_, "ROLLBACK"));
    }
    if (PQstatus(connection_) == CONNECTION_OK &&
        PQtransactionStatus(connection_) == PQTRANS_IDLE) {
      t_idle.Give(conninfo_, connection_);
    } else {
      PQfinish(connection_);
    }
    connection_ = nullptr;
  }

  bool Execute(const std::string& sql, const std::vector<SqlValue>& parameters, SqlResult* out,
               std::string* error, const std::string& key_column) override {
    if (connection_ == nullptr) {
      *error = "The database is not open";
      return false;
    }
    std::string text = sql;
    if (!key_column.empty()) text += " RETURNING " + orin_sql::Quote(key_column);
    std::vector<const char*> values;
    values.reserve(parameters.size());
    for (const SqlValue& p : parameters)
      values.push_back(p.null ? nullptr : p.text.c_str());
    PGresult* result = PQexecParams(connection_, text.c_str(), static_cast<int>(values.size()),
                                    nullptr, values.data(), nullptr, nullptr, 0);
    ExecStatusType status = PQresultStatus(result);
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
      const char* primary =
          result != nullptr ? PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
      *error = primary != nullptr ? std::string(primary) : Trimmed(PQerrorMessage(connection_));
      PQclear(result);
      return false;
    }
    int columns = PQnfields(result), rows = PQntuples(result);
    out->columns.clear();
    for (int c = 0; out->want_columns && c < columns; ++c)
      out->columns.emplace_back(PQfname(result, c));
    out->rows.clear();
    out->rows.reserve(static_cast<size_t>(rows));
    for (int r = 0; r < rows; ++r) {
      orin_sql::SqlRow row(static_cast<size_t>(columns));
      for (int c = 0; c < columns; ++c) {
        if (PQgetisnull(result, r, c)) continue;
        row[c].null = false;
        row[c].text.assign(PQgetvalue(result, r, c),
                           static_cast<size_t>(PQgetlength(result, r, c)));
      }
      out->rows.push_back(std::move(row));
    }
    out->changed = std::atoll(PQcmdTuples(result));
    if (!key_column.empty() && !out->rows.empty() && !out->rows[0].empty()) {
      out->inserted_key = out->rows[0][0].text;
    }
    PQclear(result);
    return true;
  }

  std::string Placeholder(int n) const override { return "$" + std::to_string(n); }

  bool Describe(const std::string& table, std::vector<ColumnInfo>* columns, std::string* key,
                std::string* error) override {
    SqlResult result;
    std::vector<SqlValue> name{SqlValue::Text(orin_sql::Quote(table))};
    if (!Execute("SELECT a.attname, format_type(a.atttypid, a.atttypmod) FROM pg_attribute a "
                 "WHERE a.attrelid = to_regclass($1) AND a.attnum > 0 AND NOT a.attisdropped "
                 "ORDER BY a.attnum",
                 name, &result, error, std::string())) {
      return false;
    }
    if (result.rows.empty()) {
      *error = "Table '" + table + "' does not exist";
      return false;
    }
    SqlResult keys;
    if (!Execute("SELECT a.attname FROM pg_index i JOIN pg_attribute a ON a.attrelid = "
                 "i.indrelid AND a.attnum = ANY(i.indkey) WHERE i.indrelid = to_regclass($1) "
                 "AND i.indisprimary",
                 name, &keys, error, std::string())) {
      return false;
    }
    if (keys.rows.size() != 1) {
      *error = "Table '" + table + "' has no single-column primary key";
      return false;
    }
    *key = orin_sql::Lower(keys.rows[0][0].text);
    columns->clear();
    for (const auto& row : result.rows) {
      ColumnInfo info;
      info.name = orin_sql::Lower(row[0].text);
      // The row number column of tables made by ZtCREATE is recno itself.
      if (info.name == "recno" && info.name == *key) continue;
      orin_sql::ClassifyType(row[1].text, &info);
      columns->push_back(info);
    }
    return true;
  }

  std::string IndexColumn(const std::string& index, std::string* error) override {
    SqlResult result;
    if (!Execute("SELECT a.attname FROM pg_index i JOIN pg_attribute a ON a.attrelid = "
                 "i.indrelid AND a.attnum = i.indkey[0] WHERE i.indexrelid = to_regclass($1)",
                 {SqlValue::Text(orin_sql::Quote(index))}, &result, error, std::string()) ||
        result.rows.empty()) {
      return std::string();
    }
    return orin_sql::Lower(result.rows[0][0].text);
  }

  std::string CreatedKeyColumn() const override { return "\"recno\" BIGSERIAL PRIMARY KEY"; }

  std::string TypeFor(char type, int length, int decimals) const override {
    switch (type) {
      case 'C':
        return "VARCHAR(" + std::to_string(length) + ")";
      case 'N':
        return "NUMERIC(" + std::to_string(length + decimals) + "," + std::to_string(decimals) +
               ")";
      case 'D':
        return "VARCHAR(8)";
      case 'L':
        return "BOOLEAN";
      default:
        return "TEXT";
    }
  }

  bool TextHoldsNul() const override { return false; }

 private:
  std::string conninfo_;
  PGconn* connection_ = nullptr;
};

std::unique_ptr<orin_sql::SqlBackend> NewBackend() {
  return std::make_unique<PostgresBackend>();
}

}  // namespace

extern "C" ZT_EXPORT const ztDatabaseTable* zeto_database_library(void) {
  return orin_sql::DatabaseTable(NewBackend);
}

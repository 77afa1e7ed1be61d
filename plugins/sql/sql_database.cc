#include "sql_database.h"

#include <cstdio>
#include <cstdlib>

#include "sql_text.h"

namespace orin_sql {

namespace {

constexpr char kNoRow[] = "There is no current record";

std::string KeyName(const std::string& key) {
  return key == "rowid" ? key : Quote(key);
}

std::string Upper(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

bool Truthy(std::string_view text) {
  text = Trim(text);
  if (text.empty()) return false;
  char c = text.front();
  return c == 't' || c == 'T' || c == 'y' || c == 'Y' || (c >= '1' && c <= '9');
}

}  // namespace

void ClassifyType(std::string_view declared, ColumnInfo* info) {
  std::string type = Lower(Trim(declared));
  int first = 0, second = 0;
  size_t open = type.find('(');
  if (open != std::string::npos) {
    const char* p = type.c_str() + open + 1;
    first = std::atoi(p);
    size_t comma = type.find(',', open);
    if (comma != std::string::npos) second = std::atoi(type.c_str() + comma + 1);
  }
  if (type.find("bool") != std::string::npos) {
    info->type = 'L';
    info->length = 1;
  } else if (type.find("date") == 0) {
    info->type = 'D';
    info->length = 8;
  } else if (type.find("char") != std::string::npos && open != std::string::npos) {
    info->type = 'C';
    info->length = first;
  } else if (type.find("num") == 0 || type.find("dec") == 0) {
    info->type = 'N';
    if (open == std::string::npos) {
      info->length = 19;
    } else {
      info->length = second > 0 ? first + 1 : first;
      info->decimals = second;
    }
  } else if (type.find("int") != std::string::npos || type == "serial" || type == "bigserial") {
    info->type = 'N';
    info->length = 19;
  } else if (type.find("real") != std::string::npos || type.find("double") != std::string::npos ||
             type.find("float") != std::string::npos) {
    info->type = 'N';
    info->length = 19;
    info->decimals = 6;
  } else {
    info->type = 'M';
    info->length = 10;
  }
}

// --- SqlView ---

bool SqlView::Execute(const std::string& sql, const std::vector<SqlValue>& parameters,
                      SqlResult* out, const std::string& key_column) {
  std::string error;
  if (database_->backend()->Execute(sql, parameters, out, &error, key_column)) return true;
  return Fail(error);
}

bool SqlView::Build(const std::vector<ColumnInfo>& columns) {
  columns_ = columns;
  handle_ = ztDatabase_AddView(database_->handle(), name_.data(),
                               static_cast<int32_t>(name_.size()), this);
  if (handle_ == nullptr) {
    return Fail("Database '" + database_->name() + "' already has a view named '" + name_ + "'");
  }
  auto add = [&](const std::string& name, int column, Special special) {
    auto* data = new FieldData{this, column, special};
    if (ztDatabaseView_AddVariable(handle_, name.data(), static_cast<int32_t>(name.size()), data) ==
        nullptr) {
      delete data;  // a column named like a special variable: the special wins
    }
  };
  add("recno", -1, Special::kRecno);
  add("eof", -1, Special::kEof);
  add("totrec", -1, Special::kTotrec);
  add("deleted", -1, Special::kDeleted);
  for (size_t i = 0; i < columns_.size(); ++i)
    add(columns_[i].name, static_cast<int>(i), Special::kNone);
  return true;
}

bool SqlView::OpenTable(std::string_view table) {
  if (!ValidName(table)) return Fail("'" + std::string(table) + "' is not a valid table name");
  table_ = Lower(table);
  std::vector<ColumnInfo> columns;
  std::string error;
  if (!database_->backend()->Describe(table_, &columns, &key_, &error)) return Fail(error);
  if (!Build(columns)) return false;
  select_ = "SELECT " + SelectList() + " FROM " + Quote(table_);
  return Go(-1);
}

bool SqlView::OpenQuery(std::string_view sql) {
  query_ = true;
  SqlResult result;
  result.want_columns = true;
  std::string error;
  if (!database_->ExecuteNamed(sql, &result, &error)) return Fail(error);
  std::vector<ColumnInfo> columns;
  for (const std::string& name : result.columns) {
    ColumnInfo info;
    info.name = Lower(name);
    info.type = 'C';
    info.length = 254;
    columns.push_back(info);
  }
  // Rows are held as key + columns, the key being the row's position.
  rows_.clear();
  for (SqlRow& row : result.rows) {
    SqlRow held;
    held.reserve(row.size() + 1);
    held.push_back(SqlValue::Text(std::to_string(rows_.size() + 1)));
    for (SqlValue& v : row)
      held.push_back(std::move(v));
    rows_.push_back(std::move(held));
  }
  if (!Build(columns)) return false;
  return Go(-1);
}

std::string SqlView::SelectList() const {
  std::string list = KeyName(key_);
  for (const ColumnInfo& c : columns_)
    list += ", " + Quote(c.name);
  return list;
}

std::string SqlView::KeyOrder(bool descending) const {
  const char* direction = descending ? " DESC" : "";
  std::string order;
  if (order_ >= 0) order = Quote(columns_[order_].name) + direction + ", ";
  return order + KeyName(key_) + direction;
}

void SqlView::SetRow(SqlRow row) {
  row_ = std::move(row);
  has_row_ = true;
  eof_ = false;
  deleted_ = false;
}

void SqlView::Changed() {
  pending_.clear();
  ztDatabaseView_SetDirty(handle_);
}

bool SqlView::LoadOne(const std::string& sql, const std::vector<SqlValue>& parameters) {
  SqlResult result;
  if (!Execute(sql, parameters, &result)) return false;
  if (result.rows.empty()) {
    eof_ = true;
  } else {
    SetRow(std::move(result.rows.front()));
  }
  Changed();
  return true;
}

bool SqlView::Go(int64_t row) {
  if (query_) {
    size_t n = rows_.size();
    size_t target = row == -1 ? 0 : row == -2 ? n - 1 : static_cast<size_t>(row - 1);
    if (n == 0 || row == 0 || row < -2 || (row > 0 && static_cast<size_t>(row) > n)) {
      eof_ = true;
    } else {
      position_ = target;
      SetRow(rows_[position_]);
    }
    Changed();
    return true;
  }
  std::string sql = select_;
  std::vector<SqlValue> parameters;
  if (row == -1 || row == -2) {
    sql += " ORDER BY " + KeyOrder(row == -2) + " LIMIT 1";
  } else {
    sql += " WHERE " + KeyName(key_) + " = " + database_->backend()->Placeholder(1);
    parameters.push_back(SqlValue::Text(std::to_string(row)));
  }
  return LoadOne(sql, parameters);
}

bool SqlView::Skip(int32_t count) {
  if (count == 0) return true;
  if (query_) {
    int64_t target = (has_row_ ? static_cast<int64_t>(position_) : -1) + count;
    int64_t last = static_cast<int64_t>(rows_.size()) - 1;
    if (target < 0 || target > last) {
      // Like xBase, the walk stops on the last row it reached.
      if (has_row_ && last >= 0) {
        position_ = static_cast<size_t>(target < 0 ? 0 : last);
        SetRow(rows_[position_]);
      }
      eof_ = true;
    } else {
      position_ = static_cast<size_t>(target);
      SetRow(rows_[position_]);
    }
    Changed();
    return true;
  }
  bool forward = count > 0;
  int64_t steps = forward ? count : -static_cast<int64_t>(count);
  SqlBackend* b = database_->backend();
  std::string sql = select_;
  std::vector<SqlValue> parameters;
  if (!has_row_) {
    if (!forward) {
      eof_ = true;
      Changed();
      return true;
    }
  } else if (order_ >= 0) {
    // (order column, key) beyond the current row's.
    std::string column = Quote(columns_[order_].name);
    const char* beyond = forward ? " > " : " < ";
    const SqlValue& current = row_[order_ + 1];
    if (current.null) {
      sql += " WHERE (" + column + " IS NULL AND " + KeyName(key_) + beyond + b->Placeholder(1) +
             ")" + (forward ? " OR " + column + " IS NOT NULL" : std::string());
      parameters.push_back(row_[0]);
    } else {
      sql += " WHERE (" + column + beyond + b->Placeholder(1) + " OR (" + column + " = " +
             b->Placeholder(2) + " AND " + KeyName(key_) + beyond + b->Placeholder(3) + "))";
      if (!forward) sql += " OR " + column + " IS NULL";
      parameters.push_back(current);
      parameters.push_back(current);
      parameters.push_back(row_[0]);
    }
  } else {
    sql += " WHERE " + KeyName(key_) + (forward ? " > " : " < ") + b->Placeholder(1);
    parameters.push_back(row_[0]);
  }
  std::string query = sql + " ORDER BY " + KeyOrder(!forward) + " LIMIT 1";
  if (steps > 1) query += " OFFSET " + std::to_string(steps - 1);
  SqlResult result;
  if (!Execute(query, parameters, &result)) return false;
  if (!result.rows.empty()) {
    SetRow(std::move(result.rows.front()));
  } else {
    // Like xBase, a walk that runs off the end stops on the last row it
    // reached.
    if (steps > 1 && has_row_) {
      if (!Execute(sql + " ORDER BY " + KeyOrder(forward) + " LIMIT 1", parameters, &result)) {
        return false;
      }
      if (!result.rows.empty()) SetRow(std::move(result.rows.front()));
    }
    eof_ = true;
  }
  Changed();
  return true;
}

bool SqlView::SetOrder(std::string_view index) {
  index = Trim(index);
  if (index.empty()) {
    order_ = -1;
    return true;
  }
  std::string wanted = Lower(index);
  if (query_) return Fail("Query views have no indexes");
  std::string column;
  for (const ColumnInfo& c : columns_) {
    if (c.name == wanted) column = wanted;
  }
  if (column.empty()) {
    if (!ValidName(wanted)) return Fail("Database has no index with that name");
    std::string error;
    column = database_->backend()->IndexColumn(wanted, &error);
    if (column.empty()) return Fail(error.empty() ? "Database has no index with that name" : error);
  }
  for (size_t i = 0; i < columns_.size(); ++i) {
    if (columns_[i].name == column) {
      order_ = static_cast<int>(i);
      return true;
    }
  }
  return Fail("Database has no index with that name");
}

bool SqlView::Find(std::string_view value, bool exact) {
  if (query_) return Fail("ZtFIND is an Unsupported Operation");
  SqlBackend* b = database_->backend();
  if (find_order_ != order_) {  // the statements of this main index
    std::string column = order_ >= 0 ? Quote(columns_[order_].name) : KeyName(key_);
    std::string tail = b->Placeholder(1) + " ORDER BY " + KeyOrder(false) + " LIMIT 1";
    find_sql_[0] = select_ + " WHERE " + column + " >= " + tail;
    find_sql_[1] = select_ + " WHERE " + column + " = " + tail;
    find_order_ = order_;
  }
  if (!b->TextHoldsNul() && value.find('\0') != std::string_view::npos) {
    return Fail("Text with NUL bytes cannot be stored in this database");
  }
  std::vector<SqlValue> parameters{SqlValue::Text(value)};
  SqlResult result;
  if (!Execute(find_sql_[exact ? 1 : 0], parameters, &result)) return false;
  bool found = !result.rows.empty();
  if (found && !exact) {
    // A nearest match counts when the value begins the key.
    const SqlValue& key = result.rows.front()[order_ >= 0 ? order_ + 1 : 0];
    found = !key.null && key.text.compare(0, value.size(), value) == 0;
  }
  if (found) {
    SetRow(std::move(result.rows.front()));
  } else {
    eof_ = true;
  }
  Changed();
  return true;
}

bool SqlView::ColumnValue(int column, std::string_view value, SqlValue* out) {
  const ColumnInfo& info = columns_[column];
  if (!database_->backend()->TextHoldsNul() && value.find('\0') != std::string_view::npos) {
    return Fail("Text with NUL bytes cannot be stored in this database");
  }
  if (info.type == 'L') {
    *out = SqlValue::Text(Truthy(value) ? "1" : "0");
  } else if (value.empty() && info.type != 'C' && info.type != 'M') {
    *out = SqlValue();  // no number or date: NULL
  } else {
    *out = SqlValue::Text(value);
  }
  return true;
}

void SqlView::Store(int column, std::string_view value) {
  for (auto& entry : pending_) {
    if (entry.first == column) {
      entry.second = SqlValue::Text(value);
      return;
    }
  }
  pending_.emplace_back(column, SqlValue::Text(value));
}

bool SqlView::Add() {
  if (query_) return Fail("ZtADD is an Unsupported Operation");
  pending_.clear();
  ztDatabaseView_Commit(handle_);
  SqlBackend* b = database_->backend();
  std::string names, markers;
  std::vector<SqlValue> parameters;
  for (auto& [column, value] : pending_) {
    SqlValue bound;
    if (!ColumnValue(column, value.text, &bound)) return false;
    if (!names.empty()) {
      names += ", ";
      markers += ", ";
    }
    names += Quote(columns_[column].name);
    parameters.push_back(std::move(bound));
    markers += b->Placeholder(static_cast<int>(parameters.size()));
  }
  std::string sql =
      "INSERT INTO " + Quote(table_) +
      (names.empty() ? " DEFAULT VALUES" : " (" + names + ") VALUES (" + markers + ")");
  SqlResult result;
  if (!Execute(sql, parameters, &result, key_)) return false;
  return Go(std::strtoll(result.inserted_key.c_str(), nullptr, 10));
}

bool SqlView::Update() {
  if (query_) return Fail("ZtUPDATE is an Unsupported Operation");
  pending_.clear();
  ztDatabaseView_Commit(handle_);
  if (!has_row_ || deleted_) return Fail(kNoRow);
  if (pending_.empty()) return true;
  SqlBackend* b = database_->backend();
  std::string sets;
  std::vector<SqlValue> parameters;
  for (auto& [column, value] : pending_) {
    SqlValue bound;
    if (!ColumnValue(column, value.text, &bound)) return false;
    if (!sets.empty()) sets += ", ";
    parameters.push_back(std::move(bound));
    sets +=
        Quote(columns_[column].name) + " = " + b->Placeholder(static_cast<int>(parameters.size()));
  }
  parameters.push_back(row_[0]);
  std::string sql = "UPDATE " + Quote(table_) + " SET " + sets + " WHERE " + KeyName(key_) + " = " +
                    b->Placeholder(static_cast<int>(parameters.size()));
  SqlResult result;
  if (!Execute(sql, parameters, &result)) return false;
  return Go(std::strtoll(row_[0].text.c_str(), nullptr, 10));
}

bool SqlView::Remove() {
  if (query_) return Fail("ZtDELETE is an Unsupported Operation");
  if (!has_row_ || deleted_) return Fail(kNoRow);
  SqlResult result;
  std::string sql = "DELETE FROM " + Quote(table_) + " WHERE " + KeyName(key_) + " = " +
                    database_->backend()->Placeholder(1);
  if (!Execute(sql, {row_[0]}, &result)) return false;
  deleted_ = true;
  Changed();
  return true;
}

bool SqlView::Undelete() {
  if (query_) return Fail("ZtUNDELETE is an Unsupported Operation");
  if (!has_row_ || !deleted_) return true;
  // The row comes back as it was, under its old key.
  SqlBackend* b = database_->backend();
  std::string names = KeyName(key_), markers = b->Placeholder(1);
  std::vector<SqlValue> parameters{row_[0]};
  for (size_t i = 0; i < columns_.size(); ++i) {
    if (columns_[i].name == key_) continue;
    names += ", " + Quote(columns_[i].name);
    parameters.push_back(row_[i + 1]);
    markers += ", " + b->Placeholder(static_cast<int>(parameters.size()));
  }
  SqlResult result;
  if (!Execute("INSERT INTO " + Quote(table_) + " (" + names + ") VALUES (" + markers + ")",
               parameters, &result)) {
    return false;
  }
  deleted_ = false;
  Changed();
  return true;
}

bool SqlView::Reveal(ztVariable* target) {
  ztVariable_Delete_Array_Elements(1, ztVariable_Array_Max(target), 1, target);
  int32_t index = 1;
  for (const ColumnInfo& c : columns_) {
    ztVariable* element = ztVariable_Array_Element(index++, target, 1);
    if (element == nullptr) return Fail("The structure cannot be stored in that variable");
    char type[2] = {c.type, 0};
    std::string name = Upper(c.name);
    std::string length = std::to_string(c.length), decimals = std::to_string(c.decimals);
    auto set = [&](const char* member, const std::string& value) {
      ztVariable* m = ztVariable_Struct_Member(member, -1, element, 1);
      if (m != nullptr) ztVariable_SetValue(m, value.data(), static_cast<int32_t>(value.size()));
    };
    set("FIELD_NAME", name);
    set("FIELD_TYPE", type);
    set("FIELD_LEN", length);
    set("FIELD_DEC", decimals);
  }
  return true;
}

bool SqlView::RevealToTable(std::string_view table) {
  std::string name = Lower(Trim(table));
  if (!ValidName(name)) return Fail("'" + name + "' is not a valid table name");
  std::vector<FieldDefinition> fields;
  std::string error;
  ParseFields("field_name char(63), field_type char(1), field_len number(4), field_dec number(4)",
              &fields, &error);
  if (!database_->CreateTable(name, fields, &error)) return Fail(error);
  SqlBackend* b = database_->backend();
  std::string sql = "INSERT INTO " + Quote(name) +
                    " (field_name, field_type, field_len, field_dec)"
                    " VALUES (" +
                    b->Placeholder(1) + ", " + b->Placeholder(2) + ", " + b->Placeholder(3) + ", " +
                    b->Placeholder(4) + ")";
  for (const ColumnInfo& c : columns_) {
    SqlResult result;
    if (!Execute(
            sql,
            {SqlValue::Text(Upper(c.name)), SqlValue::Text(std::string(1, c.type)),
             SqlValue::Text(std::to_string(c.length)), SqlValue::Text(std::to_string(c.decimals))},
            &result)) {
      return false;
    }
  }
  return true;
}

void SqlView::Fetch(ztDatabaseVariable* variable, int column, Special special) {
  ztVariable* v = reinterpret_cast<ztVariable*>(variable);
  switch (special) {
    case Special::kRecno: {
      const std::string& key = has_row_ ? row_[0].text : std::string("0");
      ztVariable_SetValue(v, key.data(), static_cast<int32_t>(key.size()));
      return;
    }
    case Special::kEof:
      ztVariable_SetValue_Integer(v, eof_ ? 1 : 0);
      return;
    case Special::kDeleted:
      ztVariable_SetValue(v, deleted_ ? "1" : "0", 1);
      return;
    case Special::kTotrec: {
      std::string count = "0";
      if (query_) {
        count = std::to_string(rows_.size());
      } else {
        SqlResult result;
        if (Execute("SELECT count(*) FROM " + Quote(table_), {}, &result) && !result.rows.empty() &&
            !result.rows[0].empty()) {
          count = result.rows[0][0].text;
        }
      }
      ztVariable_SetValue(v, count.data(), static_cast<int32_t>(count.size()));
      return;
    }
    case Special::kNone:
      break;
  }
  if (!has_row_ || column < 0 || static_cast<size_t>(column) + 1 >= row_.size()) return;
  const SqlValue& value = row_[column + 1];
  if (value.null) return;
  if (columns_[column].type == 'L') {
    ztVariable_SetValue_Integer(v, Truthy(value.text) ? 1 : 0);
    return;
  }
  ztVariable_SetValue(v, value.text.data(), static_cast<int32_t>(value.text.size()));
}

// --- SqlDatabase ---

SqlDatabase::~SqlDatabase() {
  if (connected_) backend_->Disconnect(in_transaction_);
}

bool SqlDatabase::Open(std::string_view target, std::string_view name, std::string_view table,
                       std::string_view order) {
  name_.assign(name);
  std::string error;
  if (!backend_->Connect(program(), target, false, &error)) return Fail(error);
  connected_ = true;
  // The primary view is the named table, else the table named like the
  // database when there is one.
  std::string chosen(Trim(table));
  bool required = !chosen.empty();
  if (chosen.empty()) chosen = Lower(name);
  if (!ValidName(chosen)) {
    if (required) return Fail("'" + chosen + "' is not a valid table name");
    return true;
  }
  if (!required) {
    std::vector<ColumnInfo> columns;
    std::string key, ignored;
    if (!backend_->Describe(Lower(chosen), &columns, &key, &ignored)) return true;
  }
  return OpenView(name, chosen, order);
}

bool SqlDatabase::Create(std::string_view target, std::string_view name, std::string_view fields) {
  name_.assign(name);
  std::vector<FieldDefinition> definitions;
  std::string error;
  if (!ParseFields(fields, &definitions, &error)) return Fail(error);
  if (!ValidName(name)) return Fail("'" + std::string(name) + "' is not a valid table name");
  if (!backend_->Connect(program(), target, true, &error)) return Fail(error);
  connected_ = true;
  if (!CreateTable(name, definitions, &error)) return Fail(error);
  return OpenView(name, name, "");
}

bool SqlDatabase::CreateTable(std::string_view name,
                              const std::vector<FieldDefinition>& definitions, std::string* error) {
  std::string sql = "CREATE TABLE " + Quote(name) + " (";
  std::string key = backend_->CreatedKeyColumn();
  bool first = key.empty();
  sql += key;
  for (const FieldDefinition& f : definitions) {
    if (!first) sql += ", ";
    first = false;
    sql += Quote(f.name) + " " + backend_->TypeFor(f.type, f.length, f.decimals);
  }
  sql += ")";
  SqlResult result;
  return backend_->Execute(sql, {}, &result, error);
}

bool SqlDatabase::Close() {
  views_.clear();
  if (connected_) backend_->Disconnect(in_transaction_);
  connected_ = false;
  in_transaction_ = false;
  return true;
}

SqlView* SqlDatabase::NewView(std::string_view name) {
  views_.push_back(std::make_unique<SqlView>(this, std::string(name)));
  return views_.back().get();
}

SqlView* SqlDatabase::PrimaryView() const {
  // The host keeps the order; the first view of ours that the host still
  // has is good enough for index commands on the primary table.
  for (const auto& view : views_) {
    if (!view->table().empty()) return view.get();
  }
  return nullptr;
}

bool SqlDatabase::CloseView(SqlView* view) {
  for (auto it = views_.begin(); it != views_.end(); ++it) {
    if (it->get() == view) {
      views_.erase(it);
      return true;
    }
  }
  return true;
}

bool SqlDatabase::OpenView(std::string_view view_name, std::string_view table,
                           std::string_view order) {
  if (!connected_) return Fail("The database is not open");
  std::string name = Trim(view_name).empty() ? Lower(table) : std::string(Trim(view_name));
  SqlView* view = NewView(name);
  bool ok = view->OpenTable(table) && view->SetOrder(order);
  if (!ok) {
    std::string message = view->error();
    if (view->handle() == nullptr) CloseView(view);
    return Fail(message);
  }
  return true;
}

bool SqlDatabase::Query(std::string_view view_name, std::string_view sql) {
  if (!connected_) return Fail("The database is not open");
  std::string name(Trim(view_name));
  if (name.empty()) return Fail("A query needs a view name");
  SqlView* view = NewView(name);
  if (!view->OpenQuery(sql)) {
    std::string message = view->error();
    if (view->handle() == nullptr) CloseView(view);
    return Fail(message);
  }
  return true;
}

bool SqlDatabase::ExecuteNamed(std::string_view sql, SqlResult* out, std::string* error) {
  if (HasSecondStatement(sql)) {
    *error = "A command holds one SQL statement";
    return false;
  }
  std::string rewritten;
  std::vector<std::string> names;
  SqlBackend* b = backend_.get();
  if (!RewriteNamed(
          sql, [b](int n) { return b->Placeholder(n); }, &rewritten, &names, error)) {
    return false;
  }
  std::vector<SqlValue> parameters;
  for (const std::string& name : names) {
    ztVariable* v =
        ztProgram_Lookup_Variable(program(), name.data(), static_cast<int32_t>(name.size()));
    if (v == nullptr) {
      *error = "Unknown variable '" + name + "' in SQL parameters";
      return false;
    }
    int32_t length = 0;
    const char* text = ztVariable_Value(v, &length);
    std::string_view value(text, static_cast<size_t>(length));
    if (!b->TextHoldsNul() && value.find('\0') != std::string_view::npos) {
      *error = "Text with NUL bytes cannot be stored in this database";
      return false;
    }
    parameters.push_back(SqlValue::Text(value));
  }
  return b->Execute(rewritten, parameters, out, error);
}

bool SqlDatabase::Command(std::string_view sql, std::string_view count_variable) {
  if (!connected_) return Fail("The database is not open");
  SqlResult result;
  std::string error;
  if (!ExecuteNamed(sql, &result, &error)) return Fail(error);
  std::string_view target = Trim(count_variable);
  if (!target.empty()) {
    ztVariable* v =
        ztProgram_Lookup_Variable(program(), target.data(), static_cast<int32_t>(target.size()));
    if (v == nullptr) return Fail("Unknown variable '" + std::string(target) + "'");
    std::string count = std::to_string(result.changed);
    ztVariable_SetValue(v, count.data(), static_cast<int32_t>(count.size()));
  }
  for (const auto& view : views_) {
    if (view->handle() != nullptr) ztDatabaseView_SetDirty(view->handle());
  }
  return true;
}

bool SqlDatabase::Transact() {
  if (!connected_) return Fail("The database is not open");
  if (in_transaction_) return Fail("A transaction is already open");
  SqlResult result;
  std::string error;
  if (!backend_->Execute(backend_->Begin(), {}, &result, &error)) return Fail(error);
  in_transaction_ = true;
  return true;
}

bool SqlDatabase::Commit() {
  if (!in_transaction_) return true;
  SqlResult result;
  std::string error;
  in_transaction_ = false;
  if (!backend_->Execute("COMMIT", {}, &result, &error)) return Fail(error);
  return true;
}

bool SqlDatabase::Rollback() {
  if (!in_transaction_) return true;
  SqlResult result;
  std::string error;
  in_transaction_ = false;
  if (!backend_->Execute("ROLLBACK", {}, &result, &error)) return Fail(error);
  for (const auto& view : views_) {
    if (view->handle() != nullptr) ztDatabaseView_SetDirty(view->handle());
  }
  return true;
}

bool SqlDatabase::MakeIndex(std::string_view name, std::string_view column,
                            std::string_view flags) {
  SqlView* view = PrimaryView();
  if (view == nullptr) return Fail("The database has no table to index");
  std::string index(Trim(name)), field(Trim(column));
  if (!ValidName(index)) return Fail("'" + index + "' is not a valid index name");
  if (!ValidName(field)) return Fail("'" + field + "' is not a column name");
  bool unique = Lower(flags).find("unique") != std::string::npos;
  std::string sql = std::string("CREATE ") + (unique ? "UNIQUE " : "") + "INDEX " + Quote(index) +
                    " ON " + Quote(view->table()) + " (" + Quote(field) + ")";
  SqlResult result;
  std::string error;
  if (!backend_->Execute(sql, {}, &result, &error)) return Fail(error);
  return true;
}

bool SqlDatabase::SetOrder(std::string_view index) {
  SqlView* view = PrimaryView();
  if (view == nullptr) return Fail("The database has no table to index");
  // A list names the main index first; the others add nothing here.
  std::string_view first = index.substr(0, index.find(','));
  if (!view->SetOrder(first)) return Fail(view->error());
  return true;
}

}  // namespace orin_sql

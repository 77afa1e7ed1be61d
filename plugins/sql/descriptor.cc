// The descriptor table of the SQL libraries: each entry finds the library's
// object behind the host's handle and forwards.
#include <string_view>

#include "backend.h"
#include "sql_database.h"

namespace orin_sql {

namespace {

BackendFactory g_factory = nullptr;

std::string_view Text(const char* bytes, int32_t length) {
  return bytes == nullptr || length <= 0 ? std::string_view()
                                         : std::string_view(bytes, static_cast<size_t>(length));
}

SqlDatabase* Db(ztDatabase* db) {
  return static_cast<SqlDatabase*>(ztDatabase_data(db));
}

// The database's object, made on first use.
SqlDatabase* Ensure(ztDatabase* db) {
  SqlDatabase* database = Db(db);
  if (database == nullptr) {
    database = new SqlDatabase(db, g_factory());
    ztDatabase_SetData(db, database);
  }
  return database;
}

SqlView* View(ztDatabaseView* view) {
  return static_cast<SqlView*>(ztDatabaseView_data(view));
}

int Create(ztDatabase* db, const char* file, int32_t file_length, const char* name,
           int32_t name_length, const char* fields, int32_t fields_length) {
  return Ensure(db)->Create(Text(file, file_length), Text(name, name_length),
                            Text(fields, fields_length));
}

int Open(ztDatabase* db, const char* file, int32_t file_length, const char* name,
         int32_t name_length, const char* text1, int32_t text1_length, const char* text2,
         int32_t text2_length, const char*, int32_t) {
  return Ensure(db)->Open(Text(file, file_length), Text(name, name_length),
                          Text(text1, text1_length), Text(text2, text2_length));
}

int Close(ztDatabase* db) {
  return Db(db) == nullptr ? 1 : Db(db)->Close();
}

int OpenView(ztDatabase* db, const char* text1, int32_t text1_length, const char* text2,
             int32_t text2_length, const char* text3, int32_t text3_length) {
  return Ensure(db)->OpenView(Text(text1, text1_length), Text(text2, text2_length),
                              Text(text3, text3_length));
}

int Query(ztDatabase* db, const char* text1, int32_t text1_length, const char* text2,
          int32_t text2_length) {
  return Ensure(db)->Query(Text(text1, text1_length), Text(text2, text2_length));
}

int Pack(ztDatabase*) {
  return 1;  // deleted rows are gone at once
}

int SelectMainIndex(ztDatabase* db, const char* index, int32_t index_length) {
  return Ensure(db)->SetOrder(Text(index, index_length));
}

int MakeIndex(ztDatabase* db, const char* file, int32_t file_length, const char* expression,
              int32_t expression_length, const char* flags, int32_t flags_length) {
  return Ensure(db)->MakeIndex(Text(file, file_length), Text(expression, expression_length),
                               Text(flags, flags_length));
}

int Reindex(ztDatabase*) {
  return 1;  // the engine keeps its indexes
}

const char* Error(ztDatabase* db) {
  return Db(db) == nullptr ? "" : Db(db)->error();
}

int ViewClose(ztDatabaseView* view) {
  SqlView* v = View(view);
  if (v == nullptr) return 1;
  ztDatabaseView_SetData(view, nullptr);
  SqlDatabase* database = Db(ztDatabaseView_Database(view));
  if (database != nullptr) database->CloseView(v);
  return 1;
}

int Skip(ztDatabaseView* view, int32_t count) {
  return View(view)->Skip(count);
}
int Go(ztDatabaseView* view, int64_t row) {
  return View(view)->Go(row);
}
int Add(ztDatabaseView* view) {
  return View(view)->Add();
}
int Remove(ztDatabaseView* view) {
  return View(view)->Remove();
}
int Undelete(ztDatabaseView* view) {
  return View(view)->Undelete();
}
int Update(ztDatabaseView* view) {
  return View(view)->Update();
}
int Find(ztDatabaseView* view, const char* value, int32_t length, int exact) {
  return View(view)->Find(Text(value, length), exact != 0);
}
int RevealToTable(ztDatabaseView* view, const char* file, int32_t length) {
  return View(view)->RevealToTable(Text(file, length));
}
int RevealToVariable(ztDatabaseView* view, ztVariable* target) {
  return View(view)->Reveal(target);
}
const char* ViewError(ztDatabaseView* view) {
  return View(view) == nullptr ? "" : View(view)->error();
}

void Fetch(ztDatabaseVariable* variable) {
  auto* data = static_cast<FieldData*>(ztDatabaseVariable_data(variable));
  if (data != nullptr) data->view->Fetch(variable, data->column, data->special);
}

void Store(ztDatabaseVariable* variable, const char* value, int32_t length) {
  auto* data = static_cast<FieldData*>(ztDatabaseVariable_data(variable));
  if (data != nullptr && data->column >= 0) data->view->Store(data->column, Text(value, length));
}

void VariableFree(ztDatabaseVariable* variable) {
  delete static_cast<FieldData*>(ztDatabaseVariable_data(variable));
  ztDatabaseVariable_SetData(variable, nullptr);
}

int Commit(ztDatabase* db) {
  return Db(db) == nullptr ? 1 : Db(db)->Commit();
}
int Rollback(ztDatabase* db) {
  return Db(db) == nullptr ? 1 : Db(db)->Rollback();
}
int Transact(ztDatabase* db) {
  return Ensure(db)->Transact();
}
int Command(ztDatabase* db, const char* text1, int32_t text1_length, const char* text2,
            int32_t text2_length) {
  return Ensure(db)->Command(Text(text1, text1_length), Text(text2, text2_length));
}

void Release(ztDatabase* db) {
  delete Db(db);
  ztDatabase_SetData(db, nullptr);
}

ztDatabaseTable MakeTable() {
  ztDatabaseTable t{};
  t.version = ZT_DATABASE_TABLE_VERSION;
  t.create = Create;
  t.open = Open;
  t.close = Close;
  t.open_view = OpenView;
  t.query = Query;
  t.pack = Pack;
  t.select_main_index = SelectMainIndex;
  t.make_index = MakeIndex;
  t.set_indexes = SelectMainIndex;
  t.reindex = Reindex;
  t.error = Error;
  t.view_close = ViewClose;
  t.skip = Skip;
  t.go = Go;
  t.add = Add;
  t.remove = Remove;
  t.undelete = Undelete;
  t.update = Update;
  t.find = Find;
  t.reveal_to_file = RevealToTable;
  t.reveal_to_variable = RevealToVariable;
  t.view_error = ViewError;
  t.fetch = Fetch;
  t.store = Store;
  t.variable_free = VariableFree;
  t.commit = Commit;
  t.rollback = Rollback;
  t.transact = Transact;
  t.command = Command;
  t.release = Release;
  return t;
}

}  // namespace

const ztDatabaseTable* DatabaseTable(BackendFactory factory) {
  // A library passes the same factory on every call; the first call keeps
  // it, inside the static's guarded initialisation, so request threads that
  // ask for the table at once never write it together.
  static const ztDatabaseTable table = [factory] {
    g_factory = factory;
    return MakeTable();
  }();
  return &table;
}

}  // namespace orin_sql

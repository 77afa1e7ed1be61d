#include "database/external_database.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "vm/zeto_vm.h"

namespace orin {

// The descriptor table is read by offset: keep the slots where libraries
// put them.
static_assert(offsetof(ztDatabaseTable, create) == 8);
static_assert(offsetof(ztDatabaseTable, error) == 88);
static_assert(offsetof(ztDatabaseTable, view_close) == 96);
static_assert(offsetof(ztDatabaseTable, skip) == 104);
static_assert(offsetof(ztDatabaseTable, view_error) == 184);
static_assert(offsetof(ztDatabaseTable, fetch) == 192);
static_assert(offsetof(ztDatabaseTable, variable_free) == 240);
static_assert(offsetof(ztDatabaseTable, commit) == 248);
static_assert(offsetof(ztDatabaseTable, transact) == 272);
static_assert(offsetof(ztDatabaseTable, release) == 288);

namespace {

int32_t Len(std::string_view text) {
  return text.size() > 0x7fffffff ? 0x7fffffff : static_cast<int32_t>(text.size());
}

std::string Unsupported(const char* tag) {
  return std::string(tag) + " is an Unsupported Operation";
}

constexpr char kNoFilters[] = "Database type 'external' does not support Filters";
constexpr char kNoIndexFilters[] = "Database type 'external' does not support Indexes & Filters";

}  // namespace

// --- ExternalDatabaseVariable ---

ExternalDatabaseVariable::ExternalDatabaseVariable(std::string_view name,
                                                   ExternalDatabaseView* view, void* data)
    : DatabaseVariable(name), view_(view), table_(view->table()), data_(data) {}

ExternalDatabaseVariable::~ExternalDatabaseVariable() {
  FreeData();
}

void ExternalDatabaseVariable::FreeData() {
  if (table_ != nullptr && table_->variable_free != nullptr) table_->variable_free(Handle());
  table_ = nullptr;
  data_ = nullptr;
}

void ExternalDatabaseVariable::Detach() {
  FreeData();
  view_ = nullptr;
  DatabaseVariable::Detach();
}

void ExternalDatabaseVariable::Refresh() {
  if (view_ == nullptr) return;
  fetching_ = true;
  StoreNothing();
  if (table_ != nullptr && table_->fetch != nullptr) table_->fetch(Handle());
  fetching_ = false;
  cached_ = true;
  modified_ = false;
}

void ExternalDatabaseVariable::Empty() {
  StoreNothing();
  cached_ = true;
  modified_ = false;
}

void ExternalDatabaseVariable::Commit() {
  if (!modified_ || detached_) return;
  modified_ = false;
  if (table_ == nullptr || table_->store == nullptr) return;
  const ByteString& value = Value();
  table_->store(Handle(), value.data(), Len(value.view()));
}

bool ExternalDatabaseVariable::Stored(bool ok) {
  if (!ok) return false;
  cached_ = true;
  if (!fetching_) modified_ = true;
  return true;
}

void ExternalDatabaseVariable::Clear() {
  if (detached_) return;
  StoreNothing();
  Stored(true);
}

bool ExternalDatabaseVariable::SetValue_Variable(Variable* source) {
  if (detached_) return true;
  if (source == nullptr) return false;
  Variable* from = source->RealIdentity();
  if (from == this) {  // x = x keeps the value as it stands
    Value();
    return Stored(true);
  }
  const ByteString& text = from->Value();
  StoreText(text.data(), text.size());
  return Stored(true);
}

bool ExternalDatabaseVariable::SetValue(const char* bytes, int64_t length) {
  if (detached_) return true;
  if (length < 0) length = bytes == nullptr ? 0 : static_cast<int64_t>(std::strlen(bytes));
  StoreText(bytes, static_cast<size_t>(length));
  return Stored(true);
}

bool ExternalDatabaseVariable::SetValue_Nocopy(char* buffer, uint32_t length, uint32_t capacity) {
  if (detached_) {
    std::free(buffer);
    return true;
  }
  StoreTextNocopy(buffer, length, capacity);
  return Stored(true);
}

bool ExternalDatabaseVariable::SetValue_Integer(int32_t value) {
  if (detached_) return true;
  StoreInteger(value);
  return Stored(true);
}

bool ExternalDatabaseVariable::SetValue_DecimalCopy(const mpd_t* value) {
  if (detached_) return true;
  StoreDecimalCopy(value);
  return Stored(true);
}

bool ExternalDatabaseVariable::SetValue_Decimal(mpd_t* value) {
  if (detached_) {
    mpd_del(value);
    return true;
  }
  StoreDecimal(value);
  return Stored(true);
}

// --- ExternalDatabaseView ---

ExternalDatabaseView::ExternalDatabaseView(ExternalDatabase* database, std::string_view name,
                                           void* data)
    : DatabaseView(database->machine(), database, name),
      external_database_(database),
      table_(database->table()),
      data_(data) {}

ExternalDatabaseView::~ExternalDatabaseView() {
  // The variables give their data back to the library while it is loaded
  // and the view still exists.
  variables_.Clear();
}

bool ExternalDatabaseView::Result(int ok) {
  if (ok != 0) return true;
  const char* text = table_->view_error != nullptr ? table_->view_error(Handle()) : nullptr;
  return Fail(text != nullptr ? std::string(text) : std::string());
}

bool ExternalDatabaseView::Close() {
  if (table_->view_close == nullptr) return true;
  return Result(table_->view_close(Handle()));
}

bool ExternalDatabaseView::Skip(int32_t count) {
  if (table_->skip == nullptr) return Fail(Unsupported("ZtSKIP"));
  return Result(table_->skip(Handle(), count));
}

bool ExternalDatabaseView::SkipFiltered(int32_t) {
  return Fail(kNoFilters);
}

bool ExternalDatabaseView::Go(int64_t row) {
  if (table_->go == nullptr) return Fail(Unsupported("ZtGO"));
  return Result(table_->go(Handle(), row));
}

bool ExternalDatabaseView::GoFiltered(int64_t) {
  return Fail(kNoFilters);
}

bool ExternalDatabaseView::Find(std::string_view value, bool exact) {
  if (table_->find == nullptr) return Fail(Unsupported("ZtFIND"));
  return Result(table_->find(Handle(), value.data(), Len(value), exact ? 1 : 0));
}

bool ExternalDatabaseView::FindFiltered(std::string_view, bool) {
  return Fail(kNoIndexFilters);
}

bool ExternalDatabaseView::Add() {
  if (table_->add == nullptr) return Fail(Unsupported("ZtADD"));
  return Result(table_->add(Handle()));
}

bool ExternalDatabaseView::Delete() {
  if (table_->remove == nullptr) return Fail(Unsupported("ZtDELETE"));
  return Result(table_->remove(Handle()));
}

bool ExternalDatabaseView::Undelete() {
  if (table_->undelete == nullptr) return Fail(Unsupported("ZtUNDELETE"));
  return Result(table_->undelete(Handle()));
}

bool ExternalDatabaseView::Update() {
  if (table_->update == nullptr) return Fail(Unsupported("ZtUPDATE"));
  return Result(table_->update(Handle()));
}

bool ExternalDatabaseView::Filter(std::string_view expression) {
  if (table_->filter == nullptr) return Fail(Unsupported("ZtFILTER"));
  return Result(table_->filter(Handle(), expression.data(), Len(expression)));
}

bool ExternalDatabaseView::RevealStructureToFile(std::string_view file_name) {
  if (table_->reveal_to_file == nullptr) return Fail(Unsupported("ZtREVEALSTRUCTURE"));
  return Result(table_->reveal_to_file(Handle(), file_name.data(), Len(file_name)));
}

bool ExternalDatabaseView::RevealStructureToVariable(Variable* target) {
  if (table_->reveal_to_variable == nullptr) return Fail(Unsupported("ZtREVEALSTRUCTURE"));
  return Result(table_->reveal_to_variable(Handle(), reinterpret_cast<ztVariable*>(target)));
}

void ExternalDatabaseView::RefreshVariables(bool) {
  MarkDirty();
}

ExternalDatabaseVariable* ExternalDatabaseView::AddVariable(std::string_view name, void* data) {
  if (name.empty() || variables_.Find(name) != nullptr) return nullptr;
  auto* variable = new ExternalDatabaseVariable(name, this, data);
  variables_.Insert(variable);
  return variable;
}

void ExternalDatabaseView::MarkDirty() {
  for (size_t i = 0; i < variables_.size(); ++i) {
    static_cast<ExternalDatabaseVariable*>(variables_.at(i))->Forget();
  }
}

void ExternalDatabaseView::EmptyVariables() {
  for (size_t i = 0; i < variables_.size(); ++i) {
    static_cast<ExternalDatabaseVariable*>(variables_.at(i))->Empty();
  }
}

void ExternalDatabaseView::CommitVariables() {
  for (size_t i = 0; i < variables_.size(); ++i) {
    static_cast<ExternalDatabaseVariable*>(variables_.at(i))->Commit();
  }
}

// --- ExternalDatabase ---

ExternalDatabase::ExternalDatabase(ZetoVM* machine, DatabaseRegistry* registry,
                                   std::string_view name, const ztDatabaseTable* table)
    : Database(machine, registry, name), table_(table) {}

ExternalDatabase::~ExternalDatabase() {
  // Views (and their variables) first: they may still reach the library's
  // data of the database.
  ReleaseViews();
  if (data_ != nullptr && table_->version >= 6 && table_->release != nullptr) {
    table_->release(Handle());
  }
}

bool ExternalDatabase::Result(int ok) {
  if (ok != 0) return true;
  const char* text = table_->error != nullptr ? table_->error(Handle()) : nullptr;
  return Fail(text != nullptr ? std::string(text) : std::string());
}

namespace {
// An older library's `open` has fewer parameters than the table declares;
// it is called through its own type, reached by way of the generic function
// pointer type (the one cast between function types that is meant for it).
template <typename F>
void (*AnyFunction(F* f))() {
  return reinterpret_cast<void (*)()>(f);
}
}  // namespace

bool ExternalDatabase::Open(std::string_view file, std::string_view name, std::string_view text1,
                            std::string_view text2, const std::string* text3) {
  if (table_->open == nullptr) return Fail(Unsupported("ZtOPEN"));
  std::string_view third = text3 != nullptr ? std::string_view(*text3) : std::string_view();
  if (table_->version >= 3) {
    return Result(table_->open(Handle(), file.data(), Len(file), name.data(), Len(name),
                               text1.data(), Len(text1), text2.data(), Len(text2), third.data(),
                               Len(third)));
  }
  // Older libraries know neither the database name nor (before 2) text 3.
  if (table_->version == 2) {
    using Open2 = int (*)(ztDatabase*, const char*, int32_t, const char*, int32_t, const char*,
                          int32_t, const char*, int32_t);
    auto open = reinterpret_cast<Open2>(AnyFunction(table_->open));
    return Result(open(Handle(), file.data(), Len(file), text1.data(), Len(text1), text2.data(),
                       Len(text2), third.data(), Len(third)));
  }
  using Open1 =
      int (*)(ztDatabase*, const char*, int32_t, const char*, int32_t, const char*, int32_t);
  auto open = reinterpret_cast<Open1>(AnyFunction(table_->open));
  return Result(
      open(Handle(), file.data(), Len(file), text1.data(), Len(text1), text2.data(), Len(text2)));
}

bool ExternalDatabase::Close() {
  while (!views_.empty()) {
    DatabaseView* view = views_.front().get();
    if (!view->Close()) return Fail(view->ErrorText());
    RemoveView(view);
  }
  if (table_->close == nullptr) return Fail(Unsupported("ZtCLOSE"));
  return Result(table_->close(Handle()));
}

bool ExternalDatabase::Create(std::string_view file, std::string_view name,
                              std::string_view fields) {
  if (table_->create == nullptr) return Fail(Unsupported("ZtCREATE"));
  return Result(table_->create(Handle(), file.data(), Len(file), name.data(), Len(name),
                               fields.data(), Len(fields)));
}

bool ExternalDatabase::SetIndexes(ZetoVM&, std::string_view list) {
  if (table_->set_indexes == nullptr)
    return Fail("ZtOPEN with INDEXES attribute is an Unsupported Operation");
  return Result(table_->set_indexes(Handle(), list.data(), Len(list)));
}

bool ExternalDatabase::SelectMainIndex(std::string_view index) {
  if (table_->select_main_index == nullptr) {
    return Fail("ZtPRIMARY with INDEXES attribute is an Unsupported Operation");
  }
  return Result(table_->select_main_index(Handle(), index.data(), Len(index)));
}

bool ExternalDatabase::MakeIndex(const MakeIndexOperands& operands) {
  if (table_->make_index == nullptr) return Fail(Unsupported("ZtMAKEINDEX"));
  return Result(table_->make_index(Handle(), operands.file_name.data(), Len(operands.file_name),
                                   operands.expression.data(), Len(operands.expression),
                                   operands.flags.data(), Len(operands.flags)));
}

bool ExternalDatabase::Pack() {
  if (table_->pack == nullptr) return Fail(Unsupported("ZtPACK"));
  return Result(table_->pack(Handle()));
}

bool ExternalDatabase::Reindex() {
  if (table_->reindex == nullptr) return Fail(Unsupported("ZtREINDEX"));
  return Result(table_->reindex(Handle()));
}

bool ExternalDatabase::OpenView(std::string_view text1, std::string_view text2,
                                std::string_view text3) {
  if (table_->open_view == nullptr) return Fail(Unsupported("ZtOPENVIEW"));
  return Result(table_->open_view(Handle(), text1.data(), Len(text1), text2.data(), Len(text2),
                                  text3.data(), Len(text3)));
}

bool ExternalDatabase::CloseView(std::string_view name) {
  DatabaseView* view = FindView(name);
  if (view == nullptr) {
    return Fail("Database '" + name_ + "' has no view named '" + std::string(name) + "'");
  }
  if (!view->Close()) return Fail(view->ErrorText());
  // The list keeps its order, so the first remaining view is primary.
  RemoveView(view);
  return true;
}

bool ExternalDatabase::Query(std::string_view text1, std::string_view text2) {
  if (table_->query == nullptr) return Fail(Unsupported("ZtRUNQUERY"));
  return Result(table_->query(Handle(), text1.data(), Len(text1), text2.data(), Len(text2)));
}

bool ExternalDatabase::Commit() {
  if (table_->version < 2 || table_->commit == nullptr) return true;
  return Result(table_->commit(Handle()));
}

bool ExternalDatabase::Rollback() {
  if (table_->version < 2 || table_->rollback == nullptr) return true;
  return Result(table_->rollback(Handle()));
}

bool ExternalDatabase::Transact() {
  if (table_->version < 5 || table_->transact == nullptr) return true;
  return Result(table_->transact(Handle()));
}

bool ExternalDatabase::Command(std::string_view text1, std::string_view text2) {
  if (table_->version < 5 || table_->command == nullptr) {
    return Fail("ZtDBCOMMAND is an unsupported operation");
  }
  return Result(table_->command(Handle(), text1.data(), Len(text1), text2.data(), Len(text2)));
}

ExternalDatabaseView* ExternalDatabase::NewView(std::string_view name, void* data) {
  if (name.empty()) return nullptr;
  if (FindView(name) != nullptr) {
    Fail("Database '" + name_ + "' already has a view named '" + std::string(name) + "'");
    return nullptr;
  }
  auto view = std::make_unique<ExternalDatabaseView>(this, name, data);
  ExternalDatabaseView* raw = view.get();
  AddView(std::move(view));
  return raw;
}

}  // namespace orin

// The index side of the "xbase3" database: navigation and find through the
// main index, keeping every open index current, and the operations that
// (re)build index files: make index, reindex and pack.
#include <cstdlib>

#include "database/database_registry.h"
#include "database/xbase_database.h"
#include "util/ascii.h"
#include "vm/dynamic_expression.h"
#include "vm/zeto_vm.h"

namespace orin {

namespace {

// The directory part of a file name in an area ("" for the area's root).
std::string_view DirectoryOf(std::string_view name) {
  size_t slash = name.rfind('/');
  return slash == std::string_view::npos ? std::string_view() : name.substr(0, slash);
}

}  // namespace

// --- XBaseDatabaseView ---

XBaseIndex* XBaseDatabaseView::MainIndex() const {
  const auto& indexes = owner_->indexes();
  return indexes.empty() ? nullptr : indexes.front().get();
}

bool XBaseDatabaseView::IndexFailed(XBaseIndex* index) {
  return Fail(index->error());
}

bool XBaseDatabaseView::PositionIndex() {
  XBaseIndex* index = MainIndex();
  uint32_t record = table_->current_record();
  if (index == nullptr || record == 0) return true;
  std::string key;
  if (!owner_->ComputeKey(index, &key) || !index->Position(key, record)) return IndexFailed(index);
  return true;
}

bool XBaseDatabaseView::SkipIndexed(int32_t count, bool filtered) {
  XBaseIndex* index = MainIndex();
  // After a find that missed or a move by record number the index may
  // stand elsewhere: steps start from the current record's entry.
  if (!index->positioned() || index->current_record() != table_->current_record()) {
    if (!PositionIndex()) return false;
  }
  int64_t remaining = count > 0 ? static_cast<int64_t>(count) : -static_cast<int64_t>(count);
  while (remaining > 0) {
    uint32_t record = 0;
    if (!(count > 0 ? index->Next(&record) : index->Previous(&record))) return IndexFailed(index);
    if (record == 0 || !Exists(record)) {
      eof_ = true;
      // Stand on the current record's entry again so a step back works.
      if (table_->current_record() != 0 && !PositionIndex()) return false;
      return true;
    }
    if (!Read(record)) return false;
    if (filtered) {
      if (Stopped()) return false;
      if (!FilterAccepts()) continue;
    }
    --remaining;
  }
  eof_ = false;
  return true;
}

bool XBaseDatabaseView::EdgeFiltered(bool top) {
  XBaseIndex* index = MainIndex();
  uint32_t record = 0;
  if (!(top ? index->First(&record) : index->Last(&record))) return IndexFailed(index);
  while (record != 0 && Exists(record)) {
    if (!Read(record)) return false;
    if (Stopped()) return false;
    if (FilterAccepts()) {
      eof_ = false;
      return true;
    }
    if (!(top ? index->Next(&record) : index->Previous(&record))) return IndexFailed(index);
  }
  eof_ = true;
  return true;
}

bool XBaseDatabaseView::Find(std::string_view value, bool exact) {
  XBaseIndex* index = MainIndex();
  if (index == nullptr) return Fail("Database has no open indexes");
  uint32_t record = 0;
  bool matched = false;
  if (!index->Find(value, exact, &record, &matched)) return IndexFailed(index);
  if (record == 0 || !Exists(record)) {
    eof_ = true;
    return true;
  }
  if (!Read(record)) return false;
  eof_ = !matched && !(index->flags() & kIndexRange);
  return true;
}

bool XBaseDatabaseView::FindFiltered(std::string_view value, bool exact) {
  XBaseIndex* index = MainIndex();
  if (index == nullptr) return Fail("Database has no open indexes");
  uint32_t record = 0;
  bool matched = false;
  if (!index->Find(value, exact, &record, &matched)) return IndexFailed(index);
  std::string target = index->StoredKey(value);
  while (matched && record != 0 && Exists(record)) {
    if (!Read(record)) return false;
    if (Stopped()) return false;
    if (FilterAccepts()) {
      eof_ = false;
      return true;
    }
    if (!index->Next(&record)) return IndexFailed(index);
    matched = record != 0 && index->Compare(target, index->current_key(), !exact) == 0;
  }
  eof_ = true;
  return true;
}

bool XBaseDatabaseView::IndexNewRecord() {
  uint32_t record = table_->current_record();
  for (const auto& index : owner_->indexes()) {
    std::string key;
    if (!owner_->ComputeKey(index.get(), &key) || !index->Insert(key, record)) {
      return IndexFailed(index.get());
    }
  }
  return PositionIndex();
}

bool XBaseDatabaseView::ReindexUpdatedRecord() {
  uint32_t record = table_->current_record();
  for (const auto& index : owner_->indexes()) {
    std::string old_key, new_key;
    table_->RevertFields();
    bool ok = owner_->ComputeKey(index.get(), &old_key);
    table_->RevertFields();
    if (!ok || !owner_->ComputeKey(index.get(), &new_key)) return IndexFailed(index.get());
    if (old_key == new_key) continue;
    // The new entry first: a UNIQUE clash then leaves the old one in place.
    if (!index->Insert(new_key, record) || !index->Delete(old_key, record)) {
      return IndexFailed(index.get());
    }
  }
  return true;
}

// --- XBaseDatabase ---

bool XBaseDatabase::ComputeKey(XBaseIndex* index, std::string* key) {
  if (index->segment == nullptr) {
    const std::string& text = index->expression();
    const char* error = nullptr;
    int32_t error_length = 0;
    index->segment = ztProgram_Compile_Dynamic_Expression(
        machine_, text.data(), static_cast<int32_t>(text.size()), &error, &error_length);
    if (index->segment == nullptr) {
      std::string message = "Syntax error in index expression: ";
      if (error != nullptr) message.append(error, static_cast<size_t>(error_length));
      index->SetError(std::move(message));
      return false;
    }
  }
  if (view_ == nullptr) {
    index->SetError("Database '" + name_ + "' is not open");
    return false;
  }
  view_->RefreshVariables(true);
  // Bare field names in the expression mean this database's fields.
  std::vector<Database*> order;
  if (registry_ != nullptr) {
    order = registry_->primary_list();
    registry_->MakePrimary(this);
  }
  VarRef result = NewVariable();
  bool ran = ztProgram_Execute_Dynamic_Expression(machine_, index->segment, nullptr, result.get());
  if (registry_ != nullptr) registry_->RestorePrimaryList(order);
  if (!ran) {
    index->SetError("Error evaluating the index expression of '" + index->file_name() + "'");
    return false;
  }
  const ByteString& value = result->Value();
  key->assign(value.data(), value.size());
  return true;
}

bool XBaseDatabase::FillIndex(XBaseIndex* index) {
  if (!table_->RefreshHeader()) {
    index->SetError(table_->error());
    return false;
  }
  uint32_t count = table_->record_count();
  for (uint32_t n = 1; n <= count; ++n) {
    if (!table_->ReadRecord(n)) {
      index->SetError(table_->error());
      return false;
    }
    std::string key;
    if (!ComputeKey(index, &key) || !index->Insert(key, n)) return false;
  }
  return true;
}

std::string XBaseDatabase::TempName(const std::string& beside) {
  std::string path;
  std::unique_ptr<File> file =
      files_->CreateTempFile(kDataArea, DirectoryOf(beside), "pack", &path, kOpenRead | kOpenWrite);
  if (!file) {
    Fail("Error creating a temporary file for '" + beside + "': " + files_->ErrorText());
    return {};
  }
  return path;
}

bool XBaseDatabase::SetIndexes(ZetoVM&, std::string_view list) {
  CloseIndexes();
  if (TrimSpaceTabCrLf(list).empty()) return true;  // a blank list leaves no index open
  std::vector<std::string_view> names;
  size_t start = 0;
  while (true) {
    size_t comma = list.find(',', start);
    std::string_view piece = TrimSpaceTabCrLf(list.substr(start, comma - start));
    if (piece.empty()) return Fail("Dangling comma in index list");
    names.push_back(piece);
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  for (std::string_view name : names) {
    auto index = std::make_unique<XBaseIndex>(files_);
    if (!index->Open(kDataArea, name)) {
      std::string message = index->error();
      CloseIndexes();
      return Fail(std::move(message));
    }
    indexes_.push_back(std::move(index));
  }
  return true;
}

bool XBaseDatabase::SelectMainIndex(std::string_view name) {
  name = TrimSpaceTabCrLf(name);
  for (size_t i = 0; i < indexes_.size(); ++i) {
    if (!EqualsNoCase(indexes_[i]->file_name(), name)) continue;
    std::unique_ptr<XBaseIndex> chosen = std::move(indexes_[i]);
    indexes_.erase(indexes_.begin() + static_cast<ptrdiff_t>(i));
    indexes_.insert(indexes_.begin(), std::move(chosen));
    if (view_ != nullptr && !view_->PositionIndex()) return Fail(view_->ErrorText());
    return true;
  }
  return Fail("Database has no index with that name");
}

bool XBaseDatabase::MakeIndex(const MakeIndexOperands& operands) {
  if (!table_->IsOpen() || view_ == nullptr) return Fail("Database '" + name_ + "' is not open");
  uint32_t flags = 0;
  std::string error;
  if (!ParseXBaseIndexFlags(operands.flags, &flags, &error)) return Fail(std::move(error));
  uint32_t current = table_->current_record();
  auto index = std::make_unique<XBaseIndex>(files_);
  if (!index->Create(kDataArea, operands.file_name, operands.expression, flags)) {
    return Fail(index->error());
  }
  std::string key;
  bool ok = FillIndex(index.get());
  // An empty table never runs the expression: compile it now all the same.
  if (ok && index->segment == nullptr && !ComputeKey(index.get(), &key)) ok = false;
  if (current != 0 && table_->ReadRecord(current)) view_->RefreshVariables(true);
  if (!ok) {
    error = index->error();
    index->Close();
    files_->Delete(kDataArea, operands.file_name);
    return Fail(std::move(error));
  }
  // The new index joins the open ones; it is the main index when alone.
  indexes_.push_back(std::move(index));
  if (indexes_.size() == 1 && !view_->PositionIndex()) return Fail(view_->ErrorText());
  return true;
}

bool XBaseDatabase::Reindex() {
  if (!table_->IsOpen() || view_ == nullptr) return Fail("Database '" + name_ + "' is not open");
  uint32_t current = table_->current_record();
  for (std::unique_ptr<XBaseIndex>& index : indexes_) {
    std::string temp = TempName(index->file_name());
    if (temp.empty()) return false;
    XBaseIndex fresh(files_);
    fresh.segment = index->segment;
    bool ok =
        fresh.Create(kDataArea, temp, index->expression(), index->flags()) && FillIndex(&fresh);
    index->segment = fresh.segment;
    fresh.Close();
    if (!ok) {
      files_->Delete(kDataArea, temp);
      return Fail(fresh.error());
    }
    std::string name = index->file_name();
    index->Close();
    if (!files_->Rename(kDataArea, temp, name)) {
      files_->Delete(kDataArea, temp);
      return Fail("Error renaming the rebuilt index '" + name + "': " + files_->ErrorText());
    }
    if (!index->Open(kDataArea, name)) return Fail(index->error());
  }
  if (current != 0 && table_->ReadRecord(current)) view_->RefreshVariables(true);
  return view_->PositionIndex() || Fail(view_->ErrorText());
}

bool XBaseDatabase::PackInto(const std::string& temp_table, const std::string& temp_memo,
                             const std::vector<std::string>& temp_indexes) {
  std::vector<XBaseFieldDefinition> definitions;
  for (const std::unique_ptr<XBaseField>& field : table_->fields()) {
    definitions.push_back({field->name(), field->type(), field->length(), field->decimals()});
  }
  XBaseTable packed(files_);
  if (!packed.Create(kDataArea, temp_table, temp_memo, definitions)) return Fail(packed.error());
  std::vector<std::unique_ptr<XBaseIndex>> fresh;
  for (size_t i = 0; i < indexes_.size(); ++i) {
    fresh.push_back(std::make_unique<XBaseIndex>(files_));
    fresh[i]->segment = indexes_[i]->segment;
    if (!fresh[i]->Create(kDataArea, temp_indexes[i], indexes_[i]->expression(),
                          indexes_[i]->flags())) {
      return Fail(fresh[i]->error());
    }
  }
  if (!table_->RefreshHeader()) return TableFailed();
  uint32_t count = table_->record_count();
  for (uint32_t n = 1; n <= count; ++n) {
    if (!table_->ReadRecord(n)) return TableFailed();
    if (table_->deleted()) continue;
    for (size_t i = 0; i < table_->field_count(); ++i) {
      XBaseField* field = table_->field(i);
      if (!field->LoadValue()) return TableFailed();
      packed.field(i)->SetValue(field->Value());
    }
    if (!packed.AppendRecord()) return Fail(packed.error());
    // Keys come from the old record, which holds the same values.
    for (size_t i = 0; i < fresh.size(); ++i) {
      std::string key;
      if (!ComputeKey(fresh[i].get(), &key) || !fresh[i]->Insert(key, packed.current_record())) {
        return Fail(fresh[i]->error());
      }
      indexes_[i]->segment = fresh[i]->segment;
    }
  }
  return true;
}

bool XBaseDatabase::Pack() {
  if (!table_->IsOpen() || view_ == nullptr) return Fail("Database '" + name_ + "' is not open");
  std::vector<std::string> temps;  // table, memo (maybe ""), then one per index
  auto discard = [&]() {
    for (const std::string& temp : temps)
      if (!temp.empty()) files_->Delete(kDataArea, temp);
    return false;
  };
  temps.push_back(TempName(table_->file_name()));
  if (temps.back().empty()) return discard();
  temps.push_back(table_->has_memo() ? TempName(table_->file_name()) : std::string());
  if (table_->has_memo() && temps.back().empty()) return discard();
  std::vector<std::string> temp_indexes;
  for (const auto& index : indexes_) {
    temps.push_back(TempName(index->file_name()));
    if (temps.back().empty()) return discard();
    temp_indexes.push_back(temps.back());
  }
  if (!PackInto(temps[0], temps[1], temp_indexes)) return discard();

  std::string table_name = table_->file_name();
  std::string memo_name = table_->memo_file_name();
  table_->Close();
  bool moved = files_->Rename(kDataArea, temps[0], table_name);
  if (moved && !temps[1].empty()) moved = files_->Rename(kDataArea, temps[1], memo_name);
  for (size_t i = 0; moved && i < indexes_.size(); ++i) {
    std::string name = indexes_[i]->file_name();
    indexes_[i]->Close();
    moved = files_->Rename(kDataArea, temp_indexes[i], name);
  }
  std::string error;
  if (!moved) error = "Error renaming the packed table: " + files_->ErrorText();
  if (!table_->Open(kDataArea, table_name)) {
    ReleaseViews();
    view_ = nullptr;
    CloseIndexes();
    if (moved) return TableFailed();
    discard();
    return Fail(std::move(error));
  }
  if (!moved) {
    discard();
    return Fail(std::move(error));
  }
  for (const auto& index : indexes_) {
    std::string name = index->file_name();
    if (!index->Open(kDataArea, name)) return Fail(index->error());
  }
  // The fields are new objects: the variables follow them.
  if (!view_->Rebind()) return Fail(view_->ErrorText());
  return view_->Go(-1) || Fail(view_->ErrorText());
}

}  // namespace orin

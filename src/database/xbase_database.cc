#include "database/xbase_database.h"

#include <cstdio>

#include "database/xbase_variable.h"
#include "files/file_manager.h"
#include "util/ascii.h"
#include "vm/dynamic_expression.h"
#include "vm/zeto_vm.h"

namespace orin {

namespace {

std::string Decimal(uint32_t value) {
  char buffer[16];
  int n = std::snprintf(buffer, sizeof buffer, "%u", value);
  return std::string(buffer, static_cast<size_t>(n));
}

}  // namespace

// --- XBaseDatabaseView ---

XBaseDatabaseView::XBaseDatabaseView(ZetoVM* machine, Database* database, std::string_view name,
                                     XBaseTable* table)
    : DatabaseView(machine, database, name),
      owner_(static_cast<XBaseDatabase*>(database)),
      table_(table) {}

bool XBaseDatabaseView::AttachTable(XBaseTable* table) {
  table_ = table;
  variables_.Clear();
  eof_ = true;
  if (table_->record_count() > 0) {
    if (!table_->ReadRecord(1)) return TableFailed();
    eof_ = false;
  }
  variables_.Insert(new XBaseTotalRecordsVariable(this));
  variables_.Insert(new XBaseRecordNumberVariable(this));
  variables_.Insert(new XBaseDeletedVariable(this));
  variables_.Insert(new XBaseEOFVariable(this));
  for (const std::unique_ptr<XBaseField>& field : table_->fields()) {
    switch (field->type()) {
      case kXBaseNumber:
        variables_.Insert(new XBaseNumberVariable(this, field.get()));
        break;
      case kXBaseLogical:
        variables_.Insert(new XBaseBooleanVariable(this, field.get()));
        break;
      default:
        variables_.Insert(new XBaseStringVariable(this, field.get()));
    }
  }
  return true;
}

bool XBaseDatabaseView::Rebind() {
  size_t column = 0;
  for (size_t i = 0; i < variables_.size(); ++i) {
    auto* v = static_cast<XBaseVariable*>(variables_.at(i));
    if (v->field() == nullptr) continue;
    if (column >= table_->field_count()) return Fail("The table's fields changed");
    v->Rebind(table_->field(column++));
  }
  eof_ = table_->record_count() == 0;
  return true;
}

bool XBaseDatabaseView::Close() {
  return true;
}

void XBaseDatabaseView::RefreshVariables(bool all) {
  for (size_t i = 0; i < variables_.size(); ++i) {
    auto* v = static_cast<XBaseVariable*>(variables_.at(i));
    if (all || v->field() == nullptr) v->Forget();
  }
}

bool XBaseDatabaseView::TableFailed() {
  return Fail(table_->error());
}

bool XBaseDatabaseView::Stopped() {
  if (machine_->Aborted()) return true;
  if (application_ != nullptr && application_->TimedOut()) {
    SetError("The script timed out while the filter ran");
    return true;
  }
  return false;
}

bool XBaseDatabaseView::Read(uint32_t n) {
  if (!table_->ReadRecord(n)) return TableFailed();
  eof_ = false;
  RefreshVariables(true);
  return true;
}

bool XBaseDatabaseView::Exists(uint32_t n) {
  if (n == 0) return false;
  if (n <= table_->record_count()) return true;
  return table_->RefreshHeader() && n <= table_->record_count();
}

bool XBaseDatabaseView::Skip(int32_t count) {
  if (count == 0) return true;
  if (MainIndex() != nullptr) return SkipIndexed(count, false);
  int64_t current = table_->current_record();
  int64_t target = current + count;
  if (target >= 1 && target <= UINT32_MAX && Exists(static_cast<uint32_t>(target))) {
    return Read(static_cast<uint32_t>(target));
  }
  // Ran off an end: the steps taken on the way end at the last (or first)
  // record.
  uint32_t boundary = count > 0 ? table_->record_count() : 1;
  if (boundary >= 1 && boundary <= table_->record_count() && boundary != current) {
    if (!Read(boundary)) return false;
  }
  eof_ = true;
  return true;
}

bool XBaseDatabaseView::SkipFiltered(int32_t count) {
  if (count == 0) return true;
  if (MainIndex() != nullptr) return SkipIndexed(count, true);
  int step = count > 0 ? 1 : -1;
  int64_t remaining = count > 0 ? static_cast<int64_t>(count) : -static_cast<int64_t>(count);
  int64_t position = table_->current_record();
  while (remaining > 0) {
    position += step;
    if (position < 1 || position > UINT32_MAX || !Exists(static_cast<uint32_t>(position))) {
      eof_ = true;
      return true;
    }
    if (!Read(static_cast<uint32_t>(position))) return false;
    if (Stopped()) return false;
    if (FilterAccepts()) --remaining;
  }
  eof_ = false;
  return true;
}

bool XBaseDatabaseView::Go(int64_t row) {
  if (XBaseIndex* index = MainIndex(); index != nullptr && (row == -1 || row == -2)) {
    uint32_t record = 0;
    if (!(row == -1 ? index->First(&record) : index->Last(&record))) return IndexFailed(index);
    if (!Exists(record)) {
      eof_ = true;
      return true;
    }
    return Read(record);
  }
  int64_t target = row == -1 ? 1 : row == -2 ? static_cast<int64_t>(table_->record_count()) : row;
  if (target < 1 || target > UINT32_MAX || !Exists(static_cast<uint32_t>(target))) {
    eof_ = true;
    return true;
  }
  return Read(static_cast<uint32_t>(target)) && PositionIndex();
}

bool XBaseDatabaseView::ScanFiltered(uint32_t from, int step, uint32_t* found) {
  *found = 0;
  for (int64_t n = from; n >= 1 && n <= UINT32_MAX && Exists(static_cast<uint32_t>(n)); n += step) {
    if (!Read(static_cast<uint32_t>(n))) return false;
    if (Stopped()) return false;
    if (FilterAccepts()) {
      *found = static_cast<uint32_t>(n);
      return true;
    }
  }
  return true;
}

bool XBaseDatabaseView::GoFiltered(int64_t row) {
  if (MainIndex() != nullptr && (row == -1 || row == -2)) return EdgeFiltered(row == -1);
  if (row == -1 || row == -2) {
    uint32_t found = 0;
    bool ok =
        row == -1 ? ScanFiltered(1, 1, &found) : ScanFiltered(table_->record_count(), -1, &found);
    if (!ok) return false;
    eof_ = found == 0;
    return true;
  }
  if (row < 1 || row > UINT32_MAX || !Exists(static_cast<uint32_t>(row))) {
    eof_ = true;
    return true;
  }
  if (!Read(static_cast<uint32_t>(row)) || !PositionIndex()) return false;
  eof_ = !FilterAccepts();
  return true;
}

void XBaseDatabaseView::WriteFields() {
  for (size_t i = 0; i < variables_.size(); ++i) {
    auto* v = static_cast<XBaseVariable*>(variables_.at(i));
    if (v->modified()) v->WriteField();
  }
}

bool XBaseDatabaseView::Add() {
  WriteFields();
  if (!table_->AppendRecord()) return TableFailed();
  eof_ = false;
  if (!IndexNewRecord()) return false;
  // The values read back are the stored forms (padded decimals, cut texts).
  RefreshVariables(true);
  return true;
}

bool XBaseDatabaseView::Update() {
  WriteFields();
  if (table_->current_record() == 0) return Fail("Invalid record number");
  if (!ReindexUpdatedRecord()) return false;
  if (!table_->UpdateRecord()) return TableFailed();
  RefreshVariables(true);
  return true;
}

bool XBaseDatabaseView::Delete() {
  if (!table_->SetDeleted(true)) return TableFailed();
  RefreshVariables(false);
  return true;
}

bool XBaseDatabaseView::Undelete() {
  if (!table_->SetDeleted(false)) return TableFailed();
  RefreshVariables(false);
  return true;
}

bool XBaseDatabaseView::Filter(std::string_view expression) {
  std::string_view text = TrimSpaceTabCrLf(expression);
  if (text.empty()) {
    ReleaseFilter();
    return Go(-1);
  }
  const char* error = nullptr;
  int32_t error_length = 0;
  Segment* segment = ztProgram_Compile_Dynamic_Expression(
      machine_, text.data(), static_cast<int32_t>(text.size()), &error, &error_length);
  if (segment == nullptr) {
    std::string message = "Syntax error in filter: ";
    if (error != nullptr) message.append(error, static_cast<size_t>(error_length));
    return Fail(std::move(message));
  }
  auto filter = std::make_shared<FilterCode>();
  filter->segment = segment;
  filter->text.assign(text);
  SetFilter(std::move(filter));
  return GoFiltered(-1);
}

bool XBaseDatabaseView::RevealStructureToVariable(Variable* target) {
  target->Clear();
  if (!target->ConvertToAggregate(kKindArray)) return Fail("Unable to reveal the structure");
  int32_t index = 1;
  for (const std::unique_ptr<XBaseField>& field : table_->fields()) {
    Variable* element = target->Element(AggregateIndex(index++), true);
    if (element == nullptr || !element->ConvertToAggregate(kKindStructure)) {
      return Fail("Unable to reveal the structure");
    }
    const char letter = field->type_letter();
    const std::string members[4][2] = {{"FIELD_NAME", field->name()},
                                       {"FIELD_TYPE", std::string(1, letter)},
                                       {"FIELD_LEN", Decimal(field->length())},
                                       {"FIELD_DEC", Decimal(field->decimals())}};
    for (const auto& member : members) {
      Variable* m = element->Element(AggregateIndex::Member(member[0]), true);
      if (m == nullptr) return Fail("Unable to reveal the structure");
      m->SetValue(member[1].data(), static_cast<int64_t>(member[1].size()));
    }
  }
  return true;
}

bool XBaseDatabaseView::RevealStructureToFile(std::string_view file_name) {
  FileManager* files = application_->GetFileManager();
  XBaseTable structure(files);
  std::vector<XBaseFieldDefinition> definitions = {{"FIELD_NAME", kXBaseCharacter, 10, 0},
                                                   {"FIELD_TYPE", kXBaseCharacter, 1, 0},
                                                   {"FIELD_LEN", kXBaseNumber, 4, 0},
                                                   {"FIELD_DEC", kXBaseNumber, 4, 0}};
  if (!structure.Create(kDataArea, file_name, "", definitions)) return Fail(structure.error());
  for (const std::unique_ptr<XBaseField>& field : table_->fields()) {
    structure.field(0)->SetValue(field->name());
    structure.field(1)->SetValue(std::string(1, field->type_letter()));
    structure.field(2)->SetValue(Decimal(field->length()));
    structure.field(3)->SetValue(Decimal(field->decimals()));
    if (!structure.AppendRecord()) return Fail(structure.error());
  }
  structure.Close();
  return true;
}

// --- XBaseDatabase ---

XBaseDatabase::XBaseDatabase(ZetoVM* machine, DatabaseRegistry* registry, std::string_view name)
    : Database(machine, registry, name),
      files_(application_ != nullptr ? application_->GetFileManager() : nullptr),
      table_(std::make_unique<XBaseTable>(files_)) {}

XBaseDatabase::~XBaseDatabase() {
  // The views read the table: they go first.
  ReleaseViews();
}

bool XBaseDatabase::TableFailed() {
  return Fail(table_->error());
}

bool XBaseDatabase::MakeView() {
  auto view = std::make_unique<XBaseDatabaseView>(machine_, this, name_, table_.get());
  if (!view->AttachTable(table_.get())) return Fail(view->ErrorText());
  view_ = view.get();
  AddView(std::move(view));
  MakePrimaryView(view_);
  return true;
}

bool XBaseDatabase::Open(std::string_view file, std::string_view, std::string_view,
                         std::string_view, const std::string*) {
  ReleaseViews();
  view_ = nullptr;
  CloseIndexes();
  table_->Close();
  if (files_ == nullptr) return Fail("No file manager");
  if (!table_->Open(kDataArea, file)) return TableFailed();
  return MakeView();
}

bool XBaseDatabase::Close() {
  ReleaseViews();
  view_ = nullptr;
  CloseIndexes();
  table_->Close();
  return true;
}

bool XBaseDatabase::Create(std::string_view file, std::string_view, std::string_view fields) {
  ReleaseViews();
  view_ = nullptr;
  CloseIndexes();
  table_->Close();
  std::vector<XBaseFieldDefinition> definitions;
  std::string error;
  if (!ParseXBaseFieldSpecification(fields, &definitions, &error)) return Fail(std::move(error));
  if (files_ == nullptr) return Fail("No file manager");
  if (!table_->Create(kDataArea, file, "", definitions)) return TableFailed();
  return MakeView();
}

bool XBaseDatabase::OpenView(std::string_view, std::string_view, std::string_view) {
  return Fail("ZtOPENVIEW is not currently supported for databases of type 'xbase3'");
}

bool XBaseDatabase::CloseView(std::string_view) {
  return Fail("ZtCLOSEVIEW is not currently supported for databases of type 'xbase3'");
}

bool XBaseDatabase::Query(std::string_view, std::string_view) {
  return Fail("ZtQUERY is not currently supported for databases of type 'xbase3'");
}

bool XBaseDatabase::Command(std::string_view, std::string_view) {
  return Fail("ZtDBCOMMAND is not currently supported for databases of type 'xbase3'");
}

}  // namespace orin

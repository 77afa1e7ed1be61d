#include "vm/import.h"

#include <algorithm>

#include "files/file_manager.h"
#include "image/opcodes.h"
#include "util/ascii.h"
#include "util/config.h"
#include "variables/dynamic_name.h"
#include "vm/dynamic_expression.h"
#include "vm/tag_instructions.h"
#include "vm/zeto_vm.h"

namespace orin {

namespace {

constexpr int32_t kImportTag = 2;
constexpr int32_t kExportTag = 4;

std::string WithoutNul(std::string text) {
  text.erase(std::remove(text.begin(), text.end(), '\0'), text.end());
  return text;
}

// The variables a comma-separated list of names resolves to.
std::vector<VarRef> ResolveNames(ZetoVM& machine, std::string_view names) {
  std::vector<VarRef> out;
  while (!names.empty()) {
    size_t comma = names.find(',');
    std::string_view name = TrimSpaceTabCrLf(names.substr(0, comma));
    names = comma == std::string_view::npos ? std::string_view() : names.substr(comma + 1);
    if (name.empty()) continue;
    Variable* v = LookupDynamicVariable(machine, name);
    out.push_back(v != nullptr ? VarRef::Share(v) : VarRef());
  }
  return out;
}

uint32_t ImportBufferSize(ZetoVM& machine) {
  Config* config = machine.application()->GetConfig();
  int32_t size = config != nullptr ? config->GetInt(config_key::kBufszImport) : 0;
  return size > 0 ? static_cast<uint32_t>(std::min(size, 1 << 24)) : 8192;
}

}  // namespace

Import::Import(ZetoVM* machine, std::string path, std::string delimiter,
               std::string_view field_names, Segment* filter)
    : Feature(FeatureKind::kImport, machine->CurrentFrame()),
      machine_(machine),
      path_(std::move(path)),
      delimiter_(std::move(delimiter)),
      filter_(filter) {
  Variable* recno = LookupDynamicVariable(*machine, "recno");
  if (recno != nullptr) recno_ = VarRef::Share(recno);
  fields_ = ResolveNames(*machine, field_names);
}

Import::~Import() = default;

bool Import::Open() {
  FileManager* files = machine_->application()->GetFileManager();
  if (files != nullptr) file_ = files->Open(kDataArea, path_, kOpenRead | kOpenMustExist);
  if (!file_) {
    error_ = "Error opening '" + path_ + "': " + (files ? files->ErrorText() : "No file manager");
    return false;
  }
  reader_ = std::make_unique<DelimitedReader>(file_.get(), delimiter_, ImportBufferSize(*machine_));
  return true;
}

bool Import::Accepted() {
  if (filter_ == nullptr) return true;
  int32_t result = 0;
  if (!ztProgram_Execute_Dynamic_Expression_Boolean(machine_, filter_, nullptr, &result)) {
    return false;
  }
  return result != 0;
}

bool Import::NextRecord() {
  for (;;) {
    DelimitedReader::Result r = reader_->Next(&values_, fields_.size());
    if (r == DelimitedReader::kError) {
      error_ = "Error reading from '" + path_ + "': " + reader_->ErrorText();
      return false;
    }
    if (r == DelimitedReader::kEnd) return false;
    for (size_t i = 0; i < fields_.size(); ++i) {
      if (!fields_[i]) continue;
      if (i < values_.size()) {
        fields_[i]->SetValue(values_[i].data(), static_cast<int64_t>(values_[i].size()));
      } else {
        fields_[i]->SetValue("", 0);
      }
    }
    if (filter_ == nullptr) {
      ++record_count_;
      if (recno_) recno_->SetValue_Integer(record_count_);
      return true;
    }
    if (Accepted()) {
      ++record_count_;
      if (recno_) recno_->SetValue_Integer(record_count_);
      return true;
    }
    if (machine_->Aborted()) return false;
  }
}

// import A / importf A: file name, delimiter, field names (and the filter)
// on the stack, the filter on top. A skips the block when it does not
// start.
void ImportBegin(ZetoVM& machine, const TagInstruction& instruction) {
  std::string filter_text, names, delimiter, path;
  if (instruction.opcode == kImportf && !machine.PopText(&filter_text)) return;
  if (!machine.PopText(&names) || !machine.PopText(&delimiter) || !machine.PopText(&path)) return;
  if (machine.Aborted()) return;
  auto skip = [&] {
    if (!machine.Aborted()) machine.Jump(int64_t{instruction.next} + instruction.a);
  };
  Segment* filter = nullptr;
  if (!TrimSpaceTabCrLf(filter_text).empty()) {
    const char* error = nullptr;
    int32_t error_length = 0;
    filter = ztProgram_Compile_Dynamic_Expression(&machine, filter_text.data(),
                                                  static_cast<int32_t>(filter_text.size()), &error,
                                                  &error_length);
    if (filter == nullptr) {
      std::string message = "Syntax error in filter: ";
      if (error != nullptr) message.append(error, static_cast<size_t>(std::max(error_length, 0)));
      machine.RuntimeError(kImportTag, message);
      skip();
      return;
    }
  }
  auto import = std::make_unique<Import>(&machine, WithoutNul(std::move(path)),
                                         std::move(delimiter), names, filter);
  if (!import->Open()) {
    machine.RuntimeError(kImportTag, import->ErrorText());
    skip();
    return;
  }
  if (!import->NextRecord()) {
    if (!import->ErrorText().empty()) machine.RuntimeError(kImportTag, import->ErrorText());
    skip();
    return;
  }
  machine.ClearTagError(kImportTag);
  machine.Features().Push(std::move(import));
}

// import_loop A: the next record, jumping back A to the body; at the end
// the block is left.
void ImportLoop(ZetoVM& machine, const TagInstruction& instruction) {
  Feature* feature = machine.Features().Innermost(FeatureKind::kImport);
  if (feature == nullptr) {
    machine.FatalError("Invalid instruction");
    return;
  }
  auto* import = static_cast<Import*>(feature);
  if (import->NextRecord()) {
    machine.Jump(int64_t{instruction.next} + instruction.a);
    return;
  }
  if (machine.Aborted()) return;
  std::string error = import->ErrorText();
  machine.Features().Stop(feature);
  if (!error.empty()) machine.RuntimeError(kImportTag, error);
}

// import_stop A: leaves the innermost import, continuing A past the
// instruction (after the block).
void ImportStop(ZetoVM& machine, const TagInstruction& instruction) {
  Feature* feature = machine.Features().Innermost(FeatureKind::kImport);
  if (feature == nullptr) {
    machine.FatalError("Invalid instruction");
    return;
  }
  machine.Features().Stop(feature);
  machine.Jump(int64_t{instruction.next} + instruction.a);
}

// export: file name, delimiter, field names on the stack (names on top);
// appends the fields' values as one record.
void ExportRecord(ZetoVM& machine, const TagInstruction&) {
  std::string names, delimiter, path;
  if (!machine.PopText(&names) || !machine.PopText(&delimiter) || !machine.PopText(&path)) return;
  if (machine.Aborted()) return;
  path = WithoutNul(std::move(path));
  std::vector<VarRef> variables = ResolveNames(machine, names);
  std::vector<std::string> values;
  values.reserve(variables.size());
  for (const VarRef& v : variables) {
    values.emplace_back(v ? v->Value().view() : std::string_view());
  }
  std::vector<std::string_view> views(values.begin(), values.end());
  std::string record = FormatDelimitedRecord(views, delimiter);

  FileManager* files = machine.application()->GetFileManager();
  std::unique_ptr<File> file;
  if (files != nullptr) {
    file = files->Open(kDataArea, path, kOpenWrite | kOpenCreate | kOpenAppend);
  }
  if (!file) {
    machine.RuntimeError(kExportTag, "Unable to create file '" + path +
                                         "': " + (files ? files->ErrorText() : "No file manager"));
    return;
  }
  // Appends are short; a partial write is reported, never retried blindly.
  int64_t size = static_cast<int64_t>(record.size());
  int32_t written = size > INT32_MAX ? -1 : file->Write(record.data(), static_cast<int32_t>(size));
  if (written != size) {
    std::string reason = written < 0 ? file->ErrorText() : "Short write";
    machine.RuntimeError(kExportTag, "Unable to write to file '" + path + "': " + reason);
    return;
  }
  machine.ClearTagError(kExportTag);
}

}  // namespace orin

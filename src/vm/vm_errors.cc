// The two error paths of a running script, the time-out and trace entries.
#include <cstdio>

#include "output/output.h"
#include "variables/variable_hash.h"
#include "vm/zeto_vm.h"

namespace orin {

namespace {

constexpr uint32_t kLastTag = kErrorSettingRows - 1;  // 76, the empty row

}  // namespace

// prefix + kind + "<path> @ [segment:offset]: " + "<source file>: " +
// "Line <n>: ", the last two only when known.
std::string ZetoVM::ErrorHeading(std::string_view kind) const {
  char position[32];
  std::snprintf(position, sizeof position, "[%08x:%08x]", static_cast<uint32_t>(segment_),
                instruction_start_);
  std::string text = error_prefix_;
  text.append(kind);
  text += script_path_;
  text += " @ ";
  text += position;
  text += ": ";
  std::string_view file = SourceFileName();
  if (source_file_ >= 0) {
    text.append(file);
    text += ": ";
  }
  if (line_ != 0) {
    text += "Line ";
    text += std::to_string(line_);
    text += ": ";
  }
  return text;
}

void ZetoVM::SetStatus500() {
  if (Output* out = CurrentOutput()) out->SetHeader("Status", "500 Internal Server Error");
}

void ZetoVM::FatalError(std::string_view message) {
  if (aborted_) return;
  SetStatus500();
  std::string text = ErrorHeading("Fatal error in ");
  text.append(message);
  text += "\n";
  aborted_ = true;
  error_text_ = text;
  application_->ReportFatalError(text);
  if (Tracing(kLogFatalError)) {
    WriteTrace(kLogFatalError, {{LogField::kText, text.data(), static_cast<int32_t>(text.size())}});
  }
}

void ZetoVM::RuntimeError(int32_t tag, std::string_view message) {
  // A tag outside the table counts as fatal and displayed.
  bool known = tag >= 0 && static_cast<uint32_t>(tag) <= kLastTag;
  const ErrorSettingRow* row = known ? &ErrorSettingTable()[tag] : nullptr;
  std::string text = ErrorHeading("Runtime error in ");
  if (row != nullptr) {
    text += row->name;
    text += ": ";
  }
  text.append(message);
  text += "\n";

  int32_t setting = row != nullptr ? error_settings_[tag] : kErrorFatal | kErrorDisplay;
  bool fatal = (setting & kErrorFatal) != 0;
  bool display = (setting & kErrorDisplay) != 0 && (frame_->error_flags() & kFrameShowErrors) != 0;
  if (fatal && !aborted_) {
    aborted_ = true;
    error_text_ = text;
    SetStatus500();
  }
  application_->ReportRuntimeError(tag, text, display);
  if (row != nullptr && row->variable_name[0] != 0 && program_.globals != nullptr) {
    program_.globals->SetVariable(row->variable_name, -1, message.data(),
                                  static_cast<int64_t>(message.size()));
  }
  if (Tracing(kLogRuntimeError)) {
    const char* name = row != nullptr ? row->name : "";
    WriteTrace(kLogRuntimeError,
               {{LogField::kText, name, static_cast<int32_t>(std::char_traits<char>::length(name))},
                {LogField::kText, message.data(), static_cast<int32_t>(message.size())}});
  }
}

void ZetoVM::ClearTagError(int32_t tag) {
  if (tag < 0 || static_cast<uint32_t>(tag) > kLastTag || program_.globals == nullptr) return;
  const char* name = ErrorSettingTable()[tag].variable_name;
  if (name[0] != 0) program_.globals->ClearVariable(name, -1);
}

void ZetoVM::TimedOut() {
  static constexpr std::string_view kMessage = "Application timed out";
  aborted_ = true;
  error_text_ = kMessage;
  application_->ReportTimeout(kMessage);
  if (Tracing(kLogTimedOut)) WriteTrace(kLogTimedOut, {});
}

void ZetoVM::WriteTrace(uint32_t event, std::initializer_list<LogField> items) {
  std::string_view file = SourceFileName();
  if (!application_->ShouldTrace(file, line_)) return;
  constexpr size_t kMaxFields = 16;
  LogField fields[kMaxFields];
  size_t n = 0;
  fields[n++] = {LogField::kText, script_path_.data(), static_cast<int32_t>(script_path_.size())};
  fields[n++] = {LogField::kText, file.data(), static_cast<int32_t>(file.size())};
  fields[n++] = {LogField::kInteger, &line_, 4};
  for (const LogField& item : items) {
    if (n + 1 < kMaxFields) fields[n++] = item;
  }
  fields[n] = {LogField::kEnd, nullptr, 0};
  application_->WriteLogLine(event, fields);
}

}  // namespace orin

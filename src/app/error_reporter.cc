#include "app/error_reporter.h"

#include "platform/system_log.h"
#include "util/ascii.h"
#include "util/config.h"
#include "vm/error_settings.h"

namespace orin {
namespace {

bool IsSeparator(char c) {
  return c == ',' || IsSpace(c);
}

void SkipSpaces(std::string_view text, size_t* pos) {
  while (*pos < text.size() && IsSpace(text[*pos]))
    ++*pos;
}

}  // namespace

bool ErrorSyslogEntry::Matches(std::string_view message) const {
  return pattern_.empty() || message.find(pattern_) != std::string_view::npos;
}

void ErrorReporter::ParseErrorSyslog() {
  if (parsed_) return;
  parsed_ = true;
  std::string_view text = config_->GetText(config_key::kErrorSyslog);
  if (text.empty()) return;
  fatal_.clear();
  input_.clear();
  timeout_.clear();
  runtime_.clear();
  size_t pos = 0;
  while (pos < text.size()) {
    while (pos < text.size() && IsSeparator(text[pos]))
      ++pos;
    if (pos >= text.size()) break;
    size_t start = pos;
    while (pos < text.size() && !IsSeparator(text[pos]) && text[pos] != ':')
      ++pos;
    std::string_view key = text.substr(start, pos - start);
    std::string pattern;
    SkipSpaces(text, &pos);
    if (pos < text.size() && text[pos] == ':') {
      ++pos;
      SkipSpaces(text, &pos);
      if (pos < text.size() && text[pos] == '"') {
        size_t close = text.find('"', pos + 1);
        // An unterminated pattern takes the rest of the text and counts as empty.
        if (close != std::string_view::npos) pattern.assign(text.substr(pos + 1, close - pos - 1));
        pos = close == std::string_view::npos ? text.size() : close + 1;
      }
    }
    if (key.empty()) {
      continue;  // a stray ":" (consumed above)
    }
    if (EqualsNoCase(key, "fatal")) {
      fatal_.push_back(std::make_unique<ErrorSyslogEntry>(std::move(pattern)));
    } else if (EqualsNoCase(key, "input")) {
      input_.push_back(std::make_unique<ErrorSyslogEntry>(std::move(pattern)));
    } else if (EqualsNoCase(key, "timeout")) {
      timeout_.push_back(std::make_unique<ErrorSyslogEntry>(std::move(pattern)));
    } else if (int tag = TagLookup(key); tag >= 0) {
      runtime_.push_back(std::make_unique<ErrorSyslogRuntimeEntry>(std::move(pattern), tag));
    }
  }
}

int ErrorReporter::Report(const EntryList& entries, std::string_view message) {
  int events = 0;
  for (const auto& entry : entries) {
    if (!entry->Matches(message)) continue;
    ReportErrorEvent(message);
    ++events;
  }
  return events;
}

int ErrorReporter::ReportInputError(std::string_view message) {
  ParseErrorSyslog();
  return Report(input_, message);
}

int ErrorReporter::ReportFatalError(std::string_view message) {
  ParseErrorSyslog();
  return Report(fatal_, message);
}

int ErrorReporter::ReportTimeout(std::string_view message) {
  ParseErrorSyslog();
  return Report(timeout_, message);
}

int ErrorReporter::ReportRuntimeError(int32_t code, std::string_view message) {
  ParseErrorSyslog();
  int events = 0;
  for (const auto& entry : runtime_) {
    if (!entry->MatchesCode(code, message)) continue;
    ReportErrorEvent(message);
    ++events;
  }
  return events;
}

void ErrorReporter::WriteEvent(uint32_t ident_key, uint32_t facility_key, uint32_t priority_key,
                               std::string_view message) {
  std::string_view ident = config_->GetText(ident_key);
  WriteSystemLog(ident.empty() ? "Zeto" : ident, SyslogFacility(config_->GetText(facility_key)),
                 SyslogPriority(config_->GetText(priority_key)), message);
}

void ErrorReporter::ReportErrorEvent(std::string_view message) {
  WriteEvent(config_key::kErrorSyslogIdent, config_key::kErrorSyslogFacility,
             config_key::kErrorSyslogPriority, message);
}

void ErrorReporter::ReportSlowRequest(std::string_view message) {
  WriteEvent(config_key::kSlowRequestSyslogIdent, config_key::kSlowRequestSyslogFacility,
             config_key::kSlowRequestSyslogPriority, message);
}

std::string SlowRequestMessage(int64_t seconds, std::string_view remote_addr,
                               std::string_view document_url, std::string_view query_string) {
  auto shown = [](std::string_view v) { return v.empty() ? std::string_view("NULL") : v; };
  std::string text = "Slow Request: " + std::to_string(seconds) + " seconds: ";
  text += "remote_addr=";
  text += shown(remote_addr);
  text += ", documenturl=";
  text += shown(document_url);
  text += ", query_string=";
  text += shown(query_string);
  return text;
}

}  // namespace orin

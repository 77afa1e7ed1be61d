#include "app/run_log.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/append_file.h"
#include "util/ascii.h"
#include "util/byte_string.h"
#include "util/config.h"
#include "variables/decimal.h"
#include "variables/value_walk.h"
#include "variables/variable.h"

namespace orin {
namespace {

constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// Writes the dump of a value as WalkValue goes through it.
class DumpVisitor {
 public:
  explicit DumpVisitor(std::string* out) : out_(out) {}

  void Enter(Variable*, const AggregateElement* element, AggregateElementTree* tree) {
    Item(element);
    if (tree->by_name()) {
      *out_ += "{ ";
    } else {
      *out_ += '[';
      *out_ += std::to_string(tree->size());
      *out_ += "] = [ ";
    }
    open_.push_back({tree->by_name(), true});
  }
  void Leave(Variable*) {
    *out_ += open_.back().structure ? " }" : " ]";
    open_.pop_back();
  }
  void Scalar(Variable* v, const AggregateElement* element) {
    Item(element);
    AppendEscaped(v->Value().view(), out_);
  }
  // A value that contains itself shows nothing where it would repeat.
  void Cycle(Variable*, const AggregateElement* element) { Item(element); }

 private:
  struct Open {
    bool structure;
    bool first;
  };

  void Item(const AggregateElement* element) {
    if (element == nullptr) return;
    if (!open_.back().first) *out_ += ", ";
    open_.back().first = false;
    if (element->Key().is_member()) {
      AppendEscaped(element->Key().name(), out_);
      *out_ += ": ";
    }
  }

  std::string* out_;
  std::vector<Open> open_;
};

void AppendField(const LogField& field, std::string* out) {
  switch (field.type) {
    case LogField::kText: {
      const char* text = static_cast<const char*>(field.data);
      if (text == nullptr) break;
      AppendEscaped(MeasuredText(text, field.length), out);
      break;
    }
    case LogField::kInteger:
      if (field.data != nullptr) *out += std::to_string(*static_cast<const int32_t*>(field.data));
      break;
    case LogField::kNumber:
      if (field.data != nullptr) {
        uint32_t length = 0, capacity = 0;
        char* text = TextFromDecimal(static_cast<const mpd_t*>(field.data), &length, &capacity);
        out->append(text, length);
        std::free(text);
      }
      break;
    case LogField::kVariable:
      if (field.data != nullptr) {
        AppendVariableDump(static_cast<Variable*>(const_cast<void*>(field.data)), out);
      }
      break;
    case LogField::kEnd:
      break;
  }
}

// Decimal digits at `pos` (none: 0), held below 2^31.
int32_t ReadNumber(std::string_view text, size_t* pos, bool* any) {
  int64_t value = 0;
  *any = false;
  while (*pos < text.size() && text[*pos] >= '0' && text[*pos] <= '9') {
    *any = true;
    value = value * 10 + (text[(*pos)++] - '0');
    if (value > INT32_MAX) value = INT32_MAX;
  }
  return static_cast<int32_t>(value);
}

void SkipBlanks(std::string_view text, size_t* pos) {
  while (*pos < text.size() && IsSpace(text[*pos]))
    ++*pos;
}

}  // namespace

bool LogFilterEntry::Matches(std::string_view file, int32_t line) const {
  return file == name && (first == 0 || first <= line) && (last == 0 || last >= line);
}

std::string_view LogEventName(uint32_t event) {
  switch (event) {
    case kLogFunctionCall:
      return "Function Call";
    case kLogFunctionParameter:
      return "Function Parameter";
    case kLogFunctionReturnValue:
      return "Function Return Value";
    case kLogFunctionReturn:
      return "Function Return";
    case kLogExternalCall:
      return "External Function Call";
    case kLogExternalParameter:
      return "External Function Parameter";
    case kLogExternalReturnValue:
      return "External Function Return Value";
    case kLogExternalReturn:
      return "External Function Return";
    case kLogDoEnter:
      return "ZtDO Enter";
    case kLogDoExit:
      return "ZtDO Exit";
    case kLogHttpCall:
      return "ZtCALL";
    case kLogSmtp:
      return "ZtSMTP";
    case kLogTaskStart:
      return "Request Start";
    case kLogTaskEnd:
      return "Request End";
    case kLogTimedOut:
      return "Application Timed Out";
    case kLogRuntimeError:
      return "Runtime Error";
    case kLogFatalError:
      return "Fatal Error";
    case kLogTrace:
      return "Trace";
    default:
      return "Unknown";
  }
}

void AppendEscaped(std::string_view text, std::string* out) {
  size_t run = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    auto c = static_cast<unsigned char>(text[i]);
    if (c >= 32) continue;
    out->append(text.data() + run, i - run);
    char escape[8];
    std::snprintf(escape, sizeof escape, "\\x%02x", c);
    *out += escape;
    run = i + 1;
  }
  out->append(text.data() + run, text.size() - run);
}

void AppendVariableDump(Variable* variable, std::string* out) {
  DumpVisitor visitor(out);
  WalkValue(variable, visitor);
}

std::string FormatLogLine(const LocalTime& time, uint32_t process_id, uint32_t thread_id,
                          uint32_t event, const LogField* fields) {
  char prefix[128];
  const char* month = kMonths[(time.month >= 1 && time.month <= 12) ? time.month - 1 : 0];
  std::snprintf(prefix, sizeof prefix, "%.3s %-2d %-4d %02d:%02d:%02d.%06ld\t%u.%u\t", month,
                time.day, time.year, time.hour, time.minute, time.second,
                static_cast<long>(time.microsecond), process_id, thread_id);
  std::string line = prefix;
  line += LogEventName(event);
  for (const LogField* f = fields; f != nullptr && f->type != LogField::kEnd; ++f) {
    line += '\t';
    AppendField(*f, &line);
  }
  line += '\n';
  return line;
}

RunLog::RunLog(Config* config, uint32_t process_id, uint32_t thread_id)
    : config_(config), process_id_(process_id), thread_id_(thread_id) {}

uint32_t RunLog::LogLevel() const {
  return static_cast<uint32_t>(config_->GetInt(config_key::kLogLevel));
}

void RunLog::LogEvent(uint32_t event, std::string_view request_uri) {
  if ((LogLevel() & event) == 0) return;
  LogField fields[] = {
      {LogField::kText, request_uri.data(), static_cast<int32_t>(request_uri.size())},
      {LogField::kEnd, nullptr, 0},
  };
  WriteLogLine(event, fields);
}

void RunLog::WriteLogLine(uint32_t event, const LogField* fields) {
  std::string_view path = config_->GetText(config_key::kLogFile);
  if (path.empty()) return;
  AppendToFile(std::string(path),
               FormatLogLine(LocalTimeNow(), process_id_, thread_id_, event, fields));
}

void RunLog::ParseLogFilter(std::string_view text) {
  includes_.clear();
  excludes_.clear();
  size_t pos = 0;
  while (pos < text.size()) {
    SkipBlanks(text, &pos);
    if (pos >= text.size()) break;
    if (text[pos] == ',') {
      ++pos;
      continue;
    }
    bool exclude = text[pos] == '!';
    if (exclude) {
      ++pos;
      SkipBlanks(text, &pos);
    }
    size_t start = pos;
    while (pos < text.size() && !IsSpace(text[pos]) && text[pos] != ':' && text[pos] != ',')
      ++pos;
    LogFilterEntry entry;
    entry.name.assign(text.substr(start, pos - start));
    SkipBlanks(text, &pos);
    if (pos < text.size() && text[pos] == ':') {
      ++pos;
      SkipBlanks(text, &pos);
      bool any;
      entry.first = entry.last = ReadNumber(text, &pos, &any);
      SkipBlanks(text, &pos);
      if (pos < text.size() && text[pos] == '-') {
        ++pos;
        SkipBlanks(text, &pos);
        entry.last = ReadNumber(text, &pos, &any);  // "-" alone: to the end
      }
    }
    // "!" or ":" with no name would match no file, or only a nameless one.
    if (entry.name.empty()) continue;
    (exclude ? excludes_ : includes_).push_back(std::move(entry));
  }
}

bool RunLog::ShouldTrace(std::string_view file, int32_t line) const {
  if (log_cookie_mismatch_) return false;
  for (const LogFilterEntry& e : excludes_) {
    if (e.Matches(file, line)) return false;
  }
  if (includes_.empty()) return true;
  for (const LogFilterEntry& e : includes_) {
    if (e.Matches(file, line)) return true;
  }
  return false;
}

void RunLog::CheckLogCookie(const ByteString* cookie_header) {
  std::string_view wanted = config_->GetText(config_key::kLogCookie);
  if (wanted.empty()) return;
  constexpr std::string_view kName = "zetologcookie=";
  std::string_view header = cookie_header != nullptr ? cookie_header->view() : std::string_view();
  size_t at = header.find(kName);
  if (at == std::string_view::npos) {
    log_cookie_mismatch_ = true;
    return;
  }
  std::string_view value = header.substr(at + kName.size());
  value = value.substr(0, value.find(';'));
  log_cookie_mismatch_ = value != wanted;
}

}  // namespace orin

#include "vm/system_variables.h"

#include <cstdlib>
#include <memory>
#include <utility>

#include "platform/clock.h"
#include "platform/local_time.h"
#include "util/byte_string.h"
#include "variables/decimal.h"
#include "variables/variable_hash.h"
#include "vm/zeto_application.h"

namespace orin {

namespace {

constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

constexpr std::string_view kTimeNames[] = {
    "dyn_time_t",   "dyn_tm_usec", "dyn_tm_sec",   "dyn_tm_min",  "dyn_tm_hour",
    "dyn_tm_mday",  "dyn_tm_mon",  "dyn_stm_mon",  "dyn_tm_year", "dyn_tm_wday",
    "dyn_stm_wday", "dyn_tm_yday", "dyn_tm_isdst", "dyn_stm_zone"};
static_assert(std::size(kTimeNames) == DynamicTimeVariable::kFieldCount);

}  // namespace

TimeFields BreakDownTime(int64_t seconds, int32_t microseconds) {
  // What an unconvertible time shows: the fields of an all-zero calendar time.
  LocalTime local;
  local.year = 1900;
  local.day = 0;
  BreakDownLocalTime(seconds, &local);
  TimeFields f;
  f.time_t_seconds = static_cast<int32_t>(seconds);
  f.microseconds = microseconds;
  f.second = local.second;
  f.minute = local.minute;
  f.hour = local.hour;
  f.day = local.day;
  f.month = local.month;
  f.month_name = kMonths[(local.month - 1) % 12];
  f.year = local.year;
  f.weekday = local.weekday + 1;
  f.weekday_name = kDays[local.weekday % 7];
  f.yearday = local.yearday + 1;
  f.dst = local.dst;
  f.zone = std::move(local.zone);
  return f;
}

TimeFields CurrentTimeFields() {
  WallClockTime now = WallClockNow();
  return BreakDownTime(now.seconds, now.nanoseconds / 1000);
}

// --- Settable variables ---

SettableSystemVariable::SettableSystemVariable(std::string_view name, ZetoApplication* application,
                                               Setting setting)
    : DynamicImmutableVariable(name), application_(application), setting_(setting) {
  Lock();
}

std::string_view SettableSystemVariable::Current() const {
  switch (setting_) {
    case Setting::kCharacterSet:
      return application_->CharacterSet();
    case Setting::kLanguage:
      return application_->Language();
    case Setting::kDefaultLanguage:
      return application_->DefaultLanguage();
    case Setting::kDefaultDatabase:
      return application_->DefaultDatabase();
  }
  return {};
}

uint32_t SettableSystemVariable::Counter() const {
  switch (setting_) {
    case Setting::kCharacterSet:
      return application_->CharacterSetCounter();
    case Setting::kLanguage:
      return application_->LanguageCounter();
    case Setting::kDefaultLanguage:
      return application_->DefaultLanguageCounter();
    case Setting::kDefaultDatabase:
      return application_->DefaultDatabaseCounter();
  }
  return 0;
}

bool SettableSystemVariable::IsCurrent() {
  return refreshed_ && counter_ == Counter();
}

void SettableSystemVariable::Refresh() {
  refreshed_ = true;
  counter_ = Counter();
  std::string_view setting = Current();
  StoreText(setting.data(), setting.size());
}

bool SettableSystemVariable::Assign(std::string_view text) {
  // Copied first: the setter may replace the storage `text` points into.
  std::string value(text);
  switch (setting_) {
    case Setting::kCharacterSet:
      application_->SetCharacterSet(value);
      break;
    case Setting::kLanguage:
      application_->SetLanguage(value);
      break;
    case Setting::kDefaultLanguage:
      application_->SetDefaultLanguage(value);
      break;
    case Setting::kDefaultDatabase:
      application_->SetDefaultDatabase(value);
      break;
  }
  StoreText(value.data(), value.size());
  return true;
}

bool SettableSystemVariable::SetValue_Variable(Variable* source) {
  if (source == nullptr) return false;
  return Assign(source->Value().view());
}

bool SettableSystemVariable::SetValue(const char* bytes, int64_t length) {
  return Assign(MeasuredText(bytes, length));
}

bool SettableSystemVariable::SetValue_Nocopy(char* buffer, uint32_t length, uint32_t) {
  std::unique_ptr<char, decltype(&std::free)> owned(buffer, &std::free);
  return Assign(buffer != nullptr ? std::string_view(buffer, length) : std::string_view());
}

bool SettableSystemVariable::SetValue_Integer(int32_t value) {
  char text[16];
  uint32_t n = FormatInteger(value, text);
  return Assign(std::string_view(text, n));
}

bool SettableSystemVariable::SetValue_DecimalCopy(const mpd_t* value) {
  if (value == nullptr) return Assign({});
  uint32_t n = 0, capacity = 0;
  std::unique_ptr<char, decltype(&std::free)> text(TextFromDecimal(value, &n, &capacity),
                                                   &std::free);
  return Assign(std::string_view(text.get(), n));
}

bool SettableSystemVariable::SetValue_Decimal(mpd_t* value) {
  DecimalPtr owned(value);
  return SetValue_DecimalCopy(value);
}

// --- Read-only variables ---

ProcessNameVariable::ProcessNameVariable(ZetoApplication* application)
    : DynamicImmutableVariable("process_name"), application_(application) {
  Lock();
}

void ProcessNameVariable::Refresh() {
  computed_ = true;
  std::string_view name = application_->ProcessName();
  StoreText(name.data(), name.size());
}

SSLAvailableVariable::SSLAvailableVariable(ZetoApplication* application)
    : DynamicImmutableVariable("zeto_sslavailable"), application_(application) {
  StoreInteger(0);
  Lock();
}

void SSLAvailableVariable::Refresh() {
  computed_ = true;
  StoreInteger(application_->EnsureSsl() ? 1 : 0);
}

TimeRemainingVariable::TimeRemainingVariable(ZetoApplication* application)
    : DynamicImmutableVariable("dyn_time_remaining"), application_(application) {
  StoreInteger(0);
  Lock();
}

void TimeRemainingVariable::Refresh() {
  StoreInteger(application_->TimeRemaining());
}

std::string_view DynamicTimeVariable::NameOf(Field field) {
  return field >= 0 && field < kFieldCount ? kTimeNames[field] : std::string_view();
}

DynamicTimeVariable::DynamicTimeVariable(Field field)
    : DynamicImmutableVariable(NameOf(field)), field_(field) {
  if (IsText(field)) {
    StoreText("", 0);
  } else {
    StoreInteger(0);
  }
  Lock();
}

void DynamicTimeVariable::Refresh() {
  TimeFields now = CurrentTimeFields();
  auto text = [this](std::string_view t) { StoreText(t.data(), t.size()); };
  switch (field_) {
    case kTimeT:
      StoreInteger(now.time_t_seconds);
      break;
    case kMicroseconds:
      StoreInteger(now.microseconds);
      break;
    case kSecond:
      StoreInteger(now.second);
      break;
    case kMinute:
      StoreInteger(now.minute);
      break;
    case kHour:
      StoreInteger(now.hour);
      break;
    case kDay:
      StoreInteger(now.day);
      break;
    case kMonth:
      StoreInteger(now.month);
      break;
    case kMonthName:
      text(now.month_name);
      break;
    case kYear:
      StoreInteger(now.year);
      break;
    case kWeekday:
      StoreInteger(now.weekday);
      break;
    case kWeekdayName:
      text(now.weekday_name);
      break;
    case kYearday:
      StoreInteger(now.yearday);
      break;
    case kDst:
      StoreInteger(now.dst);
      break;
    case kZone:
      text(now.zone);
      break;
    case kFieldCount:
      break;
  }
}

void AddDynamicSystemVariables(VariableHash* scope, ZetoApplication* application) {
  for (int32_t f = 0; f < DynamicTimeVariable::kFieldCount; ++f) {
    scope->AdoptVariable(new DynamicTimeVariable(static_cast<DynamicTimeVariable::Field>(f)));
  }
  scope->AdoptVariable(new TimeRemainingVariable(application));
  scope->AdoptVariable(new LanguageVariable(application));
  scope->AdoptVariable(new DefaultLanguageVariable(application));
  scope->AdoptVariable(new DefaultDatabaseVariable(application));
  scope->AdoptVariable(new CharacterSetVariable(application));
  scope->AdoptVariable(new SSLAvailableVariable(application));
}

}  // namespace orin

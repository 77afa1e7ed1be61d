// System variables whose values the running application supplies: the
// settings a script may change (character set, languages, default
// database), the process name, TLS availability, the time left and the
// fields of the current local time.
//
// All are locked DynamicImmutableVariables (ordinary assignment does not
// change them) that recompute on access when IsCurrent says so. The
// settable ones take any assignment as text and hand it to the
// application's setter; they then show the application's setting, which
// they re-read whenever its change counter moves, so a value restored by a
// save level (spop) or changed by a library is never stale.
#ifndef ORIN_VM_SYSTEM_VARIABLES_H_
#define ORIN_VM_SYSTEM_VARIABLES_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "variables/immutable_variable.h"

namespace orin {

class VariableHash;
class ZetoApplication;

// A moment broken into the fields scripts see, in the order of their
// codes (DynamicTimeVariable::Field).
struct TimeFields {
  int32_t time_t_seconds;  // since 1970-01-01 00:00 UTC
  int32_t microseconds;
  int32_t second;  // local time from here on
  int32_t minute;
  int32_t hour;
  int32_t day;               // of the month, 1-31
  int32_t month;             // 1-12
  const char* month_name;    // "Jan" ... "Dec"
  int32_t year;              // four digits
  int32_t weekday;           // 1-7, Sunday = 1
  const char* weekday_name;  // "Sun" ... "Sat"
  int32_t yearday;           // 1-366
  int32_t dst;               // as the local-time conversion reports it
  std::string zone;          // standard name, or daylight name during DST
};

TimeFields BreakDownTime(int64_t seconds, int32_t microseconds);
TimeFields CurrentTimeFields();

// Base of the four settable variables.
class SettableSystemVariable : public DynamicImmutableVariable {
 public:
  enum class Setting { kCharacterSet, kLanguage, kDefaultLanguage, kDefaultDatabase };

  SettableSystemVariable(std::string_view name, ZetoApplication* application, Setting setting);

  bool IsCurrent() override;
  void Refresh() override;

  bool SetValue_Variable(Variable* source) override;
  bool SetValue(const char* bytes, int64_t length) override;
  bool SetValue_Nocopy(char* buffer, uint32_t length, uint32_t capacity) override;
  bool SetValue_Integer(int32_t value) override;
  bool SetValue_DecimalCopy(const mpd_t* value) override;
  bool SetValue_Decimal(mpd_t* value) override;

 private:
  std::string_view Current() const;
  uint32_t Counter() const;
  bool Assign(std::string_view text);

  ZetoApplication* application_;
  Setting setting_;
  uint32_t counter_ = 0;
  bool refreshed_ = false;
};

class CharacterSetVariable : public SettableSystemVariable {
 public:
  explicit CharacterSetVariable(ZetoApplication* application)
      : SettableSystemVariable("zeto_charset", application, Setting::kCharacterSet) {}
};

class LanguageVariable : public SettableSystemVariable {
 public:
  explicit LanguageVariable(ZetoApplication* application)
      : SettableSystemVariable("zeto_language", application, Setting::kLanguage) {}
};

class DefaultLanguageVariable : public SettableSystemVariable {
 public:
  explicit DefaultLanguageVariable(ZetoApplication* application)
      : SettableSystemVariable("zeto_defaultlanguage", application, Setting::kDefaultLanguage) {}
};

class DefaultDatabaseVariable : public SettableSystemVariable {
 public:
  explicit DefaultDatabaseVariable(ZetoApplication* application)
      : SettableSystemVariable("zeto_defaultdatabase", application, Setting::kDefaultDatabase) {}
};

// Computed once: the name stays what it was when first read.
class ProcessNameVariable : public DynamicImmutableVariable {
 public:
  explicit ProcessNameVariable(ZetoApplication* application);
  bool IsCurrent() override { return computed_; }
  void Refresh() override;

 private:
  ZetoApplication* application_;
  bool computed_ = false;
};

// 1 when TLS can be used, else 0 (an integer from the start); asked once.
class SSLAvailableVariable : public DynamicImmutableVariable {
 public:
  explicit SSLAvailableVariable(ZetoApplication* application);
  bool IsCurrent() override { return computed_; }
  void Refresh() override;

 private:
  ZetoApplication* application_;
  bool computed_ = false;
};

// Seconds before the global time-out (an integer from the start), read on
// every access.
class TimeRemainingVariable : public DynamicImmutableVariable {
 public:
  explicit TimeRemainingVariable(ZetoApplication* application);
  bool IsCurrent() override { return false; }
  void Refresh() override;

 private:
  ZetoApplication* application_;
};

// One field of the current local time, read from the clock on every access.
class DynamicTimeVariable : public DynamicImmutableVariable {
 public:
  enum Field : int32_t {
    kTimeT = 0,
    kMicroseconds,
    kSecond,
    kMinute,
    kHour,
    kDay,
    kMonth,
    kMonthName,
    kYear,
    kWeekday,
    kWeekdayName,
    kYearday,
    kDst,
    kZone,
    kFieldCount
  };
  // "dyn_time_t" ... "dyn_stm_zone" by field code.
  static std::string_view NameOf(Field field);
  static bool IsText(Field field) {
    return field == kMonthName || field == kWeekdayName || field == kZone;
  }

  // Starts with an empty value of its field's type.
  explicit DynamicTimeVariable(Field field);
  bool IsCurrent() override { return false; }
  void Refresh() override;

 private:
  Field field_;
};

// Adds the variables of this file, in their fixed order: the fourteen time
// fields, "dyn_time_remaining", "zeto_language", "zeto_defaultlanguage",
// "zeto_defaultdatabase", "zeto_charset", "zeto_sslavailable".
void AddDynamicSystemVariables(VariableHash* scope, ZetoApplication* application);

}  // namespace orin

#endif  // ORIN_VM_SYSTEM_VARIABLES_H_

#include "core/dates.h"

#include <date/tz.h>

// g++ 12 sees the date library's fractional-seconds parser, inlined here,
// read a value it always writes first.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#include <chrono>
#include <climits>
#include <limits>

namespace orin_std {

namespace {

using std::chrono::seconds;
using Sys = date::sys_seconds;
using Local = date::local_seconds;

// 0001-01-01T00:00:00Z and 9999-12-31T23:59:59Z.
constexpr int64_t kFirstSecond = -62135596800;
constexpr int64_t kLastSecond = 253402300799;

bool CheckInstant(int64_t s, std::string* error) {
  if (s >= kFirstSecond && s <= kLastSecond) return true;
  *error = "the time " + std::to_string(s) + " is outside the years 1 to 9999";
  return false;
}

bool FindZone(std::string_view name, const date::time_zone** zone, std::string* error) {
  try {
    if (name.empty()) {
      try {
        *zone = date::current_zone();
      } catch (const std::exception&) {
        *zone = date::locate_zone("Etc/UTC");  // no /etc/localtime
      }
    } else {
      *zone = date::locate_zone(std::string(name));
    }
    return true;
  } catch (const std::exception&) {
    *error = "unknown time zone '" + std::string(name.substr(0, 64)) + "'";
    return false;
  }
}

// Only conversions the library writes and reads the same way everywhere.
bool CheckFormat(std::string_view format, std::string* error) {
  static constexpr std::string_view kKnown = "aAbBcCdDeFgGhHIjmMnprRStTuUVwWyYzZ%";
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] == '\0') {
      *error = "the format contains a NUL byte";
      return false;
    }
    if (format[i] != '%') continue;
    if (i + 1 == format.size() || kKnown.find(format[i + 1]) == std::string_view::npos) {
      *error = "unknown conversion '" + std::string(format.substr(i, 2)) + "' in the format";
      return false;
    }
    ++i;
  }
  return true;
}

enum class Unit { kSecond, kMinute, kHour, kDay, kWeek, kMonth, kYear };

bool FindUnit(std::string_view name, Unit* unit, std::string* error) {
  std::string lower;
  for (char c : name)
    lower.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c);
  if (lower.size() > 1 && lower.back() == 's') lower.pop_back();
  static const std::pair<std::string_view, Unit> kUnits[] = {
      {"second", Unit::kSecond}, {"minute", Unit::kMinute}, {"hour", Unit::kHour},
      {"day", Unit::kDay},       {"week", Unit::kWeek},     {"month", Unit::kMonth},
      {"year", Unit::kYear}};
  for (const auto& [text, value] : kUnits) {
    if (lower == text) {
      *unit = value;
      return true;
    }
  }
  *error = "unknown unit '" + std::string(name.substr(0, 32)) +
           "' (second, minute, hour, day, week, month or year)";
  return false;
}

int64_t SecondsOf(Unit unit) {
  switch (unit) {
    case Unit::kMinute:
      return 60;
    case Unit::kHour:
      return 3600;
    default:
      return 1;
  }
}

// The C library's strptime reads the fields (the date library's parser
// computes with an unset value when the seconds do not parse); the date
// library checks the calendar and converts in the zone.
bool ParseWith(const std::string& text, const char* format, const date::time_zone* zone,
               int64_t* out) {
  struct tm tm = {};
  tm.tm_year = 70;
  tm.tm_mday = 1;
  tm.tm_gmtoff = LONG_MIN;  // stays unless %z matched
  const char* rest = strptime(text.c_str(), format, &tm);
  if (rest == nullptr) return false;
  while (*rest == ' ' || *rest == '\t' || *rest == '\r' || *rest == '\n')
    ++rest;
  if (*rest != '\0') return false;  // the whole text, not a prefix of it
  date::year_month_day ymd{date::year{tm.tm_year + 1900}, date::month(tm.tm_mon + 1),
                           date::day(tm.tm_mday)};
  if (!ymd.ok() || tm.tm_hour > 23 || tm.tm_min > 59 || tm.tm_sec > 59) return false;
  Local local{date::local_days{ymd}.time_since_epoch() +
              seconds{tm.tm_hour * 3600 + tm.tm_min * 60 + tm.tm_sec}};
  Sys sys = tm.tm_gmtoff != LONG_MIN ? Sys{local.time_since_epoch() - seconds{tm.tm_gmtoff}}
                                     : zone->to_sys(local, date::choose::earliest);
  *out = sys.time_since_epoch().count();
  return true;
}

}  // namespace

int64_t NowSeconds() {
  return std::chrono::duration_cast<seconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

bool FormatTime(int64_t s, std::string_view format, std::string_view zone_name, std::string* out,
                std::string* error) {
  const date::time_zone* zone;
  if (!CheckInstant(s, error) || !CheckFormat(format, error) ||
      !FindZone(zone_name, &zone, error)) {
    return false;
  }
  try {
    date::zoned_seconds zoned(zone, Sys{seconds{s}});
    *out = date::format(std::locale::classic(), std::string(format), zoned);
    return true;
  } catch (const std::exception& e) {
    *error = e.what();
    return false;
  }
}

bool ParseTime(std::string_view text, std::string_view format, std::string_view zone_name,
               int64_t* out, std::string* error) {
  const date::time_zone* zone;
  if (!CheckFormat(format, error) || !FindZone(zone_name, &zone, error)) return false;
  std::string copy(text);
  bool parsed = false;
  try {
    if (copy.find('\0') == std::string::npos) {
      if (!format.empty()) {
        parsed = ParseWith(copy, std::string(format).c_str(), zone, out);
      } else {
        // %z also takes "Z" and "+HH:MM".
        static const char* const kIso[] = {"%Y-%m-%dT%H:%M:%S%z", "%Y-%m-%dT%H:%M:%S",
                                           "%Y-%m-%d %H:%M:%S%z", "%Y-%m-%d %H:%M:%S", "%Y-%m-%d"};
        for (const char* iso : kIso) {
          if ((parsed = ParseWith(copy, iso, zone, out))) break;
        }
      }
    }
  } catch (const std::exception&) {
    parsed = false;
  }
  if (!parsed) {
    std::string shown = copy.substr(0, 64);
    *error = format.empty() ? "'" + shown + "' is not a date in the form YYYY-MM-DD[ HH:MM:SS]"
                            : "'" + shown + "' does not match the format '" +
                                  std::string(format.substr(0, 64)) + "'";
    return false;
  }
  return CheckInstant(*out, error);
}

bool MakeTime(int64_t year, int64_t month, int64_t day, int64_t hour, int64_t minute,
              int64_t second, std::string_view zone_name, int64_t* out, std::string* error) {
  const date::time_zone* zone;
  if (!FindZone(zone_name, &zone, error)) return false;
  bool valid = year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 && day <= 31;
  date::year_month_day ymd{};
  if (valid) {
    ymd = date::year{static_cast<int>(year)} / static_cast<unsigned>(month) /
          static_cast<unsigned>(day);
    valid = ymd.ok();
  }
  if (!valid || hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) {
    *error = "invalid date or time " + std::to_string(year) + "-" + std::to_string(month) + "-" +
             std::to_string(day) + " " + std::to_string(hour) + ":" + std::to_string(minute) + ":" +
             std::to_string(second);
    return false;
  }
  Local local =
      Local{date::local_days{ymd}.time_since_epoch()} + seconds{hour * 3600 + minute * 60 + second};
  *out = zone->to_sys(local, date::choose::earliest).time_since_epoch().count();
  return CheckInstant(*out, error);
}

bool AddTime(int64_t s, int64_t amount, std::string_view unit_name, std::string_view zone_name,
             int64_t* out, std::string* error) {
  const date::time_zone* zone;
  Unit unit;
  if (!CheckInstant(s, error) || !FindUnit(unit_name, &unit, error) ||
      !FindZone(zone_name, &zone, error)) {
    return false;
  }
  // Anything beyond this leaves the years 1 to 9999 whatever the unit.
  if (amount < -kLastSecond || amount > kLastSecond) {
    *error = "the amount " + std::to_string(amount) + " is too large";
    return false;
  }
  if (unit == Unit::kSecond || unit == Unit::kMinute || unit == Unit::kHour) {
    *out = s + amount * SecondsOf(unit);
    return CheckInstant(*out, error);
  }
  Local local = zone->to_local(Sys{seconds{s}});
  date::local_days days = date::floor<date::days>(local);
  seconds time_of_day = local - days;
  if (unit == Unit::kDay || unit == Unit::kWeek) {
    int64_t n = unit == Unit::kWeek ? amount * 7 : amount;
    if (n > 4000000 || n < -4000000) {
      *error = "the amount " + std::to_string(amount) + " is too large";
      return false;
    }
    days += date::days{n};
  } else {
    int64_t months = unit == Unit::kYear ? amount * 12 : amount;
    if (months > 120000 || months < -120000) {
      *error = "the amount " + std::to_string(amount) + " is too large";
      return false;
    }
    date::year_month_day ymd{days};
    date::year_month_day moved = ymd + date::months{months};
    if (!moved.ok()) moved = moved.year() / moved.month() / date::last;
    if (!moved.year().ok() || int(moved.year()) < 1 || int(moved.year()) > 9999) {
      *error = "the result is outside the years 1 to 9999";
      return false;
    }
    days = date::local_days{moved};
  }
  *out = zone->to_sys(Local{days.time_since_epoch()} + time_of_day, date::choose::earliest)
             .time_since_epoch()
             .count();
  return CheckInstant(*out, error);
}

bool DiffTime(int64_t from, int64_t to, std::string_view unit_name, std::string_view zone_name,
              int64_t* out, std::string* error) {
  const date::time_zone* zone;
  Unit unit;
  if (!CheckInstant(from, error) || !CheckInstant(to, error) ||
      !FindUnit(unit_name, &unit, error) || !FindZone(zone_name, &zone, error)) {
    return false;
  }
  if (unit == Unit::kSecond || unit == Unit::kMinute || unit == Unit::kHour) {
    *out = (to - from) / SecondsOf(unit);
    return true;
  }
  Local a = zone->to_local(Sys{seconds{from}});
  Local b = zone->to_local(Sys{seconds{to}});
  if (unit == Unit::kDay || unit == Unit::kWeek) {
    int64_t days = (b - a).count() / 86400;
    *out = unit == Unit::kWeek ? days / 7 : days;
    return true;
  }
  auto split = [](Local t, date::year_month_day* ymd, seconds* rest) {
    date::local_days d = date::floor<date::days>(t);
    *ymd = date::year_month_day{d};
    *rest = t - d;
  };
  date::year_month_day ya, yb;
  seconds ra, rb;
  split(a, &ya, &ra);
  split(b, &yb, &rb);
  int64_t months = (int64_t(int(yb.year())) - int(ya.year())) * 12 +
                   (int64_t(unsigned(yb.month())) - unsigned(ya.month()));
  // A month is complete only when the day and time of day are reached too.
  auto later = [](unsigned d1, seconds r1, unsigned d2, seconds r2) {
    return d1 > d2 || (d1 == d2 && r1 > r2);
  };
  unsigned da = unsigned(ya.day()), db = unsigned(yb.day());
  if (months > 0 && later(da, ra, db, rb)) --months;
  if (months < 0 && later(db, rb, da, ra)) ++months;
  *out = unit == Unit::kYear ? months / 12 : months;
  return true;
}

bool Weekday(int64_t s, std::string_view zone_name, int64_t* out, std::string* error) {
  const date::time_zone* zone;
  if (!CheckInstant(s, error) || !FindZone(zone_name, &zone, error)) return false;
  date::local_days d = date::floor<date::days>(zone->to_local(Sys{seconds{s}}));
  *out = date::weekday{d}.iso_encoding();
  return true;
}

bool ZoneOffset(int64_t s, std::string_view zone_name, int64_t* out, std::string* error) {
  const date::time_zone* zone;
  if (!CheckInstant(s, error) || !FindZone(zone_name, &zone, error)) return false;
  *out = zone->get_info(Sys{seconds{s}}).offset.count();
  return true;
}

}  // namespace orin_std

// Dates and times: instants are whole seconds since 1970-01-01 00:00:00 UTC
// (negative before), limited to the years 1 to 9999. Calendar work happens
// in a time zone of the system's tz database, named as there
// ("Europe/Berlin", "UTC"); the empty name is the server's own zone.
#ifndef ORIN_STD_CORE_DATES_H_
#define ORIN_STD_CORE_DATES_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace orin_std {

int64_t NowSeconds();

// strftime-like conversions (%Y %m %d %H %M %S %Z %z %a %b %j ...); an
// unknown conversion is refused.
bool FormatTime(int64_t seconds, std::string_view format, std::string_view zone, std::string* out,
                std::string* error);

// The whole text must match `format`; a parsed %z offset wins over `zone`.
// An empty format accepts "YYYY-MM-DD", "YYYY-MM-DD HH:MM:SS" and
// "YYYY-MM-DDTHH:MM:SS" with an optional "Z" or "+HH:MM" after it.
// A wall time that a clock change skipped or repeated takes the earlier
// instant.
bool ParseTime(std::string_view text, std::string_view format, std::string_view zone, int64_t* out,
               std::string* error);

bool MakeTime(int64_t year, int64_t month, int64_t day, int64_t hour, int64_t minute,
              int64_t second, std::string_view zone, int64_t* out, std::string* error);

// Units: second, minute, hour, day, week, month, year (or the plural).
// Days and weeks keep the wall-clock time across clock changes; months and
// years keep the day of the month, or take the month's last day.
bool AddTime(int64_t seconds, int64_t amount, std::string_view unit, std::string_view zone,
             int64_t* out, std::string* error);
// Whole units from `from` to `to` (negative when `to` is earlier), counted
// in the zone's calendar for days and longer.
bool DiffTime(int64_t from, int64_t to, std::string_view unit, std::string_view zone, int64_t* out,
              std::string* error);

// 1 Monday .. 7 Sunday.
bool Weekday(int64_t seconds, std::string_view zone, int64_t* out, std::string* error);
// Seconds east of UTC in effect at that instant.
bool ZoneOffset(int64_t seconds, std::string_view zone, int64_t* out, std::string* error);

}  // namespace orin_std

#endif  // ORIN_STD_CORE_DATES_H_

// date_... functions.
#include "call.h"
#include "core/dates.h"
#include "functions.h"

namespace orin_std {

void DateNow(Call& c) {
  c.ReturnInteger(NowSeconds());
}

void DateMake(Call& c) {
  int64_t part[6], out;
  std::string_view zone;
  std::string error;
  for (int i = 0; i < 6; ++i) {
    if (!c.Integer(i, &part[i])) return;
  }
  if (!c.Text(6, &zone)) return;
  if (!MakeTime(part[0], part[1], part[2], part[3], part[4], part[5], zone, &out, &error)) {
    return void(c.Fail(error));
  }
  c.ReturnInteger(out);
}

void DateParse(Call& c) {
  std::string_view text, format, zone;
  int64_t out;
  std::string error;
  if (!c.Text(0, &text) || !c.Text(1, &format) || !c.Text(2, &zone)) return;
  if (!ParseTime(text, format, zone, &out, &error)) return void(c.Fail(error));
  c.ReturnInteger(out);
}

void DateFormat(Call& c) {
  int64_t time;
  std::string_view format, zone;
  std::string out, error;
  if (!c.Integer(0, &time) || !c.Text(1, &format) || !c.Text(2, &zone)) return;
  if (!FormatTime(time, format, zone, &out, &error)) return void(c.Fail(error));
  c.ReturnText(out);
}

void DateAdd(Call& c) {
  int64_t time, amount, out;
  std::string_view unit, zone;
  std::string error;
  if (!c.Integer(0, &time) || !c.Integer(1, &amount) || !c.Text(2, &unit) || !c.Text(3, &zone)) {
    return;
  }
  if (!AddTime(time, amount, unit, zone, &out, &error)) return void(c.Fail(error));
  c.ReturnInteger(out);
}

void DateDiff(Call& c) {
  int64_t from, to, out;
  std::string_view unit, zone;
  std::string error;
  if (!c.Integer(0, &from) || !c.Integer(1, &to) || !c.Text(2, &unit) || !c.Text(3, &zone)) {
    return;
  }
  if (!DiffTime(from, to, unit, zone, &out, &error)) return void(c.Fail(error));
  c.ReturnInteger(out);
}

void DateWeekday(Call& c) {
  int64_t time, out;
  std::string_view zone;
  std::string error;
  if (!c.Integer(0, &time) || !c.Text(1, &zone)) return;
  if (!Weekday(time, zone, &out, &error)) return void(c.Fail(error));
  c.ReturnInteger(out);
}

void DateOffset(Call& c) {
  int64_t time, out;
  std::string_view zone;
  std::string error;
  if (!c.Integer(0, &time) || !c.Text(1, &zone)) return;
  if (!ZoneOffset(time, zone, &out, &error)) return void(c.Fail(error));
  c.ReturnInteger(out);
}

}  // namespace orin_std

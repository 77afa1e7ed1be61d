// Statement text the SQL libraries build: quoted identifiers, table
// definitions from the field specifications scripts give ZtCREATE, and
// named parameters. Values never become statement text: a script's SQL
// names them as :name and they travel as bound parameters.
#ifndef ORIN_PLUGINS_SQL_SQL_TEXT_H_
#define ORIN_PLUGINS_SQL_SQL_TEXT_H_

#include <string>
#include <string_view>
#include <vector>

namespace orin_sql {

// A name a script may give a table, column or index: letters, digits, '_'
// and '.', not starting with a digit, at most 63 bytes.
bool ValidName(std::string_view name);
// "name" lower-cased, as an SQL identifier.
std::string Quote(std::string_view name);
std::string Lower(std::string_view text);
std::string_view Trim(std::string_view text);

struct FieldDefinition {
  std::string name;  // lower case
  char type = 'C';   // C, N, D, L, M
  int length = 0;    // N: digits before and after the point
  int decimals = 0;
};

// Reads "name char(8), qty number(6.2), born date, ok bool, notes memo";
// false with *error.
bool ParseFields(std::string_view text, std::vector<FieldDefinition>* fields, std::string* error);

// Replaces each :name outside quotes and comments by placeholder(n) and
// lists the names in order; a name may be dotted (g.total). "::" (a cast)
// is left alone. False with *error
// when a ':' starts no name.
template <typename Placeholder>
bool RewriteNamed(std::string_view sql, Placeholder placeholder, std::string* out,
                  std::vector<std::string>* names, std::string* error);

// Whether `sql` holds more than one statement: anything but white space
// and comments after a ';' outside quotes.
bool HasSecondStatement(std::string_view sql);

}  // namespace orin_sql

#include "sql_text_inl.h"

#endif  // ORIN_PLUGINS_SQL_SQL_TEXT_H_

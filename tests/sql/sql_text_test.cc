// Statement text of the SQL database libraries: where a script's SQL has
// parameters (never inside quotes or comments), what counts as a second
// statement, and field specifications turned into columns.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sql_text.h"

namespace orin_sql {
namespace {

std::string Rewrite(std::string_view sql, std::vector<std::string>* names,
                    std::string* error = nullptr) {
  std::string out, ignored;
  bool ok = RewriteNamed(
      sql, [](int n) { return "$" + std::to_string(n); }, &out, names,
      error != nullptr ? error : &ignored);
  return ok ? out : "failed";
}

TEST(NamedParameters, OnlyOutsideQuotesCommentsAndCasts) {
  std::vector<std::string> names;
  EXPECT_EQ(Rewrite("SELECT * FROM t WHERE a = :a AND b = :b_2", &names),
            "SELECT * FROM t WHERE a = $1 AND b = $2");
  EXPECT_EQ(names, (std::vector<std::string>{"a", "b_2"}));
  EXPECT_EQ(Rewrite("SELECT ':x', \":y\", x::text, $$ :z $$ -- :c\n, /* :d */ :e", &names),
            "SELECT ':x', \":y\", x::text, $$ :z $$ -- :c\n, /* :d */ $1");
  EXPECT_EQ(names, (std::vector<std::string>{"e"}));
  // A doubled quote stays inside its string.
  EXPECT_EQ(Rewrite("SELECT 'it''s :not' || :yes", &names), "SELECT 'it''s :not' || $1");
  EXPECT_EQ(names, (std::vector<std::string>{"yes"}));
  // Scope prefixes belong to the name; a trailing dot does not.
  EXPECT_EQ(Rewrite("VALUES (:g.total, :t.d.name.)", &names), "VALUES ($1, $2.)");
  EXPECT_EQ(names, (std::vector<std::string>{"g.total", "t.d.name"}));
  // An unterminated string hides the rest rather than exposing it.
  EXPECT_EQ(Rewrite("SELECT 'open :x", &names), "SELECT 'open :x");
  EXPECT_TRUE(names.empty());
  std::string error;
  EXPECT_EQ(Rewrite("SELECT :1", &names, &error), "failed");
  EXPECT_EQ(error, "A ':' in the statement names no parameter");
}

TEST(NamedParameters, SecondStatements) {
  EXPECT_FALSE(HasSecondStatement("SELECT 1"));
  EXPECT_FALSE(HasSecondStatement("SELECT 1;  \n -- done\n /* really */ "));
  EXPECT_FALSE(HasSecondStatement("SELECT ';DROP TABLE t'"));
  EXPECT_TRUE(HasSecondStatement("SELECT 1; DROP TABLE t"));
  EXPECT_TRUE(HasSecondStatement("SELECT 1;'x'"));
  EXPECT_TRUE(HasSecondStatement("SELECT 1;;SELECT 2"));
}

TEST(Names, QuotedLowerCaseAndChecked) {
  EXPECT_EQ(Quote("Notes"), "\"notes\"");
  EXPECT_EQ(Quote("a\"b"), "\"a\"\"b\"");
  EXPECT_TRUE(ValidName("name.idx"));
  EXPECT_TRUE(ValidName("_x1"));
  EXPECT_FALSE(ValidName(""));
  EXPECT_FALSE(ValidName("1x"));
  EXPECT_FALSE(ValidName("t; DROP"));
  EXPECT_FALSE(ValidName("a\"b"));
  EXPECT_FALSE(ValidName(std::string(64, 'a')));
}

TEST(FieldSpecifications, TypesLengthsAndErrors) {
  std::vector<FieldDefinition> fields;
  std::string error;
  ASSERT_TRUE(
      ParseFields(" Name char(8), qty NUMBER(6.2), n number(4,1), born date, ok bool, "
                  "notes memo, big number",
                  &fields, &error))
      << error;
  ASSERT_EQ(fields.size(), 7u);
  EXPECT_EQ(fields[0].name, "name");
  EXPECT_EQ(fields[0].type, 'C');
  EXPECT_EQ(fields[0].length, 8);
  EXPECT_EQ(fields[1].type, 'N');
  EXPECT_EQ(fields[1].length, 6);
  EXPECT_EQ(fields[1].decimals, 2);
  EXPECT_EQ(fields[2].length, 4);
  EXPECT_EQ(fields[2].decimals, 1);
  EXPECT_EQ(fields[3].type, 'D');
  EXPECT_EQ(fields[4].type, 'L');
  EXPECT_EQ(fields[5].type, 'M');
  EXPECT_EQ(fields[6].length, 19);
  struct Bad {
    const char* fields_text;
    const char* error;
  } bad[] = {
      {"", "Field specification does not define any fields"},
      {"a char(3),", "Dangling comma in field specification"},
      {"a char", "Error in field specification: CHAR datatypes require a length"},
      {"a char(x)", "Error in field specification: CHAR datatypes require a length"},
      {"a blob", "Unknown field type in field specification"},
      {"a char(1), A char(2)", "Field name is used more than once in the field specification"},
      {"x;drop char(1)", "Field name 'x;drop' is not a valid name"},
  };
  for (const Bad& b : bad) {
    EXPECT_FALSE(ParseFields(b.fields_text, &fields, &error)) << b.fields_text;
    EXPECT_EQ(error, b.error) << b.fields_text;
  }
}

}  // namespace
}  // namespace orin_sql

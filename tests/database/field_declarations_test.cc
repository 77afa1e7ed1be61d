// The field specification scripts give when they create a table.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "database/xbase_field.h"

namespace orin {
namespace {

// "NAME C 10.0;..." for good field declarations, the message for bad ones.
std::string Parse(const std::string& text) {
  std::vector<XBaseFieldDefinition> fields;
  std::string error;
  bool ok = ParseXBaseFieldSpecification(text, &fields, &error);
  if (!ok) {
    EXPECT_TRUE(fields.empty()) << text;
    return error;
  }
  EXPECT_TRUE(error.empty()) << text;
  std::string out;
  for (const XBaseFieldDefinition& f : fields) {
    out += f.name + " " + XBaseTypeLetter(f.type) + " " + std::to_string(f.length) + "." +
           std::to_string(f.decimals) + ";";
  }
  return out;
}

TEST(FieldSpecification, TypesLengthsAndNames) {
  EXPECT_EQ(Parse("name char(10), price number(5.2), born date, ok bool, note memo"),
            "NAME C 10.0;PRICE N 8.2;BORN D 8.0;OK L 1.0;NOTE M 10.0;");
  // Keywords by their first letters in any case; whitespace of every kind.
  EXPECT_EQ(Parse("\r\n\tA\t Character ( 254 ) \n,b NUMERIC"),
            "Unknown field type in field specification");
  EXPECT_EQ(Parse("\r\n\tA\t Character ( 254 ) \n,b NUMBERS"), "A C 254.0;B N 19.0;");
  EXPECT_EQ(Parse("a number"), "A N 19.0;");
  EXPECT_EQ(Parse("a number(19)"), "A N 19.0;");
  EXPECT_EQ(Parse("a number(7.0)"), "A N 7.0;");
  EXPECT_EQ(Parse("a number(16.2)"), "A N 19.2;");
  EXPECT_EQ(Parse("a date(99) whatever, b BOOLEAN!, c memorandum"), "A D 8.0;B L 1.0;C M 10.0;");
  // The last '(' before the first ')' opens the length.
  EXPECT_EQ(Parse("a char((x(12)"), "A C 12.0;");
  EXPECT_EQ(Parse("abcdefghij char(1)"), "ABCDEFGHIJ C 1.0;");
}

TEST(FieldSpecification, MessagesForBadDeclarations) {
  EXPECT_EQ(Parse(""), "Field specification does not define any\tfields");
  EXPECT_EQ(Parse(" \t\r\n"), "Field specification does not define any\tfields");
  EXPECT_EQ(Parse("a date,"), "Dangling comma in field\tspecification");
  EXPECT_EQ(Parse("a date, ,b date"), "Dangling comma in field\tspecification");
  EXPECT_EQ(Parse(",a date"), "Dangling comma in field\tspecification");
  EXPECT_EQ(Parse("abcdefghijk date"),
            "Field name is longer than the XBase limit of 10 characters");
  EXPECT_EQ(Parse("a date, A bool"),
            "Field name is used more than once in the field specification");
  EXPECT_EQ(Parse("a date, b"), "Empty field type in field specification");
  EXPECT_EQ(Parse("a text"), "Unknown field type in field specification");
  EXPECT_EQ(Parse("a char"), "Error in field specification: CHAR datatypes require a length");
  EXPECT_EQ(Parse("a char()"), "Error in field specification: CHAR datatypes require a length");
  EXPECT_EQ(Parse("a char(0)"), "Error in field specification: CHAR datatypes require a length");
  EXPECT_EQ(Parse("a char(255)"),
            "CHAR fields may\tonly be\t254 characters long, field is too long");
  EXPECT_EQ(Parse("a number(17.2)"),
            "NUMERIC\tfields may only\tbe 19 digits, field is too many digits");
  EXPECT_EQ(Parse("a number(20)"),
            "NUMERIC\tfields may only\tbe 19 digits, field is too many digits");
  EXPECT_EQ(Parse("a number(99999999999999999999999)"),
            "NUMERIC\tfields may only\tbe 19 digits, field is too many digits");
  EXPECT_EQ(Parse("a char(10) x"), "Unexpected character following field declaration");
  EXPECT_EQ(Parse("a number(5))"), "Unexpected character following field declaration");
}

TEST(FieldSpecification, LastFailingCheckOfTheFirstBadDeclarationWins) {
  // Name too long and type missing: the type check comes last.
  EXPECT_EQ(Parse("abcdefghijkl"), "Empty field type in field specification");
  // Duplicate name and a bad length: the length is checked after.
  EXPECT_EQ(Parse("a date, a char(300)"),
            "CHAR fields may\tonly be\t254 characters long, field is too long");
  // Trailing text and a missing length: the length is checked after.
  EXPECT_EQ(Parse("a char() x"), "Error in field specification: CHAR datatypes require a length");
  // Parsing stops at the first bad declaration.
  EXPECT_EQ(Parse("a blob, b char(300), c"), "Unknown field type in field specification");
}

}  // namespace
}  // namespace orin

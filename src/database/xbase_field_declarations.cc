// The field specification a script gives when it creates a table:
// comma-separated "name type" declarations, CHAR and NUMBER with a length.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "database/xbase_field.h"
#include "util/ascii.h"

namespace orin {

namespace {

bool StartsNoCase(std::string_view text, std::string_view keyword) {
  return text.size() >= keyword.size() && EqualsNoCase(text.substr(0, keyword.size()), keyword);
}

// Leading decimal digits, saturating well above any valid length.
int64_t Digits(std::string_view* s) {
  int64_t n = 0;
  while (!s->empty() && s->front() >= '0' && s->front() <= '9') {
    if (n < 1000000) n = n * 10 + (s->front() - '0');
    s->remove_prefix(1);
  }
  return n;
}

// The length text in "(...)" after a CHAR or NUMBER keyword: between the
// last '(' before the first ')' and that ')'. *trailing is set when
// something other than whitespace follows the ')'.
std::string_view LengthText(std::string_view rest, bool* trailing) {
  *trailing = false;
  size_t close = rest.find(')');
  if (close == std::string_view::npos) return {};
  size_t open = rest.substr(0, close).rfind('(');
  if (!TrimSpaceTabCrLf(rest.substr(close + 1)).empty()) *trailing = true;
  if (open == std::string_view::npos) return {};
  std::string_view text = TrimSpaceTabCrLf(rest.substr(open + 1, close - open - 1));
  return text.substr(0, 19);
}

// Fills the type of `field` from its type text; returns the message of the
// last check that failed, or empty.
std::string ParseType(std::string_view type, XBaseFieldDefinition* field) {
  std::string error;
  if (StartsNoCase(type, "CHAR")) {
    bool trailing = false;
    std::string_view text = LengthText(type.substr(4), &trailing);
    if (trailing) error = "Unexpected character following field declaration";
    int64_t n = Digits(&text);
    field->type = kXBaseCharacter;
    if (n <= 0) {
      error = "Error in field specification: CHAR datatypes require a length";
    } else if (n >= 255) {
      error = "CHAR fields may\tonly be\t254 characters long, field is too long";
    }
    field->length = static_cast<uint32_t>(n > 0 && n < 255 ? n : 0);
  } else if (StartsNoCase(type, "NUMBER")) {
    bool trailing = false;
    std::string_view text = LengthText(type.substr(6), &trailing);
    if (trailing) error = "Unexpected character following field declaration";
    field->type = kXBaseNumber;
    int64_t length = 19, decimals = 0;
    if (!text.empty()) {
      length = Digits(&text);
      if (!text.empty() && text.front() == '.') {
        text.remove_prefix(1);
        decimals = Digits(&text);
        if (decimals != 0) length += 1 + decimals;
      }
    }
    if (length <= 0) {
      error = "Error in field specification: NUMBER datatypes require a length";
    } else if (length >= 20) {
      error = "NUMERIC\tfields may only\tbe 19 digits, field is too many digits";
    }
    bool ok = length > 0 && length < 20;
    field->length = ok ? static_cast<uint32_t>(length) : 0;
    field->decimals = ok ? static_cast<uint32_t>(decimals) : 0;
  } else if (StartsNoCase(type, "DATE")) {
    field->type = kXBaseDate;
    field->length = 8;
  } else if (StartsNoCase(type, "BOOL")) {
    field->type = kXBaseLogical;
    field->length = 1;
  } else if (StartsNoCase(type, "MEMO")) {
    field->type = kXBaseMemo;
    field->length = 10;
  } else {
    error = "Unknown field type in field specification";
  }
  return error;
}

}  // namespace

bool ParseXBaseFieldSpecification(std::string_view text, std::vector<XBaseFieldDefinition>* fields,
                                  std::string* error) {
  fields->clear();
  error->clear();
  if (TrimSpaceTabCrLf(text).empty()) {
    *error = "Field specification does not define any\tfields";
    return false;
  }
  while (true) {
    size_t comma = text.find(',');
    std::string_view declaration = text.substr(0, comma);
    size_t start = 0;
    while (start < declaration.size() && IsSpaceTabCrLf(declaration[start]))
      ++start;
    declaration.remove_prefix(start);
    if (declaration.empty()) {
      *error = "Dangling comma in field\tspecification";
      break;
    }
    size_t name_end = 0;
    while (name_end < declaration.size() && !IsSpaceTabCrLf(declaration[name_end]))
      ++name_end;
    XBaseFieldDefinition field;
    for (char c : declaration.substr(0, name_end))
      field.name += AsciiUpper(c);
    std::string_view type = declaration.substr(name_end);
    while (!type.empty() && IsSpaceTabCrLf(type.front()))
      type.remove_prefix(1);

    // Every check runs; the last one that fails names the error.
    if (field.name.size() >= 11) {
      *error = "Field name is longer than the XBase limit of 10 characters";
    }
    if (field.name.empty()) *error = "Empty field name in field specification";
    for (const XBaseFieldDefinition& earlier : *fields) {
      if (earlier.name == field.name) {
        *error = "Field name is used more than once in the field specification";
      }
    }
    if (type.empty()) {
      *error = "Empty field type in field specification";
    } else {
      std::string type_error = ParseType(type, &field);
      if (!type_error.empty()) *error = type_error;
    }
    if (!error->empty()) break;
    fields->push_back(std::move(field));
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  if (!error->empty()) {
    fields->clear();
    return false;
  }
  return true;
}

}  // namespace orin

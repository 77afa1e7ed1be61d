#include "sql_text.h"

namespace orin_sql {

bool ValidName(std::string_view name) {
  if (name.empty() || name.size() > 63 || !NameStart(name[0])) return false;
  for (char c : name) {
    if (!NameChar(c) && c != '.') return false;
  }
  return true;
}

std::string Lower(std::string_view text) {
  std::string s(text);
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

std::string Quote(std::string_view name) {
  std::string quoted = "\"";
  for (char c : Lower(name)) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  quoted += '"';
  return quoted;
}

std::string_view Trim(std::string_view text) {
  auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!text.empty() && space(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && space(text.back()))
    text.remove_suffix(1);
  return text;
}

namespace {

bool StartsNoCase(std::string_view text, std::string_view word) {
  return text.size() >= word.size() && Lower(text.substr(0, word.size())) == word;
}

// "(8)" or "(6.2)" after a type word: the two numbers (the second 0 when
// absent); false when malformed.
bool Arguments(std::string_view rest, int* first, int* second, bool* present) {
  rest = Trim(rest);
  *first = 0;
  *second = 0;
  *present = !rest.empty();
  if (rest.empty()) return true;
  if (rest.front() != '(' || rest.back() != ')') return false;
  rest = Trim(rest.substr(1, rest.size() - 2));
  int* target = first;
  bool digits = false;
  for (char c : rest) {
    if (c >= '0' && c <= '9') {
      if (*target > 100000) return false;
      *target = *target * 10 + (c - '0');
      digits = true;
    } else if ((c == '.' || c == ',') && target == first && digits) {
      target = second;
    } else {
      return false;
    }
  }
  return digits;
}

}  // namespace

bool ParseFields(std::string_view text, std::vector<FieldDefinition>* fields, std::string* error) {
  fields->clear();
  if (Trim(text).empty()) {
    *error = "Field specification does not define any fields";
    return false;
  }
  while (true) {
    size_t comma = text.find(',');
    // A NUMBER(6,2) keeps its comma.
    size_t open = text.find('(');
    if (comma != std::string_view::npos && open != std::string_view::npos && open < comma) {
      size_t close = text.find(')', open);
      if (close != std::string_view::npos) comma = text.find(',', close);
    }
    std::string_view declaration = Trim(text.substr(0, comma));
    if (declaration.empty()) {
      *error = "Dangling comma in field specification";
      return false;
    }
    size_t name_end = 0;
    while (name_end < declaration.size() && declaration[name_end] != ' ' &&
           declaration[name_end] != '\t')
      ++name_end;
    FieldDefinition field;
    field.name = Lower(declaration.substr(0, name_end));
    std::string_view type = Trim(declaration.substr(name_end));
    if (!ValidName(field.name) || field.name.find('.') != std::string::npos) {
      *error = "Field name '" + field.name + "' is not a valid name";
      return false;
    }
    for (const FieldDefinition& earlier : *fields) {
      if (earlier.name == field.name) {
        *error = "Field name is used more than once in the field specification";
        return false;
      }
    }
    int first = 0, second = 0;
    bool present = false;
    if (StartsNoCase(type, "char")) {
      if (!Arguments(type.substr(4), &first, &second, &present) || !present || first <= 0 ||
          second != 0) {
        *error = "Error in field specification: CHAR datatypes require a length";
        return false;
      }
      field.type = 'C';
      field.length = first;
    } else if (StartsNoCase(type, "number")) {
      if (!Arguments(type.substr(6), &first, &second, &present) || (present && first <= 0) ||
          first + second > 38) {
        *error = "Error in field specification: NUMBER datatypes require a length";
        return false;
      }
      field.type = 'N';
      field.length = present ? first : 19;
      field.decimals = second;
    } else if (StartsNoCase(type, "date")) {
      field.type = 'D';
      field.length = 8;
    } else if (StartsNoCase(type, "bool")) {
      field.type = 'L';
      field.length = 1;
    } else if (StartsNoCase(type, "memo")) {
      field.type = 'M';
      field.length = 10;
    } else {
      *error = "Unknown field type in field specification";
      return false;
    }
    fields->push_back(field);
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  return true;
}

size_t SkipQuoted(std::string_view sql, size_t i) {
  char c = sql[i];
  if (c == '\'' || c == '"' || c == '`') {
    size_t j = i + 1;
    while (j < sql.size()) {
      if (sql[j] == c) {
        if (j + 1 < sql.size() && sql[j + 1] == c) {
          j += 2;
          continue;
        }
        return j + 1 - i;
      }
      ++j;
    }
    return sql.size() - i;
  }
  if (c == '-' && i + 1 < sql.size() && sql[i + 1] == '-') {
    size_t end = sql.find('\n', i);
    return (end == std::string_view::npos ? sql.size() : end) - i;
  }
  if (c == '/' && i + 1 < sql.size() && sql[i + 1] == '*') {
    size_t end = sql.find("*/", i + 2);
    return (end == std::string_view::npos ? sql.size() : end + 2) - i;
  }
  if (c == '$') {  // $tag$ ... $tag$
    size_t j = i + 1;
    while (j < sql.size() && NameChar(sql[j]))
      ++j;
    if (j < sql.size() && sql[j] == '$' && (j == i + 1 || NameStart(sql[i + 1]))) {
      std::string_view tag = sql.substr(i, j + 1 - i);
      size_t end = sql.find(tag, j + 1);
      return (end == std::string_view::npos ? sql.size() : end + tag.size()) - i;
    }
  }
  return 0;
}

bool HasSecondStatement(std::string_view sql) {
  size_t i = 0;
  bool after_semicolon = false;
  while (i < sql.size()) {
    size_t skip = SkipQuoted(sql, i);
    bool comment = skip > 0 && (sql[i] == '-' || sql[i] == '/');
    if (skip > 0) {
      if (after_semicolon && !comment) return true;
      i += skip;
      continue;
    }
    char c = sql[i];
    if (c == ';') {
      after_semicolon = true;
    } else if (after_semicolon && c != ' ' && c != '\t' && c != '\r' && c != '\n') {
      return true;
    }
    ++i;
  }
  return false;
}

}  // namespace orin_sql

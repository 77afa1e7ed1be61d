// Template part of sql_text.h.
#ifndef ORIN_PLUGINS_SQL_SQL_TEXT_INL_H_
#define ORIN_PLUGINS_SQL_SQL_TEXT_INL_H_

namespace orin_sql {

// Length of the quoted text, comment or dollar-quoted string starting at
// `i`, or 0 when none starts there.
size_t SkipQuoted(std::string_view sql, size_t i);

inline bool NameStart(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}
inline bool NameChar(char c) {
  return NameStart(c) || (c >= '0' && c <= '9');
}

template <typename Placeholder>
bool RewriteNamed(std::string_view sql, Placeholder placeholder, std::string* out,
                  std::vector<std::string>* names, std::string* error) {
  out->clear();
  names->clear();
  size_t i = 0;
  while (i < sql.size()) {
    size_t skip = SkipQuoted(sql, i);
    if (skip > 0) {
      out->append(sql.substr(i, skip));
      i += skip;
      continue;
    }
    char c = sql[i];
    if (c == ':' && i + 1 < sql.size() && sql[i + 1] == ':') {
      out->append("::");
      i += 2;
      continue;
    }
    if (c == ':') {
      size_t end = i + 1;
      // Dotted names (g.total, view.d.field) choose a scope, as in the
      // script's own dynamic names.
      while (end < sql.size() && (NameChar(sql[end]) || (sql[end] == '.' && end + 1 < sql.size() &&
                                                         NameStart(sql[end + 1])))) {
        ++end;
      }
      if (end == i + 1 || !NameStart(sql[i + 1])) {
        *error = "A ':' in the statement names no parameter";
        return false;
      }
      names->emplace_back(sql.substr(i + 1, end - i - 1));
      out->append(placeholder(static_cast<int>(names->size())));
      i = end;
      continue;
    }
    out->push_back(c);
    ++i;
  }
  return true;
}

}  // namespace orin_sql

#endif  // ORIN_PLUGINS_SQL_SQL_TEXT_INL_H_

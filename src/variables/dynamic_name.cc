#include "variables/dynamic_name.h"

#include "util/ascii.h"
#include "variables/variable_hash.h"

namespace orin {

namespace {

bool StartsNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

// After an alias: ".d." or ".database." and at least one more byte.
bool DatabaseAfterAlias(std::string_view rest, std::string_view* path) {
  for (std::string_view marker : {std::string_view(".d."), std::string_view(".database.")}) {
    if (rest.size() > marker.size() && StartsNoCase(rest, marker)) {
      *path = rest.substr(marker.size());
      return true;
    }
  }
  return false;
}

DynamicName Make(NameScope scope, std::string_view alias, std::string_view path) {
  DynamicName n;
  n.scope = scope;
  n.alias = alias;
  n.path = path;
  return n;
}

}  // namespace

DynamicName ParseDynamicName(std::string_view name) {
  std::string_view path;
  if (name.size() >= 2 && name[1] == '.') {
    // A one-letter database alias is the longer match, so it wins.
    if (DatabaseAfterAlias(name.substr(1), &path)) {
      return Make(NameScope::kDatabase, name.substr(0, 1), path);
    }
    switch (AsciiLower(name[0])) {
      case 'l':
        return Make(NameScope::kLocal, {}, name.substr(2));
      case 'g':
        return Make(NameScope::kGlobal, {}, name.substr(2));
      case 's':
        return Make(NameScope::kSystem, {}, name.substr(2));
      case 'd':
        return Make(NameScope::kDatabase, {}, name.substr(2));
      default:
        return Make(NameScope::kUnqualified, {}, name);
    }
  }
  size_t dot = name.find('.');
  if (dot == std::string_view::npos || dot == 0) return Make(NameScope::kUnqualified, {}, name);
  std::string_view prefix = name.substr(0, dot);
  if (DatabaseAfterAlias(name.substr(dot), &path)) {
    return Make(NameScope::kDatabase, prefix, path);
  }
  std::string_view rest = name.substr(dot + 1);
  if (EqualsNoCase(prefix, "local")) return Make(NameScope::kLocal, {}, rest);
  if (EqualsNoCase(prefix, "global")) return Make(NameScope::kGlobal, {}, rest);
  if (EqualsNoCase(prefix, "system")) return Make(NameScope::kSystem, {}, rest);
  if (EqualsNoCase(prefix, "database")) return Make(NameScope::kDatabase, {}, rest);
  return Make(NameScope::kUnqualified, {}, name);
}

namespace {

Variable* Path(VariableHash* table, std::string_view path, bool create) {
  Variable* v = nullptr;
  if (table == nullptr) return nullptr;
  table->LookupPath(&v, path.data(), static_cast<int64_t>(path.size()), create);
  return v;
}

bool Has(VariableHash* table, std::string_view base) {
  return table != nullptr && table->FindEntry(base) >= 0;
}

}  // namespace

Variable* LookupDynamicVariable(NameContext& context, std::string_view name) {
  DynamicName n = ParseDynamicName(name);
  switch (n.scope) {
    case NameScope::kLocal:
      return Path(context.LocalTable(), n.path, true);
    case NameScope::kGlobal:
      return Path(context.GlobalTable(), n.path, true);
    case NameScope::kSystem:
      return Path(context.SystemTable(), n.path, false);
    case NameScope::kDatabase:
      return context.DatabaseField(n.alias, n.path);
    case NameScope::kUnqualified:
      break;
  }
  std::string_view base = n.path.substr(0, n.path.find_first_of(":["));
  VariableHash* system = context.SystemTable();
  if (Has(system, base)) return Path(system, n.path, false);
  VariableHash* locals = context.LocalTable();
  VariableHash* globals = context.GlobalTable();
  if (locals != globals && Has(locals, base)) return Path(locals, n.path, true);
  if (base.size() == n.path.size()) {
    if (Variable* field = context.DatabaseField({}, base)) return field;
  }
  return Path(globals, n.path, true);
}

}  // namespace orin

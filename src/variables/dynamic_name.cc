#include "variables/dynamic_name.h"

#include "util/ascii.h"

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

}  // namespace orin

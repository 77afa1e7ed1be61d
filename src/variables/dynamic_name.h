// The scope prefixes of variable names given at run time (dynamic
// expressions, variable names pushed as texts, plug-ins' look-ups).
//
//   l.x  g.x  s.x  d.x            local, global, system, database
//   a.d.x  a.database.x           field x of the database with alias a
//   local.x  global.x  system.x   the same, spelled out
//   alias.d.x  alias.database.x   a longer database alias
//   database.x                    database, no alias
//   anything else                 unqualified: the whole name is the path
//
// Prefixes ignore letter case. The path keeps its members and indices
// ("a:b[2]"); a scope table resolves it (VariableHash::LookupPath).
#ifndef ORIN_VARIABLES_DYNAMIC_NAME_H_
#define ORIN_VARIABLES_DYNAMIC_NAME_H_

#include <string_view>

namespace orin {

enum class NameScope { kUnqualified, kLocal, kGlobal, kSystem, kDatabase };

struct DynamicName {
  NameScope scope = NameScope::kUnqualified;
  std::string_view alias;  // database alias; empty for none
  std::string_view path;   // borrowed from the parsed name
};

DynamicName ParseDynamicName(std::string_view name);

}  // namespace orin

#endif  // ORIN_VARIABLES_DYNAMIC_NAME_H_

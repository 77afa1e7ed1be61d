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

class Variable;
class VariableHash;

// What resolving a name needs from the running program.
class NameContext {
 public:
  virtual ~NameContext() = default;
  // The current function's locals (the globals at the top level).
  virtual VariableHash* LocalTable() = 0;
  virtual VariableHash* GlobalTable() = 0;
  virtual VariableHash* SystemTable() = 0;
  // Field `field` of the open database view `alias`; with an empty alias,
  // of the first open view that has it. Null when there is none.
  virtual Variable* DatabaseField(std::string_view alias, std::string_view field) = 0;
};

// Resolves a name with its scope prefix: locals and globals are created
// when missing, system variables never; database fields come from the
// context. An unqualified name is looked for in the system table, the
// current function's locals (when it has any and they are not the
// globals), the open databases, and finally the globals, where it is
// created. Its path is followed in the table where the base name was found
// (creating missing elements, except in the system table). Null when
// nothing matches.
Variable* LookupDynamicVariable(NameContext& context, std::string_view name);

}  // namespace orin

#endif  // ORIN_VARIABLES_DYNAMIC_NAME_H_

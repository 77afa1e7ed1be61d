// A scope made by a plug-in (ztVariableHash_Allocate): a user scope that
// owns the dictionary its names go to.
#ifndef ORIN_LIBRARIES_PLUGIN_SCOPE_H_
#define ORIN_LIBRARIES_PLUGIN_SCOPE_H_

#include <memory>

#include "image/dictionary.h"
#include "variables/variable_hash.h"

namespace orin {

class PluginScope {
 public:
  static VariableHash* New() {
    auto* scope = new Scope();
    return scope;
  }

 private:
  struct Names {
    Dictionary names;
  };
  // The dictionary is a base so that it is built before the table.
  struct Scope : private Names, public UserVariableHash {
    Scope() : UserVariableHash(&names, 6, 16) {}
  };
};

}  // namespace orin

#endif  // ORIN_LIBRARIES_PLUGIN_SCOPE_H_

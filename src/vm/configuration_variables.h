// "zeto_config": the run's configuration as a structure scripts can read.
//
// ConfigurationAggregateVariable builds the structure on first access: one
// ConfigurationVariable per setting that has a member name, plus the list
// and look-up members of the three plug-in library registries. Members are
// locked; a setting's member reads the configuration on every access, so a
// value a library changes during the run shows at once.
#ifndef ORIN_VM_CONFIGURATION_VARIABLES_H_
#define ORIN_VM_CONFIGURATION_VARIABLES_H_

#include <cstdint>
#include <string_view>

#include "variables/immutable_variable.h"
#include "vm/library_registry.h"

namespace orin {

class Config;
class ZetoApplication;

// One setting. An integer key reads as its "%d" text and copies as an
// integer (class 3); a text key reads as its text (empty when unset) and
// copies as text (class 4), with integer and decimal value 0.
class ConfigurationVariable : public DynamicImmutableVariable {
 public:
  ConfigurationVariable(std::string_view name, Config* config, uint32_t key);

  // Current while the configuration still holds the stored value.
  bool IsCurrent() override;
  void Refresh() override;
  int32_t VariableClass() override;
  int32_t Value_Integer() override;
  const mpd_t* Value_Decimal() override;
  const mpd_t* Value_Decimal_Checked(bool* not_number) override;
  bool IsNULL() override;

  uint32_t key() const { return key_; }

 private:
  bool IsText() const;

  Config* config_;
  uint32_t key_;
};

// The registered names of one kind, as an array of locked texts 1, 2, 3 ...
// built on first access.
class ConfigurationLibraryListVariable : public DynamicImmutableVariable {
 public:
  ConfigurationLibraryListVariable(std::string_view name, const LibraryRegistry* registry);
  bool IsCurrent() override { return built_; }
  void Refresh() override;

 private:
  const LibraryRegistry* registry_;
  bool built_ = false;
};

// A structure that answers every member name: a member looked up for the
// first time is created as a locked integer, 1 when the name is registered
// (letter case ignored), else 0.
class ConfigurationLibraryLookupVariable : public ImmutableVariable {
 public:
  ConfigurationLibraryLookupVariable(std::string_view name, const LibraryRegistry* registry);
  Variable* Element(const AggregateIndex& key, bool create) override;

 private:
  const LibraryRegistry* registry_;
};

class ConfigurationAggregateVariable : public DynamicImmutableVariable {
 public:
  // The registries come from the application; they must outlive the run.
  ConfigurationAggregateVariable(Config* config, ZetoApplication* application);
  bool IsCurrent() override { return built_; }
  void Refresh() override;

 private:
  Config* config_;
  ZetoApplication* application_;
  bool built_ = false;
};

}  // namespace orin

#endif  // ORIN_VM_CONFIGURATION_VARIABLES_H_

#include "vm/configuration_variables.h"

#include "util/config.h"
#include "variables/decimal.h"
#include "vm/zeto_application.h"

namespace orin {

namespace {

// A locked member holding an integer or a text.
Variable* LockedInteger(std::string_view name, int32_t value) {
  auto* v = new ImmutableVariable(name);
  v->SetValue_Integer(value);
  v->Lock();
  return v;
}

Variable* LockedText(std::string_view text) {
  auto* v = new ImmutableVariable();
  v->SetValue(text.data(), static_cast<int64_t>(text.size()));
  v->Lock();
  return v;
}

struct LibraryMembers {
  LibraryRegistryKind kind;
  const char* list;
  const char* lookup;
};
constexpr LibraryMembers kLibraryMembers[] = {
    {LibraryRegistryKind::kCommerce, "commerce_list", "commerce_lookup"},
    {LibraryRegistryKind::kDatabase, "database_list", "database_lookup"},
    {LibraryRegistryKind::kSystem, "systemlib_list", "systemlib_lookup"},
};

}  // namespace

// --- ConfigurationVariable ---

ConfigurationVariable::ConfigurationVariable(std::string_view name, Config* config, uint32_t key)
    : DynamicImmutableVariable(name), config_(config), key_(key) {
  Lock();
}

bool ConfigurationVariable::IsText() const {
  return !IsIntConfigKey(key_);
}

// The stored value is kept while the setting is unchanged, so texts handed
// out stay valid across reads.
bool ConfigurationVariable::IsCurrent() {
  if (IsText()) {
    return (valid_ & kTextValid) != 0 && text_.view() == config_->GetText(key_);
  }
  return (valid_ & kIntegerValid) != 0 && integer_ == config_->GetInt(key_);
}

void ConfigurationVariable::Refresh() {
  if (IsText()) {
    std::string_view text = config_->GetText(key_);
    StoreText(text.data(), text.size());
  } else {
    StoreInteger(config_->GetInt(key_));
  }
}

int32_t ConfigurationVariable::VariableClass() {
  return IsText() ? kClassText : kClassInteger;
}

int32_t ConfigurationVariable::Value_Integer() {
  return IsText() ? 0 : DynamicImmutableVariable::Value_Integer();
}

const mpd_t* ConfigurationVariable::Value_Decimal() {
  return IsText() ? DecimalZero() : DynamicImmutableVariable::Value_Decimal();
}

const mpd_t* ConfigurationVariable::Value_Decimal_Checked(bool* not_number) {
  if (!IsText()) return DynamicImmutableVariable::Value_Decimal_Checked(not_number);
  // A text setting compares as text.
  *not_number = true;
  return DecimalZero();
}

bool ConfigurationVariable::IsNULL() {
  return Value().empty();
}

// --- ConfigurationLibraryListVariable ---

ConfigurationLibraryListVariable::ConfigurationLibraryListVariable(std::string_view name,
                                                                   const LibraryRegistry* registry)
    : DynamicImmutableVariable(name), registry_(registry) {
  Lock();
}

void ConfigurationLibraryListVariable::Refresh() {
  built_ = true;
  auto* tree = new AggregateElementTree(false);
  InstallTree(tree, kKindArray);
  uint32_t count = registry_->Count();
  for (uint32_t i = 0; i < count && i < INT32_MAX; ++i) {
    tree->Insert(new AggregateElement(AggregateIndex(static_cast<int32_t>(i + 1)),
                                      LockedText(registry_->NameAt(i))));
  }
}

// --- ConfigurationLibraryLookupVariable ---

ConfigurationLibraryLookupVariable::ConfigurationLibraryLookupVariable(
    std::string_view name, const LibraryRegistry* registry)
    : ImmutableVariable(name), registry_(registry) {
  InstallTree(new AggregateElementTree(true), kKindStructure);
  Lock();
}

Variable* ConfigurationLibraryLookupVariable::Element(const AggregateIndex& key, bool create) {
  if (!key.is_member() || tree_ == nullptr) return ImmutableVariable::Element(key, create);
  if (AggregateElement* found = tree_->Find(key)) return found->GetVariable();
  Variable* answer = LockedInteger(key.name(), registry_->IsRegistered(key.name()) ? 1 : 0);
  tree_->Insert(new AggregateElement(key, answer));
  return answer;  // the tree holds it
}

// --- ConfigurationAggregateVariable ---

ConfigurationAggregateVariable::ConfigurationAggregateVariable(Config* config,
                                                               ZetoApplication* application)
    : DynamicImmutableVariable("zeto_config"), config_(config), application_(application) {
  Lock();
}

void ConfigurationAggregateVariable::Refresh() {
  built_ = true;
  auto* tree = new AggregateElementTree(true);
  InstallTree(tree, kKindStructure);
  auto add = [tree](Variable* member) {
    tree->Insert(new AggregateElement(AggregateIndex::Member(member->Name().view()), member));
  };
  if (config_ != nullptr) {
    for (const ConfigKeyName& n : ConfigKeyNames()) {
      if (n.member_name != nullptr) add(new ConfigurationVariable(n.member_name, config_, n.key));
    }
  }
  for (const LibraryMembers& m : kLibraryMembers) {
    const LibraryRegistry* registry = &application_->RegisteredLibraries(m.kind);
    add(new ConfigurationLibraryListVariable(m.list, registry));
    add(new ConfigurationLibraryLookupVariable(m.lookup, registry));
  }
}

}  // namespace orin

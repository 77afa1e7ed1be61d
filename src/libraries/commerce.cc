#include "libraries/commerce.h"

#include <memory>
#include <mutex>
#include <string>

#include "database/database_registry.h"
#include "database/external_database.h"
#include "image/opcodes.h"
#include "libraries/handles.h"
#include "libraries/library_registries.h"
#include "util/ascii.h"
#include "variables/dynamic_name.h"
#include "variables/variable_list.h"
#include "vm/feature.h"
#include "vm/tag_instructions.h"
#include "vm/zeto_application.h"
#include "vm/zeto_vm.h"

namespace orin {

namespace {

constexpr int32_t kCommerceTag = 19;

class CommerceFeature : public Feature {
 public:
  CommerceFeature(ZetoVM& machine, CommerceLibrary* method, std::string name, std::string action)
      : Feature(FeatureKind::kCommerce, machine.CurrentFrame()),
        machine_(machine),
        method_(method),
        name_(std::move(name)),
        action_(std::move(action)) {}

  ~CommerceFeature() override {
    method_->cleanup(Handle(&machine_), &context_, name_.c_str(), action_.c_str(),
                     Handle(&fields_));
    fields_.Dump();
  }

  VariableList& fields() { return fields_; }

  int Init() {
    return method_->init(Handle(&machine_), &context_, name_.c_str(), action_.c_str(),
                         Handle(&fields_), System());
  }
  int Loop() {
    return method_->loop(Handle(&machine_), &context_, name_.c_str(), action_.c_str(),
                         Handle(&fields_), System(), iteration_++);
  }
  std::string Error() {
    const char* text = method_->error(Handle(&machine_), &context_, name_.c_str(), action_.c_str(),
                                      Handle(&fields_));
    return text != nullptr ? text : "";
  }

 private:
  ztVariableHash* System() { return Handle(static_cast<VariableHash*>(machine_.SystemTable())); }

  ZetoVM& machine_;
  CommerceLibrary* method_;
  std::string name_;
  std::string action_;
  VariableList fields_;
  void* context_ = nullptr;
  int32_t iteration_ = 0;
};

void AddFields(ZetoVM& machine, std::string_view names, VariableList* fields) {
  while (!names.empty()) {
    size_t comma = names.find(',');
    std::string_view name = TrimSpaceTabCrLf(names.substr(0, comma));
    names = comma == std::string_view::npos ? std::string_view() : names.substr(comma + 1);
    if (name.empty()) continue;
    if (Variable* v = LookupDynamicVariable(machine, name)) fields->Insert(v);
  }
}

void BeginCommerce(ZetoVM& machine, const TagInstruction& in) {
  std::string names, action, method;
  if (!machine.PopText(&names) || !machine.PopText(&action) || !machine.PopText(&method)) return;
  int64_t skip = static_cast<int64_t>(in.next) + in.a;
  CommerceLibraryManager* registry = machine.application()->GetCommerceLibraryManager();
  CommerceLibrary* bound = registry != nullptr ? registry->Get(method) : nullptr;
  if (bound == nullptr) {
    machine.RuntimeError(kCommerceTag,
                         registry != nullptr
                             ? registry->ErrorText()
                             : "Commerce method '" + method + "' is unsupported or not configured");
    machine.Jump(skip);
    return;
  }
  auto feature = std::make_unique<CommerceFeature>(machine, bound, method, action);
  AddFields(machine, names, &feature->fields());
  if (feature->Init() != 0) {
    machine.RuntimeError(kCommerceTag, feature->Error());
    machine.Jump(skip);
    return;
  }
  machine.ClearTagError(kCommerceTag);
  int result = feature->Loop();
  if (result == 0) {
    machine.Features().Push(std::move(feature));
    return;
  }
  if (result == 1) machine.RuntimeError(kCommerceTag, feature->Error());
  machine.Jump(skip);
}

CommerceFeature* Innermost(ZetoVM& machine) {
  Feature* feature = machine.Features().Innermost(FeatureKind::kCommerce);
  if (feature == nullptr) machine.FatalError("Invalid instruction");
  return static_cast<CommerceFeature*>(feature);
}

void CommerceLoop(ZetoVM& machine, const TagInstruction& in) {
  CommerceFeature* feature = Innermost(machine);
  if (feature == nullptr) return;
  int result = feature->Loop();
  if (result == 0) {
    machine.Jump(static_cast<int64_t>(in.next) + in.a);
    return;
  }
  if (result == 1) machine.RuntimeError(kCommerceTag, feature->Error());
  machine.Features().Stop(feature);
}

void CommerceStop(ZetoVM& machine, const TagInstruction& in) {
  CommerceFeature* feature = Innermost(machine);
  if (feature == nullptr) return;
  machine.Features().Stop(feature);
  machine.Jump(static_cast<int64_t>(in.next) + in.a);
}

// Database types other than xBase come from database libraries.
std::unique_ptr<Database> LibraryDatabase(ZetoVM& machine, DatabaseRegistry& databases,
                                          std::string_view type, std::string_view name,
                                          std::string* error) {
  ExternalDatabaseLibraryManager* registry =
      machine.application()->GetExternalDatabaseLibraryManager();
  if (registry == nullptr) {
    *error = "Database type '" + std::string(type) + "' is unsupported or not configured";
    return nullptr;
  }
  ExternalDatabaseLibrary* library = registry->Get(type);
  if (library == nullptr) {
    *error = registry->ErrorText();
    return nullptr;
  }
  return std::make_unique<ExternalDatabase>(&machine, &databases, name,
                                            static_cast<const ztDatabaseTable*>(library->table));
}

void Install() {
  SetTagInstructionHandler(kOpCommerce, BeginCommerce);
  SetTagInstructionHandler(kOpCommerceLoop, CommerceLoop);
  SetTagInstructionHandler(kOpCommerceStop, CommerceStop);
  SetDatabaseLibraryFactory(LibraryDatabase);
}

}  // namespace

void InstallLibraryLayer() {
  static std::once_flag once;
  std::call_once(once, Install);
}

}  // namespace orin

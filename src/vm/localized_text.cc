#include "vm/localized_text.h"

#include <string>
#include <string_view>

#include "image/dictionary.h"
#include "image/localized.h"
#include "output/output.h"
#include "variables/variable_hash.h"
#include "vm/zeto_vm.h"

namespace orin {

namespace {

// Renders the token named dict[name_id], handing each piece to `sink`.
// False after a fatal error. The parameters are emptied in every case.
template <typename Sink>
bool Render(ZetoVM& vm, int32_t name_id, Sink&& sink) {
  VariableHash* parameters = vm.PrivateVariables();
  Dictionary* dictionary = vm.dictionary();
  bool found = false;
  std::string_view name = dictionary != nullptr ? dictionary->View(name_id, &found) : "";
  bool ok = true;
  if (!found) {
    vm.FatalError("Invalid dictionary reference");
    ok = false;
  }
  LocalizedLanguages* languages = vm.languages();
  LocalizedDictionary* pieces = vm.localized();
  const LocalizedToken* token = ok && languages != nullptr ? languages->FindToken(name) : nullptr;
  if (token != nullptr) {
    // A chain longer than the dictionary of pieces loops.
    uint64_t steps = 0;
    for (uint32_t index = token->first_entry; index != LocalizedDictionary::kEnd;) {
      const LocalizedEntry* e = pieces != nullptr ? pieces->Entry(index) : nullptr;
      if (e == nullptr || ++steps > pieces->Count()) {
        vm.FatalError("Invalid localized dictionary ID reference");
        ok = false;
        break;
      }
      bool known = false;
      std::string_view text = dictionary->View(static_cast<int32_t>(e->text_id), &known);
      if (!known || e->text_id > INT32_MAX) {
        vm.FatalError("Invalid dictionary reference");
        ok = false;
        break;
      }
      if (e->kind == LocalizedDictionary::kLiteral) {
        sink(text);
      } else {
        Variable* value = nullptr;
        parameters->Find(&value, text.data(), static_cast<int64_t>(text.size()), false);
        if (value != nullptr) sink(value->Value().view());
      }
      index = e->next;
    }
  }
  parameters->Dump();
  return ok;
}

}  // namespace

void PopLocalizeParameter(ZetoVM& vm, const TagInstruction& instruction) {
  bool found = false;
  std::string_view name =
      vm.dictionary() != nullptr ? vm.dictionary()->View(instruction.a, &found) : "";
  if (!found) {
    vm.FatalError("Invalid dictionary reference");
    return;
  }
  VarRef parameter = NewVariable(name);
  if (!vm.PopInto(parameter.get())) return;
  vm.PrivateVariables()->ReplaceVariable(parameter.get());
}

void LocalizeToOutput(ZetoVM& vm, const TagInstruction& instruction) {
  Render(vm, instruction.a, [&vm](std::string_view piece) {
    Output* out = vm.CurrentOutput();
    if (out != nullptr && !piece.empty())
      out->Write(piece.data(), static_cast<int32_t>(piece.size()));
  });
}

void LocalizeToStack(ZetoVM& vm, const TagInstruction& instruction) {
  std::string text;
  if (Render(vm, instruction.a, [&text](std::string_view piece) { text.append(piece); })) {
    vm.PushText(text);
  }
}

}  // namespace orin

// The instructions that render localized texts.
//
//   poplvnc A    pops a value into a parameter named dict[A]
//   localize A   writes the text of token dict[A] to the current output
//   localizev A  pushes that text
//
// A token is found in the current language, else in the default language
// (LocalizedLanguages::FindToken); a token found nowhere renders as
// nothing. Its text is the chain of its pieces: literal texts, and
// parameters by name (nothing when the parameter was not set). Parameters
// apply to one token: the machine's private variables are emptied after
// every rendering.
#ifndef ORIN_VM_LOCALIZED_TEXT_H_
#define ORIN_VM_LOCALIZED_TEXT_H_

#include "vm/tag_instructions.h"

namespace orin {

void PopLocalizeParameter(ZetoVM& machine, const TagInstruction& instruction);
void LocalizeToOutput(ZetoVM& machine, const TagInstruction& instruction);
void LocalizeToStack(ZetoVM& machine, const TagInstruction& instruction);

}  // namespace orin

#endif  // ORIN_VM_LOCALIZED_TEXT_H_

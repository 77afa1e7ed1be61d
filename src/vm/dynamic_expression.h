// Expressions compiled at run time, in the form the plug-in interface
// exports them: compile a text into the machine's program, run the code
// and take its value.
#ifndef ORIN_VM_DYNAMIC_EXPRESSION_H_
#define ORIN_VM_DYNAMIC_EXPRESSION_H_

#include <cstdint>

namespace orin {

class Segment;
class Variable;
class VariableHash;
class ZetoVM;

// Compiles `text` (`length` -1: NUL-terminated) into a new segment of the
// machine's program. On failure returns null and points *error at the
// compiler's message (valid until the next compile on this thread) with
// its length in *error_length; either may be null.
Segment* ztProgram_Compile_Dynamic_Expression(ZetoVM* machine, const char* text, int32_t length,
                                              const char** error, int32_t* error_length);

// Runs a compiled segment with `locals` (null: the current frame's) and
// assigns its value to `result`: 1 when the code ran and left a value,
// else 0.
int32_t ztProgram_Execute_Dynamic_Expression(ZetoVM* machine, Segment* segment,
                                             VariableHash* locals, Variable* result);
// The same, taking the value as an integer.
int32_t ztProgram_Execute_Dynamic_Expression_Boolean(ZetoVM* machine, Segment* segment,
                                                     VariableHash* locals, int32_t* out);

}  // namespace orin

#endif  // ORIN_VM_DYNAMIC_EXPRESSION_H_

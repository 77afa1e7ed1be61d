#include "vm/dynamic_expression.h"

#include <string>
#include <string_view>

#include "util/byte_string.h"
#include "vm/expression_compiler.h"
#include "vm/zeto_vm.h"

namespace orin {

namespace {

// The message of the last failed compile on this thread.
thread_local std::string t_compile_error;

}  // namespace

Segment* ztProgram_Compile_Dynamic_Expression(ZetoVM* machine, const char* text, int32_t length,
                                              const char** error, int32_t* error_length) {
  Segment* segment = nullptr;
  if (machine == nullptr || text == nullptr) {
    t_compile_error = "Argument expected in Expression";
  } else {
    ExpressionCompiler compiler(machine->external_calls(), machine->segments(),
                                machine->dictionary(), machine->functions());
    segment = compiler.Compile(MeasuredText(text, length));
    if (segment == nullptr) t_compile_error = compiler.ErrorText();
  }
  if (error != nullptr) *error = segment != nullptr ? nullptr : t_compile_error.c_str();
  if (error_length != nullptr) {
    *error_length = segment != nullptr ? 0 : static_cast<int32_t>(t_compile_error.size());
  }
  return segment;
}

int32_t ztProgram_Execute_Dynamic_Expression(ZetoVM* machine, Segment* segment,
                                             VariableHash* locals, Variable* result) {
  if (machine == nullptr || segment == nullptr) return 0;
  if (result != nullptr) return machine->ExecuteSegmentInto(segment, locals, result) ? 1 : 0;
  return machine->ExecuteSegmentVariable(segment, locals) ? 1 : 0;
}

int32_t ztProgram_Execute_Dynamic_Expression_Boolean(ZetoVM* machine, Segment* segment,
                                                     VariableHash* locals, int32_t* out) {
  if (machine == nullptr || segment == nullptr) return 0;
  int32_t value = 0;
  bool ok = machine->ExecuteSegmentInteger(segment, locals, &value);
  if (out != nullptr) *out = ok ? value : 0;
  return ok ? 1 : 0;
}

}  // namespace orin

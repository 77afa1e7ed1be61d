#include "vm/cloned_vm.h"

#include "image/dictionary.h"
#include "image/function.h"
#include "image/localized.h"
#include "image/segment.h"
#include "variables/variable_hash.h"
#include "vm/external_call.h"

namespace orin {

ClonedProgram::ClonedProgram(ZetoVM& source, uint32_t isolation) {
  dictionary = std::make_unique<Dictionary>(*source.dictionary());
  if (source.segments() != nullptr) {
    segments = std::make_unique<SegmentManager>(*source.segments());
  }
  if (source.functions() != nullptr) {
    functions = std::make_unique<FunctionManager>(*source.functions(), dictionary.get());
  }
  external_calls = std::make_unique<ExternalCallManager>();
  if (source.external_calls() != nullptr) external_calls->CopyTables(*source.external_calls());
  if (source.languages() != nullptr) {
    // The copy has no file to read token indexes from later.
    source.languages()->LoadAllIndexes();
    languages = std::make_unique<LocalizedLanguages>(*source.languages(), dictionary.get());
  }
  if (source.localized() != nullptr) {
    localized = std::make_unique<LocalizedDictionary>(*source.localized());
  }
  system = source.System();
  if ((isolation & kIsolateSystem) && system != nullptr) {
    own_system.reset(static_cast<SystemVariableHash*>(system->Copy(true, dictionary.get())));
    system = own_system.get();
  }
  globals = source.Globals();
  if ((isolation & kIsolateGlobal) && globals != nullptr) {
    own_globals.reset(globals->Copy(true, dictionary.get()));
    globals = own_globals.get();
  }
}

ClonedProgram::~ClonedProgram() = default;

ZetoProgram ClonedProgram::Program() const {
  ZetoProgram p;
  p.dictionary = dictionary.get();
  p.system = system;
  p.globals = globals;
  p.segments = segments.get();
  p.functions = functions.get();
  p.external_calls = external_calls.get();
  p.languages = languages.get();
  p.localized = localized.get();
  return p;
}

ClonedZetoVM::ClonedZetoVM(ZetoVM& source, ZetoApplication* application, uint32_t isolation)
    : ClonedProgram(source, isolation),
      ZetoVM(source.script_path(), application, ClonedProgram::Program()),
      isolation_(isolation) {
  error_settings_ = source.error_settings_;
  trace_flags_ = source.trace_flags_;
  aborted_ = source.aborted_;
  segment_ = source.segment_;
  pc_ = source.pc_;
  line_ = source.line_;
  source_file_ = source.source_file_;
  error_prefix_ = source.error_prefix_;

  // The task's body runs in an asynchronous frame over the top frame: a
  // return there ends the task. Inside a function it works on a copy of
  // that function's locals.
  ZetoVM_Frame* from = source.CurrentFrame();
  auto* frame = new ZetoVM_AsyncFrame(-1, -1);
  if (from->FrameKind() == 1 && from->locals() != nullptr) {
    frame->SetLocals(from->locals()->Copy(true, ClonedProgram::dictionary.get()), true);
  } else {
    frame->SetLocals(ClonedProgram::globals, false);
  }
  frame->SetStack(new ZetoVM_Stack, true);
  frame->set_error_flags(from->error_flags());
  frame->set_output_mode(from->output_mode());
  top_frame_->set_error_flags(from->error_flags());
  top_frame_->set_output_mode(from->output_mode());
  frame->set_caller(top_frame_.get());
  frame_ = frame;
  stack_ = frame->stack();
}

ClonedZetoVM::~ClonedZetoVM() = default;

}  // namespace orin

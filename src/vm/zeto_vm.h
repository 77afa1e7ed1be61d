// ZetoVM: the stack machine that runs a loaded program for one request.
//
// Instructions (image/opcodes.h) take their inputs from the operand stack of
// the current frame and push their results on it; variables are reached by
// slot in the system, global and local scopes, or by name. The loop
// decodes in place from the segment's bytes and never reads past its
// length: fewer than two bytes left, or operands cut short, end the code.
//
// The machine looks at four flags: its own abort flag (set by fatal
// errors), and three it shares with the application and other threads
// (relaxed loads): the time-out flag, the exit flag and the signal counter
// of asynchronous tasks. They are looked at before every instruction except
// after one that only moved integers and variables on the stack (a push, a
// store, an integer sum); such a run of instructions ends at the next jump,
// call or return, where they are looked at again. Only such instructions
// skip the look, so an abort is always seen before the next instruction,
// and a flag set by another thread within a few instructions.
//
// Frames (frame.h) live on the heap, each function call with its own
// 512-entry stack; calls do not recurse on the C++ stack. Function frames,
// their stacks and their locals tables are kept for later calls. A runaway
// recursion stops at kMaxCallDepth frames with the fatal error "Stack
// overflow". Nested runs (callbacks into script functions, compiled
// expressions) do use the C++ stack and are capped at kMaxNestedRuns.
//
// Errors: FatalError stops the run (it reports "Fatal error in <path> @
// [segment:offset]: <source>: Line <n>: <message>"); RuntimeError reports a
// tag's failure and stops the run only when that tag's setting is fatal.
// Both leave the run's state consistent, so a handler that popped operands
// checks Aborted() before it acts on them.
//
// One machine is driven by one thread.
#ifndef ORIN_VM_ZETO_VM_H_
#define ORIN_VM_ZETO_VM_H_

#include <atomic>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "variables/dynamic_name.h"
#include "variables/operand.h"
#include "variables/variable.h"
#include "vm/error_settings.h"
#include "vm/feature.h"
#include "vm/frame.h"
#include "vm/vm_stack.h"
#include "vm/zeto_application.h"

namespace orin {

class Crypt;
class Dictionary;
class DoContextCache;
class ExternalCallManager;
class Function;
class LocalizedDictionary;
class LocalizedLanguages;
class Output;
class RunDatabases;
class Segment;
class SegmentManager;
class FunctionManager;
class SystemVariableHash;
class VariableHash;
class VariableList;
class ZetoVMCallbacks;

// The program objects a machine runs over; the application owns them and
// they must outlive the machine.
struct ZetoProgram {
  Dictionary* dictionary = nullptr;
  SystemVariableHash* system = nullptr;
  VariableHash* globals = nullptr;
  SegmentManager* segments = nullptr;
  FunctionManager* functions = nullptr;
  ExternalCallManager* external_calls = nullptr;  // null: external calls stay unresolved
  LocalizedLanguages* languages = nullptr;
  LocalizedDictionary* localized = nullptr;
};

// Flags shared with the application and other threads.
struct ZetoVM_Flags {
  std::atomic<int32_t>* timed_out;
  std::atomic<int32_t>* exit;
  std::atomic<uint32_t>* signals;
};

class ZetoVM : public NameContext {
 public:
  static constexpr uint32_t kMaxCallDepth = 10000;
  static constexpr uint32_t kMaxNestedRuns = 64;

  // Starts at offset 0 of the start segment (created empty when its slot
  // is empty) in a top frame whose locals are the globals. The flags are
  // `flags` when given, else the parent's, else the application's. A
  // machine with a parent (a ZtDO file) leaves the run-wide resources to
  // the parent.
  ZetoVM(std::string_view script_path, ZetoApplication* application, const ZetoProgram& program,
         ZetoVM* parent = nullptr, const ZetoVM_Flags* flags = nullptr);
  ~ZetoVM() override;
  ZetoVM(const ZetoVM&) = delete;
  ZetoVM& operator=(const ZetoVM&) = delete;

  // Executes from the current position until the code ends, `exit`, an
  // abort or a time-out: 1 for the first two, 0 for the others.
  int Run();
  // The text of the fatal error (or time-out) that stopped the run.
  const std::string& ErrorText() const { return error_text_; }
  bool Aborted() const { return aborted_; }
  // The application's signal count this machine has last acted on.
  uint32_t signals_seen() const { return signal_copy_; }
  // End of run: closes the features still open (unlocking lockfiles,
  // giving captured output back) and every open database. A machine with a
  // parent does nothing.
  void Release();

  // --- Compiled expressions ---
  // Runs `segment` (of this machine's program) from offset 0 in a plain
  // frame whose locals are `locals` (or the current frame's) and whose
  // stack is `stack` (or the current one), then restores the frame,
  // segment and position. True when the code ran to its end (or `exit`)
  // without an abort or time-out; its value is left on that stack.
  bool ExecuteSegment(Segment* segment, VariableHash* locals = nullptr,
                      ZetoVM_Stack* stack = nullptr);
  // The same on the current stack, taking the value the code left (the
  // stack is as before afterwards). False when the code did not run to its
  // end or left nothing.
  bool ExecuteSegmentInteger(Segment* segment, VariableHash* locals, int32_t* out);
  bool ExecuteSegmentString(Segment* segment, VariableHash* locals, std::string* out);
  // Assigns the value to `result`.
  bool ExecuteSegmentInto(Segment* segment, VariableHash* locals, Variable* result);
  // The value as a variable: the variable itself when the code left one,
  // else a new variable holding the value; null on failure.
  VarRef ExecuteSegmentVariable(Segment* segment, VariableHash* locals);

  // --- Script functions called from outside the instruction stream ---
  // Runs a function to its return with `arguments` (by-reference
  // parameters bind to the list's variables) and assigns what it returns
  // to `result` (may be null). False when there is no such function, the
  // argument count differs, or the function did not return normally.
  bool RunFunction(Function* function, VariableList* arguments, Variable* result);
  bool RunFunction(std::string_view name, VariableList* arguments, Variable* result);
  bool RunFunction(int64_t number, VariableList* arguments, Variable* result);

  // --- What a run attaches to its machines ---
  // The files run through ZtDO, kept by the root machine (made on first
  // use); destroyed before anything else of the machine.
  DoContextCache& DoContexts();
  // The callback objects of structures served by this machine's functions;
  // destroyed with it.
  ZetoVMCallbacks& Callbacks();
  // The run's databases, kept by the root machine: made through the
  // installed factory on first use with `create`, else null until then (and
  // always null without a factory).
  RunDatabases* Databases(bool create);

  // --- Errors ---
  // Stops the run with a text another machine has already reported (a
  // ZtDO file's error becomes its caller's).
  void AbortWith(std::string_view error_text);
  // Reports and stops the run. Once the run has aborted, later errors are
  // not reported again.
  void FatalError(std::string_view message);
  // A tag's failure: displayed and fatal as the tag's setting and the
  // frame's error flags say; the global "<Tag>_Error" gets the message.
  void RuntimeError(int32_t tag, std::string_view message);
  // A tag succeeded: its "<Tag>_Error" global, when it exists, is cleared.
  void ClearTagError(int32_t tag);
  const ErrorSettings& error_settings() const { return error_settings_; }

  // --- Stack primitives on the current frame's stack ---
  // Pushes consume what they push; a full stack is "Stack overflow".
  bool Push(Operand op);
  bool PushInteger(int32_t value) { return Push(IntegerOperand(value)); }
  bool PushString(const char* bytes, uint32_t length, uint32_t capacity, bool owned);
  bool PushText(std::string_view text);  // a copy
  bool PushNumber(mpd_t* number, bool owned);
  // Adds a reference of the stack's own; null pushes the NULL variable.
  bool PushVariable(Variable* variable);
  // Pops into *out (the caller releases it); an empty stack is "Stack
  // underflow" and gives the integer 0.
  bool Pop(Operand* out);
  void PopDiscard();
  int32_t PopInteger();
  // The text of the popped value.
  bool PopText(std::string* out);
  // The popped variable (a held reference); an entry that is not a
  // variable is the fatal error "Invalid variable reference".
  VarRef PopVariable();
  // Pops a value and assigns it to `target`.
  bool PopInto(Variable* target);
  // The top entry, or null when the stack is empty.
  Operand* Peek();
  // Diagnostic listing of the current stack to standard output.
  void DumpStack();

  // --- State ---
  ZetoApplication* application() const { return application_; }
  ZetoVM* parent() const { return parent_; }
  const std::string& script_path() const { return script_path_; }
  const std::string& script_directory() const { return script_directory_; }
  Dictionary* dictionary() const { return program_.dictionary; }
  SegmentManager* segments() const { return program_.segments; }
  FunctionManager* functions() const { return program_.functions; }
  ExternalCallManager* external_calls() const { return program_.external_calls; }
  LocalizedLanguages* languages() const { return program_.languages; }
  LocalizedDictionary* localized() const { return program_.localized; }
  VariableHash* Locals() const { return frame_->locals(); }
  VariableHash* Globals() const { return program_.globals; }
  SystemVariableHash* System() const { return program_.system; }
  FeatureStack& Features() { return features_; }
  Output* CurrentOutput() const { return application_->GetOutput(); }
  ZetoVM_Frame* CurrentFrame() const { return frame_; }
  ZetoVM_Stack* CurrentStack() const { return stack_; }
  Variable* NullVariable() const { return null_.get(); }
  // The variables `poplvnc` fills for the next localized text.
  VariableHash* PrivateVariables();
  uint32_t call_depth() const { return call_depth_; }

  // Position. Handlers of tag instructions jump with Jump (a target outside
  // the segment ends its code).
  int32_t current_segment() const { return segment_; }
  uint32_t program_counter() const { return pc_; }
  uint32_t instruction_start() const { return instruction_start_; }
  void Jump(int64_t target);
  int32_t line() const { return line_; }
  // The current source file name ("" when none).
  std::string_view SourceFileName() const;
  const std::string& error_prefix() const { return error_prefix_; }

  // Tracing: whether an event bit is on, and writing an entry (script path,
  // source file and line first, then `items`) when the application's
  // filter lets the current position through.
  bool Tracing(uint32_t event) const { return (trace_flags_ & event) != 0; }
  void WriteTrace(uint32_t event, std::initializer_list<LogField> items);
  uint32_t trace_flags() const { return trace_flags_; }
  // The next line-trace entry is written whatever the line.
  void ResetTracedLine() { last_traced_line_ = 0; }

  // NameContext: how dynamic names resolve in this run.
  VariableHash* LocalTable() override { return frame_->locals(); }
  VariableHash* GlobalTable() override { return program_.globals; }
  VariableHash* SystemTable() override;
  Variable* DatabaseField(std::string_view alias, std::string_view field) override;

 private:
  friend class ZetoVM_Test;
  friend class ClonedZetoVM;
  struct SavedPosition {
    int32_t segment;
    uint32_t pc;
    uint32_t instruction_start;
    ZetoVM_Frame* frame;
    ZetoVM_Stack* stack;
    ZetoVM_Frame* stop_frame;
  };

  // The loop (vm_run.cc).
  int Execute();
  Segment* LoadSegment();
  int CheckStop();
  void ProcessSignals();
  void TimedOut();

  // Calls and frames (vm_calls.cc).
  void Call(int32_t number);
  void CallFunction(Function* function);
  void CallExternal(Function* function);
  bool BindParameters(Function* function, VariableHash* locals, uint32_t trace_event);
  // ret/retn; true when the frame a nested run waits for became current.
  bool Return(bool with_value);
  ZetoVM_Stack* NewStack();
  void RecycleStack(ZetoVM_Stack* stack);
  void DestroyFrame(ZetoVM_Frame* frame);
  ZetoVM_FunctionFrame* NewFunctionFrame(Function* function);
  SavedPosition EnterPlainFrame(VariableHash* locals, ZetoVM_Stack* stack, bool own_stack);
  void LeavePlainFrame(const SavedPosition& saved, ZetoVM_Frame* plain);
  bool EvaluateSegment(Segment* segment, VariableHash* locals, Operand* out);

  // Errors (vm_errors.cc).
  std::string ErrorHeading(std::string_view kind) const;
  void SetStatus500();

  // Instructions done out of line (vm_instructions.cc, vm_blocks.cc).
  void StackOverflow();
  void StackUnderflow();
  void PushNamed(std::string_view name);
  void PushName();
  void PopNamed(std::string_view name);
  void PopName();
  bool DictionaryString(int32_t index, std::string_view* out);
  void Element(bool create);
  void Member(bool create);
  void Store();
  void Refer();
  void ReferNamed();
  void ReferSlot(VariableHash* table, int32_t slot);
  void ReferDictionaryName(int32_t index);
  void Out();
  void OutText();
  void ErrPrefix();
  void Dup();
  void Swap(int32_t a, int32_t b, const char* message);
  void SystemSavePop();
  void LineNumber(int32_t line);
  void SourceFile(int32_t index);
  void StdOutput(int32_t mode);
  void TagError(int32_t tag, int32_t setting);
  void Hide();
  void SkipToClosing(uint16_t open, uint16_t close);
  void BeginCapture();
  void EndCapture();
  void BeginLockfile();
  void EndLockfile();
  void PushDouble(double value);
  void CryptOperator();
  void PushField();
  void PopField();
  void PushFieldConstant(int32_t alias, int32_t field);
  void PopFieldConstant(int32_t alias, int32_t field);
  void PopIntoOrDiscard(Variable* target);
  void OtherInstruction(uint16_t opcode, const uint8_t* operands, uint32_t next);

  std::string script_path_;
  std::string script_directory_;
  ZetoApplication* application_;
  ZetoVM* parent_;
  ZetoProgram program_;
  std::atomic<int32_t>* timed_out_;
  std::atomic<int32_t>* exit_;
  std::atomic<uint32_t>* signals_;
  uint32_t signal_copy_ = 0;

  int32_t segment_ = 0;
  uint32_t pc_ = 0;
  uint32_t instruction_start_ = 0;
  ZetoVM_Frame* frame_ = nullptr;
  ZetoVM_Stack* stack_ = nullptr;
  std::unique_ptr<ZetoVM_Frame> top_frame_;
  ZetoVM_Frame* stop_frame_ = nullptr;  // a nested RunFunction waits for it
  uint32_t call_depth_ = 0;
  uint32_t run_depth_ = 0;
  std::vector<ZetoVM_Stack*> spare_stacks_;
  std::vector<ZetoVM_FunctionFrame*> spare_frames_;  // with their (empty) stacks

  bool aborted_ = false;
  std::string error_text_;
  std::string error_prefix_;
  int32_t line_ = 0;
  int32_t source_file_ = -1;
  int32_t last_traced_line_ = 0;
  uint32_t trace_flags_ = 0;
  ErrorSettings error_settings_;

  FeatureStack features_;
  VarRef null_;
  std::unique_ptr<VariableHash> private_variables_;
  std::unique_ptr<Crypt> crypt_;
  std::unique_ptr<ZetoVMCallbacks> callbacks_;
  std::unique_ptr<DoContextCache> do_contexts_;
  std::unique_ptr<RunDatabases> databases_;
};

}  // namespace orin

#endif  // ORIN_VM_ZETO_VM_H_

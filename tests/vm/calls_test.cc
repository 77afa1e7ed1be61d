// Calls of script and library functions, returns, frames, and code run
// from outside the instruction stream.
#include <gtest/gtest.h>

#include "image/segment.h"
#include "variables/variable_list.h"
#include "vm_test_util.h"

namespace orin::test {
namespace {

TEST(Calls, LocalsAreFreshPerCall) {
  VmRun run(R"(
.func count()
.local seen
        pushl seen
        pushi 1
        add
        popl seen
        pushl seen
        ret
.end
        call count
        out
        call count
        out
  )");
  EXPECT_EQ(run.Output(), "11");
}

TEST(Calls, Recursion) {
  VmRun run(R"(
.func fact(n)
        pushl n
        pushi 1
        le
        jmp_eq more
        pushi 1
        ret
more:   pushl n
        pushl n
        pushi 1
        sub
        call fact
        mul
        ret
.end
        pushi 10
        call fact
        out
  )");
  EXPECT_EQ(run.Output(), "3628800");
}

TEST(Calls, RunawayRecursionIsStackOverflow) {
  VmRun run(R"(
.func down()
        call down
        retn
.end
        call down
  )");
  EXPECT_EQ(run.Run(), 0);
  EXPECT_EQ(MessageOf(run.vm().ErrorText()), "Stack overflow");
  EXPECT_EQ(run.vm().call_depth(), ZetoVM::kMaxCallDepth);
  EXPECT_EQ(run.app.output.headers["Status"], "500 Internal Server Error");
}

TEST(Calls, FunctionInMissingSegment) {
  VmRun run(R"(
.func lost segment=40 offset=0
        call lost
  )");
  EXPECT_EQ(run.Run(), 0);
  EXPECT_NE(run.vm().ErrorText().find("@ [00000028:00000000]: Invalid segment reference"),
            std::string::npos)
      << run.vm().ErrorText();
}

TEST(Calls, PrivateFunctionsFromRestrictedCode) {
  const char* source = R"(
.func secret() private
        pushc "secret"
        ret
.end
.func open()
        pushc "open"
        ret
.end
        call open
        out
        call secret
        out
  )";
  VmRun free_run(source);
  EXPECT_EQ(free_run.Output(), "opensecret");

  VmRun restricted(source);
  restricted.image.segments.Get(0)->SetFlags(Segment::kRestricted);
  EXPECT_EQ(restricted.Run(), 0);
  EXPECT_EQ(restricted.out(), "open");
  EXPECT_EQ(MessageOf(restricted.vm().ErrorText()), "Function is private");
}

TEST(Calls, ErrorFlagsAndOutputModesFollowFunctionFlags) {
  VmRun run(R"(
.func quiet() hideerrors collapse
        tagerror 28, 1
        call probe
        ret
.end
.func loud() showerrors compress
        call probe
        ret
.end
.func probe()
        pushi 0
        ret
.end
        erroutput 3
        stdoutput 1
        call quiet
        pop
        call loud
        pop
  )");
  EXPECT_EQ(run.Run(), 1);
  EXPECT_EQ(run.vm().CurrentFrame()->output_mode(), 1u);
  EXPECT_EQ(run.app.output.GetMode(), 1u);  // the caller's mode is back
}

TEST(Calls, FeaturesOfAReturningFunctionAreClosed) {
  // A capture left open by a function ends with it: what follows is output
  // again, and the target never got the text.
  VmRun run(R"(
.func grab()
        pushg target
        capture
        pushc "swallowed"
        out
        retn
.end
        call grab
        pop
        pushc "visible"
        out
  )");
  EXPECT_EQ(run.Output(), "visible");
  EXPECT_EQ(run.Global("target"), "");
  EXPECT_EQ(run.vm().Features().size(), 0u);
}

// --- Library functions ---

int g_cleanups = 0;

void Join(ZetoVM*, VariableHash* parameters, Variable* result, void** data) {
  if (parameters == nullptr) {  // the library frees what it kept
    delete static_cast<int*>(*data);
    *data = nullptr;
    ++g_cleanups;
    return;
  }
  if (*data == nullptr) *data = new int(0);
  int* calls = static_cast<int*>(*data);
  ++*calls;
  std::string joined = parameters->Index(0, false)->Value().str() + "+" +
                       parameters->Index(1, false)->Value().str() + "#" + std::to_string(*calls);
  result->SetValue(joined.data(), static_cast<int64_t>(joined.size()));
}

void Increment(ZetoVM*, VariableHash* parameters, Variable* result, void**) {
  if (parameters == nullptr) return;
  Variable* target = parameters->Index(0, false);
  target->SetValue_Integer(target->Value_Integer() + 1);
  result->SetValue_Integer(-1);
}

// Evaluates segment 1 in the middle of a run.
void Evaluate(ZetoVM* vm, VariableHash* parameters, Variable* result, void**) {
  if (parameters == nullptr) return;
  int32_t value = 0;
  if (vm->ExecuteSegmentInteger(vm->segments()->Get(1), nullptr, &value)) {
    result->SetValue_Integer(value);
  }
}

// Calls the script function named by its argument with no arguments.
void Callback(ZetoVM* vm, VariableHash* parameters, Variable* result, void**) {
  if (parameters == nullptr) return;
  std::string name = parameters->Index(0, false)->Value().str();
  VariableList none;
  if (!vm->RunFunction(name, &none, result)) result->SetValue("failed", -1);
}

// Replaces a system variable, as libraries may.
void SetSystem(ZetoVM* vm, VariableHash* parameters, Variable*, void**) {
  if (parameters == nullptr) return;
  auto* v = new Variable("sv", parameters->Index(0, false)->Value().view());
  vm->System()->ReplaceVariable(v);
  v->Release();
}

const ZetoFunctionParameterRecord kByValue = {{}, 0};
const ZetoFunctionParameterRecord kByReference = {{}, 1};
const ZetoFunctionParameterRecord kTwoByValue[] = {kByValue, kByValue};

const ZetoFunctionEntry kLibrary[] = {
    {"join", 4, 2, kTwoByValue, Join},         {"increment", 9, 1, &kByReference, Increment},
    {"evaluate", 8, 0, nullptr, Evaluate},     {"callback", 8, 1, &kByValue, Callback},
    {"setsystem", 9, 1, &kByValue, SetSystem}, {nullptr, 0, 0, nullptr, nullptr},
};
// A second library that also has "join": the first added wins.
const ZetoFunctionEntry kShadow[] = {
    {"JOIN", 4, 2, kTwoByValue, Increment},
    {nullptr, 0, 0, nullptr, nullptr},
};

TEST(ExternalCalls, ResolvedOnceWithPersistentData) {
  g_cleanups = 0;
  {
    VmRun run(R"(
.func Join(a, b) external
        pushc "x"
        pushi 1
        call join
        out
        pushc " "
        out
        pushc "y"
        pushi 2
        call JOIN
        out
    )");
    run.calls.AddFunctionTable(nullptr, kLibrary);
    run.calls.AddFunctionTable(nullptr, kShadow);
    EXPECT_EQ(run.Output(), "x+1#1 y+2#2");
    EXPECT_EQ(run.vm().CurrentStack()->count(), 0u);
  }
  EXPECT_EQ(g_cleanups, 1);
}

TEST(ExternalCalls, ByReferenceParameter) {
  VmRun run(R"(
.func increment(&n) external
        storegi counter, 41
        pushg counter
        call increment
        out
        pushc ":"
        out
        pushg counter
        out
  )");
  run.calls.AddFunctionTable(nullptr, kLibrary);
  EXPECT_EQ(run.Output(), "-1:42");
}

TEST(ExternalCalls, ResultStaysWithTheScriptThatHoldsIt) {
  // The first result is held by a reference; the second call must not
  // change it.
  VmRun run(R"(
.func join(a, b) external
        pushc "a"
        pushc "b"
        call join
        refg first
        pushc "c"
        pushc "d"
        call join
        popg second
        pushg first
        out
        pushc " "
        out
        pushg second
        out
  )");
  run.calls.AddFunctionTable(nullptr, kLibrary);
  EXPECT_EQ(run.Output(), "a+b#1 c+d#2");
}

TEST(ExternalCalls, Failures) {
  struct Case {
    const char* source;
    const char* message;
  } cases[] = {
      {".func nothing() external\n call nothing\n",
       "Unresolved call to external function 'nothing'"},
      {".func join(a) external\n pushi 1\n call join\n",
       "Number of parameters mismatch in call to external function"},
      {".func join(&a, b) external\n pushg x\n pushi 1\n call join\n",
       "Parameter type mismatch in call to external function"},
      {".func increment(&n) external\n pushi 1\n call increment\n", "Invalid variable reference"},
  };
  for (const Case& c : cases) {
    VmRun run(c.source);
    run.calls.AddFunctionTable(nullptr, kLibrary);
    EXPECT_EQ(run.Run(), 0) << c.source;
    EXPECT_EQ(MessageOf(run.vm().ErrorText()), c.message) << c.source;
  }
  VmRun without_manager(".func join(a, b) external\n pushi 1\n pushi 2\n call join\n");
  EXPECT_EQ(without_manager.Run(), 0);
  EXPECT_EQ(MessageOf(without_manager.vm().ErrorText()),
            "Unresolved call to external function 'join'");
}

TEST(ExternalCalls, SystemSaveLevelUndoesALibrarysReplacement) {
  VmRun run(R"(
.system sv
.func setsystem(v) external
        pushc "outer"
        call setsystem
        pop
        spush
        pushc "inner"
        call setsystem
        pop
        pushs sv
        out
        spop
        pushs sv
        out
  )");
  run.calls.AddFunctionTable(nullptr, kLibrary);
  EXPECT_EQ(run.Output(), "innerouter");
}

// --- Code run from outside the instruction stream ---

TEST(Executing, CompiledSegmentInTheMiddleOfARun) {
  VmRun run(R"(
.func evaluate() external
        pushi 100
        call evaluate
        add
        out
        pushc "|"
        out
        pushg x
        out
.segment 1
        pushi 6
        pushi 7
        mul
        popg x
        pushg x
        pushi 2
        add
  )");
  run.calls.AddFunctionTable(nullptr, kLibrary);
  EXPECT_EQ(run.Output(), "144|42");
  EXPECT_EQ(run.vm().CurrentStack()->count(), 0u);
}

TEST(Executing, SegmentFormsAndLocals) {
  VmRun run(R"(
        pushc "main"
        out
.segment 1
        pushl v
        pushc "!"
        cat
.segment 2
        pushi 1
        ret
  )");
  EXPECT_EQ(run.Run(), 1);
  UserVariableHash locals(&run.image.dictionary, 4);
  locals.SetVariable("v", -1, "local", -1);
  std::string text;
  ASSERT_TRUE(run.vm().ExecuteSegmentString(run.image.segments.Get(1), &locals, &text));
  EXPECT_EQ(text, "local!");
  // Without a hash the current frame's locals (the globals here) are used.
  run.globals->SetVariable("v", -1, "global", -1);
  VarRef value = run.vm().ExecuteSegmentVariable(run.image.segments.Get(1), nullptr);
  ASSERT_TRUE(value);
  EXPECT_EQ(value->Value().str(), "global!");
  VarRef into = NewVariable();
  ASSERT_TRUE(run.vm().ExecuteSegmentInto(run.image.segments.Get(1), nullptr, into.get()));
  EXPECT_EQ(into->Value().str(), "global!");
  // A failing expression restores the machine but reports the error.
  int32_t n = 0;
  EXPECT_FALSE(run.vm().ExecuteSegmentInteger(run.image.segments.Get(2), nullptr, &n));
  EXPECT_TRUE(run.vm().Aborted());
  EXPECT_EQ(MessageOf(run.vm().ErrorText()), "Return outside of function");
  EXPECT_EQ(run.vm().CurrentFrame()->FrameKind(), 0);
  EXPECT_EQ(run.vm().CurrentStack()->count(), 0u);
}

TEST(Executing, RunFunctionWithArguments) {
  VmRun run(R"(
.func greet(who, &out)
        pushc "hello "
        pushl who
        cat
        popl out
        pushi 7
        ret
.end
.func fallsoff()
        pushi 1
.end
  )");
  VarRef who = NewTextVariable("", "world");
  VarRef out = NewVariable();
  VarRef result = NewVariable();
  VariableList args;
  args.Insert(who.get());
  args.Insert(out.get());
  EXPECT_TRUE(run.vm().RunFunction("GREET", &args, result.get()));
  EXPECT_EQ(out->Value().str(), "hello world");
  EXPECT_EQ(result->Value().str(), "7");
  EXPECT_EQ(who->Value().str(), "world");

  VariableList one;
  one.Insert(who.get());
  EXPECT_FALSE(run.vm().RunFunction("greet", &one, result.get()));  // wrong count
  EXPECT_FALSE(run.vm().RunFunction("nosuch", &args, result.get()));
  VariableList none;
  EXPECT_FALSE(run.vm().RunFunction("fallsoff", &none, result.get()));
  EXPECT_EQ(run.vm().CurrentFrame()->FrameKind(), 0);
  EXPECT_EQ(run.vm().call_depth(), 0u);
  EXPECT_FALSE(run.vm().Aborted());
}

TEST(Executing, CallbackIntoScriptFromALibrary) {
  VmRun run(R"(
.func callback(name) external
.func inner()
        pushc "in"
        out
        pushi 5
        ret
.end
        pushc "inner"
        call callback
        out
        pushc "."
        out
  )");
  run.calls.AddFunctionTable(nullptr, kLibrary);
  EXPECT_EQ(run.Output(), "in5.");
}

TEST(Executing, NestedRunsAreCapped) {
  // inner calls the library, which calls inner again, without end.
  VmRun run(R"(
.func callback(name) external
.func inner()
        pushc "inner"
        call callback
        ret
.end
        pushc "inner"
        call callback
        out
  )");
  run.calls.AddFunctionTable(nullptr, kLibrary);
  EXPECT_EQ(run.Run(), 0);
  EXPECT_EQ(MessageOf(run.vm().ErrorText()), "Stack overflow");
  EXPECT_EQ(run.app.fatal.size(), 1u);
}

}  // namespace
}  // namespace orin::test

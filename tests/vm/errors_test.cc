// Fatal and runtime errors, error settings, "_Error" variables, time-outs
// and trace entries.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "image/opcodes.h"
#include "vm/tag_instructions.h"
#include "vm_test_util.h"

namespace orin::test {
namespace {

TEST(FatalErrors, TextCarriesPrefixPositionSourceAndLine) {
  VmRun run(R"(
        pushc "PFX:"
        errprefix
        sourcefile "main.zt"
        lineno 12
        .insn 0x0001
        pushc "never"
        out
  )");
  EXPECT_EQ(run.Run(), 0);
  EXPECT_EQ(run.vm().ErrorText(),
            "PFX:Fatal error in /test/t.ztc @ [00000000:00000014]: main.zt: Line 12: "
            "Illegal Instruction\n");
  ASSERT_EQ(run.app.fatal.size(), 1u);
  EXPECT_EQ(run.app.fatal[0], run.vm().ErrorText());
  EXPECT_EQ(run.app.written_errors, run.vm().ErrorText());
  EXPECT_EQ(run.app.output.headers["Status"], "500 Internal Server Error");
  EXPECT_EQ(run.out(), "");
  EXPECT_TRUE(run.vm().Aborted());
}

TEST(FatalErrors, NoSourceOrLineWhenUnknown) {
  VmRun run(R"(
        noop
        pop
  )",
            "/shop/index.ztc");
  EXPECT_EQ(run.Run(), 0);
  EXPECT_EQ(run.vm().ErrorText(),
            "Fatal error in /shop/index.ztc @ [00000000:00000002]: Stack underflow\n");
}

TEST(FatalErrors, StackLimits) {
  std::string source;
  for (int i = 0; i < 512; ++i)
    source += "        pushi 1\n";
  VmRun full(source + "        out\n        pushi 1\n");
  EXPECT_EQ(full.Run(), 1);
  EXPECT_EQ(full.vm().CurrentStack()->count(), 512u);

  VmRun over(source + "        pushi 513\n");
  EXPECT_EQ(over.Run(), 0);
  EXPECT_EQ(MessageOf(over.vm().ErrorText()), "Stack overflow");
  EXPECT_EQ(over.vm().CurrentStack()->count(), 512u);
  // Reported once, at the 513th push.
  EXPECT_NE(over.vm().ErrorText().find(" @ [00000000:00000c00]"), std::string::npos);
  EXPECT_EQ(over.app.fatal.size(), 1u);
}

TEST(FatalErrors, LaterErrorsOfAnAbortedRunAreNotReported) {
  VmRun run("        store\n");  // pops a variable and a value from nothing
  EXPECT_EQ(run.Run(), 0);
  EXPECT_EQ(run.app.fatal.size(), 1u);
}

// Broken code of every kind ends the run with its own message, and nothing
// after the failing instruction runs.
TEST(FatalErrors, EachKindOfBrokenCodeHasItsMessage) {
  struct Case {
    const char* source;
    const char* message;
  } cases[] = {
      {".insn 0x0001", "Illegal Instruction"},
      {".insn 0xC0FF", "Illegal Instruction"},
      {".insn 0x4003 5", "Illegal Instruction"},
      {".insn 0xFFFF", "Illegal Instruction"},
      {"dbopen", "Instruction 'dbopen' is not supported by this server"},
      {"import_loop 0", "Invalid instruction"},
      {"op_httpn 0, 5", "Instruction 'op_httpn' is not supported by this server"},
      {"pushg x\n pushc @99", "Invalid dictionary reference"},
      {"pushg x\n .insn 0x400A -1", "Invalid dictionary reference"},
      {"pushg x\n sourcefile @1000", "Invalid dictionary reference"},
      {"pushg x\n refnc @77", "Invalid dictionary reference"},
      {"call 7", "Invalid function call"},
      {"pushi 1\n swapn 0, 1", "Invalid stack reference"},
      {"pushc \"text\"\n pushi 1\n elem", "Invalid variable reference"},
      {"pushc \"x\"\n capture", "Invalid variable reference"},
      {"capture_end", "Invalid instruction"},
      {"pushi 1\n ret", "Return outside of function"},
      {"spush\n spop\n spop", "System variable stack underflow"},
      {"pop3delete", "Instruction 'pop3delete' is not supported by this server"},
      {"localize @9999", "Invalid dictionary reference"},
  };
  for (const Case& c : cases) {
    VmRun run(std::string(" ") + c.source + "\n pushc \"after\"\n out\n");
    EXPECT_EQ(run.Run(), 0) << c.source;
    EXPECT_EQ(MessageOf(run.vm().ErrorText()), c.message) << c.source;
    EXPECT_EQ(run.out(), "") << c.source;
  }
}

// A tag handler, as the database layer will register one: it reports a
// runtime error of the tag the instruction stands for, or clears it.
void FailingOpen(ZetoVM& vm, const TagInstruction&) {
  vm.RuntimeError(28, "Unable to open 'x.dbf'");
}
void SucceedingOpen(ZetoVM& vm, const TagInstruction&) {
  vm.ClearTagError(28);
}
void UnknownTag(ZetoVM& vm, const TagInstruction& insn) {
  vm.RuntimeError(insn.a, "beyond the table");
}
// A block instruction that skips its body, as a loop ends.
void SkipBlock(ZetoVM& vm, const TagInstruction& insn) {
  vm.Jump(static_cast<int64_t>(insn.next) + insn.a);
}

class TagHandlers : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SetTagInstructionHandler(kDbopen, FailingOpen));
    ASSERT_TRUE(SetTagInstructionHandler(kDbclose, SucceedingOpen));
    ASSERT_TRUE(SetTagInstructionHandler(kImport, UnknownTag));
    ASSERT_TRUE(SetTagInstructionHandler(kImportStop, SkipBlock));
    EXPECT_FALSE(SetTagInstructionHandler(0x0001, FailingOpen));
  }
  void TearDown() override {
    SetTagInstructionHandler(kDbopen, nullptr);
    SetTagInstructionHandler(kDbclose, nullptr);
    SetTagInstructionHandler(kImport, nullptr);
    SetTagInstructionHandler(kImportStop, nullptr);
  }
};

TEST_F(TagHandlers, RuntimeErrorDisplayedNotFatalAndRecorded) {
  VmRun run(R"(
        lineno 3
        dbopen
        pushc "after"
        out
  )");
  EXPECT_EQ(run.Run(), 1);
  EXPECT_EQ(run.out(), "after");
  ASSERT_EQ(run.app.runtime.size(), 1u);
  EXPECT_EQ(run.app.runtime[0].tag, 28);
  EXPECT_TRUE(run.app.runtime[0].display);
  EXPECT_EQ(run.app.runtime[0].text,
            "Runtime error in /test/t.ztc @ [00000000:00000006]: Line 3: ZtOPEN: "
            "Unable to open 'x.dbf'\n");
  EXPECT_EQ(run.app.written_errors, run.app.runtime[0].text);
  EXPECT_EQ(run.Global("ZtOPEN_Error"), "Unable to open 'x.dbf'");
  EXPECT_EQ(run.app.output.headers.count("Status"), 0u);
  EXPECT_FALSE(run.vm().Aborted());
}

TEST_F(TagHandlers, SettingZeroHidesButStillRecords) {
  VmRun run(R"(
        tagerror 28, 0
        dbopen
  )");
  EXPECT_EQ(run.Run(), 1);
  ASSERT_EQ(run.app.runtime.size(), 1u);
  EXPECT_FALSE(run.app.runtime[0].display);
  EXPECT_EQ(run.app.written_errors, "");
  EXPECT_EQ(run.Global("ZtOPEN_Error"), "Unable to open 'x.dbf'");
}

TEST_F(TagHandlers, FatalSettingAborts) {
  VmRun run(R"(
        tagerror 28, 2
        dbopen
        pushc "never"
        out
  )");
  EXPECT_EQ(run.Run(), 0);
  EXPECT_EQ(run.out(), "");
  EXPECT_FALSE(run.app.runtime[0].display);
  EXPECT_EQ(run.app.output.headers["Status"], "500 Internal Server Error");
  EXPECT_EQ(run.vm().ErrorText(), run.app.runtime[0].text);
}

TEST_F(TagHandlers, FrameWithoutErrorDisplayHidesDisplayedErrors) {
  VmRun run(R"(
.func quiet() hideerrors
        dbopen
        retn
.end
        call quiet
        pop
        erroutput 3
        dbopen
  )");
  EXPECT_EQ(run.Run(), 1);
  ASSERT_EQ(run.app.runtime.size(), 2u);
  EXPECT_FALSE(run.app.runtime[0].display);
  EXPECT_FALSE(run.app.runtime[1].display);
}

TEST_F(TagHandlers, TagsBeyondTheTableAreFatal) {
  VmRun run(R"(
        import 100
        pushc "never"
        out
  )");
  EXPECT_EQ(run.Run(), 0);
  ASSERT_EQ(run.app.runtime.size(), 1u);
  EXPECT_TRUE(run.app.runtime[0].display);
  EXPECT_EQ(run.app.runtime[0].text,
            "Runtime error in /test/t.ztc @ [00000000:00000000]: beyond the table\n");
  EXPECT_EQ(run.out(), "");
}

TEST_F(TagHandlers, SuccessClearsTheErrorVariableButCreatesNone) {
  VmRun clean("        dbclose\n");
  EXPECT_EQ(clean.Run(), 1);
  EXPECT_FALSE(clean.HasGlobal("ZtOPEN_Error"));

  VmRun run(R"(
        dbopen
        pushg ZtOPEN_Error
        out
        pushc "|"
        out
        dbclose
        pushg ZtOPEN_Error
        isnull
        out
  )");
  EXPECT_EQ(run.Output(), "Unable to open 'x.dbf'|1");
}

TEST_F(TagHandlers, HandlersMoveTheProgramCounter) {
  VmRun run(R"(
        import_stop past
        pushc "skipped"
        out
past:   pushc "after"
        out
        import_stop 1000
        pushc "beyond the end"
        out
  )");
  EXPECT_EQ(run.Run(), 1);
  EXPECT_EQ(run.out(), "after");
}

TEST(TimeOut, FlagSetByAnotherThreadStopsTheRun) {
  VmRun run(R"(
        sourcefile "spin.zt"
        lineno 9
loop:   incg n, 1
        jmp loop
  )");
  run.app.config().SetInt(config_key::kLogLevel, kLogTimedOut);
  ZetoVM& vm = run.vm();
  std::thread watchdog([&run] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    run.app.timed_out_flag().store(1);
  });
  int result = vm.Run();
  watchdog.join();
  EXPECT_EQ(result, 0);
  EXPECT_TRUE(vm.Aborted());
  EXPECT_EQ(vm.ErrorText(), "Application timed out");
  EXPECT_EQ(run.app.timeouts, std::vector<std::string>{"Application timed out"});
  ASSERT_EQ(run.app.log.size(), 1u);
  EXPECT_EQ(run.app.log[0].event, kLogTimedOut);
  EXPECT_EQ(run.app.log[0].fields, (std::vector<std::string>{"/test/t.ztc", "spin.zt", "9"}));
  EXPECT_GT(std::stoi(run.Global("n")), 0);
}

TEST(TimeOut, AbortedRunIsNotReportedAsTimedOut) {
  VmRun run("        pop\n");
  run.app.timed_out_flag().store(1);
  EXPECT_EQ(run.Run(), 0);
  // The flag is looked at before the first instruction.
  EXPECT_EQ(run.app.timeouts.size(), 1u);
  EXPECT_TRUE(run.app.fatal.empty());
  EXPECT_EQ(run.Run(), 0);
  EXPECT_EQ(run.app.timeouts.size(), 1u);
}

// A feature that counts the signals it is told about.
class SignalCounter : public Feature {
 public:
  SignalCounter(ZetoVM_Frame* frame, int* count)
      : Feature(FeatureKind::kCall, frame), count_(count) {}
  void Signal() override { ++*count_; }

 private:
  int* count_;
};

TEST(Signals, AChangedCounterReachesTheOpenFeaturesOnce) {
  VmRun run(R"(
        noop
        noop
        noop
  )");
  int signals = 0;
  ZetoVM& vm = run.vm();
  vm.Features().Push(std::make_unique<SignalCounter>(vm.CurrentFrame(), &signals));
  run.app.signal_counter().fetch_add(1);
  EXPECT_EQ(vm.Run(), 1);
  EXPECT_EQ(signals, 1);
  run.app.signal_counter().fetch_add(2);
  EXPECT_EQ(vm.Run(), 1);  // the code has ended, but the counter is looked at first
  EXPECT_EQ(signals, 2);
}

TEST(Trace, CallsParametersAndReturns) {
  VmRun run(R"(
.func twice(n)
        pushl n
        pushl n
        add
        ret
.end
        sourcefile "m.zt"
        lineno 2
        pushi 21
        call twice
        pop
  )");
  run.app.config().SetInt(config_key::kLogLevel, 0xF0);
  EXPECT_EQ(run.Run(), 1);
  ASSERT_EQ(run.app.log.size(), 4u);
  EXPECT_EQ(run.app.log[0].event, kLogFunctionCall);
  EXPECT_EQ(run.app.log[0].fields, (std::vector<std::string>{"/test/t.ztc", "m.zt", "2", "twice"}));
  EXPECT_EQ(run.app.log[1].event, kLogFunctionParameter);
  EXPECT_EQ(run.app.log[1].fields,
            (std::vector<std::string>{"/test/t.ztc", "m.zt", "2", "twice", "n", "21"}));
  EXPECT_EQ(run.app.log[2].event, kLogFunctionReturnValue);
  EXPECT_EQ(run.app.log[2].fields.back(), "42");
  EXPECT_EQ(run.app.log[3].event, kLogFunctionReturn);
}

TEST(Trace, ErrorsAreTraced) {
  VmRun run("        lineno 5\n        pop\n");
  run.app.config().SetInt(config_key::kLogLevel, kLogFatalError | kLogRuntimeError);
  EXPECT_EQ(run.Run(), 0);
  ASSERT_EQ(run.app.log.size(), 1u);
  EXPECT_EQ(run.app.log[0].event, kLogFatalError);
  EXPECT_EQ(run.app.log[0].fields[2], "5");
  EXPECT_EQ(run.app.log[0].fields[3], run.vm().ErrorText());
}

}  // namespace
}  // namespace orin::test

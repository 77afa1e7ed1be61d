// The core instructions, grouped by what they do, run through the harness.
#include <gtest/gtest.h>

#include "vm_test_util.h"

namespace orin::test {
namespace {

TEST(Instructions, ConstantsAndOutput) {
  VmRun run(R"(
        pushi 2147483647
        out
        pushc "|"
        out
        pushi -5
        out
        pushc "|a\0b|"
        out
        pushf 2.5
        out
  )");
  EXPECT_EQ(run.Run(), 1);
  EXPECT_EQ(run.out(), std::string("2147483647|-5|a\0b|2.5", 21));
}

TEST(Instructions, ArithmeticPopsRightThenLeft) {
  VmRun run(R"(
        pushi 10
        pushi 4
        sub
        out
        pushc " "
        out
        pushi 7
        pushi 0
        mod
        out
        pushi 1
        pushi 33
        bitsl
        out
        pushi 2147483647
        pushi 1
        add
        out
        pushc "x"
        pushc "abc"
        in
        out
  )");
  EXPECT_EQ(run.Output(), "6 0221474836480");
}

TEST(Instructions, SearchOperatorsTakeNeedleThenHaystack) {
  VmRun run(R"(
        pushc ""
        pushc "x"
        in
        out
        pushc ""
        pushc "x"
        ein
        out
        pushc "AbC"
        pushc "xabcx"
        cin
        out
  )");
  EXPECT_EQ(run.Output(), "102");
}

TEST(Instructions, GlobalFastPaths) {
  VmRun run(R"(
        storegi n, 5
        storegi d, 0
        incg n, 2
        pushg n
        out
        cmpgi n, 7
        out
        cmpgi n, 9
        out
        cmpgg n, d
        out
        modgg n, d
        out
        storegi d, 4
        modgg n, d
        out
        storegi n, 2147483647
        incg n, 1
        pushg n
        out
  )");
  EXPECT_EQ(run.Output(), "70-11032147483648");
}

TEST(Instructions, CmpgiComparesTextNumerically) {
  VmRun run(R"(
        pushc "10"
        popg t
        cmpgi t, 9
        out
        pushc "abc"
        popg t
        cmpgi t, 5
        out
  )");
  // "10" > 9 numerically; "abc" against "5" compares text: 'a' > '5'.
  EXPECT_EQ(run.Output(), "11");
}

TEST(Instructions, JumpsAndConditions) {
  VmRun run(R"(
        jmp 0            ; offset 0 is the next instruction
        pushc "a"
        out
        pushi 0
        jmp_eq skip
        pushc "not here"
        out
skip:   pushi -1
        jmp_lt neg
        pushc "not here"
        out
neg:    pushi 3
        jmp_le no
        pushc "b"
        out
no:     storegi i, 0
loop:   cmpgi i, 3
        jmp_ge done
        pushg i
        out
        incg i, 1
        jmp loop
done:   pushc "."
        out
  )");
  EXPECT_EQ(run.Output(), "ab012.");
}

// A comparison right before a conditional jump is taken by the jump at
// once when both sides are integers; texts go through the stack. Both
// ways must branch alike for every comparison and jump.
TEST(Instructions, ComparisonsFeedingJumpsBranchAlike) {
  // Prints y when the jump is taken, n otherwise; 14 bytes skip
  // "pushc n; out; jmp 8", 8 bytes skip "pushc y; out".
  auto branch = [](const std::string& setup, const std::string& jump) {
    return setup + "        " + jump + " 14\n        pushc \"n\"\n        out\n" +
           "        jmp 8\n        pushc \"y\"\n        out\n";
  };
  for (const char* compare : {"cmp", "eq", "ne", "lt", "le", "gt", "ge"}) {
    for (const char* jump : {"jmp_eq", "jmp_ne", "jmp_lt", "jmp_le", "jmp_gt", "jmp_ge"}) {
      std::string source;
      for (const char* pair : {"23", "33", "43"}) {
        std::string l(1, pair[0]), r(1, pair[1]);
        source += branch(
            "        pushi " + l + "\n        pushi " + r + "\n        " + compare + "\n", jump);
        source += branch(
            "        pushc \"" + l + "\"\n        pushc \"" + r + "\"\n        " + compare + "\n",
            jump);
      }
      VmRun run(source);
      std::string out = run.Output();
      ASSERT_EQ(out.size(), 6u) << compare << " " << jump;
      for (int i = 0; i < 6; i += 2)
        EXPECT_EQ(out[i], out[i + 1]) << compare << " " << jump;
      EXPECT_EQ(run.vm().CurrentStack()->count(), 0u);
    }
  }
  // cmpgi and cmpgg feed jumps the same way.
  VmRun globals(
      branch("        storegi g, 3\n        storegi h, 2\n        cmpgi g, 2\n", "jmp_gt") +
      branch("        cmpgg h, g\n", "jmp_lt") + branch("        cmpgg g, g\n", "jmp_ne"));
  EXPECT_EQ(globals.Output(), "yyn");
}

TEST(Instructions, ConditionalJumpsUseIntegerConversion) {
  // A text is converted by the integer parser alone: "1.5" is 0.
  VmRun run(R"(
        pushc "1.5"
        jmp_ne yes
        pushc "zero"
        out
        exit
yes:    pushc "nonzero"
        out
  )");
  EXPECT_EQ(run.Output(), "zero");
}

TEST(Instructions, ExitEndsTheRunNormally) {
  VmRun run(R"(
        pushc "before"
        out
        exit
        pushc "after"
        out
  )");
  EXPECT_EQ(run.Run(), 1);
  EXPECT_EQ(run.out(), "before");
  EXPECT_EQ(run.app.exit_flag().load(), 1);
  VmRun alt(R"(
        exit_alt
        pushc "after"
        out
  )");
  EXPECT_EQ(alt.Output(), "");
}

TEST(Instructions, StoreAndVariables) {
  VmRun run(R"(
        pushi 42
        pushg x
        store
        pushg x
        pushl y          ; the main program's locals are the globals
        store
        pushg y
        out
        pushc "text"
        popl z
        pushg z
        out
  )");
  EXPECT_EQ(run.Output(), "42text");
  EXPECT_EQ(run.Global("y"), "42");
}

TEST(Instructions, SystemVariablesAreReadNotCreated) {
  VmRun run(R"(
.system missing
        pushs missing
        isnull
        out
        pushi 5
        pops missing     ; no variable there: the value is discarded
        pushs missing
        isnull
        out
        pushi 9
        out
  )");
  EXPECT_EQ(run.Output(), "119");
  EXPECT_EQ(run.vm().CurrentStack()->count(), 0u);
}

TEST(Instructions, DupSwapAndSwapn) {
  VmRun run(R"(
        pushi 1
        pushi 2
        pushi 3
        swapn 0, 2       ; 3 2 1
        out
        out
        out
        pushc "a"
        pushc "b"
        cat              ; an owned text
        dup
        swap
        pop              ; the original goes first; the copy must survive
        out
        pushg v
        dup
        pop
        out
  )");
  EXPECT_EQ(run.Output(), "123ab");
}

TEST(Instructions, SwapnOutOfRange) {
  VmRun run(R"(
        pushi 1
        swapn 0, 1
  )");
  EXPECT_EQ(run.Run(), 0);
  EXPECT_EQ(MessageOf(run.vm().ErrorText()), "Invalid stack reference");
}

TEST(Instructions, ElementsAndMembers) {
  VmRun run(R"(
        pushi 7
        pushg a
        pushi 3
        elem
        store
        pushg a
        pushi 3
        elemr
        out
        pushg a
        pushi 4
        elemr
        isnull
        out
        pushc "v"
        pushg s
        pushc "Name"
        memb
        store
        pushg s
        pushc "NAME"
        membr
        out
        pushg s
        pushc "other"
        membr
        isnull
        out
  )");
  EXPECT_EQ(run.Output(), "71v1");
  EXPECT_EQ(run.Global("a"), "7");
}

TEST(Instructions, ElementIndexBelowOneIsRuntimeError62) {
  VmRun run(R"(
        pushg a
        pushi 0
        elem
  )");
  EXPECT_EQ(run.Run(), 0);  // ZtEXPRESSION is fatal by default
  ASSERT_EQ(run.app.runtime.size(), 1u);
  EXPECT_EQ(run.app.runtime[0].tag, 62);
  EXPECT_NE(run.app.runtime[0].text.find("ZtEXPRESSION: Array index must be positive integer\n"),
            std::string::npos);
  EXPECT_EQ(run.Global("ZtEXPRESSION_Error"), "Array index must be positive integer");

  VmRun lenient(R"(
        tagerror 62, 0
        pushg a
        pushc "-3"
        elemr
        isnull
        out
  )");
  EXPECT_EQ(lenient.Run(), 1);
  EXPECT_EQ(lenient.out(), "1");
}

TEST(Instructions, ElementOfANonVariableIsInvalidReference) {
  VmRun run(R"(
        pushc "text"
        pushi 1
        elem
  )");
  EXPECT_EQ(run.Run(), 0);
  EXPECT_EQ(MessageOf(run.vm().ErrorText()), "Invalid variable reference");
}

TEST(Instructions, ElementSurvivesItsArrayBeingReplaced) {
  // The pushed element holds its own reference: turning the array into a
  // scalar while the element is on the stack must not free it under us.
  VmRun run(R"(
        pushi 5
        pushg a
        pushi 1
        elem
        store
        pushg a
        pushi 1
        elemr
        storegi a, 0
        out
  )");
  EXPECT_EQ(run.Output(), "5");
}

TEST(Instructions, DynamicNames) {
  VmRun run(R"(
.system sv
        pushi 3
        popnc "g.counter"
        pushnc "COUNTER"
        out
        pushc "x"
        pushc "total"
        popn
        pushc "global.total"
        pushn
        out
        pushi 1
        pushc "s.nosuch"       ; system names are never created
        popn
        pushc "s.nosuch"
        pushn
        isnull
        out
        pushi 4
        popnc "arr[2]"
        pushnc "arr[2]"
        out
  )");
  EXPECT_EQ(run.Output(), "3x14");
  EXPECT_EQ(run.Global("counter"), "3");
  EXPECT_FALSE(run.HasGlobal("nosuch"));
}

TEST(Instructions, References) {
  VmRun run(R"(
        pushi 1
        popg target
        pushg target
        refg alias         ; alias refers to target
        pushi 2
        popg alias
        pushg target
        out
        pushg other
        pushg target
        refer              ; target refers to other now
        pushi 3
        popg target
        pushg other
        out
        pushg other
        refnc "named"
        pushi 4
        popnc "named"
        pushg other
        out
        pushg other
        pushc "late"
        refern
        pushg late
        out
  )");
  EXPECT_EQ(run.Output(), "2344");
}

TEST(Instructions, DatabaseFieldsAreNullWithoutDatabases) {
  VmRun run(R"(
        pushdc "db", "field"
        isnull
        out
        pushc "db"
        pushc "field"
        pushd
        isnull
        out
        pushi 5
        popdc "db", "field"
        pushi 6
        pushc "db"
        pushc "field"
        popd
  )");
  EXPECT_EQ(run.Output(), "11");
  EXPECT_EQ(run.vm().CurrentStack()->count(), 0u);
}

TEST(Instructions, SystemSaveLevels) {
  VmRun run(R"(
        spush
        spop
        spop
  )");
  EXPECT_EQ(run.Run(), 0);
  EXPECT_EQ(MessageOf(run.vm().ErrorText()), "System variable stack underflow");
}

TEST(Instructions, OutCompAppliesOutputMode) {
  VmRun run(R"(
        stdoutput 2
        pushc "  a \t\n b  c"
        out_comp
        stdoutput 0
        pushc "  x"
        out_comp
  )");
  EXPECT_EQ(run.Output(), "a b c  x");
}

TEST(Instructions, OutWritesLinkBuffersWhole) {
  // 600 bytes concatenated become a link buffer; out writes every block.
  std::string big(600, 'q');
  VmRun run(std::string("        pushc \"") + big +
            "\"\n        pushc \"!\"\n        cat\n        out\n");
  EXPECT_EQ(run.Output(), big + "!");
}

TEST(Instructions, ConcatenationOntoItselfAppendsInPlace) {
  VmRun run(R"(
        pushc "a"
        popg s
        storegi n, 0
loop:   cmpgi n, 1000
        jmp_ge done
        pushg s
        pushg n
        cat
        popg s
        incg n, 1
        jmp loop
done:   pushg s
        pushg s
        cat
        popg s
        pushg s
        out
  )");
  std::string expect = "a";
  for (int i = 0; i < 1000; ++i)
    expect += std::to_string(i);
  EXPECT_EQ(run.Output(), expect + expect);
}

TEST(Instructions, ConcatenationOntoAnotherVariableCopies) {
  VmRun run(R"(
        pushc "a"
        popg s
        pushg s
        pushc "b"
        cat
        popg t
        pushg s
        out
        pushg t
        out
        pushi 12
        popg n
        pushg n
        pushc "3"
        cat
        popg n
        pushg n
        pushi 1
        add
        out
  )");
  EXPECT_EQ(run.Output(), "aab124");
}

TEST(Instructions, ErroutputAndTagerrorChangeTheFrame) {
  VmRun run(R"(
        erroutput 3
        tagerror 28, 2
        tagerror 77, 3
        tagerror -1, 3
  )");
  EXPECT_EQ(run.Run(), 1);
  EXPECT_EQ(run.vm().CurrentFrame()->error_flags(), 3u);
  EXPECT_EQ(run.vm().error_settings()[28], 2);
}

TEST(Instructions, HideWritesFieldsPerLeaf) {
  VmRun run(R"(
        pushc "a<b"
        popg plain
        pushi 1
        pushg list
        pushi 1
        elem
        store
        pushc "x\"y"
        pushg list
        pushi 2
        elem
        pushc "k"
        memb
        store
        pushc " plain , g.list,,nothing"
        hide
  )");
  EXPECT_EQ(run.Output(),
            "<input type=\"hidden\" name=\"plain\" value=\"a&lt;b\">"
            "<input type=\"hidden\" name=\"list[1]\" value=\"1\">"
            "<input type=\"hidden\" name=\"list[2]:k\" value=\"x&quot;y\">"
            "<input type=\"hidden\" name=\"nothing\" value=\"\">");
}

TEST(Instructions, PositionAndTrace) {
  VmRun run(R"(
        sourcefile "main.zt"
        lineno 3
        lineno 3
        lineno 4
        sourcefile "main.zt"
        sourcefile "lib.zt"
        lineno 4
  )");
  run.app.config().SetInt(config_key::kLogLevel, kLogTrace);
  EXPECT_EQ(run.Run(), 1);
  ASSERT_EQ(run.app.log.size(), 3u);
  EXPECT_EQ(run.app.log[0].event, kLogTrace);
  EXPECT_EQ(run.app.log[0].fields, (std::vector<std::string>{"/test/t.ztc", "main.zt", "3"}));
  EXPECT_EQ(run.app.log[1].fields[2], "4");
  // A new source file resets the last traced line.
  EXPECT_EQ(run.app.log[2].fields, (std::vector<std::string>{"/test/t.ztc", "lib.zt", "4"}));
}

TEST(Instructions, TraceFilterAndExemptPrograms) {
  VmRun filtered(R"(
        sourcefile "a"
        lineno 1
        lineno 2
  )");
  filtered.app.config().SetInt(config_key::kLogLevel, kLogTrace);
  filtered.app.trace_filter = [](std::string_view, int32_t line) { return line == 2; };
  filtered.Run();
  ASSERT_EQ(filtered.app.log.size(), 1u);
  EXPECT_EQ(filtered.app.log[0].fields[2], "2");

  VmRun exempt(R"(
.dictflags 1
        lineno 1
  )");
  exempt.app.config().SetInt(config_key::kLogLevel, -1);
  exempt.Run();
  EXPECT_TRUE(exempt.app.log.empty());
}

TEST(Instructions, StackDumpFormat) {
  VmRun run(R"(
        pushi 42
        pushc "hello"
        pushg v
  )");
  ASSERT_EQ(run.Run(), 1);
  char* buffer = nullptr;
  size_t size = 0;
  FILE* f = open_memstream(&buffer, &size);
  ASSERT_NE(f, nullptr);
  run.vm().CurrentStack()->Dump(f);
  std::fclose(f);
  std::string dump(buffer, size);
  std::free(buffer);
  EXPECT_EQ(dump.substr(0, dump.find('\n') + 1), "SP = 3, SS = 512\n");
  EXPECT_NE(dump.find("#   Type       D Data                                               Size\n"),
            std::string::npos);
  char row[128];
  std::snprintf(row, sizeof row, "%-3d %-10s %c %-50d %d %d\n", 0, "Integer", 'n', 42, 4, 4);
  EXPECT_NE(dump.find(row), std::string::npos) << dump;
  std::snprintf(row, sizeof row, "%-3d %-10s %c %.*s%*s %d %d\n", 1, "String", 'n', 5, "hello", 45,
                "", 5, 5);
  EXPECT_NE(dump.find(row), std::string::npos) << dump;
  EXPECT_NE(dump.find("2   Variable   Y "), std::string::npos) << dump;
  EXPECT_NE(dump.find(" v="), std::string::npos) << dump;
  EXPECT_EQ(dump.substr(dump.size() - 2), "\n\n");
}

}  // namespace
}  // namespace orin::test

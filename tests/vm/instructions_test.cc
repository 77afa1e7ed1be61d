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

// Each operator instruction reaches its own operation, on the integer fast
// path and off it; what the operations compute is the operators' own test.
TEST(Instructions, EachOperatorReachesItsOperation) {
  struct Case {
    const char* left;  // pushes, or "" for the unary ones
    const char* right;
    const char* op;
    const char* result;
  } cases[] = {
      {"pushi 7", "pushi 2", "add", "9"},
      {"pushi 2147483647", "pushi 1", "add", "2147483648"},
      {"pushf 2.5", "pushc \"0.25\"", "add", "2.75"},
      {"pushi 7", "pushi 2", "sub", "5"},
      {"pushi -2147483647", "pushi 2", "sub", "-2147483649"},
      {"pushi 7", "pushi 2", "mul", "14"},
      {"pushi 7", "pushi 2", "div", "3.5"},
      {"pushi -7", "pushi 2", "mod", "-1"},
      {"pushi 7", "pushi 2", "pow", "49"},
      {"pushi 7", "pushi 2", "bitand", "2"},
      {"pushi 5", "pushi 2", "bitor", "7"},
      {"pushi 7", "pushi 2", "bitxor", "5"},
      {"pushi 7", "pushi 2", "bitsl", "28"},
      {"pushi 7", "pushi 2", "bitsr", "1"},
      {"", "pushi 0", "bitoc", "-1"},
      {"pushc \"2.5\"", "pushi 2", "rounds", "2.50"},
      {"pushc \"2.555\"", "pushi 2", "roundf", "2.56"},
      {"pushc \"ab\"", "pushi 12", "cat", "ab12"},
      {"pushi 2", "pushi 2", "eq", "1"},
      {"pushc \"1.0\"", "pushc \"1\"", "eq", "1"},
      {"pushi 2", "pushi 2", "ne", "0"},
      {"pushc \"abc\"", "pushc \"ABC\"", "ne", "1"},
      {"pushi 2", "pushi 2", "lt", "0"},
      {"pushc \"ab\"", "pushc \"abc\"", "lt", "1"},
      {"pushi 2", "pushi 2", "le", "1"},
      {"pushc \"1.0\"", "pushc \"1\"", "le", "1"},
      {"pushi 2", "pushi 2", "gt", "0"},
      {"pushc \"NaN\"", "pushi 5", "gt", "1"},
      {"pushi 2", "pushi 2", "ge", "1"},
      {"pushc \"b\"", "pushc \"a\"", "ge", "1"},
      {"pushi 2", "pushi 3", "cmp", "-1"},
      {"pushc \"b\"", "pushc \"a\"", "cmp", "1"},
      {"", "pushc \"0.0\"", "not", "1"},
      {"pushc \"00\"", "pushi 1", "and", "0"},
      {"pushc \"00\"", "pushi 1", "or", "1"},
      {"", "pushc \"\"", "isnull", "1"},
      {"pushc \"an\"", "pushc \"banana\"", "in", "2"},
      {"pushc \"an\"", "pushc \"banana\"", "ein", "3"},
      {"pushc \"AN\"", "pushc \"banana\"", "cin", "2"},
      {"pushc \"AN\"", "pushc \"banana\"", "ecin", "3"},
  };
  for (const Case& c : cases) {
    std::string source = std::string("        ") + c.left + "\n        " + c.right + "\n        " +
                         c.op + "\n        out\n";
    VmRun run(source);
    EXPECT_EQ(run.Output(), c.result) << c.left << " " << c.right << " " << c.op;
    EXPECT_EQ(run.vm().CurrentStack()->count(), 0u) << c.op;
  }
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

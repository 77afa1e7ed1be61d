#include "vm/expression_compiler.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "image/opcodes.h"
#include "vm/dynamic_expression.h"
#include "vm/vm_test_util.h"

namespace orin::test {
namespace {

// A program with two functions, and helpers to compile into it and run
// what was compiled on its machine.
class Expressions : public testing::Test {
 protected:
  Expressions()
      : run_(R"(
.func add(a, b)
        pushl a
        pushl b
        add
        ret
.end
.func greet(&who)
        pushc "hi "
        pushl who
        cat
        ret
.end
        storegi n, 5
)") {
    run_.Run();  // the globals get their values
  }

  ExpressionCompiler Compiler(FunctionManager* second = nullptr) {
    return ExpressionCompiler(&run_.calls, &run_.image.segments, &run_.image.dictionary,
                              &run_.image.functions, second);
  }

  // The value of `text` as a string, or "ERROR: message".
  std::string Eval(std::string_view text) {
    ExpressionCompiler compiler = Compiler();
    Segment* code = compiler.Compile(text);
    if (code == nullptr) return "ERROR: " + compiler.ErrorText();
    std::string out;
    if (!run_.vm().ExecuteSegmentString(code, nullptr, &out)) return "FAILED: " + run_.FirstFatal();
    return out;
  }

  std::string Error(std::string_view text) {
    ExpressionCompiler compiler = Compiler();
    EXPECT_EQ(compiler.Compile(text), nullptr) << text;
    return compiler.ErrorText();
  }

  // The mnemonics of a compiled segment, with string operands in quotes.
  std::vector<std::string> Listing(Segment* code) {
    std::vector<std::string> out;
    Instruction in;
    for (uint32_t pc = 0; pc < code->length(); pc = in.next()) {
      if (!DecodeInstruction(code->code(), code->length(), pc, &in)) break;
      std::string line = in.info != nullptr ? in.info->mnemonic : "?";
      if (in.info != nullptr && in.info->a == OperandRole::kString) {
        line += " '" + std::string(run_.image.dictionary.View(in.a_int)) + "'";
        if (in.info->b == OperandRole::kString) {
          line += " '" + std::string(run_.image.dictionary.View(in.b_int)) + "'";
        }
      } else if (in.info != nullptr && in.info->a == OperandRole::kInt) {
        line += " " + std::to_string(in.a_int);
      }
      out.push_back(line);
    }
    return out;
  }

  VmRun run_;
};

TEST_F(Expressions, PrecedenceAndGrouping) {
  EXPECT_EQ(Eval("1 + 2 * 3"), "7");
  EXPECT_EQ(Eval("(1 + 2) * 3"), "9");
  EXPECT_EQ(Eval("10 - 4 - 3"), "3");
  EXPECT_EQ(Eval("7 MOD 4 + 1"), "4");
  EXPECT_EQ(Eval("100 / 10 / 5"), "2");
  EXPECT_EQ(Eval("2 * 3 pow 2"), "18");
  EXPECT_EQ(Eval("not 1 eq 0"), "1");    // (NOT 1) EQ 0
  EXPECT_EQ(Eval("BITOC 1 + 1"), "-3");  // BITOC (1 + 1)
  EXPECT_EQ(Eval("1 BITSL 4 BITOR 1"), "17");
  EXPECT_EQ(Eval("'abc' CIN 'xABCx' * 10"), "0");  // 'abc' CIN ('xABCx' * 10)
  EXPECT_EQ(Eval("('abc' CIN 'xABCx') * 10"), "20");
  EXPECT_EQ(Eval("1 EQ 1 OR 2 EQ 3"), "1");
  EXPECT_EQ(Eval("NOT 0 AND 1"), "1");
  EXPECT_EQ(Eval("2 pow 3 * 2"), "16");
  EXPECT_EQ(Eval("100 / 8 rounds 2"), "12.5");  // divides by "8.00"
}

TEST_F(Expressions, ComparisonsCompileBeforeLogicalOperators) {
  Segment* code = Compiler().Compile("a EQ 1 OR b EQ 2");
  ASSERT_NE(code, nullptr);
  EXPECT_EQ(Listing(code), (std::vector<std::string>{"pushnc 'a'", "pushi 1", "eq", "pushnc 'b'",
                                                     "pushi 2", "eq", "or"}));
}

TEST_F(Expressions, Literals) {
  EXPECT_EQ(Eval("\"abc\""), "abc");
  EXPECT_EQ(Eval("'it\\'s'"), "it's");
  EXPECT_EQ(Eval("\"say \\\"no\\\"\""), "say \"no\"");
  EXPECT_EQ(Eval("'mixed \\\" quote'"), "mixed \" quote");
  EXPECT_EQ(Eval("'back\\slash'"), "back\\slash");
  EXPECT_EQ(Eval("'a' $ \"\" $ 'b'"), "ab");
  EXPECT_EQ(Eval("0x1F + -0x1"), "30");
  EXPECT_EQ(Eval("0xFFFFFFFF"), "-1");
  EXPECT_EQ(Eval("-2147483648"), "-2147483648");
  EXPECT_EQ(Eval("99999999999"), "99999999999");
  EXPECT_EQ(Eval("+.5 + 5."), "5.5");
  EXPECT_EQ(Eval("1.5 * 2 + .25"), "3.25");
  EXPECT_EQ(Eval("2147483647 + 1"), "2147483648");
  EXPECT_EQ(Eval("2-1"), "1");
  EXPECT_EQ(Eval("2 -1"), "1");
}

TEST_F(Expressions, DecimalsCompileToPushfIntegersToPushi) {
  Segment* code = Compiler().Compile("1.25 + 7");
  ASSERT_NE(code, nullptr);
  std::vector<std::string> listing = Listing(code);
  ASSERT_EQ(listing.size(), 3u);
  EXPECT_EQ(listing[0], "pushf");
  EXPECT_EQ(listing[1], "pushi 7");
}

TEST_F(Expressions, NamesSubscriptsMembersAndDatabaseFields) {
  Segment* code = Compiler().Compile("s.x:y[i + 1] $ d.price $ shop.database.name $ l.v");
  ASSERT_NE(code, nullptr);
  EXPECT_EQ(Listing(code),
            (std::vector<std::string>{"pushnc 's.x'", "pushc 'y'", "membr", "pushnc 'i'", "pushi 1",
                                      "add", "elemr", "pushdc '' 'price'", "cat",
                                      "pushdc 'shop' 'name'", "cat", "pushnc 'l.v'", "cat"}));
  EXPECT_EQ(Eval("n * 2"), "10");
  EXPECT_EQ(Eval("isnull nothing:here[3]"), "1");
}

TEST_F(Expressions, IncrementStoresBackIntoVariables) {
  EXPECT_EQ(Eval("++n * 10"), "60");
  EXPECT_EQ(run_.Global("n"), "6");
  EXPECT_EQ(Eval("--counts:a"), "-1");
  EXPECT_EQ(Eval("counts:a"), "-1");
  EXPECT_EQ(Eval("++3"), "4");  // nothing to store into
}

TEST_F(Expressions, FunctionCalls) {
  EXPECT_EQ(Eval("add(2, add(3, 4)) * 2"), "18");
  EXPECT_EQ(Eval("ADD (1,2)"), "3");
  EXPECT_EQ(Eval("greet(n)"), "hi 5");
  EXPECT_EQ(Eval("add('a,b', ')')"), "0");  // commas and brackets inside strings
}

TEST_F(Expressions, Messages) {
  struct Case {
    std::string text;
    const char* message;
  } cases[] = {
      {"add(1, 2, 3)", "Function 'add' is defined with 2 parameters and was called with 3"},
      {"add()", "Function 'add' is defined with 2 parameters and was called with 0"},
      {"nosuch(1)", "Unable to find function 'nosuch'"},
      {"a (1)", "Unable to find function 'a'"},
      {"1 +", "Argument expected in Expression"},
      {"* 2", "Argument expected in Expression"},
      {"", "Argument expected in Expression"},
      {"   ", "Argument expected in Expression"},
      {"AND 1", "Argument expected in Expression"},
      {"()", "Argument expected in Expression"},
      {"add(1, )", "Argument expected in Expression"},
      {"'abc", "Mismatched Quotes found in Expression"},
      {"a['x]", "Mismatched Quotes found in Expression"},
      {"(1", "Mismatched Parentheses found in Expression"},
      {"a[(1])", "Mismatched Parentheses found in Expression"},
      {"f(1, [2)", "Mismatched Parentheses found in Expression"},
      {"1)", "Mismatched Parentheses in Expression"},
      {"1 ^ 2", "Invalid Operator '^' Found in Expression"},
      {"1 || 2", "Invalid Operator '||' Found in Expression"},
      {"1 | 2", "Invalid Operator '|' Found in Expression"},
      {"1 == 2", "Invalid Operator '==' Found in Expression"},
      {"1 XOR 2", "Invalid Operator 'XOR' Found in Expression"},
      {"1 PLUS 2", "Invalid Operator 'PLUS' Found in Expression"},
      {"1 < 2", "Invalid Operator '<' Found in Expression"},
      {"1 2", "Found additional argument '2' while looking for operator"},
      {"1 \"x\"", "Found additional argument '\"x\"' while looking for operator"},
      {"x 'y'", "Found additional argument ''y'' while looking for operator"},
      {"@x", "Invalid Argument '@x' Found in expression"},
      {"#x", "Invalid Argument '#x' Found in expression"},
      {"12abc + 1", "Invalid Argument '12abc' Found in expression"},
      {"1.2.3", "Invalid Argument '1.2.3' Found in expression"},
      {"0x1G", "Invalid Argument '0x1G' Found in expression"},
      {"0x100000000", "Invalid Argument '0x100000000' Found in expression"},
      {"a:", "Invalid Argument 'a:' in Expression"},
      {"a: + 1", "Invalid Argument 'a:' in Expression"},
      {"1 ISNULL 2", "Invalid operator found in expression"},
      {"1 NOT 2", "Invalid operator found in expression"},
      {"1 (2)", "Invalid operator found in expression"},
      {"1 ++ 2", "Invalid operator found in expression"},
      {"5--1", "Invalid operator found in expression"},
      {std::string(150, '(') + "1" + std::string(150, ')'), "Expression is nested too deeply"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Error(c.text), c.message) << c.text;
}

TEST_F(Expressions, FailedCompileAddsNoSegment) {
  uint32_t before = run_.image.segments.Count();
  EXPECT_NE(Error("1 +"), "");
  EXPECT_EQ(run_.image.segments.Count(), before);
  EXPECT_EQ(Eval("1"), "1");
  EXPECT_EQ(run_.image.segments.Count(), before + 1);
}

TEST_F(Expressions, SameTextGivesSameCode) {
  // Strings new to the dictionary and a function registered on first use.
  static const ZetoFunctionParameterRecord kParameters[1] = {};
  static const ZetoFunctionEntry kTable[] = {
      {"twice", 5, 1, kParameters,
       [](ZetoVM*, VariableHash* parameters, Variable* result, void**) {
         result->SetValue_Integer(parameters->Index(0, true)->Value_Integer() * 2);
       }},
      {nullptr, 0, 0, nullptr, nullptr}};
  run_.calls.AddFunctionTable(nullptr, kTable);
  const char* text = "twice(x:fresh) $ \"new string\" $ twice(3) $ 'new string'";
  Segment* first = Compiler().Compile(text);
  Segment* second = Compiler().Compile(text);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_NE(first->number(), second->number());
  EXPECT_EQ(std::string(first->code(), first->code() + first->length()),
            std::string(second->code(), second->code() + second->length()));
  EXPECT_EQ(Eval("twice(21)"), "42");
}

TEST_F(Expressions, ExternalFunctionsAreRegisteredFromTheirSources) {
  static const ZetoFunctionParameterRecord kParameters[2] = {{{}, 0}, {{}, 1}};
  static const ZetoFunctionEntry kTable[] = {
      {"pair", 4, 2, kParameters,
       [](ZetoVM*, VariableHash* parameters, Variable* result, void**) {
         std::string s = parameters->Index(0, true)->Value().str() + "+" +
                         parameters->Index(1, true)->Value().str();
         result->SetValue(s.data(), static_cast<int64_t>(s.size()));
       }},
      {nullptr, 0, 0, nullptr, nullptr}};
  run_.calls.AddFunctionTable(nullptr, kTable);
  uint32_t count = run_.image.functions.Count();
  EXPECT_EQ(Eval("pair(1, n)"), "1+5");
  Function* pair = run_.image.functions.FindFunction("pair");
  ASSERT_NE(pair, nullptr);
  EXPECT_TRUE(pair->external());
  ASSERT_EQ(pair->parameters().size(), 2u);
  EXPECT_TRUE(pair->parameters()[1].by_reference());
  EXPECT_EQ(run_.image.functions.Count(), count + 1);
  EXPECT_EQ(Error("pair(1)"), "Function 'pair' is defined with 2 parameters and was called with 1");

  // A second program's external functions are copied in; its script
  // functions are not callable from here.
  Dictionary other_names;
  FunctionManager other(&other_names);
  other.RegisterExternal("pair2", Function::kExternal, {{"x", 0}});
  other.RegisterScript("body", 1, 0, 0, {});
  ExpressionCompiler compiler = Compiler(&other);
  EXPECT_NE(compiler.Compile("pair2(1)"), nullptr) << compiler.ErrorText();
  EXPECT_NE(run_.image.functions.FindFunction("pair2"), nullptr);
  EXPECT_EQ(compiler.Compile("body()"), nullptr);
  EXPECT_EQ(compiler.ErrorText(), "Unable to find function 'body'");
}

TEST_F(Expressions, SourcePositionOpensTheCode) {
  ExpressionCompiler compiler = Compiler();
  compiler.SetSource("page.zts", 17);
  Segment* code = compiler.Compile("1");
  ASSERT_NE(code, nullptr);
  EXPECT_EQ(Listing(code),
            (std::vector<std::string>{"sourcefile 'page.zts'", "lineno 17", "pushi 1"}));
  compiler.SetSource("", 0);
  code = compiler.Compile("1");
  ASSERT_NE(code, nullptr);
  EXPECT_EQ(Listing(code), (std::vector<std::string>{"pushi 1"}));

  // A run-time error in the code names that position.
  compiler.SetSource("page.zts", 9);
  code = compiler.Compile("x[0]");
  ASSERT_NE(code, nullptr);
  std::string out;
  run_.vm().ExecuteSegmentString(code, nullptr, &out);
  ASSERT_FALSE(run_.app.runtime.empty());
  EXPECT_NE(run_.app.runtime.back().text.find("page.zts: Line 9: "), std::string::npos);
}

TEST_F(Expressions, HostileNestingIsRefusedNotRecursedInto) {
  EXPECT_EQ(Error(std::string(100000, '(') + "1" + std::string(100000, ')')),
            "Expression is nested too deeply");
  std::string nots;
  for (int i = 0; i < 50000; ++i)
    nots += "NOT ";
  EXPECT_EQ(Error(nots + "1"), "Expression is nested too deeply");
  EXPECT_EQ(Error(std::string(100000, '+') + "1"), "Expression is nested too deeply");
  std::string subscripts = "a";
  for (int i = 0; i < 3000; ++i)
    subscripts = "a[" + subscripts + "]";
  EXPECT_EQ(Error(subscripts), "Expression is nested too deeply");
  // Long but flat: operators of one level do not nest.
  std::string sum = "1";
  for (int i = 0; i < 20000; ++i)
    sum += " + 1";
  EXPECT_EQ(Eval(sum), "20001");
}

TEST_F(Expressions, PluginInterfaceForms) {
  const char* error = "unset";
  int32_t length = -1;
  ZetoVM& vm = run_.vm();
  Segment* code = ztProgram_Compile_Dynamic_Expression(&vm, "n + 1 xyz", -1, &error, &length);
  EXPECT_EQ(code, nullptr);
  EXPECT_EQ(std::string(error, length), "Invalid Operator 'xyz' Found in Expression");

  code = ztProgram_Compile_Dynamic_Expression(&vm, "n + 1 xyz", 5, &error, &length);
  ASSERT_NE(code, nullptr);
  EXPECT_EQ(length, 0);
  VarRef result = NewVariable();
  EXPECT_EQ(ztProgram_Execute_Dynamic_Expression(&vm, code, nullptr, result.get()), 1);
  EXPECT_EQ(result->Value().str(), "6");
  int32_t truth = -1;
  EXPECT_EQ(ztProgram_Execute_Dynamic_Expression_Boolean(&vm, code, nullptr, &truth), 1);
  EXPECT_EQ(truth, 6);
  EXPECT_EQ(vm.CurrentStack()->count(), 0u);  // values taken, not left behind

  // Code that stops the run gives 0.
  code = ztProgram_Compile_Dynamic_Expression(&vm, "x[0]", -1, nullptr, nullptr);
  ASSERT_NE(code, nullptr);
  EXPECT_EQ(ztProgram_Execute_Dynamic_Expression(&vm, code, nullptr, result.get()), 0);
}

}  // namespace
}  // namespace orin::test

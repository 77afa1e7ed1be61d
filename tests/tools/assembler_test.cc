#include "asm/assembler.h"

#include <gtest/gtest.h>

#include "image/byte_order.h"
#include "image/image_test_util.h"
#include "image/opcodes.h"
#include "tools/tools_test_util.h"

namespace orin {
namespace {

using test::Assembled;
using test::Bytes;

std::string Errors(std::string_view source) {
  Assembler a;
  std::string out;
  EXPECT_FALSE(a.Assemble(source, "t.zasm", &out));
  return a.ErrorText();
}

TEST(Assembler, HelloIsTwoLines) {
  Assembled p("pushc \"Hello\"   ; say it\nout\n");
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.image.dictionary.View(0), "Hello");
  EXPECT_EQ(p.Code(0), std::string(Bytes().U16(kPushc).U32(0).U16(kOut)));
  EXPECT_EQ(p.image.segments.start(), 0);
  EXPECT_EQ(p.file.version(), 0x1000Du);
}

TEST(Assembler, ErrorsNameFileAndLine) {
  EXPECT_EQ(Errors("pushi 1\n\n  pushx 3\n"), "t.zasm:3: unknown mnemonic 'pushx'");
  EXPECT_EQ(Errors("jmp nowhere"), "t.zasm:1: unknown label 'nowhere'");
  EXPECT_EQ(Errors("call missing"), "t.zasm:1: unknown function 'missing'");
  EXPECT_EQ(Errors("pushc \"a\\q\""), "t.zasm:1: unknown escape '\\q'");
  EXPECT_EQ(Errors("pushc \"open"), "t.zasm:1: unterminated string");
  EXPECT_EQ(Errors("pushi"), "t.zasm:1: 'pushi' needs an operand");
  EXPECT_EQ(Errors("out 5"), "t.zasm:1: unexpected '5'");
  EXPECT_EQ(Errors("pushi 4294967296"), "t.zasm:1: integer 4294967296 does not fit 32 bits");
  EXPECT_EQ(Errors(".local x"), "t.zasm:1: .local outside a function");
  EXPECT_EQ(Errors("a: noop\na: noop"), "t.zasm:2: label 'a' already defined in this segment");
  EXPECT_EQ(Errors(".func f\n.end\n.func F\n"), "t.zasm:3: function 'F' already defined on line 1");
  EXPECT_EQ(Errors(".functions g"),
            "t.zasm:1: function 'g' is declared but never defined by .func");
  EXPECT_EQ(Errors(".start 2"), "t.zasm:1: start segment 2 does not exist");
  EXPECT_EQ(Errors(".frobnicate"), "t.zasm:1: unknown directive '.frobnicate'");
  // Every bad line is reported, not only the first.
  EXPECT_EQ(Errors("bad1\nout\nbad2 1"),
            "t.zasm:1: unknown mnemonic 'bad1'\nt.zasm:3: unknown mnemonic 'bad2'");
}

TEST(Assembler, JumpsAndBlockLengthsAreRelativeToTheInstructionEnd) {
  Assembled p(
      "top:  pushi 1\n"         // 0
      "      jmp_ne done\n"     // 6
      "      jmp top\n"         // 12
      "      async end\n"       // 18
      "      pushi 2\n"         // 24
      "      out\n"             // 30
      "end:  asyncn done, 1\n"  // 32
      "done: jmp 0\n");         // 42
  ASSERT_TRUE(p.ok);
  const Segment* s = p.image.segments.Get(0);
  Instruction in;
  ASSERT_TRUE(DecodeInstruction(s->code(), s->length(), 6, &in));
  EXPECT_EQ(in.next() + in.a_int, 42u);
  ASSERT_TRUE(DecodeInstruction(s->code(), s->length(), 12, &in));
  EXPECT_EQ(static_cast<int64_t>(in.next()) + in.a_int, 0);
  ASSERT_TRUE(DecodeInstruction(s->code(), s->length(), 18, &in));
  EXPECT_EQ(in.a_int, 8);  // the block: pushi 2, out
  ASSERT_TRUE(DecodeInstruction(s->code(), s->length(), 32, &in));
  EXPECT_EQ(in.a_int, 0);
  EXPECT_EQ(in.b_int, 1);
}

TEST(Assembler, VariablesAreDeclaredOnFirstUseIgnoringCase) {
  Assembled p(
      ".global bits=6 first\n"
      "pushg total\n"
      "popg TOTAL\n"
      "pushs query_string\n"
      "pushl count\n"  // the main program's locals are the globals
      "storegi Count, 7\n"
      "pushg 99\n");
  ASSERT_TRUE(p.ok);
  const VariableHashLayout& g = p.image.global_variables;
  EXPECT_EQ(g.bits(), 6u);
  EXPECT_EQ(g.Count(), 3u);
  EXPECT_EQ(g.Find("total", p.image.dictionary), 1);
  EXPECT_EQ(g.Find("COUNT", p.image.dictionary), 2);
  EXPECT_EQ(p.image.system_variables.Find("QUERY_STRING", p.image.dictionary), 0);
  EXPECT_EQ(p.Code(0), std::string(Bytes()
                                       .U16(kPushg)
                                       .U32(1)
                                       .U16(kPopg)
                                       .U32(1)
                                       .U16(kPushs)
                                       .U32(0)
                                       .U16(kPushl)
                                       .U32(2)
                                       .U16(kStoregi)
                                       .U32(2)
                                       .U32(7)
                                       .U16(kPushg)
                                       .U32(99)));
}

TEST(Assembler, FunctionsGetSegmentsOfTheirOwnUnlessSegmentsAreExplicit) {
  Assembled p(
      ".func add(a, &b) private\n"
      ".local tmp\n"
      "  pushl b\n"
      "  pushl tmp\n"
      "  pushl later\n"
      "  ret\n"
      ".end\n"
      ".func len(s) external\n"
      "pushi 1\n"
      "pushl a\n"  // main code: a global named a
      "call ADD\n"
      "call len\n");
  ASSERT_TRUE(p.ok);
  const FunctionManager& fm = p.image.functions;
  ASSERT_EQ(fm.Count(), 2u);
  const Function* add = fm.FindFunction("add");
  EXPECT_EQ(add->number(), 0u);
  EXPECT_EQ(add->segment(), 1u);
  EXPECT_EQ(add->offset(), 0u);
  EXPECT_EQ(add->flags(), Function::kPrivate);
  ASSERT_EQ(add->parameters().size(), 2u);
  EXPECT_TRUE(add->parameters()[1].by_reference());
  EXPECT_EQ(add->locals().Count(), 4u);  // a, b, tmp, later
  EXPECT_EQ(p.Code(1).substr(0, 18),
            std::string(Bytes().U16(kPushl).U32(1).U16(kPushl).U32(2).U16(kPushl).U32(3)));
  const Function* len = fm.Get(1);
  EXPECT_TRUE(len->external());
  EXPECT_EQ(len->segment(), Function::kNoBody);
  EXPECT_EQ(p.Code(0),
            std::string(
                Bytes().U16(kPushi).U32(1).U16(kPushl).U32(0).U16(kCall).U32(0).U16(kCall).U32(1)));
  EXPECT_EQ(p.image.global_variables.Count(), 1u);

  Assembled q(
      ".functions second, first\n"
      ".segment 0\n"
      "  call first\n"
      "  exit\n"
      ".func first\n"
      "  retn\n"
      ".func second\n"
      "  retn\n");
  ASSERT_TRUE(q.ok);
  EXPECT_EQ(q.image.segments.Count(), 1u);
  EXPECT_EQ(q.image.functions.Get(1)->name(), "first");
  EXPECT_EQ(q.image.functions.Get(1)->offset(), 8u);
  EXPECT_EQ(q.image.functions.Get(0)->offset(), 10u);
  EXPECT_EQ(q.Code(0).substr(0, 6), std::string(Bytes().U16(kCall).U32(1)));
}

TEST(Assembler, StringsOperandsAndRawForms) {
  Assembled p(
      ".string \"dup\" \"dup\"\n"
      ".dictflags 1\n"
      "pushc \"dup\"\n"
      "pushc @1\n"
      "pushnc total\n"
      "pushdc \"\", field\n"
      "pushf -2.5\n"
      "pushf raw(0x7FF0000000000001)\n"
      ".insn 0x0001\n"
      ".bytes 1 2 \"ab\"\n");
  ASSERT_TRUE(p.ok);
  const Dictionary& d = p.image.dictionary;
  EXPECT_EQ(d.Flags(), 1u);
  EXPECT_EQ(d.View(2), "total");
  EXPECT_EQ(d.View(3), "");
  EXPECT_EQ(p.Code(0), std::string(Bytes()
                                       .U16(kPushc)
                                       .U32(0)
                                       .U16(kPushc)
                                       .U32(1)
                                       .U16(kPushnc)
                                       .U32(2)
                                       .U16(kPushdc)
                                       .U32(3)
                                       .U32(4)
                                       .U16(kPushf)
                                       .U64(DoubleBits(-2.5))
                                       .U16(kPushf)
                                       .U64(0x7FF0000000000001ull)
                                       .U16(1)
                                       .U8(1)
                                       .U8(2)
                                       .Str("ab")));
}

TEST(Assembler, LocalizedTokensBecomeChainsOfPieces) {
  test::TestLanguages source;
  Assembled p(
      ".token en greeting \"Hello \" $who \"!\"\n"
      ".token de greeting \"Hallo \" $who\n"
      ".token en only_en\n",
      &source);
  ASSERT_TRUE(p.ok);
  const LocalizedToken* t = p.image.languages.FindToken("GREETING");
  ASSERT_NE(t, nullptr);
  const LocalizedDictionary& pieces = p.image.localized_dictionary;
  const LocalizedEntry* e = pieces.Entry(t->first_entry);
  EXPECT_EQ(p.image.dictionary.View(e->text_id), "Hallo ");
  e = pieces.Entry(e->next);
  EXPECT_EQ(e->kind, LocalizedDictionary::kVariable);
  EXPECT_EQ(p.image.dictionary.View(e->text_id), "who");
  EXPECT_EQ(e->next, LocalizedDictionary::kEnd);
  t = p.image.languages.FindToken("only_en");  // from the default language
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(pieces.Entry(t->first_entry)->kind, LocalizedDictionary::kLiteral);
  EXPECT_EQ(pieces.Count(), 6u);
}

}  // namespace
}  // namespace orin

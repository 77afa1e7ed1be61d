#include <gtest/gtest.h>

#include <string>

#include "variables/immutable_variable.h"
#include "variables/json_decode.h"
#include "variables/json_encode.h"
#include "variables/link_buffer.h"
#include "variables/variable.h"

namespace orin {
namespace {

std::string Encode(Variable* v, uint32_t options = 0, bool utf8 = false) {
  LinkBuffer out(256, 256);
  JsonEncode(v, options, utf8, &out);
  return out.ToString();
}

// Decodes and encodes again (compact).
std::string RoundTrip(const std::string& json) {
  VarRef v = NewVariable();
  ByteString error;
  EXPECT_TRUE(JsonDecode(json, v.get(), &error)) << json << ": " << error.str();
  return Encode(v.get());
}

std::string DecodeError(const std::string& json) {
  VarRef v = NewTextVariable("", "previous");
  ByteString error;
  EXPECT_FALSE(JsonDecode(json, v.get(), &error)) << json;
  EXPECT_TRUE(v->IsNULL()) << "no partial result for " << json;
  EXPECT_EQ(v->ElementTree(), nullptr);
  return error.str();
}

TEST(JsonDecode, MapsValues) {
  VarRef v = NewVariable();
  ASSERT_TRUE(JsonDecode(R"({"a":1,"A":2, "s":"x\"\\\/\b\f\n\r\ty", "t":true, "f":false,
                           "n":null, "e":[], "x":1.50, "neg":-0.5e-3})",
                         v.get(), nullptr));
  EXPECT_EQ(v->AggregateKind(), kKindStructure);
  EXPECT_EQ(v->Element(AggregateIndex::Member("a"), false)->Value(), "2");
  EXPECT_EQ(v->Element(AggregateIndex::Member("s"), false)->Value(), "x\"\\/\b\f\n\r\ty");
  Variable* t = v->Element(AggregateIndex::Member("t"), false);
  EXPECT_EQ(t->ScalarType(), kTypeInteger);
  EXPECT_EQ(t->Value_Integer(), 1);
  EXPECT_EQ(v->Element(AggregateIndex::Member("f"), false)->Value_Integer(), 0);
  EXPECT_TRUE(v->Element(AggregateIndex::Member("n"), false)->IsNULL());
  Variable* e = v->Element(AggregateIndex::Member("e"), false);
  EXPECT_EQ(e->AggregateKind(), kKindArray);
  EXPECT_EQ(e->ElementsUsed(), 0);
  Variable* x = v->Element(AggregateIndex::Member("x"), false);
  EXPECT_EQ(x->Value(), "1.50");  // the number's text as written
  EXPECT_EQ(x->ScalarType(), kTypeText);
  EXPECT_EQ(v->Element(AggregateIndex::Member("neg"), false)->Value(), "-0.5e-3");

  VarRef a = NewVariable();
  ASSERT_TRUE(JsonDecode("[1,[2,3]]", a.get(), nullptr));
  EXPECT_EQ(a->Element(AggregateIndex(1), false)->Value(), "1");
  Variable* inner = a->Element(AggregateIndex(2), false);
  EXPECT_EQ(inner->Array_Max(), 2);
  EXPECT_EQ(inner->Element(AggregateIndex(2), false)->Value(), "3");
}

TEST(JsonDecode, RepeatedMembersStartAfresh) {
  VarRef v = NewVariable();
  ASSERT_TRUE(JsonDecode(R"({"a":[1,2,3],"a":[4],"b":{"x":1},"b":7})", v.get(), nullptr));
  EXPECT_EQ(v->Element(AggregateIndex::Member("a"), false)->ElementsUsed(), 1);
  EXPECT_EQ(v->Element(AggregateIndex::Member("b"), false)->Value(), "7");
}

TEST(JsonDecode, UnicodeEscapes) {
  struct Case {
    const char* json;
    std::string bytes;
  } cases[] = {
      {R"(["\u00e9"])", "\xc3\xa9"},     {R"(["\u0041\u0000B"])", std::string("A\0B", 3)},
      {R"(["\u20AC"])", "\xe2\x82\xac"}, {R"(["\uD83D\uDE00"])", "\xf0\x9f\x98\x80"},
      {R"(["\u07ff"])", "\xdf\xbf"},     {"[\"raw \xc3\xa9\"]", "raw \xc3\xa9"},
  };
  for (const Case& c : cases) {
    VarRef v = NewVariable();
    ASSERT_TRUE(JsonDecode(c.json, v.get(), nullptr)) << c.json;
    EXPECT_EQ(v->Element(AggregateIndex(1), false)->Value().str(), c.bytes) << c.json;
  }
}

TEST(JsonDecode, MessagesCarryLineNumbers) {
  struct Case {
    std::string json;
    const char* error;
  } cases[] = {
      {"[1,\n2 3]", "Line #2 - Syntax error: Expected COMMA or ]"},
      {"", "Line #1 - Syntax error: Expected { or ["},
      {"5", "Line #1 - Syntax error: Expected { or ["},
      {"\n\n\"s\"", "Line #3 - Syntax error: Expected { or ["},
      {"[] []", "Line #1 - Syntax error: Expected end of file"},
      {"[", "Line #1 - Syntax error: Expected ]"},
      {"[1", "Line #1 - Syntax error: Expected ]"},
      {"[1,", "Line #1 - Syntax error: Expected STRING, NUMBER, {, [, TRUE, FALSE, or NULL"},
      {"[1,]", "Line #1 - Syntax error: Expected STRING, NUMBER, {, [, TRUE, FALSE, or NULL"},
      {"[:]", "Line #1 - Syntax error: Expected STRING, NUMBER, {, [, TRUE, FALSE, or NULL"},
      {"{", "Line #1 - Syntax error: Expected }"},
      {"{\"a\":1", "Line #1 - Syntax error: Expected }"},
      {"{1:2}", "Line #1 - Syntax error: Expected STRING"},
      {"{\"a\":1,}", "Line #1 - Syntax error: Expected STRING"},
      {"{\"a\" 1}", "Line #1 - Syntax error: Expected COLON"},
      {"{\"a\":1 \"b\":2}", "Line #1 - Syntax error: Expected COMMA or }"},
      {"[1]\n\nx", "Line #3 - Syntax error: Unexpected character 'x'"},
      {"[tru]", "Line #1 - Syntax error: Expected TRUE, FALSE, or NULL"},
      {"[nul]", "Line #1 - Syntax error: Expected TRUE, FALSE, or NULL"},
      {"[-]", "Line #1 - Syntax error: Expected 0-9 after the negative sign"},
      {"[-a]", "Line #1 - Syntax error: Expected 0-9 after the negative sign"},
      {"[1.]", "Line #1 - Syntax error: Expected a number after the period"},
      {"[1e]", "Line #1 - Syntax error: Expected +/- or 0-9 after the exponent"},
      {"[1E+]", "Line #1 - Syntax error: Expected 0-9 after the exponent"},
      {"[01]", "Line #1 - Syntax error: Expected COMMA or ]"},
      {R"(["\x"])", "Line #1 - Syntax error: Unexpected escape character 'x'"},
      {R"(["\u12"])", "Line #1 - Syntax error: Invalid hex sequence '12\"]'"},
      {R"(["\u1"])", "Line #1 - Syntax error: Invalid hex sequence"},
      {R"(["\uzzzz"])", "Line #1 - Syntax error: Invalid hex sequence 'zzzz'"},
      {R"(["\uD83Dx"])", "Line #1 - Syntax error: Invalid multi-byte hex sequence"},
      {R"(["\uD83D\uQ000"])", "Line #1 - Syntax error: Invalid multi-byte hex sequence 'Q000'"},
      {"[\"multi\nline\" x", "Line #2 - Syntax error: Unexpected character 'x'"},
      {"[\"open", "Line #1 - Syntax error: Expected ]"},
      {"[\f]", "Line #1 - Syntax error: Unexpected character '\f'"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(DecodeError(c.json), c.error) << c.json;
}

TEST(JsonDecode, DeepNestingNeedsNoRecursion) {
  constexpr int kDepth = 100000;
  std::string json = std::string(kDepth, '[') + "\"leaf\"" + std::string(kDepth, ']');
  VarRef v = NewVariable();
  ASSERT_TRUE(JsonDecode(json, v.get(), nullptr));
  Variable* inner = v.get();
  for (int i = 0; i < kDepth; ++i)
    inner = inner->Element(AggregateIndex(1), false);
  EXPECT_EQ(inner->Value(), "leaf");
  EXPECT_EQ(Encode(v.get()), json);
  // Unbalanced: the error comes after building 100000 levels, all freed.
  EXPECT_EQ(DecodeError(std::string(kDepth, '[')), "Line #1 - Syntax error: Expected ]");
  std::string objects;
  for (int i = 0; i < kDepth; ++i)
    objects += "{\"k\":";
  objects += "1" + std::string(kDepth, '}');
  ASSERT_TRUE(JsonDecode(objects, v.get(), nullptr));
}

TEST(JsonDecode, LockedTargetsStayUnchanged) {
  VarRef locked = VarRef::Adopt(new ImmutableVariable("x"));
  locked->SetValue("kept", -1);
  static_cast<ImmutableVariable*>(locked.get())->Lock();
  EXPECT_TRUE(JsonDecode(R"({"a":[1,{"b":2}]})", locked.get(), nullptr));
  EXPECT_EQ(locked->Value(), "kept");
}

TEST(JsonEncode, ScalarsByType) {
  VarRef s = NewVariable();
  auto set = [&s](const char* name) { return s->Element(AggregateIndex::Member(name), true); };
  set("a")->SetValue_Integer(-5);
  bool error;
  set("b")->SetValue_Decimal(DecimalFromText(nullptr, "2.50", -1, &error));
  set("c")->SetValue_Decimal(DecimalFromText(nullptr, "-Inf", -1, &error));
  set("d");  // type none
  set("e")->SetValue("007", -1);
  set("f")->SetValue("0.5", -1);
  set("g")->SetValue("12345678901234567", -1);
  set("h")->SetValue("<a>", -1);
  set("i")->SetValue("true", -1);
  set("j")->SetValue("", -1);
  set("k")->SetValue("0", -1);
  set("l")->SetValue("1e3", -1);
  set("m")->SetValue("999999999999999", -1);
  set("n")->SetValue("1000000000000000", -1);
  set("o")->SetValue("NaN", -1);
  EXPECT_EQ(Encode(s.get()),
            R"({"a":-5,"b":2.5,"c":"-Infinity","d":"","e":"007","f":0.5,)"
            R"("g":"12345678901234567","h":"\u003Ca\u003E","i":"true","j":"","k":0,)"
            R"("l":1000,"m":999999999999999,"n":"1000000000000000","o":"NaN"})");
  EXPECT_EQ(Encode(s.get(), kJsonLiterals).find(R"("i":true)") != std::string::npos, true);
}

TEST(JsonEncode, Escaping) {
  VarRef v = NewVariable();
  v->Element(AggregateIndex(1), true)->SetValue("a\"/\\\b\t\n\f\r$+,-.:@_ !#\x01\x7f", -1);
  v->Element(AggregateIndex(2), true)->SetValue("\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80\xc3", -1);
  EXPECT_EQ(Encode(v.get()), R"(["a\"\/\\\b\t\n\f\r$+,-.:@_ \u0021\u0023\u0001\u007F",)"
                             R"("\u00C3\u00A9\u00E2\u0082\u00AC\u00F0\u009F\u0098\u0080\u00C3"])");
  EXPECT_EQ(Encode(v.get(), 0, true), R"(["a\"\/\\\b\t\n\f\r$+,-.:@_ \u0021\u0023\u0001\u007F",)"
                                      R"("\u00E9\u20AC\uD83D\uDE00\u00C3"])");
}

TEST(JsonEncode, LayoutAndRoundTrips) {
  EXPECT_EQ(RoundTrip(R"({"x":1.50})"), R"({"x":1.5})");
  EXPECT_EQ(RoundTrip(R"([1, [2 ,3], {}, [], {"B":null,"a":true}])"),
            R"([1,[2,3],{},[],{"a":1,"B":""}])");
  EXPECT_EQ(RoundTrip(R"(["\uD83D\uDE00", "\u00e9"])"),
            R"(["\u00F0\u009F\u0098\u0080","\u00C3\u00A9"])");
  VarRef v = NewVariable();
  ASSERT_TRUE(JsonDecode(R"({"a":[1,2],"b":{}})", v.get(), nullptr));
  EXPECT_EQ(Encode(v.get(), kJsonIndent),
            "{\n\t\"a\": [\n\t\t1,\n\t\t2\n\t],\n\t\"b\": {\n\t\t\n\t}\n}");
  // Gaps in an array disappear.
  VarRef g = NewVariable();
  g->Element(AggregateIndex(3), true)->SetValue("3", -1);
  g->Element(AggregateIndex(7), true)->SetValue("x", -1);
  EXPECT_EQ(Encode(g.get()), R"([3,"x"])");
  VarRef scalar = NewTextVariable("", "top");
  EXPECT_EQ(Encode(scalar.get()), R"("top")");
}

}  // namespace
}  // namespace orin

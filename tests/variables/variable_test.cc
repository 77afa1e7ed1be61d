#include "variables/variable.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "variables/callback_variable.h"
#include "variables/immutable_variable.h"
#include "variables/variable_list.h"

namespace orin {
namespace {

std::string Str(Variable* v) {
  return v->Value().str();
}

std::string DecimalText(const mpd_t* d) {
  uint32_t n;
  char* p = TextFromDecimal(d, &n, nullptr);
  std::string s(p, n);
  std::free(p);
  return s;
}

VarRef Decimal(const char* text) {
  VarRef v = NewVariable();
  bool error;
  v->SetValue_Decimal(DecimalFromText(nullptr, text, -1, &error));
  return v;
}

TEST(Variable, TextConvertsLazilyAndKeepsItsType) {
  struct Case {
    const char* text;
    int32_t integer;
    const char* decimal;
  } cases[] = {
      {"1.5", 1, "1.5"},
      {"12abc", 0, "0"},
      {"1e3", 1000, "1000"},
      {"9999999999", 1410065407, "9999999999"},  // the integer parser wraps
      {"-2147483648", -2147483647 - 1, "-2147483648"},
      {"0x10", 16, "16"},
      {"-7.9", -7, "-7.9"},
      {"", 0, "0"},
  };
  for (const Case& c : cases) {
    VarRef v = NewTextVariable("x", c.text);
    EXPECT_EQ(v->Value_Integer(), c.integer) << c.text;
    EXPECT_EQ(DecimalText(v->Value_Decimal()), c.decimal) << c.text;
    EXPECT_EQ(v->ScalarType(), kTypeText);
    EXPECT_EQ(Str(v.get()), c.text);  // the assigned text is kept as it was
  }
}

TEST(Variable, NumbersConvertToText) {
  VarRef i = NewVariable();
  i->SetValue_Integer(-2147483647 - 1);
  EXPECT_EQ(Str(i.get()), "-2147483648");
  EXPECT_EQ(DecimalText(i->Value_Decimal()), "-2147483648");
  EXPECT_EQ(i->ScalarType(), kTypeInteger);

  VarRef d = Decimal("2.50");
  EXPECT_EQ(Str(d.get()), "2.5");
  EXPECT_EQ(d->Value_Integer(), 2);
  VarRef big = Decimal("1E+20");
  EXPECT_EQ(big->Value_Integer(), 2147483647);
  EXPECT_EQ(Str(big.get()), "100000000000000000000");

  VarRef e = NewVariable();
  EXPECT_EQ(Str(e.get()), "");
  EXPECT_EQ(e->Value_Integer(), 0);
  EXPECT_TRUE(mpd_iszero(e->Value_Decimal()));
  EXPECT_EQ(e->ScalarType(), kTypeNone);
}

TEST(Variable, CheckedDecimalFlagsTextsThatAreNoNumbers) {
  bool nn;
  VarRef t = NewTextVariable("", "abc");
  t->Value_Decimal_Checked(&nn);
  EXPECT_TRUE(nn);
  t->Value_Integer();  // caches the decimal 0 of the failed parse
  t->Value_Decimal_Checked(&nn);
  EXPECT_TRUE(nn);
  t->SetValue("1.25", -1);
  EXPECT_EQ(DecimalText(t->Value_Decimal_Checked(&nn)), "1.25");
  EXPECT_FALSE(nn);
  VarRef e = NewVariable();
  e->Value_Decimal_Checked(&nn);
  EXPECT_FALSE(nn);
  VarRef i = NewVariable();
  i->SetValue_Integer(3);
  i->Value();
  EXPECT_EQ(DecimalText(i->Value_Decimal_Checked(&nn)), "3");
  EXPECT_FALSE(nn);
  VarRef a = NewVariable();
  a->Element(AggregateIndex(1), true)->SetValue("5", -1);
  a->Value_Decimal_Checked(&nn);
  EXPECT_TRUE(nn);
}

TEST(Variable, TruthAndEmptiness) {
  struct Case {
    VarRef v;
    bool truth;
    bool empty;
  };
  VarRef zero_int = NewVariable();
  zero_int->SetValue_Integer(0);
  VarRef minus = NewVariable();
  minus->SetValue_Integer(-1);
  VarRef nul = VarRef::Adopt(new NULLVariable());
  Case cases[] = {
      {NewVariable(), false, true},
      {NewTextVariable("", ""), false, true},
      {NewTextVariable("", "0.0"), false, false},
      {NewTextVariable("", "0.0.0"), true, false},
      {NewTextVariable("", "00"), false, false},
      {NewTextVariable("", " "), true, false},
      {Decimal("0.00"), false, false},
      {Decimal("NaN"), true, false},
      {zero_int, false, false},
      {minus, true, false},
      {nul, false, true},
  };
  for (Case& c : cases) {
    EXPECT_EQ(c.v->IsTrue(), c.truth) << Str(c.v.get());
    EXPECT_EQ(c.v->IsNULL(), c.empty) << Str(c.v.get());
  }
  VarRef a = NewVariable();
  a->Element(AggregateIndex(1), true)->SetValue("0", -1);
  EXPECT_FALSE(a->IsNULL());  // aggregates are never empty
  EXPECT_FALSE(a->IsTrue());  // judged by the text '0'
  a->Element(AggregateIndex(2), true)->SetValue("0", -1);
  EXPECT_TRUE(a->IsTrue());  // '0,0'
}

TEST(Variable, SettersTakeOwnershipAndMeasureNulTerminatedTexts) {
  VarRef v = NewVariable("n");
  v->SetValue("ab\0cd", 5);
  EXPECT_EQ(v->Value().size(), 5u);
  v->SetValue("ab\0cd", -1);
  EXPECT_EQ(Str(v.get()), "ab");
  char* buffer = static_cast<char*>(std::malloc(3));
  std::memcpy(buffer, "xyz", 3);  // no room for the NUL: the variable makes some
  v->SetValue_Nocopy(buffer, 3, 3);
  EXPECT_EQ(Str(v.get()), "xyz");
  EXPECT_EQ(v->Value().data()[3], '\0');
  bool error;
  v->SetValue_Decimal(DecimalFromText(nullptr, "4.5", -1, &error));
  EXPECT_EQ(v->ScalarType(), kTypeDecimal);
  v->Clear();
  EXPECT_TRUE(v->IsNULL());
  EXPECT_EQ(v->ScalarType(), kTypeNone);
  v->SetName("Renamed", -1);
  EXPECT_EQ(v->Name(), "Renamed");
}

// A variable of each class, as assignment sees it.
class ClassVariable : public Variable {
 public:
  ClassVariable(int32_t cls, int32_t natural)
      : Variable(SubclassTag{}, "c"), cls_(cls), natural_(natural) {}
  int32_t VariableClass() override { return cls_; }
  int32_t NaturalType() override { return natural_; }
  int32_t ScalarType() override { return type_ == kTypeNone ? natural_ : type_; }
  const ByteString& Value() override {
    if (valid_ == 0) {
      StoreText("77", 2);
      type_ = kTypeNone;
    }
    return Variable::Value();
  }
  int32_t Value_Integer() override { return valid_ == 0 ? 77 : Variable::Value_Integer(); }

 private:
  int32_t cls_, natural_;
};

TEST(Variable, AssignmentFollowsTheSourceClass) {
  VarRef target = NewVariable("t");
  VarRef text = NewTextVariable("s", "12.50");
  text->Value_Integer();
  target->SetValue_Variable(text.get());
  EXPECT_EQ(target->ScalarType(), kTypeText);
  EXPECT_EQ(Str(target.get()), "12.50");
  EXPECT_EQ(target->Value_Integer(), 12);
  EXPECT_EQ(target->Name(), "t");  // assignment copies values, not names

  VarRef nul = VarRef::Adopt(new NULLVariable());
  target->SetValue_Variable(nul.get());
  EXPECT_TRUE(target->IsNULL());
  EXPECT_EQ(target->ScalarType(), kTypeNone);

  VarRef as_integer = VarRef::Adopt(new ClassVariable(kClassInteger, kTypeText));
  as_integer->SetValue("5.7", -1);
  target->SetValue_Variable(as_integer.get());
  EXPECT_EQ(target->ScalarType(), kTypeInteger);
  EXPECT_EQ(Str(target.get()), "5");

  VarRef as_text = VarRef::Adopt(new ClassVariable(kClassText, kTypeText));
  as_text->SetValue_Integer(9);
  target->SetValue_Variable(as_text.get());
  EXPECT_EQ(target->ScalarType(), kTypeText);

  // A field not fetched yet is fetched by its natural type.
  VarRef field = VarRef::Adopt(new ClassVariable(kClassField, kTypeInteger));
  target->SetValue_Variable(field.get());
  EXPECT_EQ(target->ScalarType(), kTypeInteger);
  EXPECT_EQ(target->Value_Integer(), 77);

  VarRef empty = NewVariable();
  target->SetValue_Variable(empty.get());
  EXPECT_TRUE(target->IsNULL());

  target->SetValue("same", -1);
  EXPECT_TRUE(target->SetValue_Variable(target.get()));
  EXPECT_EQ(Str(target.get()), "same");
}

TEST(Variable, AssignmentCopiesAggregatesDeeply) {
  VarRef a = NewVariable("a");
  a->Element(AggregateIndex(1), true)->SetValue("one", -1);
  Variable* inner = a->Element(AggregateIndex::Member("k"), false);
  EXPECT_EQ(inner, nullptr);  // an array has no members
  Variable* nested = a->Element(AggregateIndex(2), true);
  nested->Element(AggregateIndex::Member("k"), true)->SetValue_Integer(5);
  VarRef b = NewTextVariable("b", "old");
  b->SetValue_Variable(a.get());
  EXPECT_EQ(Str(b.get()), "one,5");
  EXPECT_EQ(b->AggregateKind(), kKindArray);
  EXPECT_EQ(b->ScalarType(), kTypeNone);
  nested->Element(AggregateIndex::Member("k"), true)->SetValue_Integer(6);
  EXPECT_EQ(Str(b.get()), "one,5");  // not shared
  EXPECT_NE(b->Element(AggregateIndex(2), false), nested);

  // Assigning an element to its own container reads it before the old tree goes.
  a->SetValue_Variable(a->Element(AggregateIndex(2), false));
  EXPECT_EQ(a->AggregateKind(), kKindStructure);
  EXPECT_EQ(Str(a.get()), "6");
  // And the container into one of its elements copies the old value.
  Variable* e = b->Element(AggregateIndex(1), false);
  e->SetValue_Variable(b.get());
  EXPECT_EQ(Str(b.get()), "one,5,5");
}

TEST(Variable, ReferencesForwardAndCarryCounts) {
  VarRef target = NewTextVariable("target", "v");
  VarRef holder = NewVariable("alias");
  holder->AddRef();  // count 2 before it becomes a reference
  Variable* identity = holder.get();
  ASSERT_TRUE(holder->Make_Reference(target.get()));
  EXPECT_EQ(holder.get(), identity);
  EXPECT_TRUE(holder->IsReference());
  EXPECT_EQ(holder->Name(), "alias");
  EXPECT_EQ(target->ReferenceCount(), 3);  // its own + the alias's two
  EXPECT_EQ(holder->RealIdentity(), target.get());
  holder->SetValue("changed", -1);
  EXPECT_EQ(Str(target.get()), "changed");
  holder->Element(AggregateIndex::Member("m"), true)->SetValue_Integer(1);
  EXPECT_EQ(target->ElementsUsed(), 1);
  holder->Release();
  EXPECT_EQ(target->ReferenceCount(), 2);

  // Re-targeting moves the counts.
  VarRef other = NewVariable("other");
  holder->Make_Reference(other.get());
  EXPECT_EQ(target->ReferenceCount(), 1);
  EXPECT_EQ(other->ReferenceCount(), 2);

  // No cycles: a target that resolves to the variable itself is refused.
  other->Make_Reference(holder.get());
  EXPECT_FALSE(other->IsReference());
  holder->Make_Reference(holder.get());
  EXPECT_EQ(holder->RealIdentity(), other.get());

  // A chain: the first alias resolves to the end.
  VarRef second = VarRef::Adopt(new ReferenceVariable("second", holder.get()));
  EXPECT_EQ(second->NextIdentity(), holder.get());
  EXPECT_EQ(second->RealIdentity(), other.get());
  EXPECT_EQ(other->ReferenceCount(), 3);

  // Clone of a reference is a plain copy of the value under the alias's name.
  other->SetValue_Integer(8);
  VarRef clone = VarRef::Adopt(second->Clone());
  EXPECT_FALSE(clone->IsReference());
  EXPECT_EQ(clone->Name(), "second");
  EXPECT_EQ(clone->Value_Integer(), 8);
}

TEST(Variable, ReferenceKeepsATargetAliveThatOnlyItsContainerHeld) {
  VarRef a = NewVariable("a");
  Variable* element = a->Element(AggregateIndex(1), true);
  element->SetValue("kept", -1);
  a->Make_Reference(element);  // drops a's own tree, which held the element
  EXPECT_EQ(Str(a.get()), "kept");
  EXPECT_EQ(element->ReferenceCount(), 1);
}

class TestCallback : public CallbackVariableCallback {
 public:
  explicit TestCallback(int* destroyed) : destroyed_(destroyed) {
    supplied_ = NewTextVariable("", "supplied");
  }
  ~TestCallback() override { ++*destroyed_; }
  bool LookupMember(Variable* variable, const AggregateIndex& key) override {
    ++lookups;
    if (key.name() == "stored") {
      variable->Element(key, true)->SetValue("by callback", -1);
      return true;
    }
    return key.name() == "given";
  }
  Variable* SuppliedVariable() override { return supplied_.get(); }
  int lookups = 0;

 private:
  int* destroyed_;
  VarRef supplied_;
};

TEST(Variable, CallbackStructuresAskForMissingMembers) {
  int destroyed = 0;
  VarRef s = NewTextVariable("s", "scalar");
  Variable* identity = s.get();
  auto* callback = new TestCallback(&destroyed);
  ASSERT_TRUE(s->Make_CallbackStruct(callback));
  EXPECT_EQ(s.get(), identity);
  EXPECT_EQ(callback->attached(), s.get());
  EXPECT_EQ(Str(s.get()), "scalar");  // value kept

  EXPECT_EQ(Str(s->Element(AggregateIndex::Member("stored"), false)), "by callback");
  EXPECT_EQ(callback->lookups, 1);
  s->Element(AggregateIndex::Member("STORED"), false);  // now present: no lookup
  EXPECT_EQ(callback->lookups, 1);

  Variable* given = s->Element(AggregateIndex::Member("given"), false);
  EXPECT_EQ(Str(given), "supplied");
  EXPECT_EQ(s->ElementsUsed(), 1);  // without create it is not stored
  Variable* shared = s->Element(AggregateIndex::Member("given"), true);
  EXPECT_EQ(shared, callback->SuppliedVariable());
  EXPECT_EQ(s->Element(AggregateIndex::Member("missing"), false), nullptr);
  Variable* made = s->Element(AggregateIndex::Member("missing"), true);
  EXPECT_TRUE(made->IsNULL());
  EXPECT_EQ(s->ElementsUsed(), 3);

  // A new callback replaces (and releases) the old one.
  int destroyed2 = 0;
  s->Make_CallbackStruct(new TestCallback(&destroyed2));
  EXPECT_EQ(destroyed, 1);
  s.release()->Release();
  EXPECT_EQ(destroyed2, 1);

  int destroyed3 = 0;
  VarRef plain = VarRef::Adopt(new CallbackVariable("p", new TestCallback(&destroyed3)));
  EXPECT_EQ(plain->Element(AggregateIndex::Member("given"), false), nullptr);  // not a struct
  plain->Make_Reference(NewVariable().get());  // becoming a reference drops the callback
  EXPECT_EQ(destroyed3, 1);
}

TEST(ImmutableVariable, LockedSettersDoNothing) {
  VarRef source = NewVariable("src");
  source->Element(AggregateIndex(1), true)->SetValue("a", -1);
  source->Element(AggregateIndex(2), true)
      ->Element(AggregateIndex::Member("m"), true)
      ->SetValue_Integer(2);
  auto* raw = new ImmutableVariable(source.get());
  VarRef im = VarRef::Adopt(raw);
  EXPECT_EQ(im->Name(), "src");
  EXPECT_EQ(Str(im.get()), "a,2");
  EXPECT_NE(dynamic_cast<ImmutableVariable*>(im->Element(AggregateIndex(2), false)), nullptr);
  raw->Lock();
  Variable* nested = im->Element(AggregateIndex(2), false);
  EXPECT_TRUE(static_cast<ImmutableVariable*>(nested)->IsLocked());

  EXPECT_TRUE(im->SetValue("x", -1));
  EXPECT_TRUE(im->SetValue_Integer(1));
  char* buffer = static_cast<char*>(std::malloc(4));
  EXPECT_TRUE(im->SetValue_Nocopy(buffer, 0, 4));  // freed, not leaked
  bool error;
  EXPECT_TRUE(im->SetValue_Decimal(DecimalFromText(nullptr, "1", -1, &error)));
  EXPECT_TRUE(im->ConvertToAggregate(kKindStructure));
  im->Clear();
  EXPECT_TRUE(nested->SetValue("y", -1));
  EXPECT_EQ(Str(im.get()), "a,2");

  Variable* placeholder = im->Element(AggregateIndex(9), true);
  EXPECT_TRUE(placeholder->IsNULL());
  placeholder->SetValue("ignored", -1);
  EXPECT_TRUE(placeholder->IsNULL());
  EXPECT_EQ(im->ElementsUsed(), 2);
  EXPECT_FALSE(im->Insert_Array_Element(1, source.get()));
  EXPECT_FALSE(im->Make_Reference(source.get()));
  int destroyed = 0;
  EXPECT_FALSE(im->Make_CallbackStruct(new TestCallback(&destroyed)));
  EXPECT_EQ(destroyed, 1);

  VarRef copy = VarRef::Adopt(im->Clone());
  EXPECT_TRUE(static_cast<ImmutableVariable*>(copy.get())->IsLocked());
  EXPECT_EQ(Str(copy.get()), "a,2");
}

TEST(ImmutableVariable, UnlockedMakesImmutableElements) {
  VarRef im = VarRef::Adopt(new ImmutableVariable("u"));
  Variable* e = im->Element(AggregateIndex::Member("x"), true);
  EXPECT_NE(dynamic_cast<ImmutableVariable*>(e), nullptr);
  e->SetValue("ok", -1);
  EXPECT_EQ(Str(im.get()), "ok");
}

class Counter : public DynamicImmutableVariable {
 public:
  Counter() : DynamicImmutableVariable("counter") { Lock(); }
  bool IsCurrent() override { return false; }
  void Refresh() override { StoreInteger(++refreshes); }
  int refreshes = 0;
};

TEST(ImmutableVariable, DynamicValuesRefreshOnAccess) {
  auto* raw = new Counter();
  VarRef c = VarRef::Adopt(raw);
  EXPECT_EQ(c->Value_Integer(), 1);
  EXPECT_EQ(c->Value_Integer(), 2);
  EXPECT_EQ(Str(c.get()), "3");
  EXPECT_EQ(c->ScalarType(), kTypeInteger);
  c->SetValue_Integer(100);  // locked
  VarRef copy = NewVariable();
  copy->SetValue_Variable(c.get());
  EXPECT_EQ(copy->Value_Integer(), raw->refreshes);
}

TEST(VariableList, CursorFindAndReferences) {
  VariableList list;
  VarRef a = NewTextVariable("Alpha", "1");
  list.Insert(a.get());
  EXPECT_EQ(a->ReferenceCount(), 2);
  Variable* b = list.SetVariable("beta", "2");
  EXPECT_EQ(list.SetVariable("BETA", "3"), b);  // existing one unchanged
  EXPECT_EQ(Str(b), "2");
  EXPECT_EQ(list.Entries(), 2u);
  EXPECT_EQ(list.Find("ALPHA"), a.get());
  EXPECT_EQ(list.Find("alph"), nullptr);
  EXPECT_EQ(list.First(), a.get());
  EXPECT_EQ(list.Current(), a.get());
  EXPECT_EQ(list.Next(), b);
  EXPECT_EQ(list.Next(), nullptr);
  EXPECT_EQ(list.Next(), nullptr);
  list.Dump();
  EXPECT_EQ(list.Entries(), 0u);
  EXPECT_EQ(a->ReferenceCount(), 1);
}

}  // namespace
}  // namespace orin

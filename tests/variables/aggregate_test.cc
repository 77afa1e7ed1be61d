#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "variables/aggregate_tree.h"
#include "variables/immutable_variable.h"
#include "variables/variable.h"
#include "variables/variable_list.h"

namespace orin {
namespace {

std::string Str(Variable* v) {
  return v->Value().str();
}

// "index=value" for each element of an array, in order.
std::string Dump(Variable* array) {
  std::string out;
  AggregateElementTree* tree = array->ElementTree();
  if (tree == nullptr) return "<scalar>";
  tree->ForEach([&out](AggregateElement* e) {
    if (!out.empty()) out += ' ';
    out += e->Key().is_member() ? std::string(e->Key().name()) : std::to_string(e->Key().index());
    out += '=' + Str(e->GetVariable());
  });
  return out;
}

VarRef Array(std::initializer_list<std::pair<int32_t, const char*>> items) {
  VarRef a = NewVariable("a");
  for (auto& [i, v] : items)
    a->Element(AggregateIndex(i), true)->SetValue(v, -1);
  return a;
}

TEST(AggregateElementTree, MatchesAnOrderedMapUnderRandomOperations) {
  AggregateElementTree tree(false);
  std::map<int32_t, bool> model;
  std::mt19937 rng(7);
  for (int step = 0; step < 20000; ++step) {
    int32_t k = static_cast<int32_t>(rng() % 500);
    switch (rng() % 4) {
      case 0:
        if (!model.count(k)) {
          tree.Insert(new AggregateElement(AggregateIndex(k), nullptr));
          model[k] = true;
        }
        break;
      case 1: {
        AggregateElement* e = tree.Remove(AggregateIndex(k));
        ASSERT_EQ(e != nullptr, model.erase(k) == 1);
        tree.FreeElement(e);
        break;
      }
      case 2: {
        AggregateElement* n = tree.Next(AggregateIndex(k));
        auto it = model.upper_bound(k);
        ASSERT_EQ(n ? n->Key().index() : -1, it == model.end() ? -1 : it->first);
        break;
      }
      default: {
        AggregateElement* p = tree.Previous(AggregateIndex(k));
        auto it = model.lower_bound(k);
        int32_t want = it == model.begin() ? -1 : std::prev(it)->first;
        ASSERT_EQ(p ? p->Key().index() : -1, want);
      }
    }
  }
  ASSERT_EQ(tree.size(), model.size());
  std::vector<int32_t> order;
  tree.ForEach([&order](AggregateElement* e) { order.push_back(e->Key().index()); });
  std::vector<int32_t> want;
  for (auto& [k, v] : model)
    want.push_back(k);
  EXPECT_EQ(order, want);
  if (!model.empty()) {
    EXPECT_EQ(tree.First()->Key().index(), model.begin()->first);
    EXPECT_EQ(tree.Last()->Key().index(), model.rbegin()->first);
  }
}

TEST(AggregateElementTree, MemberNamesIgnoreCaseAndSortShorterFirst) {
  VarRef s = NewVariable();
  for (const char* name : {"beta", "Alpha", "ALPHABET", "b", "Gamma"}) {
    s->Element(AggregateIndex::Member(name), true)->SetValue(name, -1);
  }
  EXPECT_EQ(s->Element(AggregateIndex::Member("ALPHA"), false),
            s->Element(AggregateIndex::Member("alpha"), false));
  s->Element(AggregateIndex::Member("NAME"), true)->SetValue("1", -1);
  s->Element(AggregateIndex::Member("name"), true)->SetValue("2", -1);
  EXPECT_EQ(Dump(s.get()), "Alpha=Alpha ALPHABET=ALPHABET b=b beta=beta Gamma=Gamma NAME=2");
  EXPECT_EQ(AggregateIndex::Member("Key").Text(), ":Key");
  EXPECT_EQ(AggregateIndex(3).Text(), "[3]");
  EXPECT_EQ(AggregateIndex(-5).index(), 0);
}

TEST(Aggregate, StoringAnElementTurnsAScalarIntoAnArray) {
  VarRef v = NewTextVariable("v", "abc");
  v->Element(AggregateIndex(3), true)->SetValue("x", -1);
  EXPECT_EQ(v->AggregateKind(), kKindArray);
  EXPECT_EQ(v->Array_Min(), 3);
  EXPECT_EQ(v->Array_Max(), 3);
  EXPECT_EQ(v->ElementsUsed(), 1);
  EXPECT_EQ(Str(v.get()), "x");
  // The wrong kind of key: nothing without create; with create the tree goes.
  EXPECT_EQ(v->Element(AggregateIndex::Member("m"), false), nullptr);
  v->Element(AggregateIndex::Member("m"), true);
  EXPECT_EQ(v->AggregateKind(), kKindStructure);
  EXPECT_EQ(v->ElementsUsed(), 1);
  // SetElement shares the variable and converts the kind.
  VarRef shared = NewTextVariable("", "s");
  v->SetElement(AggregateIndex(1), shared.get());
  EXPECT_EQ(v->AggregateKind(), kKindArray);
  EXPECT_EQ(v->Element(AggregateIndex(1), false), shared.get());
  EXPECT_EQ(shared->ReferenceCount(), 2);
  v->SetValue_Integer(1);  // a scalar again: the tree and its reference go
  EXPECT_EQ(shared->ReferenceCount(), 1);
  EXPECT_EQ(v->ElementTree(), nullptr);
}

TEST(Aggregate, FlattenedText) {
  VarRef a = Array({{1, "1"}, {2, ""}, {3, "3"}});
  EXPECT_EQ(Str(a.get()), "1,,3");
  VarRef b = Array({{1, ""}, {2, "a"}});
  EXPECT_EQ(Str(b.get()), "a");
  VarRef c = Array({{1, "1"}, {2, "2"}});
  Variable* inner = c->Element(AggregateIndex(3), true);
  inner->Element(AggregateIndex(1), true)->SetValue("3", -1);
  inner->Element(AggregateIndex(2), true)->SetValue("4", -1);
  EXPECT_EQ(Str(c.get()), "1,2,3,4");
  ByteString into("x");
  c->AppendFlattened(&into);
  EXPECT_EQ(into, "x,1,2,3,4");
}

TEST(Aggregate, InsertAndDeleteRenumber) {
  VarRef a = Array({{1, "a"}, {2, "b"}, {3, "c"}});
  VarRef n = NewTextVariable("", "new");
  a->Insert_Array_Element(2, n.get());
  EXPECT_EQ(Dump(a.get()), "1=a 2=new 3=b 4=c");
  a->Insert_Array_Element(0, n.get());  // after the last
  EXPECT_EQ(Dump(a.get()), "1=a 2=new 3=b 4=c 5=new");
  a->Delete_Struct_Member(AggregateIndex(2), true);
  EXPECT_EQ(Dump(a.get()), "1=a 2=b 3=c 4=new");
  a->Delete_Struct_Member(AggregateIndex(1), false);
  EXPECT_EQ(Dump(a.get()), "2=b 3=c 4=new");
  EXPECT_FALSE(a->Delete_Struct_Member(AggregateIndex::Member("x"), true));
  a->Delete_Array_Elements(3, 1, true);
  EXPECT_EQ(Dump(a.get()), "2=b 3=new");
  VarRef b = Array({{1, "a"}, {2, "b"}, {5, "e"}, {9, "i"}});
  b->Delete_Array_Elements(2, 4, true);  // 2..5 go, 9 moves down by 4
  EXPECT_EQ(Dump(b.get()), "1=a 5=i");
  b->Delete_Array_Elements(2, -1, false);
  EXPECT_EQ(Dump(b.get()), "1=a");
  EXPECT_FALSE(b->Delete_Array_Elements(0, 1, true));
  b->Delete_Array_Elements(1, 2000000000, true);
  EXPECT_EQ(b->ElementsUsed(), 0);
  VarRef s = NewTextVariable("", "scalar");
  s->Insert_Array_Element(-4, n.get());  // a scalar becomes [1]
  EXPECT_EQ(Dump(s.get()), "1=new");
  EXPECT_EQ(n->ReferenceCount(), 3);
}

TEST(Aggregate, IndicesNeverWrap) {
  VarRef a = NewVariable();
  a->Element(AggregateIndex(2147483647), true)->SetValue("top", -1);
  VarRef n = NewVariable();
  EXPECT_FALSE(a->Insert_Array_Element(1, n.get()));
  EXPECT_FALSE(a->Insert_Array_Element(0, n.get()));
  EXPECT_FALSE(a->Array_Merge(a.get(), 1, 1, 1, false));
  EXPECT_EQ(Dump(a.get()), "2147483647=top");
  a->Delete_Struct_Member(AggregateIndex(2147483647), true);
  EXPECT_EQ(a->ElementsUsed(), 0);
}

TEST(Aggregate, NextPreviousCollapse) {
  VarRef a = Array({{2, "x"}, {5, "y"}});
  EXPECT_EQ(a->Array_Next(0), 2);
  EXPECT_EQ(a->Array_Next(2), 5);
  EXPECT_EQ(a->Array_Next(5), 0);
  EXPECT_EQ(a->Array_Previous(2), 0);
  EXPECT_EQ(a->Array_Previous(100), 5);
  VarRef s = NewVariable();
  s->Element(AggregateIndex::Member("m"), true);
  EXPECT_EQ(s->Array_Next(0), -1);
  EXPECT_EQ(s->Array_Previous(0), -1);
  EXPECT_EQ(s->Array_Max(), 0);
  VarRef scalar = NewVariable();
  EXPECT_EQ(scalar->Array_Next(0), 0);
  VarRef c = Array({{2, "a"}, {5, "b"}, {9, "c"}});
  EXPECT_EQ(c->Array_Collapse(), 3);
  EXPECT_EQ(Dump(c.get()), "1=a 2=b 3=c");
  EXPECT_EQ(s->Array_Collapse(), 0);
}

TEST(Aggregate, MergeAndCopyShareOrCopy) {
  VarRef src = Array({{1, "a"}, {2, "b"}, {3, "c"}});
  VarRef dst = Array({{1, "x"}, {2, "y"}});
  dst->Array_Merge(src.get(), 2, 2, 2, false);  // b, c before y
  EXPECT_EQ(Dump(dst.get()), "1=x 2=b 3=c 4=y");
  src->Element(AggregateIndex(2), false)->SetValue("B", -1);
  EXPECT_EQ(Str(dst->Element(AggregateIndex(2), false)), "B");  // shared

  VarRef copy = Array({{1, "x"}});
  copy->Array_Copy(src.get(), 0, -1, 0, true);  // everything, after the last
  EXPECT_EQ(Dump(copy.get()), "1=x 2=a 3=B 4=c");
  src->Element(AggregateIndex(1), false)->SetValue("A", -1);
  EXPECT_EQ(Str(copy->Element(AggregateIndex(2), false)), "a");  // independent

  VarRef over = Array({{1, "1"}, {2, "2"}, {3, "3"}});
  over->Array_Copy(src.get(), 1, 2, 2, false);  // overwrites 2 and 3
  EXPECT_EQ(Dump(over.get()), "1=1 2=A 3=B");

  // A merge from a scalar still shifts the target.
  VarRef scalar = NewTextVariable("", "s");
  VarRef t = Array({{1, "a"}, {2, "b"}});
  t->Array_Merge(scalar.get(), 1, 3, 2, false);
  EXPECT_EQ(Dump(t.get()), "1=a 5=b");
}

TEST(Aggregate, SelfCopyAndMergeReadBeforeWriting) {
  VarRef up = Array({{1, "a"}, {2, "b"}, {3, "c"}, {4, "d"}});
  up->Array_Copy(up.get(), 1, 3, 2, true);  // moving up overlaps
  EXPECT_EQ(Dump(up.get()), "1=a 2=a 3=b 4=c");
  VarRef down = Array({{1, "a"}, {2, "b"}, {3, "c"}, {4, "d"}});
  down->Array_Copy(down.get(), 2, 3, 1, true);
  EXPECT_EQ(Dump(down.get()), "1=b 2=c 3=d 4=d");
  VarRef merge = Array({{1, "a"}, {2, "b"}, {3, "c"}});
  merge->Array_Merge(merge.get(), 1, 3, 2, true);  // the source straddles the insertion point
  EXPECT_EQ(Dump(merge.get()), "1=a 2=a 3=b 4=c 5=b 6=c");
  VarRef shared = Array({{1, "a"}, {2, "b"}});
  shared->Array_Merge(shared.get(), 1, 2, 0, false);
  EXPECT_EQ(Dump(shared.get()), "1=a 2=b 3=a 4=b");
  EXPECT_EQ(shared->Element(AggregateIndex(1), false), shared->Element(AggregateIndex(3), false));
}

TEST(Aggregate, AggregateListIsReferencesNamedByKey) {
  VarRef s = NewVariable();
  s->Element(AggregateIndex::Member("Name"), true)->SetValue("n", -1);
  s->Element(AggregateIndex::Member("age"), true)->SetValue_Integer(4);
  VariableList list;
  s->ElementTree()->ForEach([&list](AggregateElement* e) {
    ByteString name = e->Key().Text();
    list.InsertAdopted(new ReferenceVariable(name.view(), e->GetVariable()));
  });
  ASSERT_EQ(list.Entries(), 2u);
  EXPECT_EQ(list.At(0)->Name(), ":age");
  list.At(1)->SetValue("changed", -1);
  EXPECT_EQ(Str(s->Element(AggregateIndex::Member("name"), false)), "changed");
}

// An ascending million-element array makes the most degenerate splay tree:
// every whole-tree walk over it must run without deep recursion.
TEST(Aggregate, MillionAscendingElementsCopyShiftAndFree) {
  constexpr int32_t kCount = 1000000;
  VarRef a = NewVariable("big");
  for (int32_t i = 1; i <= kCount; ++i)
    a->Element(AggregateIndex(i), true)->SetValue_Integer(i);
  EXPECT_EQ(a->ElementTree()->Height(), static_cast<uint32_t>(kCount));  // a list
  VarRef b = NewVariable("copy");
  b->SetValue_Variable(a.get());
  EXPECT_EQ(b->ElementsUsed(), kCount);
  EXPECT_EQ(b->Array_Max(), kCount);
  VarRef n = NewTextVariable("", "first");
  a->Insert_Array_Element(1, n.get());  // shifts every index
  EXPECT_EQ(a->Array_Min(), 1);
  EXPECT_EQ(a->Array_Max(), kCount + 1);
  EXPECT_EQ(a->Element(AggregateIndex(kCount + 1), false)->Value_Integer(), kCount);
  EXPECT_EQ(b->Element(AggregateIndex(kCount), false)->Value_Integer(), kCount);
  a->Delete_Array_Elements(1, 1, true);
  EXPECT_EQ(a->Element(AggregateIndex(500000), false)->Value_Integer(), 500000);
  a->Clear();
  EXPECT_EQ(a->ElementsUsed(), 0);
}

VarRef Nested(int depth) {
  VarRef root = NewVariable("deep");
  Variable* v = root.get();
  for (int i = 0; i < depth; ++i)
    v = v->Element(AggregateIndex(1), true);
  v->SetValue("leaf", -1);
  return root;
}

TEST(Aggregate, DeepNestingCopiesFlattensAndFreesWithoutRecursion) {
  VarRef deep = Nested(200000);
  EXPECT_EQ(Str(deep.get()), "leaf");
  VarRef copy = VarRef::Adopt(deep->Clone());
  EXPECT_EQ(Str(copy.get()), "leaf");
  VarRef im = VarRef::Adopt(new ImmutableVariable(deep.get()));
  static_cast<ImmutableVariable*>(im.get())->Lock();
  deep.release()->Release();
  copy.release()->Release();
  im.release()->Release();
}

TEST(Aggregate, ValuesContainingThemselvesAreCut) {
  VarRef a = Array({{1, "x"}});
  Variable* back = a->Element(AggregateIndex(2), true);
  back->Make_Reference(a.get());  // a[2] is a itself
  EXPECT_EQ(Str(a.get()), "x");
  VarRef copy = NewVariable();
  copy->SetValue_Variable(a.get());
  EXPECT_EQ(copy->ElementsUsed(), 2);
  EXPECT_TRUE(copy->Element(AggregateIndex(2), false)->IsNULL());
  // Break the cycle so that the counts can reach zero.
  a->Delete_Struct_Member(AggregateIndex(2), false);
  EXPECT_EQ(a->ReferenceCount(), 1);

  VarRef s = NewVariable();
  s->SetElement(AggregateIndex(1), s.get());  // shared directly, no reference
  EXPECT_EQ(Str(s.get()), "");
  VarRef c2 = NewVariable();
  c2->SetValue_Variable(s.get());
  EXPECT_EQ(c2->ElementsUsed(), 1);
  s->Clear();
}

}  // namespace
}  // namespace orin

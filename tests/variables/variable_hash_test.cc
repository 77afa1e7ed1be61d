#include "variables/variable_hash.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdio>
#include <string>

#include "image/dictionary.h"
#include "image/tagged_file.h"
#include "platform/plain_file.h"
#include "variables/dynamic_name.h"
#include "variables/variable.h"
#include "variables/variable_list.h"

namespace orin {
namespace {

std::string Str(Variable* v) {
  return v == nullptr ? "<none>" : v->Value().str();
}

Variable* Lookup(VariableHash& t, const std::string& path, bool create) {
  Variable* v = reinterpret_cast<Variable*>(1);
  EXPECT_TRUE(t.LookupPath(&v, path.data(), static_cast<int64_t>(path.size()), create)) << path;
  return v;
}

TEST(VariableHash, NamesIgnoreCaseAndEntriesKeepTheirNumbers) {
  Dictionary dict;
  UserVariableHash t(&dict, 4);
  int32_t total = t.AddByName("Total", -1);
  int32_t other = t.AddByName("other", -1);
  EXPECT_EQ(total, 0);
  EXPECT_EQ(other, 1);
  for (const char* n : {"Total", "TOTAL", "total"})
    EXPECT_EQ(t.FindEntry(n), total) << n;
  EXPECT_EQ(t.FindEntry("tota"), -1);
  Variable* v = nullptr;
  EXPECT_TRUE(t.Find(&v, "TOTAL", -1, false));
  EXPECT_EQ(v, nullptr);  // an entry without a variable yet
  EXPECT_TRUE(t.Find(&v, "total", -1, true));
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(v->Name(), "Total");  // named by the entry
  EXPECT_EQ(t.Index(total, false), v);
  EXPECT_FALSE(t.Find(&v, "missing", -1, true));  // Find never adds entries
  EXPECT_EQ(t.Index(5, true), nullptr);
  EXPECT_EQ(t.Index(-1, true), nullptr);
  EXPECT_EQ(t.Index(other, true)->Name(), "other");
  EXPECT_EQ(t.FindEntryById(dict.Add("OTHER")), other);
}

TEST(VariableHash, GrowsBy512AndKeepsEarlierEntries) {
  Dictionary dict;
  UserVariableHash t(&dict, 6, 512);
  std::vector<Variable*> first;
  for (int i = 0; i < 512; ++i) {
    std::string name = "v" + std::to_string(i);
    t.AddByName(name.data(), static_cast<int64_t>(name.size()));
    first.push_back(t.Index(i, true));
  }
  EXPECT_EQ(t.Capacity(), 512u);
  EXPECT_EQ(t.AddByName("v512", -1), 512);
  EXPECT_EQ(t.Capacity(), 1024u);
  for (int i = 0; i < 512; ++i) {
    std::string name = "V" + std::to_string(i);
    ASSERT_EQ(t.FindEntry(name), i);
    ASSERT_EQ(t.Index(i, false), first[i]);
  }
  EXPECT_EQ(t.Entries(), 513u);
}

TEST(VariableHash, PathsCreateOnlyWhenAsked) {
  Dictionary dict;
  UserVariableHash t(&dict, 4);
  EXPECT_EQ(Lookup(t, "a:b[2]", false), nullptr);
  EXPECT_EQ(t.Entries(), 0u);
  Variable* leaf = Lookup(t, "a:b[2]", true);
  ASSERT_NE(leaf, nullptr);
  leaf->SetValue("x", -1);
  EXPECT_EQ(Lookup(t, "A:B[2]", false), leaf);
  EXPECT_EQ(Lookup(t, "a:b[3]", false), nullptr);
  EXPECT_EQ(Lookup(t, "a:c", false), nullptr);
  EXPECT_EQ(Str(Lookup(t, "a", false)), "x");
  Variable* v = nullptr;
  for (const char* bad : {"a[1", "a[x]", "a[-1]", "a[1]x"}) {
    EXPECT_FALSE(t.LookupPath(&v, bad, -1, true)) << bad;
  }
  EXPECT_EQ(Str(Lookup(t, "a:b[2]", true)), "x");
}

TEST(VariableHash, RepeatedFieldsBecomeArrays) {
  Dictionary dict;
  UserVariableHash t(&dict, 4);
  t.SetFromText("f", -1, "", 0, true);
  t.SetFromText("f", -1, "1", -1, true);  // the empty value was replaced
  t.SetFromText("f", -1, "2", -1, true);
  t.SetFromText("f", -1, "3", -1, true);
  Variable* f = Lookup(t, "f", false);
  EXPECT_EQ(f->AggregateKind(), kKindArray);
  EXPECT_EQ(Str(f), "1,2,3");
  t.SetFromText("g:m", -1, "a", -1, false);
  t.SetFromText("g:m", -1, "b", -1, false);
  EXPECT_EQ(Str(Lookup(t, "g:m", false)), "b");
  EXPECT_EQ(t.SetFromText("bad[", -1, "x", -1, true), nullptr);
}

TEST(VariableHash, StoringVariablesCountsReferences) {
  Dictionary dict;
  UserVariableHash t(&dict, 4);
  VarRef a = NewTextVariable("A", "1");
  EXPECT_GE(t.Insert(a.get()), 0);
  EXPECT_EQ(a->ReferenceCount(), 2);
  VarRef b = NewTextVariable("a", "2");
  EXPECT_TRUE(t.ReplaceVariable(b.get()));
  EXPECT_EQ(a->ReferenceCount(), 1);
  EXPECT_EQ(Lookup(t, "A", false), b.get());
  VarRef c = NewTextVariable("c", "3");
  EXPECT_TRUE(t.ReplaceVariable(c.get()));  // no entry: inserted
  EXPECT_EQ(Lookup(t, "C", false), c.get());

  Variable* s = t.SetVariable("s", -1, "text", -1);
  EXPECT_EQ(t.SetVariable("S", -1, "again", -1), s);
  EXPECT_EQ(Str(s), "again");

  EXPECT_TRUE(t.MakeReference(t.FindEntry("s"), c.get()));
  Variable* alias = Lookup(t, "s", false);
  EXPECT_TRUE(alias->IsReference());
  EXPECT_EQ(alias->Name(), "s");
  alias->SetValue("through", -1);
  EXPECT_EQ(Str(c.get()), "through");
  EXPECT_FALSE(t.MakeReference(99, c.get()));

  EXPECT_TRUE(t.ClearVariable("C", -1));
  EXPECT_TRUE(c->IsNULL());
  EXPECT_FALSE(t.ClearVariable("nothing", -1));

  VariableList list;
  t.Variables(&list);
  EXPECT_EQ(list.Entries(), 3u);
  list.Dump();
  t.Dump();
  EXPECT_EQ(b->ReferenceCount(), 1);
  EXPECT_EQ(c->ReferenceCount(), 1);
  EXPECT_EQ(t.Entries(), 3u);  // names stay
  EXPECT_EQ(t.Index(0, false), nullptr);
}

// A compiled file's "glbl" section, written by a table and read back.
class TableFile : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = ::testing::TempDir() + "values_glbl_" + std::to_string(getpid());
  }
  void TearDown() override { std::remove(path_.c_str()); }
  std::string path_;
};

TEST_F(TableFile, WrittenLayoutLoadsWithTheSameEntries) {
  Dictionary dict;
  UserVariableHash t(&dict, 5);
  for (const char* n : {"alpha", "Beta", "gamma", "delta", "b"})
    t.AddByName(n, -1);
  {
    PlainFile out(path_, kOpenWrite | kOpenCreate | kOpenTruncate);
    ASSERT_TRUE(out.ok());
    TaggedFile file;
    ASSERT_TRUE(file.Create(path_, &out));
    ASSERT_TRUE(t.WriteSection(file, SectionId("glbl")));
    ASSERT_TRUE(file.Finish());
  }
  PlainFile in(path_, kOpenRead);
  TaggedFile file;
  ASSERT_TRUE(file.Attach(path_, &in)) << file.GetError();
  VariableHashLayout layout;
  ASSERT_TRUE(layout.ReadSection(file, SectionId("glbl"))) << layout.ErrorText();
  UserVariableHash loaded(&dict, &layout);
  EXPECT_EQ(loaded.Entries(), 5u);
  for (const char* n : {"alpha", "BETA", "gamma", "Delta", "B"}) {
    EXPECT_EQ(loaded.FindEntry(n), t.FindEntry(n)) << n;
  }
  EXPECT_EQ(loaded.Index(2, false), nullptr);  // a loaded table starts empty
  // A new name copies the shared layout; the loaded one is left as it was.
  EXPECT_EQ(loaded.AddByName("epsilon", -1), 5);
  EXPECT_EQ(layout.Count(), 5u);
  EXPECT_EQ(loaded.FindEntry("EPSILON"), 5);
}

TEST_F(TableFile, ShortWriteKeepsTheStreamsMessage) {
  Dictionary dict;
  UserVariableHash t(&dict, 3);
  t.AddByName("x", -1);
  PlainFile full("/dev/full", kOpenWrite);
  ASSERT_TRUE(full.ok());
  EXPECT_FALSE(t.Write(full));
  EXPECT_FALSE(t.ErrorText().empty());
  EXPECT_EQ(t.ErrorText(), full.ErrorText());
  PlainFile out(path_, kOpenWrite | kOpenCreate | kOpenTruncate);
  EXPECT_TRUE(t.Write(out));
}

TEST(SystemVariableHash, SaveLevelsRestoreReplacedSlots) {
  Dictionary dict;
  SystemVariableHash t(&dict, 4);
  t.SetScopeCode(7);
  VarRef one = NewTextVariable("x", "1");
  t.Insert(one.get());
  EXPECT_EQ(t.EntryLink(0), 7);
  EXPECT_FALSE(t.PopSaveLevel());
  t.PushSaveLevel();
  VarRef two = NewTextVariable("x", "2");
  VarRef three = NewTextVariable("X", "3");
  t.ReplaceVariable(two.get());
  t.ReplaceVariable(three.get());
  t.PushSaveLevel();
  t.MakeReference(0, one.get());
  EXPECT_TRUE(t.PopSaveLevel());
  EXPECT_EQ(Lookup(t, "x", false), three.get());
  EXPECT_TRUE(t.PopSaveLevel());
  EXPECT_EQ(Lookup(t, "x", false), one.get());
  EXPECT_EQ(two->ReferenceCount(), 1);
  EXPECT_EQ(three->ReferenceCount(), 1);
  EXPECT_EQ(one->ReferenceCount(), 2);
  t.PushSaveLevel();
  t.ReplaceVariable(two.get());  // left open: released with the table
}

TEST(ClonedVariableHash, ForwardsByNameToItsOwnBackingTable) {
  Dictionary dict;
  SystemVariableHash source(&dict, 4);
  source.SetVariable("shared", -1, "parent", -1);
  source.AddByName("later", -1);
  ClonedVariableHash copy(source, true);
  EXPECT_NE(dynamic_cast<SystemVariableHash*>(copy.BaseTable()), nullptr);
  Variable* v = Lookup(copy, "SHARED", false);
  EXPECT_EQ(Str(v), "parent");
  EXPECT_NE(v, Lookup(source, "shared", false));  // a clone, not the parent's
  v->SetValue("task", -1);
  EXPECT_EQ(Str(Lookup(source, "shared", false)), "parent");
  EXPECT_EQ(copy.EntryLink(0), copy.BaseTable()->FindEntry("shared"));
  EXPECT_EQ(copy.Index(1, false), nullptr);
  EXPECT_NE(copy.Index(1, true), nullptr);
  Variable* made = Lookup(copy, "fresh:m", true);  // a new name goes to the backing table
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(source.FindEntry("fresh"), -1);
  EXPECT_EQ(Lookup(copy, "fresh:m", false), made);

  ClonedVariableHash empty(source, false);
  EXPECT_TRUE(Lookup(empty, "shared", true)->IsNULL());
  ClonedVariableHash again(copy, true);  // a clone of a clone copies the backing table
  EXPECT_EQ(Str(Lookup(again, "shared", false)), "task");
}

TEST(ReferenceVariableHash, EntriesReferToTheSource) {
  Dictionary dict;
  UserVariableHash source(&dict, 4);
  source.SetVariable("a", -1, "1", -1);
  source.AddByName("b", -1);
  ReferenceVariableHash refs(&source);
  Variable* a = Lookup(refs, "A", false);
  ASSERT_NE(a, nullptr);
  EXPECT_TRUE(a->IsReference());
  a->SetValue("2", -1);
  EXPECT_EQ(Str(Lookup(source, "a", false)), "2");
  EXPECT_EQ(refs.Index(1, false), nullptr);
  refs.Index(1, true)->SetValue("made", -1);
  EXPECT_EQ(Str(source.Index(1, false)), "made");
  int32_t own = refs.AddByName("own", -1);
  EXPECT_EQ(refs.Index(own, true)->IsReference(), false);
}

TEST(DynamicName, Prefixes) {
  struct Case {
    const char* name;
    NameScope scope;
    const char* alias;
    const char* path;
  } cases[] = {
      {"l.x", NameScope::kLocal, "", "x"},
      {"G.x:y", NameScope::kGlobal, "", "x:y"},
      {"s.x", NameScope::kSystem, "", "x"},
      {"d.field", NameScope::kDatabase, "", "field"},
      {"a.d.field", NameScope::kDatabase, "a", "field"},
      {"A.Database.field", NameScope::kDatabase, "A", "field"},
      {"a.d.", NameScope::kUnqualified, "", "a.d."},
      {"local.x", NameScope::kLocal, "", "x"},
      {"GLOBAL.x", NameScope::kGlobal, "", "x"},
      {"system.x[1]", NameScope::kSystem, "", "x[1]"},
      {"orders.d.total", NameScope::kDatabase, "orders", "total"},
      {"orders.DATABASE.total", NameScope::kDatabase, "orders", "total"},
      {"database.total", NameScope::kDatabase, "", "total"},
      {"plain", NameScope::kUnqualified, "", "plain"},
      {"x.y", NameScope::kUnqualified, "", "x.y"},
      {"other.x", NameScope::kUnqualified, "", "other.x"},
      {".x", NameScope::kUnqualified, "", ".x"},
  };
  for (const Case& c : cases) {
    DynamicName n = ParseDynamicName(c.name);
    EXPECT_EQ(n.scope, c.scope) << c.name;
    EXPECT_EQ(n.alias, c.alias) << c.name;
    EXPECT_EQ(n.path, c.path) << c.name;
  }
}

// The scopes of a running program: real tables, one database field.
class Scopes : public NameContext {
 public:
  Scopes() : globals(&dict, 4), locals(&dict, 4), system(&dict, 4) {
    field = NewTextVariable("total", "42");
  }
  VariableHash* LocalTable() override { return &locals; }
  VariableHash* GlobalTable() override { return &globals; }
  VariableHash* SystemTable() override { return &system; }
  Variable* DatabaseField(std::string_view alias, std::string_view name) override {
    if ((alias.empty() || alias == "orders") && name == "total") return field.get();
    return nullptr;
  }
  Dictionary dict;
  UserVariableHash globals, locals;
  SystemVariableHash system;
  VarRef field;
};

TEST(DynamicName, ResolutionOrder) {
  Scopes s;
  s.system.SetVariable("zetoversion", -1, "5.52", -1);
  s.locals.SetVariable("x", -1, "local", -1);
  s.globals.SetVariable("x", -1, "global", -1);
  EXPECT_EQ(Str(LookupDynamicVariable(s, "g.x")), "global");
  EXPECT_EQ(Str(LookupDynamicVariable(s, "x")), "local");
  EXPECT_EQ(Str(LookupDynamicVariable(s, "ZETOVERSION")), "5.52");
  EXPECT_EQ(LookupDynamicVariable(s, "s.nosuch"), nullptr);
  EXPECT_EQ(s.system.FindEntry("nosuch"), -1);  // the system scope never creates
  EXPECT_EQ(Str(LookupDynamicVariable(s, "orders.d.total")), "42");
  EXPECT_EQ(Str(LookupDynamicVariable(s, "total")), "42");
  EXPECT_EQ(LookupDynamicVariable(s, "nobody.d.total"), nullptr);
  Variable* made = LookupDynamicVariable(s, "g.newone");
  EXPECT_EQ(s.globals.Index(s.globals.FindEntry("newone"), false), made);
  Variable* deep = LookupDynamicVariable(s, "l.a:b[2]");
  EXPECT_EQ(deep, LookupDynamicVariable(s, "local.A:B[2]"));
  EXPECT_EQ(Lookup(s.locals, "a:b[2]", false), deep);
  Variable* fallback = LookupDynamicVariable(s, "unknown");
  EXPECT_EQ(s.globals.Index(s.globals.FindEntry("unknown"), false), fallback);
  // A path under a local base stays in the locals.
  Variable* member = LookupDynamicVariable(s, "x:m");
  EXPECT_EQ(Lookup(s.locals, "x:m", false), member);
}

}  // namespace
}  // namespace orin

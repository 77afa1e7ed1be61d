#include "vm/vm_callback.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "output/output.h"
#include "variables/immutable_variable.h"
#include "vm/vm_test_util.h"

namespace orin::test {
namespace {

// Script functions that supply members: `value` returns data $ name,
// `store` stores name $ "!" into the structure, `nested` reads another
// missing member of its own structure first, `mode` changes the output
// mode and returns it.
constexpr std::string_view kProgram = R"(
.func value(s, name, data)
        pushl data
        pushl name
        cat
        ret
.end
.func store(&s, name, data)
        pushl name
        pushc "!"
        cat
        pushl s
        pushl name
        memb
        store
        retn
.end
.func nested(&s, name, data)
        pushl s
        pushc "inner"
        membr
        isnull
        ret
.end
.func mode(s, name, data)
        stdoutput 2
        pushi 2
        ret
.end
.func two(a, b)
        pushi 0
        ret
.end
        noop
)";

Variable* Member(Variable* v, std::string_view name, bool create = false) {
  return v->Element(AggregateIndex::Member(name), create);
}

TEST(CallbackStruct, AFunctionReturnsMissingMembers) {
  VmRun run(kProgram);
  VarRef data = NewTextVariable("", "got:");
  VarRef s = NewVariable("s");
  ASSERT_TRUE(ztVariable_Make_CallbackStruct(s.get(), &run.vm(), "value", -1, data.get()));
  EXPECT_EQ(run.vm().Callbacks().size(), 1u);

  Variable* color = Member(s.get(), "color");
  ASSERT_NE(color, nullptr);
  EXPECT_EQ(color->Value().str(), "got:color");
  EXPECT_EQ(s->ElementsUsed(), 0);  // only supplied, not stored

  // With creation the member is kept, holding the supplied value.
  Variable* size = Member(s.get(), "size", true);
  ASSERT_NE(size, nullptr);
  EXPECT_EQ(size->Value().str(), "got:size");
  EXPECT_EQ(s->ElementsUsed(), 1);
  EXPECT_EQ(Member(s.get(), "size"), size);
  // The kept member is not overwritten by the next lookup's result.
  EXPECT_EQ(Member(s.get(), "other")->Value().str(), "got:other");
  EXPECT_EQ(size->Value().str(), "got:size");
}

TEST(CallbackStruct, AFunctionStoresMembers) {
  VmRun run(kProgram);
  VarRef s = NewVariable("s");
  ASSERT_TRUE(ztVariable_Make_CallbackStruct(s.get(), &run.vm(), "store", 5, nullptr));
  Variable* a = Member(s.get(), "a");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->Value().str(), "a!");
  EXPECT_EQ(s->ElementsUsed(), 1);
  EXPECT_EQ(Member(s.get(), "a"), a);
}

TEST(CallbackStruct, ALookupWhileOneRunsAnswersNothing) {
  VmRun run(kProgram);
  VarRef s = NewVariable("s");
  ASSERT_TRUE(ztVariable_Make_CallbackStruct(s.get(), &run.vm(), "nested", -1, nullptr));
  EXPECT_EQ(Member(s.get(), "outer")->Value().str(), "1");
  EXPECT_FALSE(run.vm().Aborted());
}

TEST(CallbackStruct, OutputModeIsRestored) {
  VmRun run(kProgram);
  run.app.output.SetMode(1);
  VarRef s = NewVariable("s");
  ASSERT_TRUE(ztVariable_Make_CallbackStruct(s.get(), &run.vm(), "mode", -1, nullptr));
  EXPECT_EQ(Member(s.get(), "m")->Value().str(), "2");
  EXPECT_EQ(run.app.output.GetMode(), 1u);
}

TEST(CallbackStruct, UnknownOrMismatchedFunctionsSupplyNothing) {
  VmRun run(kProgram);
  VarRef s = NewVariable("s");
  ASSERT_TRUE(ztVariable_Make_CallbackStruct(s.get(), &run.vm(), "two", -1, nullptr));
  EXPECT_EQ(Member(s.get(), "x"), nullptr);
  ASSERT_TRUE(ztVariable_Make_CallbackStruct(s.get(), &run.vm(), "nosuch", -1, nullptr));
  EXPECT_EQ(Member(s.get(), "x"), nullptr);
  ASSERT_TRUE(ztVariable_Make_CallbackStruct(s.get(), &run.vm(), "", -1, nullptr));
  EXPECT_EQ(Member(s.get(), "x"), nullptr);
  EXPECT_EQ(run.vm().Callbacks().size(), 1u);  // each replaced the one before
}

TEST(CallbackStruct, LifetimeFollowsTheVariableAndTheMachine) {
  VmRun run(kProgram);
  {
    VarRef gone = NewVariable("gone");
    ASSERT_TRUE(ztVariable_Make_CallbackStruct(gone.get(), &run.vm(), "value", -1, nullptr));
    EXPECT_EQ(run.vm().Callbacks().size(), 1u);
  }
  EXPECT_EQ(run.vm().Callbacks().size(), 0u);

  VarRef locked = VarRef::Adopt(new ImmutableVariable("locked"));
  EXPECT_FALSE(ztVariable_Make_CallbackStruct(locked.get(), &run.vm(), "value", -1, nullptr));
  EXPECT_EQ(run.vm().Callbacks().size(), 0u);

  // A structure that outlives its machine becomes a plain one.
  VarRef survivor = NewVariable("survivor");
  {
    auto other = std::make_unique<VmRun>(kProgram);
    ASSERT_TRUE(ztVariable_Make_CallbackStruct(survivor.get(), &other->vm(), "value", -1, nullptr));
    EXPECT_TRUE(survivor->IsCallback());
  }
  EXPECT_FALSE(survivor->IsCallback());
  EXPECT_EQ(Member(survivor.get(), "x"), nullptr);
}

}  // namespace
}  // namespace orin::test

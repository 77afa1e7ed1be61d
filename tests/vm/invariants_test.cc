// Checked builds stop at a broken invariant instead of corrupting memory
// later. Each case breaks one on purpose, in a child process.
#include <gtest/gtest.h>

#include <new>

#include "variables/operand.h"
#include "variables/variable.h"
#include "vm/vm_stack.h"

namespace orin {
namespace {

#if defined(ORIN_CHECKS)

// Its storage outlives its destruction, so a release after the last one
// reaches the check instead of freed memory.
class KeptVariable : public Variable {
 public:
  static void operator delete(void*) {}
};

// Unchecked call site: the failure must come from inside Release.
__attribute__((no_sanitize_undefined)) void ReleaseAgain(Variable* v) {
  v->Release();
}

TEST(InvariantsDeathTest, ReleasingMoreOftenThanReferencedAborts) {
  EXPECT_DEATH(
      {
        alignas(KeptVariable) static unsigned char storage[sizeof(KeptVariable)];
        Variable* v = ::new (storage) KeptVariable;
        v->AddRef();
        v->Release();
        v->Release();  // the last reference: destroyed
        ReleaseAgain(v);
      },
      // The sanitizer build's type checker stops at the assertion's read.
      "variable\\.h:[0-9]+:.*(assertion failed: refs_ > 0|does not point to an object of type "
      "'Variable')");
}

TEST(InvariantsDeathTest, UncheckedStackOperationsKeepOwnershipAndBounds) {
  ZetoVM_Stack stack;
  VarRef v = NewVariable();
  // A borrowed variable could be freed by the script while still stacked.
  EXPECT_DEATH(stack.PushUnchecked(VariableOperand(v.get(), false)),
               "vm_stack\\.h:[0-9]+: assertion failed: Storable\\(op\\)");
  EXPECT_DEATH(stack.PopUnchecked(), "assertion failed: count_ > 0");
  stack.PushIntegerUnchecked(7);
  EXPECT_DEATH(stack.FromTop(1), "assertion failed: depth < count_");
  while (!stack.full())
    stack.PushIntegerUnchecked(1);
  EXPECT_DEATH(stack.PushConstantUnchecked("x", 1), "assertion failed: count_ < kCapacity");
}

#endif  // ORIN_CHECKS

}  // namespace
}  // namespace orin

// ORIN_ASSERT(cond): an invariant the code relies on. Checked builds (the
// sanitizer, fuzz and Debug builds define ORIN_CHECKS) print where it failed
// and the condition to stderr, then abort; release builds compile it out
// entirely, though the condition is still parsed so that it cannot rot.
#ifndef ORIN_UTIL_CHECK_H_
#define ORIN_UTIL_CHECK_H_

namespace orin {

[[noreturn]] void AssertionFailed(const char* file, int line, const char* condition);

}  // namespace orin

#if defined(ORIN_CHECKS)
#define ORIN_ASSERT(cond) \
  (__builtin_expect(!!(cond), 1) ? (void)0 : ::orin::AssertionFailed(__FILE__, __LINE__, #cond))
#else
#define ORIN_ASSERT(cond) ((void)sizeof(!(cond)))
#endif

#endif  // ORIN_UTIL_CHECK_H_

// ClonedZetoVM: the machine an asynchronous task runs on.
//
// It is made on the request's thread from the request's machine, at the
// first instruction of the ZtASYNCHRONOUS block, and then driven by the
// task's thread only. It owns copies of the program objects (dictionary,
// segments, functions, external calls, localized texts), so code the
// request or the task compiles later is seen by neither the other. The
// system and global variables are the request's own tables unless the
// isolation flags ask for copies; a task started inside a function gets a
// copy of that function's locals. The flags the loop polls are the task
// application's.
#ifndef ORIN_VM_CLONED_VM_H_
#define ORIN_VM_CLONED_VM_H_

#include <cstdint>
#include <memory>

#include "vm/zeto_vm.h"

namespace orin {

// Isolation flags of a task.
constexpr uint32_t kIsolateSystem = 1;
constexpr uint32_t kIsolateGlobal = 2;

// The copies a cloned machine runs over; made before the machine itself.
struct ClonedProgram {
  ClonedProgram(ZetoVM& source, uint32_t isolation);
  ~ClonedProgram();
  ZetoProgram Program() const;

  std::unique_ptr<Dictionary> dictionary;
  std::unique_ptr<SegmentManager> segments;
  std::unique_ptr<FunctionManager> functions;
  std::unique_ptr<ExternalCallManager> external_calls;
  std::unique_ptr<LocalizedLanguages> languages;
  std::unique_ptr<LocalizedDictionary> localized;
  std::unique_ptr<SystemVariableHash> own_system;  // with kIsolateSystem
  std::unique_ptr<VariableHash> own_globals;       // with kIsolateGlobal
  SystemVariableHash* system;
  VariableHash* globals;
};

class ClonedZetoVM : private ClonedProgram, public ZetoVM {
 public:
  // Copies `source` (on the source's thread) for `application`, the task's.
  ClonedZetoVM(ZetoVM& source, ZetoApplication* application, uint32_t isolation);
  ~ClonedZetoVM() override;

  uint32_t isolation() const { return isolation_; }

 private:
  uint32_t isolation_;
};

}  // namespace orin

#endif  // ORIN_VM_CLONED_VM_H_

// Frames: where a running piece of code keeps its locals and its operand
// stack, and where execution continues when it ends.
//
//   ZetoVM_Frame           kind 0: the top frame, and the plain frames that
//                          run compiled expressions and callbacks
//   ZetoVM_FunctionFrame   kind 1: one call of a script function
//   ZetoVM_AsyncFrame      kind 2: the body of an asynchronous task
//
// Frames chain through caller(); the machine's current frame is the
// innermost. A frame may own its locals and its stack (a function call's
// are new) or borrow them (the top frame's locals are the globals).
#ifndef ORIN_VM_FRAME_H_
#define ORIN_VM_FRAME_H_

#include <cstdint>

namespace orin {

class Function;
class VariableHash;
class ZetoVM_Stack;

// Error flag bit that lets runtime errors be displayed.
constexpr uint32_t kFrameShowErrors = 4;
// Error flags of the top frame and of plain frames.
constexpr uint32_t kFrameDefaultErrorFlags = 7;

class ZetoVM_Frame {
 public:
  ZetoVM_Frame(int32_t return_segment, int32_t return_offset)
      : ZetoVM_Frame(return_segment, return_offset, 0) {}
  // Destroys the locals and the stack it owns.
  virtual ~ZetoVM_Frame();
  ZetoVM_Frame(const ZetoVM_Frame&) = delete;
  ZetoVM_Frame& operator=(const ZetoVM_Frame&) = delete;

  // Not virtual: the call path asks on every return.
  int32_t FrameKind() const { return kind_; }
  // Replacing destroys the previous hash or stack when it was owned.
  virtual void SetLocals(VariableHash* locals, bool owned);
  virtual void SetStack(ZetoVM_Stack* stack, bool owned);

  // Hand an owned stack or locals table to the caller (the machine
  // recycles them); the frame then has none. Null when not owned.
  ZetoVM_Stack* TakeStack();
  VariableHash* TakeLocals();

  int32_t return_segment() const { return return_segment_; }
  int32_t return_offset() const { return return_offset_; }
  VariableHash* locals() const { return locals_; }
  ZetoVM_Stack* stack() const { return stack_; }
  uint32_t error_flags() const { return error_flags_; }
  void set_error_flags(uint32_t flags) { error_flags_ = flags; }
  uint32_t output_mode() const { return output_mode_; }
  void set_output_mode(uint32_t mode) { output_mode_ = mode; }
  ZetoVM_Frame* caller() const { return caller_; }
  void set_caller(ZetoVM_Frame* caller) { caller_ = caller; }

 protected:
  ZetoVM_Frame(int32_t return_segment, int32_t return_offset, int32_t kind)
      : return_segment_(return_segment), return_offset_(return_offset), kind_(kind) {}
  void set_return(int32_t segment, int32_t offset) {
    return_segment_ = segment;
    return_offset_ = offset;
  }

 private:
  int32_t return_segment_;
  int32_t return_offset_;
  VariableHash* locals_ = nullptr;
  bool owns_locals_ = false;
  ZetoVM_Stack* stack_ = nullptr;
  bool owns_stack_ = false;
  uint32_t error_flags_ = kFrameDefaultErrorFlags;
  uint32_t output_mode_ = 0;
  int32_t kind_;
  ZetoVM_Frame* caller_ = nullptr;
};

class ZetoVM_FunctionFrame : public ZetoVM_Frame {
 public:
  ZetoVM_FunctionFrame(int32_t return_segment, int32_t return_offset, Function* function)
      : ZetoVM_Frame(return_segment, return_offset, 1), function_(function) {}
  Function* function() const { return function_; }
  // A recycled frame (its stack kept, empty) starts another call.
  void Reuse(int32_t return_segment, int32_t return_offset, Function* function) {
    set_return(return_segment, return_offset);
    function_ = function;
  }

 private:
  Function* function_;
};

class ZetoVM_AsyncFrame : public ZetoVM_Frame {
 public:
  ZetoVM_AsyncFrame(int32_t return_segment, int32_t return_offset)
      : ZetoVM_Frame(return_segment, return_offset, 2) {}
};

}  // namespace orin

#endif  // ORIN_VM_FRAME_H_

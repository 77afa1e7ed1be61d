// The instruction loop.
//
// Hot state lives in locals: the code pointer and length of the loaded
// segment, the program counter and the current stack. Anything that may
// switch frames, segments or position (calls, returns, out-of-line
// instructions) runs inside VM_PROTECT, which stores the program counter
// first and reloads all of them afterwards. Instruction operands are read
// straight from the code bytes; the length check at the head of each
// instruction guarantees they are there.
//
// Two pairs of instructions are taken together when the second one is
// whole: a comparison with integer operands and the conditional jump after
// it (the jump reads the result without the stack), and `cat` followed by
// a store into the variable on its left (`s = s $ x` appends to s in place
// instead of copying it, which would make building a text quadratic).
#include <cstring>

#include "image/byte_order.h"
#include "image/dictionary.h"
#include "image/function.h"
#include "image/opcodes.h"
#include "image/segment.h"
#include "util/crypt.h"
#include "variables/variable_hash.h"
#include "vm/do_context.h"
#include "vm/vm_fast.h"
#include "vm/zeto_vm.h"

namespace orin {

namespace {

// The dispatch switches on a dense number per instruction (its row in the
// instruction list, 0 for an unknown opcode) so that the compiler builds a
// single jump table instead of a tree of range tests over the sparse
// opcode values.
enum DenseOpcode : uint8_t {
  kDenseUnknown = 0,
#define ORIN_DENSE_OPCODE(name, mnemonic, opcode, a, b) kDense_##name,
  ORIN_INSTRUCTIONS(ORIN_DENSE_OPCODE)
#undef ORIN_DENSE_OPCODE
      kDenseCount
};
static_assert(kDenseCount <= 256, "dense opcodes must fit a byte");

const uint8_t* DenseOpcodes() {
  static const uint8_t* table = [] {
    auto* t = new uint8_t[65536]();
#define ORIN_DENSE_ENTRY(name, mnemonic, opcode, a, b) t[opcode] = kDense_##name;
    ORIN_INSTRUCTIONS(ORIN_DENSE_ENTRY)
#undef ORIN_DENSE_ENTRY
    return t;
  }();
  return table;
}

#define OP(name) kDense_##name

// Operand bytes by the top four bits of the opcode (kinds of A and B).
constexpr uint8_t kOperandBytes[16] = {
    0, 4,  8,  0,  // A none
    4, 8,  12, 4,  // A int32
    8, 12, 16, 8,  // A double
    0, 4,  8,  0,  // A undefined
};
static_assert(kOperandBytes[kPushi >> 12] == OperandABytes(kPushi));
static_assert(kOperandBytes[kCmpgi >> 12] == OperandABytes(kCmpgi) + OperandBBytes(kCmpgi));
static_assert(kOperandBytes[kPushf >> 12] == OperandABytes(kPushf));

inline int32_t OperandA(const uint8_t* ip) {
  return static_cast<int32_t>(GetLE32(ip));
}
inline int32_t OperandB(const uint8_t* ip) {
  return static_cast<int32_t>(GetLE32(ip + 4));
}

// The jump target: relative to the end of the instruction; outside the
// code it becomes the end, which ends the code.
inline uint32_t Target(uint32_t next, int32_t offset, uint32_t length) {
  int64_t t = static_cast<int64_t>(next) + offset;
  return t < 0 || t > length ? length : static_cast<uint32_t>(t);
}

// Drops the top two entries, integers or variables.
inline void DropTopTwo(ZetoVM_Stack* st) {
  for (uint32_t i = 0; i < 2; ++i) {
    Operand& op = st->FromTop(i);
    if (op.kind == OperandKind::kVariable && IsOwned(op)) op.value.variable->Release();
  }
  st->DropUnchecked();
  st->DropUnchecked();
}

// Replaces the top two entries, integers or variables, by an integer.
inline void ReplaceTopTwo(ZetoVM_Stack* st, int32_t result) {
  DropTopTwo(st);
  st->PushIntegerUnchecked(result);
}

// A comparison followed by a conditional jump: the jump takes the result
// at once instead of through the stack. True with *pc set when the
// instruction at `next` is such a jump (whole, inside the code).
inline bool FusedJump(const uint8_t* code, uint32_t length, uint32_t next, int32_t n,
                      uint32_t* pc) {
  if (length - next < 6) return false;
  bool taken;
  switch (GetLE16(code + next)) {
    case kJmpEq:
      taken = n == 0;
      break;
    case kJmpNe:
      taken = n != 0;
      break;
    case kJmpLt:
      taken = n < 0;
      break;
    case kJmpLe:
      taken = n <= 0;
      break;
    case kJmpGt:
      taken = n > 0;
      break;
    case kJmpGe:
      taken = n >= 0;
      break;
    default:
      return false;
  }
  uint32_t after = next + 6;
  *pc = taken ? Target(after, OperandA(code + next + 2), length) : after;
  return true;
}

// Pops the integer of the top entry (which exists).
inline int32_t PopIntegerUnchecked(ZetoVM_Stack* st) {
  Operand& top = st->Top();
  st->DropUnchecked();
  if (top.kind == OperandKind::kInteger) return top.value.integer;
  int32_t v = OperandInteger(top);
  ReleaseOperand(&top);
  return v;
}

}  // namespace

// The segment to execute; null after the fatal error when there is none.
Segment* ZetoVM::LoadSegment() {
  Segment* s = program_.segments != nullptr ? program_.segments->Get(segment_) : nullptr;
  if (s == nullptr) FatalError("Invalid segment reference");
  return s;
}

int ZetoVM::Run() {
  if (run_depth_ >= kMaxNestedRuns) {
    FatalError("Stack overflow");
    return 0;
  }
  ++run_depth_;
  int result = Execute();
  --run_depth_;
  return result;
}

// -1 to go on; otherwise what Run returns.
int ZetoVM::CheckStop() {
  if (signals_->load(std::memory_order_relaxed) != signal_copy_) ProcessSignals();
  if (aborted_) return 0;
  if (timed_out_->load(std::memory_order_relaxed) != 0) {
    TimedOut();
    return 0;
  }
  if (exit_->load(std::memory_order_relaxed) != 0) return 1;
  return -1;
}

void ZetoVM::ProcessSignals() {
  uint32_t now = signals_->load(std::memory_order_relaxed);
  ZetoVM* root = parent_ != nullptr ? parent_ : this;
  if (root->signal_copy_ != now) {
    root->signal_copy_ = now;
    for (size_t i = 0; i < root->features_.size(); ++i)
      root->features_.At(i)->Signal();
    if (root->do_contexts_) root->do_contexts_->SignalFeatures();
  }
  signal_copy_ = now;
}

// code and length stay locals (never address-taken) so that they live in
// registers.
#define VM_RELOAD()                   \
  do {                                \
    Segment* loaded = LoadSegment();  \
    if (loaded == nullptr) return 0;  \
    code = loaded->code();            \
    length = loaded->length();        \
    pc = pc_ > length ? length : pc_; \
    st = stack_;                      \
  } while (0)

#define VM_PROTECT(call) \
  do {                   \
    pc_ = pc;            \
    call;                \
    VM_RELOAD();         \
  } while (0)

// Pops the right operand, then the left one, and pushes fn(left, right).
#define VM_BINARY(fn)                   \
  {                                     \
    if (st->count() < 2) {              \
      VM_PROTECT(StackUnderflow());     \
      break;                            \
    }                                   \
    Operand right = st->PopUnchecked(); \
    Operand left = st->PopUnchecked();  \
    st->PushUnchecked(fn(left, right)); \
    break;                              \
  }

#define VM_UNARY(fn)                    \
  {                                     \
    if (st->empty()) {                  \
      VM_PROTECT(StackUnderflow());     \
      break;                            \
    }                                   \
    Operand value = st->PopUnchecked(); \
    st->PushUnchecked(fn(value));       \
    break;                              \
  }

#define VM_PUSH(op)                \
  {                                \
    if (st->full()) {              \
      Operand dropped = (op);      \
      ReleaseOperand(&dropped);    \
      VM_PROTECT(StackOverflow()); \
      break;                       \
    }                              \
    st->PushUnchecked(op);         \
  }

#define VM_PUSH_VARIABLE(v)                      \
  {                                              \
    Variable* pushed = (v);                      \
    if (pushed == nullptr) pushed = null_.get(); \
    if (st->full()) {                            \
      VM_PROTECT(StackOverflow());               \
      break;                                     \
    }                                            \
    pushed->AddRef();                            \
    st->PushVariableUnchecked(pushed);           \
  }

#define VM_PUSH_INTEGER(n)         \
  {                                \
    if (st->full()) {              \
      VM_PROTECT(StackOverflow()); \
      break;                       \
    }                              \
    st->PushIntegerUnchecked(n);   \
  }

#define VM_POP(name)              \
  if (st->empty()) {              \
    VM_PROTECT(StackUnderflow()); \
    break;                        \
  }                               \
  Operand name = st->PopUnchecked()

int ZetoVM::Execute() {
  const uint8_t* code;
  uint32_t length;
  uint32_t pc;
  ZetoVM_Stack* st;
  VM_RELOAD();
  std::atomic<int32_t>* const timed_out = timed_out_;
  std::atomic<int32_t>* const exit_flag = exit_;
  std::atomic<uint32_t>* const signals = signals_;
  const uint8_t* const dense = DenseOpcodes();

  for (;;) {
    // One branch for the four flags: or-ed without short-circuits.
    int32_t attention =
        static_cast<int32_t>(aborted_) | timed_out->load(std::memory_order_relaxed) |
        exit_flag->load(std::memory_order_relaxed) |
        static_cast<int32_t>(signals->load(std::memory_order_relaxed) != signal_copy_);
    if (__builtin_expect(attention != 0, 0)) {
      pc_ = pc;
      int stop = CheckStop();
      if (stop >= 0) return stop;
    }
    instruction_start_ = pc;
    if (pc + 1 >= length) {
      pc_ = pc;
      return 1;
    }
    uint16_t op = GetLE16(code + pc);
    const uint8_t* ip = code + pc + 2;
    uint32_t next = pc + 2 + kOperandBytes[op >> 12];
    if (next > length) {  // operands cut off: the code has ended
      pc_ = pc;
      return 1;
    }
    pc = next;

    switch (dense[op]) {
      case OP(kNoop):
        break;

      // --- Constants and variables ---
      case OP(kPushc): {
        uint32_t n;
        const char* bytes = program_.dictionary->Lookup(OperandA(ip), &n);
        if (bytes == nullptr) {
          VM_PROTECT(FatalError("Invalid dictionary reference"));
          break;
        }
        if (st->full()) {
          VM_PROTECT(StackOverflow());
          break;
        }
        st->PushConstantUnchecked(bytes, n);
        break;
      }
      case OP(kPushi):
        VM_PUSH_INTEGER(OperandA(ip));
        break;
      case OP(kPushf):
        VM_PROTECT(PushDouble(GetLEDouble(ip)));
        break;
      case OP(kPushs):
        VM_PUSH_VARIABLE(program_.system->Index(OperandA(ip), false));
        break;
      case OP(kPushg):
        VM_PUSH_VARIABLE(FastSlot(program_.globals, OperandA(ip)));
        break;
      case OP(kPushl):
        VM_PUSH_VARIABLE(FastSlot(frame_->locals(), OperandA(ip)));
        break;
      case OP(kPops): {
        VM_POP(value);
        Variable* v = program_.system->Index(OperandA(ip), false);
        if (v != nullptr) {
          VM_PROTECT(AssignOperand(v, value));
        } else {
          ReleaseOperand(&value);
        }
        break;
      }
      case OP(kPopg): {
        VM_POP(value);
        Variable* v = FastSlot(program_.globals, OperandA(ip));
        if (v != nullptr) {
          FastAssign(v, value);
        } else {
          ReleaseOperand(&value);
        }
        break;
      }
      case OP(kPopl): {
        VM_POP(value);
        Variable* v = FastSlot(frame_->locals(), OperandA(ip));
        if (v != nullptr) {
          FastAssign(v, value);
        } else {
          ReleaseOperand(&value);
        }
        break;
      }
      case OP(kPop): {
        VM_POP(value);
        ReleaseOperand(&value);
        break;
      }
      case OP(kStore):
        VM_PROTECT(Store());
        break;
      case OP(kDup):
        VM_PROTECT(Dup());
        break;
      case OP(kSwap):
        VM_PROTECT(Swap(0, 1, "Stack underflow"));
        break;
      case OP(kSwapn):
        VM_PROTECT(Swap(OperandA(ip), OperandB(ip), "Invalid stack reference"));
        break;

      // --- Names, elements, references ---
      case OP(kPushn):
        VM_PROTECT(PushName());
        break;
      case OP(kPopn):
        VM_PROTECT(PopName());
        break;
      case OP(kPushnc): {
        std::string_view name;
        VM_PROTECT(if (DictionaryString(OperandA(ip), &name)) PushNamed(name));
        break;
      }
      case OP(kPopnc): {
        std::string_view name;
        VM_PROTECT(if (DictionaryString(OperandA(ip), &name)) PopNamed(name));
        break;
      }
      case OP(kElem):
        VM_PROTECT(Element(true));
        break;
      case OP(kElemr):
        VM_PROTECT(Element(false));
        break;
      case OP(kMemb):
        VM_PROTECT(Member(true));
        break;
      case OP(kMembr):
        VM_PROTECT(Member(false));
        break;
      case OP(kRefer):
        VM_PROTECT(Refer());
        break;
      case OP(kRefern):
        VM_PROTECT(ReferNamed());
        break;
      case OP(kRefg):
        VM_PROTECT(ReferSlot(program_.globals, OperandA(ip)));
        break;
      case OP(kRefl):
        VM_PROTECT(ReferSlot(frame_->locals(), OperandA(ip)));
        break;
      case OP(kRefnc):
        VM_PROTECT(ReferDictionaryName(OperandA(ip)));
        break;
      case OP(kSpush):
        program_.system->PushSaveLevel();
        break;
      case OP(kSpop):
        VM_PROTECT(SystemSavePop());
        break;

      // --- Operators ---
      case OP(kAdd): {
        int32_t a, b, r;
        if (st->count() >= 2 && FastInteger(st->FromTop(1), &a) &&
            FastInteger(st->FromTop(0), &b) && !__builtin_add_overflow(a, b, &r)) {
          ReplaceTopTwo(st, r);
          break;
        }
        VM_BINARY(OpAdd);
      }
      case OP(kSub): {
        int32_t a, b, r;
        if (st->count() >= 2 && FastInteger(st->FromTop(1), &a) &&
            FastInteger(st->FromTop(0), &b) && !__builtin_sub_overflow(a, b, &r)) {
          ReplaceTopTwo(st, r);
          break;
        }
        VM_BINARY(OpSub);
      }
      case OP(kCat): {
        // `v = v $ x`: append to v in place when the next instruction
        // stores the result back into the very variable on the left.
        if (st->count() >= 2 && next + 6 <= length) {
          Operand& left = st->FromTop(1);
          Operand& right = st->FromTop(0);
          uint16_t following = GetLE16(code + next);
          Variable* target = nullptr;
          if (following == kPopg) target = program_.globals->PeekEntry(OperandA(code + next + 2));
          if (following == kPopl) target = frame_->locals()->PeekEntry(OperandA(code + next + 2));
          if (target != nullptr && left.kind == OperandKind::kVariable &&
              left.value.variable == target && right.kind != OperandKind::kVariable) {
            bool appended;
            {
              OperandText text(right);
              appended = target->AppendText(text.data(), text.size());
            }
            if (appended) {
              Operand r = st->PopUnchecked();
              Operand l = st->PopUnchecked();
              ReleaseOperand(&r);
              ReleaseOperand(&l);
              pc = next + 6;
              break;
            }
          }
        }
        VM_BINARY(OpCat);
      }
      case OP(kBitand):
        VM_BINARY(OpBitAnd);
      case OP(kBitor):
        VM_BINARY(OpBitOr);
      case OP(kBitxor):
        VM_BINARY(OpBitXor);
      case OP(kBitoc):
        VM_UNARY(OpBitOc);
      case OP(kBitsl):
        VM_BINARY(OpBitSl);
      case OP(kBitsr):
        VM_BINARY(OpBitSr);
      case OP(kDiv):
        VM_BINARY(OpDiv);
      case OP(kMul):
        VM_BINARY(OpMul);
      case OP(kMod):
        VM_BINARY(OpMod);
      case OP(kRounds):
        VM_BINARY(OpRounds);
      case OP(kRoundf):
        VM_BINARY(OpRoundf);
      case OP(kPow):
        VM_BINARY(OpPow);
      case OP(kCrypt):
        VM_PROTECT(CryptOperator());
        break;
#define VM_COMPARE(fn, result)                                                                    \
  {                                                                                               \
    int32_t a, b;                                                                                 \
    if (st->count() >= 2 && FastInteger(st->FromTop(1), &a) && FastInteger(st->FromTop(0), &b)) { \
      int32_t n = (result);                                                                       \
      if (FusedJump(code, length, next, n, &pc)) {                                                \
        DropTopTwo(st);                                                                           \
      } else {                                                                                    \
        ReplaceTopTwo(st, n);                                                                     \
      }                                                                                           \
      break;                                                                                      \
    }                                                                                             \
    VM_BINARY(fn);                                                                                \
  }
      case OP(kCmp):
        VM_COMPARE(OpCmp, (a > b) - (a < b));
      case OP(kAnd):
        VM_BINARY(OpAnd);
      case OP(kOr):
        VM_BINARY(OpOr);
      case OP(kIn):
        VM_BINARY(OpIn);
      case OP(kCin):
        VM_BINARY(OpCin);
      case OP(kEin):
        VM_BINARY(OpEin);
      case OP(kEcin):
        VM_BINARY(OpEcin);
      case OP(kEq):
        VM_COMPARE(OpEq, a == b ? 1 : 0);
      case OP(kNe):
        VM_COMPARE(OpNe, a != b ? 1 : 0);
      case OP(kGe):
        VM_COMPARE(OpGe, a >= b ? 1 : 0);
      case OP(kLe):
        VM_COMPARE(OpLe, a <= b ? 1 : 0);
      case OP(kLt):
        VM_COMPARE(OpLt, a < b ? 1 : 0);
      case OP(kGt):
        VM_COMPARE(OpGt, a > b ? 1 : 0);
#undef VM_COMPARE
      case OP(kNot):
        VM_UNARY(OpNot);
      case OP(kIsnull):
        VM_UNARY(OpIsNull);

      // --- Global fast paths ---
      case OP(kCmpgg): {
        Variable* a = FastSlot(program_.globals, OperandA(ip));
        Variable* b = FastSlot(program_.globals, OperandB(ip));
        int32_t x, y, order;
        if (a == nullptr || b == nullptr) {
          order = 0;
        } else if (a->PeekInteger(&x) && b->PeekInteger(&y)) {
          order = (x > y) - (x < y);
        } else {
          order = CompareVariables(a, b);
        }
        if (FusedJump(code, length, next, order, &pc)) break;
        VM_PUSH_INTEGER(order);
        break;
      }
      case OP(kCmpgi): {
        Variable* a = FastSlot(program_.globals, OperandA(ip));
        int32_t x, y = OperandB(ip), order;
        if (a == nullptr) {
          order = 0;
        } else if (a->PeekInteger(&x)) {
          order = (x > y) - (x < y);
        } else {
          order = CompareVariableInteger(a, y);
        }
        if (FusedJump(code, length, next, order, &pc)) break;
        VM_PUSH_INTEGER(order);
        break;
      }
      case OP(kIncg): {
        Variable* a = FastSlot(program_.globals, OperandA(ip));
        if (a == nullptr) break;
        int32_t x, sum;
        if (a->PeekInteger(&x) && !__builtin_add_overflow(x, OperandB(ip), &sum) &&
            a->PokeInteger(sum)) {
          break;
        }
        AssignOperand(a, OpAdd(IntegerOperand(a->Value_Integer()), IntegerOperand(OperandB(ip))));
        break;
      }
      case OP(kModgg): {
        Variable* a = FastSlot(program_.globals, OperandA(ip));
        Variable* b = FastSlot(program_.globals, OperandB(ip));
        Operand r = IntegerOperand(0);
        if (a != nullptr && b != nullptr) {
          r = OpMod(VariableOperand(a, false), VariableOperand(b, false));
        }
        VM_PUSH(r);
        break;
      }
      case OP(kStoregi): {
        Variable* a = FastSlot(program_.globals, OperandA(ip));
        if (a != nullptr && !a->PokeInteger(OperandB(ip))) a->SetValue_Integer(OperandB(ip));
        break;
      }

      // --- Jumps ---
      case OP(kJmp):
        pc = Target(next, OperandA(ip), length);
        break;
#define VM_JUMP_IF(test)                               \
  {                                                    \
    if (st->empty()) {                                 \
      VM_PROTECT(StackUnderflow());                    \
      break;                                           \
    }                                                  \
    int32_t n = PopIntegerUnchecked(st);               \
    if (test) pc = Target(next, OperandA(ip), length); \
    break;                                             \
  }
      case OP(kJmpEq):
        VM_JUMP_IF(n == 0);
      case OP(kJmpNe):
        VM_JUMP_IF(n != 0);
      case OP(kJmpLt):
        VM_JUMP_IF(n < 0);
      case OP(kJmpLe):
        VM_JUMP_IF(n <= 0);
      case OP(kJmpGt):
        VM_JUMP_IF(n > 0);
      case OP(kJmpGe):
        VM_JUMP_IF(n >= 0);
#undef VM_JUMP_IF

      // --- Calls ---
      case OP(kCall):
        VM_PROTECT(Call(OperandA(ip)));
        break;
      case OP(kRet):
      case OP(kRetn): {
        pc_ = pc;
        if (Return(op == kRet)) return 1;  // a nested run's function returned
        VM_RELOAD();
        break;
      }
      case OP(kExit):
      case OP(kExitAlt):
        exit_->store(1, std::memory_order_relaxed);
        pc = length;
        break;

      // --- Output and position ---
      case OP(kOut):
        VM_PROTECT(Out());
        break;
      case OP(kOutComp):
        VM_PROTECT(OutText());
        break;
      case OP(kStdoutput):
        VM_PROTECT(StdOutput(OperandA(ip)));
        break;
      case OP(kErroutput):
        frame_->set_error_flags(static_cast<uint32_t>(OperandA(ip)));
        break;
      case OP(kErrprefix):
        VM_PROTECT(ErrPrefix());
        break;
      case OP(kLineno):
        if (trace_flags_ & kLogTrace) {
          VM_PROTECT(LineNumber(OperandA(ip)));
        } else {
          line_ = OperandA(ip);
        }
        break;
      case OP(kSourcefile):
        VM_PROTECT(SourceFile(OperandA(ip)));
        break;
      case OP(kTagerror):
        TagError(OperandA(ip), OperandB(ip));
        break;
      case OP(kHide):
        VM_PROTECT(Hide());
        break;

      // --- Database fields (none until the run opens databases) ---
      case OP(kPushd):
        VM_PROTECT(PushField());
        break;
      case OP(kPopd):
        VM_PROTECT(PopField());
        break;
      case OP(kPushdc):
        VM_PROTECT(PushFieldConstant(OperandA(ip), OperandB(ip)));
        break;
      case OP(kPopdc):
        VM_PROTECT(PopFieldConstant(OperandA(ip), OperandB(ip)));
        break;

      // --- Blocks ---
      case OP(kCapture):
        VM_PROTECT(BeginCapture());
        break;
      case OP(kCaptureEnd):
        VM_PROTECT(EndCapture());
        break;
      case OP(kLockfile):
        VM_PROTECT(BeginLockfile());
        break;
      case OP(kLockfileEnd):
        VM_PROTECT(EndLockfile());
        break;

      default:
        VM_PROTECT(OtherInstruction(op, ip, next));
        break;
    }
  }
}

#undef VM_RELOAD
#undef VM_PROTECT
#undef VM_BINARY
#undef VM_UNARY
#undef VM_PUSH
#undef VM_PUSH_VARIABLE
#undef VM_PUSH_INTEGER
#undef VM_POP
#undef OP

}  // namespace orin

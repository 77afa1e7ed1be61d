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
// Three pairs of instructions are taken together when the second one is
// whole: a comparison with integer operands and the conditional jump after
// it (the jump reads the result without the stack), `incg` and the `jmp`
// after it (the step of a counted loop and its jump back), and `cat`
// followed by a store into the variable on its left (`s = s $ x` appends
// to s in place instead of copying it, which would make building a text
// quadratic).
//
// Dispatch: see ORIN_HOT_INSTRUCTIONS for the threaded part and NEXT and
// FAST for when the flags are looked at.
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

// The instructions of common loops and calls. Where the compiler can take
// the address of a label (GCC and Clang), each of them is threaded code:
// it ends with its own copy of the decode and an indirect jump straight to
// the next instruction's handler, so the processor predicts each jump from
// the instruction before it; the others go through the switch.
#ifndef ORIN_VM_THREADED
#if defined(__GNUC__)
#define ORIN_VM_THREADED 1
#else
#define ORIN_VM_THREADED 0
#endif
#endif

#define ORIN_HOT_INSTRUCTIONS(X)                                                             \
  X(kPushc) X(kPushi) X(kPushg) X(kPushl) X(kPopg) X(kPopl) X(kPop) X(kAdd) X(kSub) X(kCmp) \
  X(kEq) X(kNe) X(kGe) X(kLe) X(kLt) X(kGt) X(kCmpgg) X(kCmpgi) X(kIncg) X(kStoregi)      \
  X(kJmp) X(kJmpEq) X(kJmpNe) X(kJmpLt) X(kJmpLe) X(kJmpGt) X(kJmpGe) X(kCall) X(kRet)     \
  X(kRetn) X(kLineno) X(kElem) X(kElemr)

enum HotOpcode : uint8_t {
  kHotCold = 0,
#define ORIN_HOT_ENUM(name) kHot_##name,
  ORIN_HOT_INSTRUCTIONS(ORIN_HOT_ENUM)
#undef ORIN_HOT_ENUM
};

// Opcode to its row among the hot instructions, 0 for the others.
const uint8_t* HotOpcodes() {
  static const uint8_t* table = [] {
    auto* t = new uint8_t[65536]();
#define ORIN_HOT_ENTRY(name) t[name] = kHot_##name;
    ORIN_HOT_INSTRUCTIONS(ORIN_HOT_ENTRY)
#undef ORIN_HOT_ENTRY
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
// Branches rather than conditional moves, here and in FusedJump: a
// predicted branch keeps the program counter off the chain of the values
// it is computed from.
inline uint32_t Target(uint32_t next, int32_t offset, uint32_t length) {
  int64_t t = static_cast<int64_t>(next) + offset;
  if (__builtin_expect(t < 0 || t > length, 0)) return length;
  return static_cast<uint32_t>(t);
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
// instruction at `next` is such a jump (whole, inside the code). The six
// jumps have consecutive opcodes; one bit of a constant per jump and sign
// of n says whether it is taken.
static_assert(kJmpLt == kJmpEq + 1 && kJmpGt == kJmpEq + 2 && kJmpLe == kJmpEq + 3 &&
              kJmpGe == kJmpEq + 4 && kJmpNe == kJmpEq + 5);
inline bool FusedJump(const uint8_t* code, uint32_t length, uint32_t next, int32_t n,
                      uint32_t* pc) {
  if (length - next < 6) return false;
  uint32_t row = static_cast<uint32_t>(GetLE16(code + next)) - kJmpEq;
  if (row > 5) return false;
  // Per row, three bits for n < 0, n = 0, n > 0: eq 010, lt 001, gt 100,
  // le 011, ge 110, ne 101, row 0 in the lowest bits.
  constexpr uint32_t kTaken = 0b101'110'011'100'001'010;
  uint32_t sign = static_cast<uint32_t>((n > 0) - (n < 0) + 1);
  uint32_t after = next + 6;
  if (__builtin_expect((kTaken >> (row * 3 + sign)) & 1, 0)) {
    *pc = Target(after, OperandA(code + next + 2), length);
  } else {
    *pc = after;
  }
  return true;
}

// Pops the top entry (which exists) and releases what it owns; the entry
// leaves the stack before anything is released.
inline void DropTop(ZetoVM_Stack* st) {
  if (!IsOwned(st->Top())) {
    st->DropUnchecked();
    return;
  }
  Operand value = st->PopUnchecked();
  ReleaseOperand(&value);
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
#define VM_RELOAD()                        \
  do {                                     \
    Segment* loaded = LoadSegment();       \
    if (loaded == nullptr) return 0;       \
    code = loaded->code();                 \
    length = loaded->length();             \
    limit = length > 17 ? length - 17 : 0; \
    pc = pc_ > length ? length : pc_;      \
    st = stack_;                           \
  } while (0)

#define VM_PROTECT(call) \
  do {                   \
    pc_ = pc;            \
    call;                \
    VM_RELOAD();         \
  } while (0)

// Before each instruction: the flags, then the decode. Away from the end
// of the code one test covers every instruction size; near it, the code
// ends where an instruction or its operands would be cut off.
#define VM_CHECK_FLAGS()                                                                \
  do {                                                                                  \
    int32_t attention =                                                                 \
        static_cast<int32_t>(aborted_) | timed_out->load(std::memory_order_relaxed) |   \
        exit_flag->load(std::memory_order_relaxed) |                                    \
        static_cast<int32_t>(signals->load(std::memory_order_relaxed) != signal_copy_); \
    if (__builtin_expect(attention != 0, 0)) {                                          \
      pc_ = pc;                                                                         \
      int stop = CheckStop();                                                           \
      if (stop >= 0) return stop;                                                       \
    }                                                                                   \
  } while (0)

// Reads the opcode at pc (the instruction start) or ends the code.
#define VM_FETCH()                                     \
  do {                                                 \
    instruction_start_ = pc;                           \
    if (__builtin_expect(pc >= limit, 0)) {            \
      if (pc + 1 >= length) {                          \
        pc_ = pc;                                      \
        return 1;                                      \
      }                                                \
      op = GetLE16(code + pc);                         \
      if (pc + 2 + kOperandBytes[op >> 12] > length) { \
        pc_ = pc;                                      \
        return 1;                                      \
      }                                                \
    } else {                                           \
      op = GetLE16(code + pc);                         \
    }                                                  \
  } while (0)

// Steps past the instruction: ip at its operands, pc and next after it.
#define VM_STEP(size)   \
  do {                  \
    ip = code + pc + 2; \
    next = pc + (size); \
    pc = next;          \
  } while (0)

// A hot instruction's handler and its ends (see ORIN_HOT_INSTRUCTIONS).
// A hot handler steps past its instruction by the size it knows, so the
// program counter of the next instruction does not wait for this one's
// opcode to be loaded and looked up (the jump to the handler is
// predicted; the arithmetic on pc would otherwise be a chain of loads).
//   NEXT  looks at the flags first: after a jump, or anything done out of
//         line (which may have run a script, reported an error or taken
//         time). Every loop passes a jump.
//   FAST  after a path that only moved integers and variables.
// `break` in a handler goes back to the loop's own decode, which looks at
// the flags.
#if ORIN_VM_THREADED
#define HOT(name) \
  hot_##name:     \
  VM_STEP(InstructionBytes(name));
#define NEXT()                 \
  do {                         \
    VM_CHECK_FLAGS();          \
    VM_FETCH();                \
    goto* kHotLabels[hot[op]]; \
  } while (0)
#define FAST()                 \
  do {                         \
    VM_FETCH();                \
    goto* kHotLabels[hot[op]]; \
  } while (0)
#else
#define HOT(name) case OP(name):
#define NEXT() break
#define FAST() break
#endif
#define JUMP() NEXT()

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
  uint32_t limit;  // below it a whole instruction of any size fits
  uint32_t pc;
  ZetoVM_Stack* st;
  VM_RELOAD();
  std::atomic<int32_t>* const timed_out = timed_out_;
  std::atomic<int32_t>* const exit_flag = exit_;
  std::atomic<uint32_t>* const signals = signals_;
  const uint8_t* const dense = DenseOpcodes();
  uint16_t op;
  const uint8_t* ip;
  uint32_t next;
#if ORIN_VM_THREADED
  const uint8_t* const hot = HotOpcodes();
  static const void* const kHotLabels[] = {
      &&cold,
#define ORIN_HOT_LABEL(name) &&hot_##name,
      ORIN_HOT_INSTRUCTIONS(ORIN_HOT_LABEL)
#undef ORIN_HOT_LABEL
  };
#endif

  for (;;) {
    VM_CHECK_FLAGS();
    VM_FETCH();
#if ORIN_VM_THREADED
    goto* kHotLabels[hot[op]];
  cold:
#endif
    VM_STEP(2 + kOperandBytes[op >> 12]);
    switch (dense[op]) {
      case OP(kNoop):
        break;

      // --- Constants and variables ---
      HOT(kPushc) {
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
        FAST();
      }
      HOT(kPushi) {
        VM_PUSH_INTEGER(OperandA(ip));
        FAST();
      }
      case OP(kPushf):
        VM_PROTECT(PushDouble(GetLEDouble(ip)));
        break;
      case OP(kPushs):
        VM_PUSH_VARIABLE(program_.system->Index(OperandA(ip), false));
        break;
      HOT(kPushg) {
        VM_PUSH_VARIABLE(FastSlot(program_.globals, OperandA(ip)));
        FAST();
      }
      HOT(kPushl) {
        VM_PUSH_VARIABLE(FastSlot(frame_->locals(), OperandA(ip)));
        FAST();
      }
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
      HOT(kPopg) {
        if (st->empty()) {
          VM_PROTECT(StackUnderflow());
          break;
        }
        Variable* v = FastSlot(program_.globals, OperandA(ip));
        if (v != nullptr) {
          if (AssignTop(v, st)) FAST();
        } else {
          DropTop(st);
        }
        NEXT();
      }
      HOT(kPopl) {
        if (st->empty()) {
          VM_PROTECT(StackUnderflow());
          break;
        }
        Variable* v = FastSlot(frame_->locals(), OperandA(ip));
        if (v != nullptr) {
          if (AssignTop(v, st)) FAST();
        } else {
          DropTop(st);
        }
        NEXT();
      }
      HOT(kPop) {
        if (st->empty()) {
          VM_PROTECT(StackUnderflow());
          break;
        }
        DropTop(st);
        NEXT();
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
      // An integer index of 1 or more (given or held by a plain variable)
      // over a variable: the element takes the variable's entry without the
      // checked pops and push.
#define VM_ELEMENT(create)                                                  \
  {                                                                         \
    int32_t index;                                                          \
    if (st->count() >= 2 && FastInteger(st->Top(), &index) && index >= 1 && \
        st->FromTop(1).kind == OperandKind::kVariable) {                    \
      DropTop(st);                                                          \
      Variable* base = st->Top().value.variable;                            \
      Variable* element = nullptr;                                          \
      /* may run a callback structure's function */                         \
      VM_PROTECT(element = base->Element(AggregateIndex(index), create));   \
      if (element == nullptr) element = null_.get();                        \
      element->AddRef();                                                    \
      st->Top().value.variable = element;                                   \
      base->Release();                                                      \
      NEXT();                                                               \
    }                                                                       \
    VM_PROTECT(Element(create));                                            \
    break;                                                                  \
  }
      HOT(kElem)
        VM_ELEMENT(true);
      HOT(kElemr)
        VM_ELEMENT(false);
#undef VM_ELEMENT
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
      HOT(kAdd) {
        int32_t a, b, r;
        if (st->count() >= 2 && FastInteger(st->FromTop(1), &a) &&
            FastInteger(st->FromTop(0), &b) && !__builtin_add_overflow(a, b, &r)) {
          ReplaceTopTwo(st, r);
          FAST();
        }
        VM_BINARY(OpAdd);
      }
      HOT(kSub) {
        int32_t a, b, r;
        if (st->count() >= 2 && FastInteger(st->FromTop(1), &a) &&
            FastInteger(st->FromTop(0), &b) && !__builtin_sub_overflow(a, b, &r)) {
          ReplaceTopTwo(st, r);
          FAST();
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
      JUMP();                                                                                     \
    }                                                                                             \
    VM_BINARY(fn);                                                                                \
  }
      HOT(kCmp)
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
      HOT(kEq)
        VM_COMPARE(OpEq, a == b ? 1 : 0);
      HOT(kNe)
        VM_COMPARE(OpNe, a != b ? 1 : 0);
      HOT(kGe)
        VM_COMPARE(OpGe, a >= b ? 1 : 0);
      HOT(kLe)
        VM_COMPARE(OpLe, a <= b ? 1 : 0);
      HOT(kLt)
        VM_COMPARE(OpLt, a < b ? 1 : 0);
      HOT(kGt)
        VM_COMPARE(OpGt, a > b ? 1 : 0);
#undef VM_COMPARE
      case OP(kNot):
        VM_UNARY(OpNot);
      case OP(kIsnull):
        VM_UNARY(OpIsNull);

      // --- Global fast paths ---
      HOT(kCmpgg) {
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
        if (FusedJump(code, length, next, order, &pc)) JUMP();
        VM_PUSH_INTEGER(order);
        FAST();
      }
      HOT(kCmpgi) {
        Variable* a = FastSlot(program_.globals, OperandA(ip));
        int32_t x, y = OperandB(ip), order;
        if (a == nullptr) {
          order = 0;
        } else if (a->PeekInteger(&x)) {
          order = (x > y) - (x < y);
        } else {
          order = CompareVariableInteger(a, y);
        }
        if (FusedJump(code, length, next, order, &pc)) JUMP();
        VM_PUSH_INTEGER(order);
        FAST();
      }
      HOT(kIncg) {
        Variable* a = FastSlot(program_.globals, OperandA(ip));
        if (a == nullptr) break;
        int32_t x, sum;
        if (a->PeekInteger(&x) && !__builtin_add_overflow(x, OperandB(ip), &sum) &&
            a->PokeInteger(sum)) {
          // The step of a counted loop is followed by its jump back.
          if (length - next >= 6 && GetLE16(code + next) == kJmp) {
            pc = Target(next + 6, OperandA(code + next + 2), length);
            JUMP();
          }
          FAST();
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
      HOT(kStoregi) {
        Variable* a = FastSlot(program_.globals, OperandA(ip));
        if (a == nullptr || a->PokeInteger(OperandB(ip))) FAST();
        a->SetValue_Integer(OperandB(ip));
        NEXT();
      }

      // --- Jumps ---
      HOT(kJmp) {
        pc = Target(next, OperandA(ip), length);
        JUMP();
      }
#define VM_JUMP_IF(test)                                 \
  {                                                      \
    if (st->empty()) {                                   \
      VM_PROTECT(StackUnderflow());                      \
      break;                                             \
    }                                                    \
    Operand& top = st->Top();                            \
    if (top.kind == OperandKind::kInteger) {             \
      int32_t n = top.value.integer;                     \
      st->DropUnchecked();                               \
      if (test) pc = Target(next, OperandA(ip), length); \
      JUMP();                                            \
    }                                                    \
    int32_t n = PopIntegerUnchecked(st);                 \
    if (test) pc = Target(next, OperandA(ip), length);   \
    NEXT();                                              \
  }
      HOT(kJmpEq)
        VM_JUMP_IF(n == 0);
      HOT(kJmpNe)
        VM_JUMP_IF(n != 0);
      HOT(kJmpLt)
        VM_JUMP_IF(n < 0);
      HOT(kJmpLe)
        VM_JUMP_IF(n <= 0);
      HOT(kJmpGt)
        VM_JUMP_IF(n > 0);
      HOT(kJmpGe)
        VM_JUMP_IF(n >= 0);
#undef VM_JUMP_IF

      // --- Calls ---
      HOT(kCall) {
        VM_PROTECT(Call(OperandA(ip)));
        NEXT();
      }
      // True from Return: a nested run's function returned.
      HOT(kRet) {
        pc_ = pc;
        if (Return(true)) return 1;
        VM_RELOAD();
        NEXT();
      }
      HOT(kRetn) {
        pc_ = pc;
        if (Return(false)) return 1;
        VM_RELOAD();
        NEXT();
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
      HOT(kLineno) {
        if (trace_flags_ & kLogTrace) {
          VM_PROTECT(LineNumber(OperandA(ip)));
          NEXT();
        }
        line_ = OperandA(ip);
        FAST();
      }
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
#undef VM_FETCH
#undef VM_STEP
#undef VM_CHECK_FLAGS
#undef HOT
#undef NEXT
#undef FAST
#undef JUMP
#undef OP

}  // namespace orin

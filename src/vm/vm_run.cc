// The instruction loop.
//
// Hot state lives in locals: the code pointer and length of the loaded
// segment, the program counter and the current stack. Anything that may
// switch frames, segments or position (calls, returns, out-of-line
// instructions) runs inside VM_PROTECT, which stores the program counter
// first and reloads all of them afterwards. Instruction operands are read
// straight from the code bytes; the length check at the head of each
// instruction guarantees they are there.
#include <cstring>

#include "image/byte_order.h"
#include "image/dictionary.h"
#include "image/function.h"
#include "image/opcodes.h"
#include "image/segment.h"
#include "util/crypt.h"
#include "variables/variable_hash.h"
#include "vm/do_context.h"
#include "vm/zeto_vm.h"

namespace orin {

namespace {

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

// Stores an operand into a variable, integers without a virtual call.
inline void Assign(Variable* target, Operand value) {
  if (value.kind == OperandKind::kInteger && target->PokeInteger(value.value.integer)) return;
  AssignOperand(target, value);
}

inline Variable* Slot(VariableHash* table, int32_t slot) {
  Variable* v = table->PeekEntry(slot);
  return v != nullptr ? v : table->Index(slot, true);
}

// The integer of an operand, consuming it.
inline int32_t TakeInteger(Operand* op) {
  if (op->kind == OperandKind::kInteger) return op->value.integer;
  int32_t v = OperandInteger(*op);
  ReleaseOperand(op);
  return v;
}

}  // namespace

bool ZetoVM::LoadCode(const uint8_t** code, uint32_t* length) {
  Segment* s = program_.segments != nullptr ? program_.segments->Get(segment_) : nullptr;
  if (s == nullptr) {
    FatalError("Invalid segment reference");
    return false;
  }
  *code = s->code();
  *length = s->length();
  return true;
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

#define VM_RELOAD()                          \
  do {                                       \
    if (!LoadCode(&code, &length)) return 0; \
    pc = pc_ > length ? length : pc_;        \
    st = stack_;                             \
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

#define VM_PUSH_VARIABLE(v)                           \
  {                                                   \
    Variable* pushed = (v);                           \
    if (pushed == nullptr) pushed = null_.get();      \
    if (st->full()) {                                 \
      VM_PROTECT(StackOverflow());                    \
      break;                                          \
    }                                                 \
    pushed->AddRef();                                 \
    st->PushUnchecked(VariableOperand(pushed, true)); \
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

  for (;;) {
    if (__builtin_expect(aborted_ | (timed_out_->load(std::memory_order_relaxed) != 0) |
                             (exit_->load(std::memory_order_relaxed) != 0) |
                             (signals_->load(std::memory_order_relaxed) != signal_copy_),
                         0)) {
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

    switch (op) {
      case kNoop:
        break;

      // --- Constants and variables ---
      case kPushc: {
        uint32_t n;
        const char* bytes = program_.dictionary->Lookup(OperandA(ip), &n);
        if (bytes == nullptr) {
          VM_PROTECT(FatalError("Invalid dictionary reference"));
          break;
        }
        VM_PUSH(StringOperand(bytes, n, n, false));
        break;
      }
      case kPushi:
        VM_PUSH(IntegerOperand(OperandA(ip)));
        break;
      case kPushf:
        VM_PROTECT(PushDouble(GetLEDouble(ip)));
        break;
      case kPushs:
        VM_PUSH_VARIABLE(program_.system->Index(OperandA(ip), false));
        break;
      case kPushg:
        VM_PUSH_VARIABLE(Slot(program_.globals, OperandA(ip)));
        break;
      case kPushl:
        VM_PUSH_VARIABLE(Slot(frame_->locals(), OperandA(ip)));
        break;
      case kPops: {
        VM_POP(value);
        Variable* v = program_.system->Index(OperandA(ip), false);
        if (v != nullptr) {
          VM_PROTECT(AssignOperand(v, value));
        } else {
          ReleaseOperand(&value);
        }
        break;
      }
      case kPopg: {
        VM_POP(value);
        Variable* v = Slot(program_.globals, OperandA(ip));
        if (v != nullptr) {
          Assign(v, value);
        } else {
          ReleaseOperand(&value);
        }
        break;
      }
      case kPopl: {
        VM_POP(value);
        Variable* v = Slot(frame_->locals(), OperandA(ip));
        if (v != nullptr) {
          Assign(v, value);
        } else {
          ReleaseOperand(&value);
        }
        break;
      }
      case kPop: {
        VM_POP(value);
        ReleaseOperand(&value);
        break;
      }
      case kStore:
        VM_PROTECT(Store());
        break;
      case kDup:
        VM_PROTECT(Dup());
        break;
      case kSwap:
        VM_PROTECT(Swap(0, 1, "Stack underflow"));
        break;
      case kSwapn:
        VM_PROTECT(Swap(OperandA(ip), OperandB(ip), "Invalid stack reference"));
        break;

      // --- Names, elements, references ---
      case kPushn:
        VM_PROTECT(PushName());
        break;
      case kPopn:
        VM_PROTECT(PopName());
        break;
      case kPushnc: {
        std::string_view name;
        VM_PROTECT(if (DictionaryString(OperandA(ip), &name)) PushNamed(name));
        break;
      }
      case kPopnc: {
        std::string_view name;
        VM_PROTECT(if (DictionaryString(OperandA(ip), &name)) PopNamed(name));
        break;
      }
      case kElem:
        VM_PROTECT(Element(true));
        break;
      case kElemr:
        VM_PROTECT(Element(false));
        break;
      case kMemb:
        VM_PROTECT(Member(true));
        break;
      case kMembr:
        VM_PROTECT(Member(false));
        break;
      case kRefer:
        VM_PROTECT(Refer());
        break;
      case kRefern:
        VM_PROTECT(ReferNamed());
        break;
      case kRefg:
        VM_PROTECT(ReferSlot(program_.globals, OperandA(ip)));
        break;
      case kRefl:
        VM_PROTECT(ReferSlot(frame_->locals(), OperandA(ip)));
        break;
      case kRefnc:
        VM_PROTECT(ReferDictionaryName(OperandA(ip)));
        break;
      case kSpush:
        program_.system->PushSaveLevel();
        break;
      case kSpop:
        VM_PROTECT(SystemSavePop());
        break;

      // --- Operators ---
      case kAdd:
        VM_BINARY(OpAdd);
      case kSub:
        VM_BINARY(OpSub);
      case kCat: {
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
      case kBitand:
        VM_BINARY(OpBitAnd);
      case kBitor:
        VM_BINARY(OpBitOr);
      case kBitxor:
        VM_BINARY(OpBitXor);
      case kBitoc:
        VM_UNARY(OpBitOc);
      case kBitsl:
        VM_BINARY(OpBitSl);
      case kBitsr:
        VM_BINARY(OpBitSr);
      case kDiv:
        VM_BINARY(OpDiv);
      case kMul:
        VM_BINARY(OpMul);
      case kMod:
        VM_BINARY(OpMod);
      case kRounds:
        VM_BINARY(OpRounds);
      case kRoundf:
        VM_BINARY(OpRoundf);
      case kPow:
        VM_BINARY(OpPow);
      case kCrypt:
        VM_PROTECT(CryptOperator());
        break;
      case kCmp:
        VM_BINARY(OpCmp);
      case kAnd:
        VM_BINARY(OpAnd);
      case kOr:
        VM_BINARY(OpOr);
      case kIn:
        VM_BINARY(OpIn);
      case kCin:
        VM_BINARY(OpCin);
      case kEin:
        VM_BINARY(OpEin);
      case kEcin:
        VM_BINARY(OpEcin);
      case kEq:
        VM_BINARY(OpEq);
      case kNe:
        VM_BINARY(OpNe);
      case kGe:
        VM_BINARY(OpGe);
      case kLe:
        VM_BINARY(OpLe);
      case kLt:
        VM_BINARY(OpLt);
      case kGt:
        VM_BINARY(OpGt);
      case kNot:
        VM_UNARY(OpNot);
      case kIsnull:
        VM_UNARY(OpIsNull);

      // --- Global fast paths ---
      case kCmpgg: {
        Variable* a = Slot(program_.globals, OperandA(ip));
        Variable* b = Slot(program_.globals, OperandB(ip));
        int32_t x, y, order;
        if (a == nullptr || b == nullptr) {
          order = 0;
        } else if (a->PeekInteger(&x) && b->PeekInteger(&y)) {
          order = (x > y) - (x < y);
        } else {
          order = CompareVariables(a, b);
        }
        VM_PUSH(IntegerOperand(order));
        break;
      }
      case kCmpgi: {
        Variable* a = Slot(program_.globals, OperandA(ip));
        int32_t x, y = OperandB(ip), order;
        if (a == nullptr) {
          order = 0;
        } else if (a->PeekInteger(&x)) {
          order = (x > y) - (x < y);
        } else {
          order = CompareVariableInteger(a, y);
        }
        VM_PUSH(IntegerOperand(order));
        break;
      }
      case kIncg: {
        Variable* a = Slot(program_.globals, OperandA(ip));
        if (a == nullptr) break;
        int32_t x, sum;
        if (a->PeekInteger(&x) && !__builtin_add_overflow(x, OperandB(ip), &sum) &&
            a->PokeInteger(sum)) {
          break;
        }
        AssignOperand(a, OpAdd(IntegerOperand(a->Value_Integer()), IntegerOperand(OperandB(ip))));
        break;
      }
      case kModgg: {
        Variable* a = Slot(program_.globals, OperandA(ip));
        Variable* b = Slot(program_.globals, OperandB(ip));
        Operand r = IntegerOperand(0);
        if (a != nullptr && b != nullptr) {
          r = OpMod(VariableOperand(a, false), VariableOperand(b, false));
        }
        VM_PUSH(r);
        break;
      }
      case kStoregi: {
        Variable* a = Slot(program_.globals, OperandA(ip));
        if (a != nullptr && !a->PokeInteger(OperandB(ip))) a->SetValue_Integer(OperandB(ip));
        break;
      }

      // --- Jumps ---
      case kJmp:
        pc = Target(next, OperandA(ip), length);
        break;
#define VM_JUMP_IF(test)                               \
  {                                                    \
    VM_POP(value);                                     \
    int32_t n = TakeInteger(&value);                   \
    if (test) pc = Target(next, OperandA(ip), length); \
    break;                                             \
  }
      case kJmpEq:
        VM_JUMP_IF(n == 0);
      case kJmpNe:
        VM_JUMP_IF(n != 0);
      case kJmpLt:
        VM_JUMP_IF(n < 0);
      case kJmpLe:
        VM_JUMP_IF(n <= 0);
      case kJmpGt:
        VM_JUMP_IF(n > 0);
      case kJmpGe:
        VM_JUMP_IF(n >= 0);
#undef VM_JUMP_IF

      // --- Calls ---
      case kCall:
        VM_PROTECT(Call(OperandA(ip)));
        break;
      case kRet:
      case kRetn: {
        pc_ = pc;
        if (Return(op == kRet)) return 1;  // a nested run's function returned
        VM_RELOAD();
        break;
      }
      case kExit:
      case kExitAlt:
        exit_->store(1, std::memory_order_relaxed);
        pc = length;
        break;

      // --- Output and position ---
      case kOut:
        VM_PROTECT(Out());
        break;
      case kOutComp:
        VM_PROTECT(OutText());
        break;
      case kStdoutput:
        VM_PROTECT(StdOutput(OperandA(ip)));
        break;
      case kErroutput:
        frame_->set_error_flags(static_cast<uint32_t>(OperandA(ip)));
        break;
      case kErrprefix:
        VM_PROTECT(ErrPrefix());
        break;
      case kLineno:
        if (trace_flags_ & kLogTrace) {
          VM_PROTECT(LineNumber(OperandA(ip)));
        } else {
          line_ = OperandA(ip);
        }
        break;
      case kSourcefile:
        VM_PROTECT(SourceFile(OperandA(ip)));
        break;
      case kTagerror:
        TagError(OperandA(ip), OperandB(ip));
        break;
      case kHide:
        VM_PROTECT(Hide());
        break;

      // --- Database fields (none until the run opens databases) ---
      case kPushd:
        VM_PROTECT(PushField());
        break;
      case kPopd:
        VM_PROTECT(PopField());
        break;
      case kPushdc:
        VM_PROTECT(PushFieldConstant(OperandA(ip), OperandB(ip)));
        break;
      case kPopdc:
        VM_PROTECT(PopFieldConstant(OperandA(ip), OperandB(ip)));
        break;

      // --- Blocks ---
      case kCapture:
        VM_PROTECT(BeginCapture());
        break;
      case kCaptureEnd:
        VM_PROTECT(EndCapture());
        break;
      case kLockfile:
        VM_PROTECT(BeginLockfile());
        break;
      case kLockfileEnd:
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
#undef VM_POP

}  // namespace orin

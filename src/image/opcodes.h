// The instruction set: the one list the machine, the assembler and the
// disassembler are built from.
//
// Encoding (inside a segment's code, little-endian):
//
//    15 14 13 12 11                                   0
//   +-----+-----+-------------------------------------+
//   |  A  |  B  |              operation              |   opcode word
//   +-----+-----+-------------------------------------+
//   A (mask 0xC000): 0x0000 none, 0x4000 int32, 0x8000 double
//   B (mask 0x3000): 0x0000 none, 0x1000 int32, 0x2000 double
//
//   opcode (2) | operand A (0, 4 or 8) | operand B (0, 4 or 8)
//
// The whole 16-bit value, kind bits included, identifies the instruction.
// The kinds 0xC000 and 0x3000 are undefined and carry no operand bytes.
// A Target operand is relative: the target is the offset just past the
// whole instruction plus A (jumps; for block instructions such as async, A
// is the length of the block that follows).
//
// ORDER: the list is sorted by opcode (FindOpcode searches it).
#ifndef ORIN_IMAGE_OPCODES_H_
#define ORIN_IMAGE_OPCODES_H_

#include <cstdint>
#include <string_view>

namespace orin {

// What an operand means, for tools that name operands.
enum class OperandRole : uint8_t {
  kNone,
  kInt,       // a plain integer
  kDouble,    // an 8-byte IEEE-754 number
  kString,    // a dictionary index
  kSystem,    // a slot of the system variables
  kGlobal,    // a slot of the global variables
  kLocal,     // a slot of the current frame's locals (globals in the main program)
  kTarget,    // relative to the end of the instruction
  kFunction,  // a function number
};

// X(name, mnemonic, opcode, role of A, role of B); the comment above each
// entry says what it does. Binary operators pop the right operand first.
// clang-format off
#define ORIN_INSTRUCTIONS(X) \
  /* nothing */                                                                     \
  X(kNoop, "noop", 0x0000, kNone, kNone)                                            \
  /* pop field name, pop alias; push that database field, or null */                \
  X(kPushd, "pushd", 0x0007, kNone, kNone)                                          \
  /* pop a variable name; push the variable found by name, or null */               \
  X(kPushn, "pushn", 0x0009, kNone, kNone)                                          \
  /* pop and discard */                                                             \
  X(kPop, "pop", 0x000B, kNone, kNone)                                              \
  /* pop field name, pop alias; pop a value into the field (discard when absent) */ \
  X(kPopd, "popd", 0x000F, kNone, kNone)                                            \
  /* pop a name; pop a value into that variable (discard when absent) */            \
  X(kPopn, "popn", 0x0011, kNone, kNone)                                            \
  /* open a save level of the system variables */                                   \
  X(kSpush, "spush", 0x0013, kNone, kNone)                                          \
  /* restore the system variables of the innermost save level */                    \
  X(kSpop, "spop", 0x0014, kNone, kNone)                                            \
  /* pop and write to the output (link buffers without flattening) */               \
  X(kOut, "out", 0x0015, kNone, kNone)                                              \
  /* pop right, pop left; push left + right */                                      \
  X(kAdd, "add", 0x0016, kNone, kNone)                                              \
  /* push left - right */                                                           \
  X(kSub, "sub", 0x0017, kNone, kNone)                                              \
  /* push left concatenated with right */                                           \
  X(kCat, "cat", 0x0018, kNone, kNone)                                              \
  /* push left AND right (integers) */                                              \
  X(kBitand, "bitand", 0x0019, kNone, kNone)                                        \
  /* push left OR right */                                                          \
  X(kBitor, "bitor", 0x001A, kNone, kNone)                                          \
  /* push left XOR right */                                                         \
  X(kBitxor, "bitxor", 0x001B, kNone, kNone)                                        \
  /* push the ones' complement */                                                   \
  X(kBitoc, "bitoc", 0x001C, kNone, kNone)                                          \
  /* pop count, pop value; push value << (count mod 32) */                          \
  X(kBitsl, "bitsl", 0x001D, kNone, kNone)                                          \
  /* push value >> (count mod 32), arithmetic */                                    \
  X(kBitsr, "bitsr", 0x001E, kNone, kNone)                                          \
  /* push left / right */                                                           \
  X(kDiv, "div", 0x001F, kNone, kNone)                                              \
  /* push left * right */                                                           \
  X(kMul, "mul", 0x0020, kNone, kNone)                                              \
  /* push left remainder right (0 when right is 0) */                               \
  X(kMod, "mod", 0x0021, kNone, kNone)                                              \
  /* pop digits, pop number; push it as text with exactly that many decimals */     \
  X(kRounds, "rounds", 0x0022, kNone, kNone)                                        \
  /* pop salt, pop text; push the password hash */                                  \
  X(kCrypt, "crypt", 0x0023, kNone, kNone)                                          \
  /* push left raised to right */                                                   \
  X(kPow, "pow", 0x0024, kNone, kNone)                                              \
  /* pop digits, pop number; push it rounded to that many decimals */               \
  X(kRoundf, "roundf", 0x0025, kNone, kNone)                                        \
  /* push the ordering of left and right (<0, 0, >0) */                             \
  X(kCmp, "cmp", 0x002C, kNone, kNone)                                              \
  /* push 1 when both are true */                                                   \
  X(kAnd, "and", 0x002D, kNone, kNone)                                              \
  /* push 1 when either is true */                                                  \
  X(kOr, "or", 0x002E, kNone, kNone)                                                \
  /* pop haystack, pop needle; push the 1-based position of needle (0 absent) */    \
  X(kIn, "in", 0x002F, kNone, kNone)                                                \
  /* as in, ignoring letter case */                                                 \
  X(kCin, "cin", 0x0030, kNone, kNone)                                              \
  /* as in, pushing the position of the match's last byte */                        \
  X(kEin, "ein", 0x0031, kNone, kNone)                                              \
  /* as ein, ignoring letter case */                                                \
  X(kEcin, "ecin", 0x0032, kNone, kNone)                                            \
  /* push left = right */                                                           \
  X(kEq, "eq", 0x0033, kNone, kNone)                                                \
  /* push left <> right */                                                          \
  X(kNe, "ne", 0x0034, kNone, kNone)                                                \
  /* push left >= right */                                                          \
  X(kGe, "ge", 0x0035, kNone, kNone)                                                \
  /* push left <= right */                                                          \
  X(kLe, "le", 0x0036, kNone, kNone)                                                \
  /* push left < right */                                                           \
  X(kLt, "lt", 0x0037, kNone, kNone)                                                \
  /* push left > right */                                                           \
  X(kGt, "gt", 0x0038, kNone, kNone)                                                \
  /* push 1 when the operand is false */                                            \
  X(kNot, "not", 0x0039, kNone, kNone)                                              \
  /* push a non-owning copy of the top entry */                                     \
  X(kDup, "dup", 0x003A, kNone, kNone)                                              \
  /* return, moving the top entry to the caller */                                  \
  X(kRet, "ret", 0x003B, kNone, kNone)                                              \
  /* return, pushing an empty string on the caller */                               \
  X(kRetn, "retn", 0x003C, kNone, kNone)                                            \
  /* pop index, pop var; push element index, creating it */                         \
  X(kElem, "elem", 0x003E, kNone, kNone)                                            \
  /* as elem without creating (null when absent) */                                 \
  X(kElemr, "elemr", 0x003F, kNone, kNone)                                          \
  /* pop member name, pop var; push the member, creating it */                      \
  X(kMemb, "memb", 0x0040, kNone, kNone)                                            \
  /* as memb without creating */                                                    \
  X(kMembr, "membr", 0x0041, kNone, kNone)                                          \
  /* pop var, pop a value into it */                                                \
  X(kStore, "store", 0x0042, kNone, kNone)                                          \
  /* end the program */                                                             \
  X(kExit, "exit", 0x0043, kNone, kNone)                                            \
  /* ZtDO of a whole file */                                                        \
  X(kOpDoFile, "op_do_file", 0x0045, kNone, kNone)                                  \
  /* ZtDO of a function in another file */                                          \
  X(kOpDoFunction, "op_do_function", 0x0046, kNone, kNone)                          \
  /* pop variable names; write them as hidden form fields */                        \
  X(kHide, "hide", 0x0047, kNone, kNone)                                            \
  /* begin a ZtLOCKFILE block */                                                    \
  X(kLockfile, "lockfile", 0x0048, kNone, kNone)                                    \
  /* end the innermost lockfile block */                                            \
  X(kLockfileEnd, "lockfile_end", 0x0049, kNone, kNone)                             \
  /* pop and write with the output mode applied */                                  \
  X(kOutComp, "out_comp", 0x0051, kNone, kNone)                                     \
  /* pop the text placed before error messages */                                   \
  X(kErrprefix, "errprefix", 0x0052, kNone, kNone)                                  \
  /* pop a name, pop var; the named variable refers to var */                       \
  X(kRefern, "refern", 0x0055, kNone, kNone)                                        \
  /* pop var X, pop var Y; X refers to Y */                                         \
  X(kRefer, "refer", 0x0057, kNone, kNone)                                          \
  /* begin a ZtCAPTURE block */                                                     \
  X(kCapture, "capture", 0x0058, kNone, kNone)                                      \
  /* end the innermost capture block */                                             \
  X(kCaptureEnd, "capture_end", 0x0059, kNone, kNone)                               \
  /* push 1 when the popped value is empty */                                       \
  X(kIsnull, "isnull", 0x005A, kNone, kNone)                                        \
  /* exchange the top two entries */                                                \
  X(kSwap, "swap", 0x005B, kNone, kNone)                                            \
  /* ZtEXPORT: append a delimited record to a file */                               \
  X(kExport, "export", 0x0105, kNone, kNone)                                        \
  /* ZtPOPDELETE */                                                                 \
  X(kPop3delete, "pop3delete", 0x0108, kNone, kNone)                                \
  /* end a ZtSMTP block and send the message */                                     \
  X(kOpSmtpEnd, "op_smtp_end", 0x010B, kNone, kNone)                                \
  /* same as exit */                                                                \
  X(kExitAlt, "exit_alt", 0x0116, kNone, kNone)                                     \
  /* ZtOPEN */                                                                      \
  X(kDbopen, "dbopen", 0x0200, kNone, kNone)                                        \
  /* ZtCLOSE */                                                                     \
  X(kDbclose, "dbclose", 0x0201, kNone, kNone)                                      \
  /* ZtSKIP */                                                                      \
  X(kDbskip, "dbskip", 0x0202, kNone, kNone)                                        \
  /* ZtGO */                                                                        \
  X(kDbgo, "dbgo", 0x0203, kNone, kNone)                                            \
  /* ZtADD */                                                                       \
  X(kDbadd, "dbadd", 0x0204, kNone, kNone)                                          \
  /* ZtUPDATE */                                                                    \
  X(kDbupdate, "dbupdate", 0x0205, kNone, kNone)                                    \
  /* ZtDELETE */                                                                    \
  X(kDbdelete, "dbdelete", 0x0206, kNone, kNone)                                    \
  /* ZtUNDELETE */                                                                  \
  X(kDbundelete, "dbundelete", 0x0207, kNone, kNone)                                \
  /* ZtPRIMARY */                                                                   \
  X(kDbprimary, "dbprimary", 0x0208, kNone, kNone)                                  \
  /* ZtFIND */                                                                      \
  X(kDbfind, "dbfind", 0x0209, kNone, kNone)                                        \
  /* ZtSETINDEX */                                                                  \
  X(kDbsetindex, "dbsetindex", 0x020A, kNone, kNone)                                \
  /* ZtMAKEINDEX */                                                                 \
  X(kDbmakeindex, "dbmakeindex", 0x020B, kNone, kNone)                              \
  /* ZtPACK */                                                                      \
  X(kDbpack, "dbpack", 0x020C, kNone, kNone)                                        \
  /* ZtREINDEX */                                                                   \
  X(kDbreindex, "dbreindex", 0x020D, kNone, kNone)                                  \
  /* ZtCREATE */                                                                    \
  X(kDbcreate, "dbcreate", 0x020E, kNone, kNone)                                    \
  /* ZtOPENVIEW */                                                                  \
  X(kDbopenview, "dbopenview", 0x0210, kNone, kNone)                                \
  /* ZtCLOSEVIEW */                                                                 \
  X(kDbcloseview, "dbcloseview", 0x0211, kNone, kNone)                              \
  /* ZtQUERY */                                                                     \
  X(kDbquery, "dbquery", 0x0212, kNone, kNone)                                      \
  /* ZtFILTER */                                                                    \
  X(kDbfilter, "dbfilter", 0x0213, kNone, kNone)                                    \
  /* ZtREVEALSTRUCTURE into a database */                                           \
  X(kDbrevealstructuredb, "dbrevealstructuredb", 0x0214, kNone, kNone)              \
  /* ZtREVEALSTRUCTURE into an aggregate variable */                                \
  X(kDbrevealstructureagg, "dbrevealstructureagg", 0x0215, kNone, kNone)            \
  /* ZtOPEN with one more stacked text */                                           \
  X(kDbopen2, "dbopen2", 0x0216, kNone, kNone)                                      \
  /* ZtCOMMIT */                                                                    \
  X(kDbcommit, "dbcommit", 0x0217, kNone, kNone)                                    \
  /* ZtROLLBACK */                                                                  \
  X(kDbrollback, "dbrollback", 0x0218, kNone, kNone)                                \
  /* ZtTRANSACT */                                                                  \
  X(kDbtransact, "dbtransact", 0x0219, kNone, kNone)                                \
  /* ZtDBCOMMAND */                                                                 \
  X(kDbcommand, "dbcommand", 0x021A, kNone, kNone)                                  \
  /* push dict[A] (not copied) */                                                   \
  X(kPushc, "pushc", 0x4001, kString, kNone)                                        \
  /* push the integer A */                                                          \
  X(kPushi, "pushi", 0x4002, kInt, kNone)                                           \
  /* push system variable A, or null */                                             \
  X(kPushs, "pushs", 0x4004, kSystem, kNone)                                        \
  /* push global A, creating it */                                                  \
  X(kPushg, "pushg", 0x4005, kGlobal, kNone)                                        \
  /* push local A, creating it */                                                   \
  X(kPushl, "pushl", 0x4006, kLocal, kNone)                                         \
  /* push the variable named dict[A], or null */                                    \
  X(kPushnc, "pushnc", 0x400A, kString, kNone)                                      \
  /* pop a value into system variable A (discard when absent) */                    \
  X(kPops, "pops", 0x400C, kSystem, kNone)                                          \
  /* pop a value into global A */                                                   \
  X(kPopg, "popg", 0x400D, kGlobal, kNone)                                          \
  /* pop a value into local A */                                                    \
  X(kPopl, "popl", 0x400E, kLocal, kNone)                                           \
  /* pop a value into the variable named dict[A] (discard when absent) */           \
  X(kPopnc, "popnc", 0x4012, kString, kNone)                                        \
  /* jump by A from the end of the instruction */                                   \
  X(kJmp, "jmp", 0x4025, kTarget, kNone)                                            \
  /* pop n; jump when n = 0 */                                                      \
  X(kJmpEq, "jmp_eq", 0x4026, kTarget, kNone)                                       \
  /* pop n; jump when n < 0 */                                                      \
  X(kJmpLt, "jmp_lt", 0x4027, kTarget, kNone)                                       \
  /* pop n; jump when n > 0 */                                                      \
  X(kJmpGt, "jmp_gt", 0x4028, kTarget, kNone)                                       \
  /* pop n; jump when n <= 0 */                                                     \
  X(kJmpLe, "jmp_le", 0x4029, kTarget, kNone)                                       \
  /* pop n; jump when n >= 0 */                                                     \
  X(kJmpGe, "jmp_ge", 0x402A, kTarget, kNone)                                       \
  /* pop n; jump when n <> 0 */                                                     \
  X(kJmpNe, "jmp_ne", 0x402B, kTarget, kNone)                                       \
  /* call function A */                                                             \
  X(kCall, "call", 0x403D, kFunction, kNone)                                        \
  /* the current source line becomes A */                                           \
  X(kLineno, "lineno", 0x4044, kInt, kNone)                                         \
  /* the current source file becomes dict[A] */                                     \
  X(kSourcefile, "sourcefile", 0x404A, kString, kNone)                              \
  /* the frame's error flags become A */                                            \
  X(kErroutput, "erroutput", 0x404C, kInt, kNone)                                   \
  /* pop a value into parameter dict[A] of the next localize */                     \
  X(kPoplvnc, "poplvnc", 0x404D, kString, kNone)                                    \
  /* write the localized text of token dict[A] */                                   \
  X(kLocalize, "localize", 0x404E, kString, kNone)                                  \
  /* push the localized text of token dict[A] */                                    \
  X(kLocalizev, "localizev", 0x404F, kString, kNone)                                \
  /* the frame's output mode becomes A */                                           \
  X(kStdoutput, "stdoutput", 0x4050, kInt, kNone)                                   \
  /* pop var; global A refers to it */                                              \
  X(kRefg, "refg", 0x4053, kGlobal, kNone)                                          \
  /* pop var; local A refers to it */                                               \
  X(kRefl, "refl", 0x4054, kLocal, kNone)                                           \
  /* pop var; the variable named dict[A] refers to it */                            \
  X(kRefnc, "refnc", 0x4056, kString, kNone)                                        \
  /* begin ZtIMPORT (A: past the block) */                                          \
  X(kImport, "import", 0x4101, kTarget, kNone)                                      \
  /* ZtIMPORT with a filter */                                                      \
  X(kImportf, "importf", 0x4102, kTarget, kNone)                                    \
  /* next record of the innermost import */                                         \
  X(kImportLoop, "import_loop", 0x4103, kTarget, kNone)                             \
  /* leave the innermost import */                                                  \
  X(kImportStop, "import_stop", 0x4104, kTarget, kNone)                             \
  /* begin ZtPOP */                                                                 \
  X(kPop3, "pop3", 0x4106, kTarget, kNone)                                          \
  /* next message */                                                                \
  X(kPop3loop, "pop3loop", 0x4107, kTarget, kNone)                                  \
  /* leave the innermost POP3 loop */                                               \
  X(kPop3stop, "pop3stop", 0x4109, kTarget, kNone)                                  \
  /* begin ZtSMTP with 5 stacked values */                                          \
  X(kOpSmtp, "op_smtp", 0x410A, kTarget, kNone)                                     \
  /* begin ZtCALL with 5 stacked values */                                          \
  X(kOpHttp, "op_http", 0x410C, kTarget, kNone)                                     \
  /* next item of the innermost ZtCALL */                                           \
  X(kOpHttpLoop, "op_http_loop", 0x410D, kTarget, kNone)                            \
  /* leave the innermost ZtCALL */                                                  \
  X(kOpHttpStop, "op_http_stop", 0x410E, kTarget, kNone)                            \
  /* begin ZtCOMMERCE */                                                            \
  X(kOpCommerce, "op_commerce", 0x410F, kTarget, kNone)                             \
  /* next commerce result */                                                        \
  X(kOpCommerceLoop, "op_commerce_loop", 0x4110, kTarget, kNone)                    \
  /* leave the innermost commerce loop */                                           \
  X(kOpCommerceStop, "op_commerce_stop", 0x4111, kTarget, kNone)                    \
  /* ZtCALL with 8 stacked values */                                                \
  X(kOpHttp8, "op_http8", 0x4112, kTarget, kNone)                                   \
  /* start a task running the A bytes that follow; skip them */                     \
  X(kAsync, "async", 0x4115, kTarget, kNone)                                        \
  /* - push field dict[B] of database dict[A], or null */                           \
  X(kPushdc, "pushdc", 0x5008, kString, kString)                                    \
  /* - pop a value into field dict[B] of database dict[A] */                        \
  X(kPopdc, "popdc", 0x5010, kString, kString)                                      \
  /* - the error setting of tag A becomes B */                                      \
  X(kTagerror, "tagerror", 0x504B, kInt, kInt)                                      \
  /* - exchange the entries A and B below the top */                                \
  X(kSwapn, "swapn", 0x505C, kInt, kInt)                                            \
  /* ZtCALL with B stacked values */                                                \
  X(kOpHttpn, "op_httpn", 0x5113, kTarget, kInt)                                    \
  /* ZtSMTP with B stacked values */                                                \
  X(kOpSmtpn, "op_smtpn", 0x5114, kTarget, kInt)                                    \
  /* as async with B (0 or 1) stacked isolation flags */                            \
  X(kAsyncn, "asyncn", 0x5117, kTarget, kInt)                                       \
  /* push the ordering of globals A and B */                                        \
  X(kCmpgg, "cmpgg", 0x5301, kGlobal, kGlobal)                                      \
  /* push the ordering of global A and the integer B */                             \
  X(kCmpgi, "cmpgi", 0x5302, kGlobal, kInt)                                         \
  /* global A becomes its integer value + B */                                      \
  X(kIncg, "incg", 0x5303, kGlobal, kInt)                                           \
  /* push global A remainder global B (0 when B is 0) */                            \
  X(kModgg, "modgg", 0x5304, kGlobal, kGlobal)                                      \
  /* global A becomes the integer B */                                              \
  X(kStoregi, "storegi", 0x5305, kGlobal, kInt)                                     \
  /* push the number A */                                                           \
  X(kPushf, "pushf", 0x8003, kDouble, kNone)                                        \
// clang-format on

enum Opcode : uint16_t {
#define ORIN_OPCODE_ENUM(name, mnemonic, opcode, a, b) name = opcode,
  ORIN_INSTRUCTIONS(ORIN_OPCODE_ENUM)
#undef ORIN_OPCODE_ENUM
};

constexpr uint16_t kOperandAMask = 0xC000;
constexpr uint16_t kOperandAInt = 0x4000;
constexpr uint16_t kOperandADouble = 0x8000;
constexpr uint16_t kOperandBMask = 0x3000;
constexpr uint16_t kOperandBInt = 0x1000;
constexpr uint16_t kOperandBDouble = 0x2000;

// Bytes of operand A and B that follow an opcode word.
constexpr uint32_t OperandABytes(uint16_t opcode) {
  switch (opcode & kOperandAMask) {
    case kOperandAInt: return 4;
    case kOperandADouble: return 8;
    default: return 0;
  }
}
constexpr uint32_t OperandBBytes(uint16_t opcode) {
  switch (opcode & kOperandBMask) {
    case kOperandBInt: return 4;
    case kOperandBDouble: return 8;
    default: return 0;
  }
}
constexpr uint32_t InstructionBytes(uint16_t opcode) {
  return 2 + OperandABytes(opcode) + OperandBBytes(opcode);
}

struct OpcodeInfo {
  uint16_t opcode;
  const char* mnemonic;
  OperandRole a;
  OperandRole b;
};

// Every instruction, sorted by opcode.
extern const OpcodeInfo kInstructionTable[];
extern const uint32_t kInstructionCount;

// The instruction with this opcode, or null.
const OpcodeInfo* FindOpcode(uint16_t opcode);
// The instruction with this mnemonic (letter case ignored), or null.
const OpcodeInfo* FindMnemonic(std::string_view mnemonic);

// One decoded instruction.
struct Instruction {
  uint32_t pc;      // offset of the opcode word
  uint32_t length;  // bytes, operands included
  uint16_t opcode;
  const OpcodeInfo* info;  // null for an opcode not in the table
  int32_t a_int;    // operand A when it is an int32
  double a_double;  // operand A when it is a double
  int32_t b_int;
  double b_double;
  uint32_t next() const { return pc + length; }
};

// Decodes the instruction at `pc` of `length` code bytes. False when the
// opcode word or its operands would run past `length`; nothing beyond the
// buffer is read.
bool DecodeInstruction(const uint8_t* code, uint32_t length, uint32_t pc, Instruction* out);

}  // namespace orin

#endif  // ORIN_IMAGE_OPCODES_H_

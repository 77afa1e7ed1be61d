#include "image/opcodes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <set>

#include "image/byte_order.h"

namespace orin {
namespace {

TEST(Opcodes, LookupsAgreeWithTheTable) {
  std::set<std::string> mnemonics;
  for (uint32_t i = 0; i < kInstructionCount; ++i) {
    const OpcodeInfo& info = kInstructionTable[i];
    EXPECT_EQ(FindOpcode(info.opcode), &info) << info.mnemonic;
    EXPECT_EQ(FindMnemonic(info.mnemonic), &info) << info.mnemonic;
    EXPECT_TRUE(mnemonics.insert(info.mnemonic).second) << info.mnemonic;
  }
  EXPECT_EQ(FindMnemonic("JMP_NE")->opcode, kJmpNe);
  EXPECT_EQ(FindOpcode(0x0001), nullptr);
  EXPECT_EQ(FindOpcode(0x020F), nullptr);
  EXPECT_EQ(FindMnemonic("pushx"), nullptr);
  EXPECT_EQ(InstructionBytes(0xF000), 2u);  // undefined kinds carry nothing
}

TEST(Opcodes, DecodesOperandsLittleEndian) {
  uint8_t code[32] = {};
  PutLE16(code, kJmp);
  PutLE32(code + 2, static_cast<uint32_t>(-6));
  PutLE16(code + 6, kPushf);
  PutLE64(code + 8, DoubleBits(-2.5));
  PutLE16(code + 16, kStoregi);
  PutLE32(code + 18, 7);
  PutLE32(code + 22, 0x80000000);
  Instruction in;
  ASSERT_TRUE(DecodeInstruction(code, 26, 0, &in));
  EXPECT_EQ(in.a_int, -6);
  EXPECT_EQ(in.next(), 6u);
  ASSERT_TRUE(DecodeInstruction(code, 26, 6, &in));
  EXPECT_EQ(in.a_double, -2.5);
  ASSERT_TRUE(DecodeInstruction(code, 26, 16, &in));
  EXPECT_EQ(in.info->mnemonic, std::string("storegi"));
  EXPECT_EQ(in.a_int, 7);
  EXPECT_EQ(in.b_int, INT32_MIN);
  EXPECT_FALSE(DecodeInstruction(code, 26, 26, &in));
}

TEST(Opcodes, TruncatedInstructionsAreNotReadPastTheEnd) {
  // Each instruction cut at every length, in a heap buffer of exactly that
  // size so that a read past it is caught by the address sanitizer.
  for (uint32_t i = 0; i < kInstructionCount; ++i) {
    uint16_t op = kInstructionTable[i].opcode;
    uint32_t full = InstructionBytes(op);
    for (uint32_t n = 1; n <= full; ++n) {
      auto buffer = std::make_unique<uint8_t[]>(n);
      uint8_t whole[32] = {};
      PutLE16(whole, op);
      std::memcpy(buffer.get(), whole, n);
      Instruction in;
      EXPECT_EQ(DecodeInstruction(buffer.get(), n, 0, &in), n == full) << op << " " << n;
    }
  }
}

}  // namespace
}  // namespace orin

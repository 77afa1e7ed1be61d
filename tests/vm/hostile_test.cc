// Damaged and hostile code: every run ends with the machine's own error
// (or normally) and never touches memory it does not own.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <random>
#include <thread>

#include "image/byte_order.h"
#include "image/opcodes.h"
#include "image/segment.h"
#include "vm_test_util.h"

namespace orin::test {
namespace {

// Replaces the code of segment 0.
void SetCode(VmRun& run, const std::string& code) {
  auto segment = std::make_unique<Segment>(0, std::vector<uint8_t>(code.begin(), code.end()));
  run.image.segments.SetSegment(0, std::move(segment));
}

TEST(Hostile, CutInstructionsEndTheCode) {
  // pushi with only two of its four operand bytes, and a lone opcode byte.
  for (std::string code : {std::string("\x02\x40\x01\x00", 4), std::string("\x02", 1),
                           std::string("\x00\x00\x03", 3), std::string()}) {
    VmRun run("        noop\n");
    SetCode(run, code);
    EXPECT_EQ(run.Run(), 1);
    EXPECT_TRUE(run.app.fatal.empty());
    EXPECT_EQ(run.vm().CurrentStack()->count(), 0u);
  }
  // A complete pushi before a cut one: the value is there, nothing else.
  VmRun run("        noop\n");
  SetCode(run, std::string("\x02\x40\x07\x00\x00\x00\x02\x40\x01", 9));
  EXPECT_EQ(run.Run(), 1);
  EXPECT_EQ(run.vm().CurrentStack()->count(), 1u);
}

TEST(Hostile, WildJumpTargetsEndTheCode) {
  for (const char* jump : {"jmp 1000", "jmp -1000", "jmp 2147483647", "jmp -2147483648"}) {
    VmRun run(std::string("        ") + jump + "\n        pushc \"x\"\n        out\n");
    EXPECT_EQ(run.Run(), 1) << jump;
    EXPECT_EQ(run.out(), "") << jump;
  }
  // Into the middle of an instruction: its operand bytes decode as code.
  VmRun run(R"(
        jmp -4
  )");
  EXPECT_EQ(run.Run(), 0);
  EXPECT_EQ(MessageOf(run.vm().ErrorText()), "Illegal Instruction");
}

TEST(Hostile, BadReferencesInTheProgram) {
  struct Case {
    const char* source;
    const char* message;
  } cases[] = {
      {".func f(x) segment=0 offset=0\n.param y slot=90\n        pushi 1\n        pushi 2\n"
       "        call f\n",
       "Invalid parameter reference"},
      {"        call -1\n", "Invalid function call"},
      {"        call 0x7FFFFFFF\n", "Invalid function call"},
  };
  for (const Case& c : cases) {
    VmRun run(c.source);
    EXPECT_EQ(run.Run(), 0) << c.source;
    EXPECT_EQ(MessageOf(run.vm().ErrorText()), c.message) << c.source;
  }
  VmRun start("        noop\n");
  start.image.segments.SetStart(5);
  EXPECT_EQ(start.Run(), 0);
  EXPECT_EQ(start.vm().ErrorText(),
            "Fatal error in /test/t.ztc @ [00000005:00000000]: Invalid segment reference\n");
}

TEST(Hostile, SlotsOutsideTheScopesAreNull) {
  VmRun run(R"(
        pushg 100000
        isnull
        out
        pushi 3
        popl 99999
        pushs 77
        isnull
        out
        cmpgg 5000, 6000
        out
        incg 5000, 1
        storegi 5000, 1
        pushg x
        refg 123456
  )");
  EXPECT_EQ(run.Run(), 1);
  EXPECT_EQ(run.out(), "110");
}

// Random instruction streams, mostly of the core set, with random
// operands. A watchdog sets the time-out flag of programs that loop.
TEST(Hostile, RandomInstructionStreams) {
  std::mt19937 random(20240611);
  std::vector<uint16_t> opcodes;
  for (uint32_t i = 0; i < kInstructionCount; ++i) {
    uint16_t op = kInstructionTable[i].opcode;
    if (op < 0x0100 || (op & 0xFF00) == 0x4000 || (op & 0xFF00) == 0x5300 || op == kSwapn ||
        op == kTagerror || op == kPushf) {
      opcodes.push_back(op);
    }
  }
  std::atomic<int> running{-1};
  std::atomic<bool> done{false};
  std::atomic<std::atomic<int32_t>*> flag{nullptr};
  std::thread watchdog([&] {
    int seen = -1, ticks = 0;
    while (!done) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      int now = running.load();
      ticks = now == seen ? ticks + 1 : 0;
      seen = now;
      if (ticks > 10 && flag.load() != nullptr) flag.load()->store(1);
    }
  });
  for (int program = 0; program < 3000; ++program) {
    std::string code;
    int count = 1 + static_cast<int>(random() % 40);
    for (int i = 0; i < count; ++i) {
      uint16_t op =
          random() % 8 == 0 ? static_cast<uint16_t>(random()) : opcodes[random() % opcodes.size()];
      code.push_back(static_cast<char>(op));
      code.push_back(static_cast<char>(op >> 8));
      for (uint32_t b = 0; b < OperandABytes(op) + OperandBBytes(op); ++b) {
        // Small values so that slots, strings and jumps often hit.
        uint32_t r = random();
        code.push_back(static_cast<char>(b % 4 == 0 ? (r % 24) - 8 : (r % 16 == 0 ? r : 0)));
      }
    }
    VmRun run(R"(
.func f(a, &b)
        pushl a
        ret
.end
.global x y
        pushc "some text"
        pushc "1"
    )");
    SetCode(run, code);
    flag = &run.app.timed_out_flag();
    running = program;
    int result = run.Run();
    flag = nullptr;
    EXPECT_TRUE(result == 0 || result == 1);
    EXPECT_EQ(result == 0, run.vm().Aborted()) << program;
    EXPECT_LE(run.app.fatal.size(), 1u);
    run.vm().Release();
  }
  done = true;
  watchdog.join();
}

}  // namespace
}  // namespace orin::test

// What ztasm writes, ztdis prints in a form that assembles to the same bytes.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "asm/assembler.h"
#include "asm/disassembler.h"
#include "image/image_test_util.h"

namespace orin {
namespace {

std::vector<std::filesystem::path> Sources() {
  std::vector<std::filesystem::path> files;
  for (const auto& e :
       std::filesystem::directory_iterator(ORIN_SOURCE_DIR "/tests/tools/sources")) {
    if (e.path().extension() == ".zasm") files.push_back(e.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

TEST(RoundTrip, DisassemblyAssemblesToTheSameBytes) {
  auto files = Sources();
  ASSERT_GE(files.size(), 5u);
  for (const auto& path : files) {
    SCOPED_TRACE(path.filename().string());
    std::string source = test::TempDir::Read(path.string());
    Assembler a;
    std::string first, second, listing, again;
    ASSERT_TRUE(a.Assemble(source, path.filename().string(), &first)) << a.ErrorText();
    ASSERT_TRUE(DisassembleBytes(first, "first", &listing));
    ASSERT_TRUE(a.Assemble(listing, "listing", &second)) << a.ErrorText() << "\n" << listing;
    EXPECT_EQ(first, second);
    ASSERT_TRUE(DisassembleBytes(second, "first", &again));
    EXPECT_EQ(listing, again);
  }
}

TEST(RoundTrip, DamagedFilesAreShownWithoutCrashing) {
  std::string source = test::TempDir::Read(ORIN_SOURCE_DIR "/tests/tools/sources/everything.zasm");
  std::string good = AssembleOrEmpty(source);
  ASSERT_FALSE(good.empty());
  std::mt19937 rng(12345);
  size_t readable = 0;
  for (int round = 0; round < 3000; ++round) {
    std::string bad = good;
    int flips = 1 + static_cast<int>(rng() % 4);
    for (int i = 0; i < flips; ++i) {
      bad[rng() % bad.size()] = static_cast<char>(rng());
    }
    if (round % 10 == 0) bad.resize(rng() % bad.size());
    std::string out;
    readable += DisassembleBytes(bad, "bad", &out) ? 1 : 0;
    EXPECT_FALSE(out.empty());
  }
  EXPECT_GT(readable, 1000u);  // most damage is inside sections, not the header
}

}  // namespace
}  // namespace orin

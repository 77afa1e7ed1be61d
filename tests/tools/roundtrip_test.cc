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

TEST(RoundTrip, ForeignChainsAreShownAsStored) {
  using test::Bytes;
  constexpr uint32_t kEnd = 0xFFFFFFFF;
  std::vector<test::Section> sections = test::MinimalProgram();
  test::Replace(&sections, "dict", test::DictOf({"longer", "x", "a", "b"}));
  // Functions: "longer" chained before "x" (ztasm puts the shorter first).
  std::string record0 = Bytes().U32(0).U32(0).U32(0).U32(0).U32(0).str() + test::EmptyHashed();
  std::string record1 = Bytes().U32(1).U32(0).U32(0).U32(0).U32(0).str() + test::EmptyHashed();
  test::Replace(&sections, "func",
                Bytes().Hashed(1, 0, 2).U16(0).U32(0).U32(1).U32(kEnd).str() + record0 + record1);
  // Globals: a cycle, and a link outside the table.
  test::Replace(&sections, "glbl",
                Bytes().Hashed(1, 0, 2).U16(0).U32(0).U32(2).U32(1).U32(3).U32(0));
  test::Replace(&sections, "syst", Bytes().Hashed(1, 0, 1).U16(0).U32(0).U32(2).U32(77));
  std::string listing;
  ASSERT_TRUE(DisassembleBytes(test::MakeContainer(sections), "foreign", &listing));
  for (const char* expected : {
           "; note: the bucket chains of the functions differ from the ones ztasm builds; as "
           "stored:",
           ";   bucket 0: 0 1\n",
           ";   bucket 0: 0 1 0 ... (a cycle)",
           ";   bucket 0: 0 (link 77 outside the table)",
       }) {
    EXPECT_NE(listing.find(expected), std::string::npos) << expected << "\n" << listing;
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

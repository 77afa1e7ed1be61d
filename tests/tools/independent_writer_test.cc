// A file written by an independent producer (independent_writer.py, the
// Python standard library and the format description only) loads with our
// loader and ztdis shows what it holds.
#include <gtest/gtest.h>

#include <cstdlib>

#include "asm/assembler.h"
#include "asm/disassembler.h"
#include "image/image_test_util.h"
#include "image/program_image.h"
#include "platform/plain_file.h"

namespace orin {
namespace {

class IndependentWriter : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.Path("python.ztc");
    std::string command = std::string(ORIN_PYTHON) +
                          " " ORIN_SOURCE_DIR "/tests/tools/independent_writer.py " + path_;
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
  }
  test::TempDir dir_;
  std::string path_;
};

TEST_F(IndependentWriter, LoadsWithTheRuntimeLoader) {
  PlainFileOpener opener;
  test::TestLanguages languages;
  ProgramImage image(&languages);
  std::string message;
  ASSERT_TRUE(LoadProgram(&opener, path_, LoadOrder::kMainScript, &image, &message))
      << message << " / " << image.failed_section() << ": " << image.ErrorText();
  EXPECT_EQ(image.file->version(), 0x1000Au);
  EXPECT_EQ(image.file->producer(0), 0xC0FFEEu);
  EXPECT_EQ(image.dictionary.View(0), "Hello from Python");

  // Names are found through the buckets the writer filled.
  const Function* greet = image.functions.FindFunction("GREET");
  ASSERT_NE(greet, nullptr);
  EXPECT_EQ(greet->number(), 0u);
  EXPECT_TRUE(greet->is_private());
  ASSERT_EQ(greet->parameters().size(), 1u);
  EXPECT_EQ(greet->locals().Find("TMP", image.dictionary), 1);
  const Function* swap = image.functions.FindFunction("swap");
  ASSERT_NE(swap, nullptr);
  EXPECT_TRUE(swap->parameters()[1].by_reference());
  EXPECT_EQ(swap->offset(), 24u);  // after the 24 bytes of Greet
  EXPECT_TRUE(image.functions.FindFunction("Ext_Len")->external());
  EXPECT_EQ(image.global_variables.Find("MESSAGE", image.dictionary), 1);
  EXPECT_EQ(image.system_variables.Find("server_name", image.dictionary), 1);

  ASSERT_EQ(image.segments.Count(), 2u);
  EXPECT_EQ(image.segments.Get(0)->length(), 86u);
  // German has "greeting"; "bye" comes from English; both read lazily from
  // a file that was closed after loading.
  const LocalizedToken* t = image.languages.FindToken("greeting");
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(image.dictionary.View(image.localized_dictionary.Entry(t->first_entry)->text_id),
            "Hallo ");
  t = image.languages.FindToken("BYE");
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(image.dictionary.View(image.localized_dictionary.Entry(t->first_entry)->text_id),
            "Goodbye");
}

TEST_F(IndependentWriter, DisassemblyShowsItsContents) {
  std::string bytes = test::TempDir::Read(path_);
  std::string listing;
  ASSERT_TRUE(DisassembleBytes(bytes, "python.ztc", &listing));
  for (const char* expected : {
           ".producer 0xC0FFEE 0x7",
           ".string \"Hello from Python\"  ; @0",
           ".system query_string  ; slot 0",
           ".global message  ; slot 1",
           ".functions Swap  ; function 1",
           ".func ext_len(s) external bits=2  ; function 2",
           ".func Greet(who) private showerrors bits=2  ; function 0",
           ".func Swap(&a, &b) bits=2  ; function 1",
           ".token de greeting \"Hallo \" $who \"!\"",
           ".token en bye \"Goodbye\"",
           "        pushc \"Hello from Python\"",
           "        storegi counter, 0",
           "        jmp_eq L54",
           "        jmp L18",
           "        call Greet",
           "        pushf 2.5",
           "        localize \"greeting\"",
           "        pushl who",
       }) {
    EXPECT_NE(listing.find(expected), std::string::npos) << expected << "\n" << listing;
  }
  EXPECT_EQ(listing.find("note:"), std::string::npos) << listing;  // chains as ours

  // The listing assembles into a program with the same contents.
  Assembler a;
  std::string rebuilt, relisted;
  ASSERT_TRUE(a.Assemble(listing, "listing", &rebuilt)) << a.ErrorText();
  ASSERT_TRUE(DisassembleBytes(rebuilt, "python.ztc", &relisted));
  auto body = [](const std::string& s) { return s.substr(s.find(".version")); };
  EXPECT_EQ(body(relisted), body(listing));
}

}  // namespace
}  // namespace orin

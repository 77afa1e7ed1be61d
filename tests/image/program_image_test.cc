#include "image/program_image.h"

#include <gtest/gtest.h>

#include "image/image_test_util.h"
#include "platform/plain_file.h"

namespace orin {
namespace {

using test::Bytes;
using test::MakeContainer;
using test::MinimalProgram;
using test::Section;
using test::TempDir;

constexpr char kMainFailure[] =
    "File does not exist, is corrupt, is not a valid Zeto Script file, or cannot be opened due "
    "to permission problems";

class ProgramLoadTest : public ::testing::Test {
 protected:
  bool Load(const std::vector<Section>& sections, LoadOrder order) {
    std::string path = dir_.Write("p.ztc", MakeContainer(sections));
    image_ = std::make_unique<ProgramImage>();
    return LoadProgram(&opener_, path, order, image_.get(), &message_);
  }
  std::string Path() const { return dir_.Path("p.ztc"); }

  TempDir dir_;
  PlainFileOpener opener_;
  std::unique_ptr<ProgramImage> image_;
  std::string message_;
};

TEST_F(ProgramLoadTest, MinimalProgramLoadsInBothOrders) {
  EXPECT_TRUE(Load(MinimalProgram(), LoadOrder::kMainScript)) << message_ << image_->ErrorText();
  EXPECT_EQ(image_->segments.Count(), 1u);
  EXPECT_FALSE(image_->file->IsOpen());  // handed back after loading
  EXPECT_TRUE(Load(MinimalProgram(), LoadOrder::kDoFile)) << message_;
}

TEST_F(ProgramLoadTest, MessagesForTheUserAndForDiagnostics) {
  image_ = std::make_unique<ProgramImage>();
  std::string missing = dir_.Path("none.ztc");
  EXPECT_FALSE(LoadProgram(&opener_, missing, LoadOrder::kMainScript, image_.get(), &message_));
  EXPECT_EQ(message_, "Unable to execute '" + missing + "': No such file or directory");
  EXPECT_FALSE(LoadProgram(&opener_, missing, LoadOrder::kDoFile, image_.get(), &message_));
  EXPECT_EQ(message_, "Unable to open '" + missing + "': No such file or directory");

  std::string junk = dir_.Write("junk.ztc", "GIF89a and some more bytes to be long enough");
  EXPECT_FALSE(LoadProgram(&opener_, junk, LoadOrder::kMainScript, image_.get(), &message_));
  EXPECT_EQ(message_, "Unable to execute '" + junk +
                          "': File is either corrupt or not a valid compiled Zeto Script file");
  EXPECT_FALSE(LoadProgram(&opener_, junk, LoadOrder::kDoFile, image_.get(), &message_));
  EXPECT_EQ(message_, "Unable to open '" + junk +
                          "': File is either corrupt or not a valid compiled Zeto Script file");

  std::vector<Section> sections = MinimalProgram();
  test::Replace(&sections, "segs", Bytes().U32(0).U32(0));
  EXPECT_FALSE(Load(sections, LoadOrder::kMainScript));
  EXPECT_EQ(message_, "Unable to execute '" + Path() + "': " + kMainFailure);
  EXPECT_EQ(image_->failed_section(), "segs");
  EXPECT_EQ(image_->ErrorText(), "segment_list.start out of range");
  EXPECT_FALSE(Load(sections, LoadOrder::kDoFile));
  EXPECT_EQ(message_, "Unable to execute '" + Path() +
                          "': File is either corrupt or not a valid compiled Zeto Script file");
}

TEST_F(ProgramLoadTest, TheTwoOrdersMeetBrokenSectionsInTheirOwnOrder) {
  std::vector<Section> sections = MinimalProgram();
  test::Replace(&sections, "syst", Bytes().Hashed(0, 33, 0));
  test::Replace(&sections, "locd", Bytes().U32(0xFFFFFFFF));
  EXPECT_FALSE(Load(sections, LoadOrder::kMainScript));
  EXPECT_EQ(image_->failed_section(), "syst");
  EXPECT_FALSE(Load(sections, LoadOrder::kDoFile));
  EXPECT_EQ(image_->failed_section(), "locd");
  EXPECT_EQ(image_->ErrorText(), "loc_dictionary_header.entries out of range");

  sections = MinimalProgram();
  sections.erase(sections.begin() + 3);  // no "locl"
  EXPECT_FALSE(Load(sections, LoadOrder::kMainScript));
  EXPECT_EQ(image_->failed_section(), "locl");
  EXPECT_EQ(image_->ErrorText(), "Invalid section");
}

TEST(ProgramImage, WrittenImagesLoadBack) {
  ProgramImage image;
  image.dictionary.Add("greeting");
  image.system_variables.Reset(3);
  image.system_variables.Add(static_cast<uint32_t>(image.dictionary.Add("query_string")),
                             image.dictionary);
  image.global_variables.Add(static_cast<uint32_t>(image.dictionary.Add("total")),
                             image.dictionary);
  image.segments.StartSegment()->PutInt16(0, 0x0015);
  image.functions.RegisterScript("f", 0, 0, 0, {{"a", 0}});
  uint32_t en = image.languages.AddLanguage("en");
  image.languages.AddToken(en, "greeting", image.localized_dictionary.Add(1, 0, 0xFFFFFFFF));

  TempDir dir;
  PlainFileOpener opener;
  TaggedFile out(&opener);
  ASSERT_TRUE(out.Create(dir.Path("w.ztc")));
  ASSERT_TRUE(image.Write(out)) << image.failed_section() << ": " << image.ErrorText();
  out.Close();

  ProgramImage back;
  std::string message;
  ASSERT_TRUE(LoadProgram(&opener, dir.Path("w.ztc"), LoadOrder::kMainScript, &back, &message))
      << message << back.ErrorText();
  EXPECT_EQ(back.dictionary.View(0), "greeting");
  EXPECT_EQ(back.system_variables.Find("QUERY_STRING", back.dictionary), 0);
  EXPECT_EQ(back.global_variables.Find("total", back.dictionary), 0);
  EXPECT_EQ(back.segments.Get(0)->length(), 2u);
  EXPECT_NE(back.functions.FindFunction("F"), nullptr);
  ASSERT_NE(back.languages.FindLanguage("EN"), nullptr);
  EXPECT_EQ(back.languages.FindLanguage("en")->Count(), 1u);
}

}  // namespace
}  // namespace orin

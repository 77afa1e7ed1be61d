#include "image/localized.h"

#include <gtest/gtest.h>

#include "image/dictionary.h"
#include "image/image_test_util.h"
#include "platform/plain_file.h"

namespace orin {
namespace {

using test::Bytes;
using test::DictOf;
using test::MemoryFile;
using test::Section;

constexpr uint32_t kEnd = 0xFFFFFFFF;

// Dictionary indices used below.
enum : uint32_t { kEn, kDe, kFr, kXx, kGreeting, kHello, kWho, kBang, kHallo, kBye, kByeText };
const std::vector<std::string> kStrings = {"en",  "de", "fr",     "xx",  "greeting", "Hello ",
                                           "who", "!",  "Hallo ", "bye", "Bye"};

// A token index section: tokens (name, first entry) in one bucket, already
// in chain order.
std::string Index(const std::vector<std::pair<uint32_t, uint32_t>>& tokens, uint32_t reserved = 0) {
  Bytes b;
  b.Hashed(tokens.empty() ? 0 : 1, 0, static_cast<uint32_t>(tokens.size())).U32(reserved);
  if (!tokens.empty()) b.U16(0).U32(0);
  for (size_t i = 0; i < tokens.size(); ++i) {
    b.U32(tokens[i].first)
        .U32(i + 1 < tokens.size() ? static_cast<uint32_t>(i + 1) : kEnd)
        .U32(tokens[i].second);
  }
  return b;
}

std::string Lx(uint32_t language) {
  return std::string("LX") + static_cast<char>(language & 0xFF) + static_cast<char>(language >> 8);
}

// en 0, de 1, fr 2, xx 3; chained de, en, fr, xx.
std::vector<Section> Program() {
  std::string locl = Bytes()
                         .Hashed(1, 0, 4)
                         .U16(0)
                         .U32(1)
                         .U32(kEn)
                         .U32(2)
                         .U32(kDe)
                         .U32(0)
                         .U32(kFr)
                         .U32(3)
                         .U32(kXx)
                         .U32(kEnd);
  std::string locd = Bytes()
                         .U32(6)
                         .U32(1)
                         .U32(kHello)
                         .U32(1)
                         .U32(0)
                         .U32(kWho)
                         .U32(2)
                         .U32(1)
                         .U32(kBang)
                         .U32(kEnd)
                         .U32(1)
                         .U32(kHallo)
                         .U32(1)
                         .U32(1)
                         .U32(kByeText)
                         .U32(kEnd)
                         .U32(1)
                         .U32(kBang)
                         .U32(kEnd);
  return {{"dict", DictOf(kStrings)},
          {"locl", locl},
          {"locd", locd},
          {Lx(0), Index({{kBye, 4}, {kGreeting, 0}})},
          {Lx(1), Index({{kGreeting, 3}})},
          {Lx(2), Index({})},
          {Lx(3), Index({{kGreeting, 5}}, 0xABCD)}};
}

using Languages = test::TestLanguages;

class LocalizedTest : public ::testing::Test {
 protected:
  void Load(const std::vector<Section>& sections, uint32_t version = 0x1000D) {
    file_ = std::make_unique<MemoryFile>(sections, version);
    ASSERT_TRUE(file_->ok());
    ASSERT_TRUE(dictionary_.Load(**file_));
    ASSERT_TRUE(languages_.Load(**file_)) << languages_.ErrorText();
    ASSERT_TRUE(pieces_.Load(**file_)) << pieces_.ErrorText();
  }

  std::unique_ptr<MemoryFile> file_;
  Dictionary dictionary_;
  Languages source_;
  LocalizedLanguages languages_{&dictionary_, &source_};
  LocalizedDictionary pieces_;
};

TEST_F(LocalizedTest, FindTokenFallsBackToTheDefaultLanguage) {
  Load(Program());
  const LocalizedToken* t = languages_.FindToken("GREETING");
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->first_entry, 3u);  // German
  t = languages_.FindToken("bye");
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->first_entry, 4u);  // only English has it
  EXPECT_EQ(languages_.FindToken("missing"), nullptr);
  // Indexes are loaded when first needed: French was never asked for.
  EXPECT_EQ(languages_.LoadedIndex(2), nullptr);
  EXPECT_NE(languages_.LoadedIndex(1), nullptr);
}

TEST_F(LocalizedTest, LanguageChangesTakeEffectWhenTheCounterMoves) {
  Load(Program());
  EXPECT_EQ(languages_.FindToken("greeting")->first_entry, 3u);
  source_.current = "XX";  // without a new counter the cached language stays
  EXPECT_EQ(languages_.FindToken("greeting")->first_entry, 3u);
  source_.current_counter = 2;
  EXPECT_EQ(languages_.FindToken("greeting")->first_entry, 5u);  // read from 'L','X',3,0
  EXPECT_EQ(languages_.LoadedIndex(3)->reserved(), 0xABCDu);
  source_.current = "fr";
  source_.current_counter = 3;
  EXPECT_EQ(languages_.FindToken("greeting")->first_entry, 0u);  // French has none: English
  source_.current = "klingon";
  source_.current_counter = 4;
  EXPECT_EQ(languages_.FindToken("greeting")->first_entry, 0u);
}

TEST_F(LocalizedTest, PiecesFollowTheirChains) {
  Load(Program());
  ASSERT_EQ(pieces_.Count(), 6u);
  const LocalizedEntry* e = pieces_.Entry(0);
  EXPECT_EQ(e->kind, LocalizedDictionary::kLiteral);
  EXPECT_EQ(dictionary_.View(e->text_id), "Hello ");
  e = pieces_.Entry(e->next);
  EXPECT_EQ(e->kind, LocalizedDictionary::kVariable);
  EXPECT_EQ(dictionary_.View(e->text_id), "who");
  EXPECT_EQ(pieces_.Entry(e->next)->next, LocalizedDictionary::kEnd);
  EXPECT_EQ(pieces_.Entry(6), nullptr);
  EXPECT_EQ(pieces_.Entry(-1), nullptr);
}

TEST_F(LocalizedTest, OldFilesKeepAMissingIndexUnderIdZero) {
  std::vector<Section> sections = Program();
  sections[3].id = std::string(4, '\0');  // English under id 0
  Load(sections, 0x10007);
  source_.current = "en";
  EXPECT_EQ(languages_.FindToken("bye")->first_entry, 4u);
  EXPECT_EQ(languages_.IndexSection(0), 0u);
  EXPECT_EQ(languages_.IndexSection(1), LocalizedLanguages::IndexSectionId(1));

  LocalizedLanguages newer(&dictionary_, &source_);
  MemoryFile f(sections, 0x10008);
  ASSERT_TRUE(newer.Load(*f));
  EXPECT_EQ(newer.FindToken("bye"), nullptr);
  EXPECT_EQ(newer.ErrorText(), "Invalid section");
}

TEST_F(LocalizedTest, AFailedIndexLoadMakesOnlyThatLanguageFail) {
  std::vector<Section> sections = Program();
  test::Replace(&sections, Lx(1), Bytes().Hashed(0, 33, 0).U32(0));
  Load(sections);
  EXPECT_EQ(languages_.FindToken("greeting")->first_entry, 0u);  // German broken: English
  EXPECT_EQ(languages_.ErrorText(), "localized_index_header.bucket_bits out of range");
  EXPECT_EQ(languages_.FindLanguage("de"), nullptr);
}

TEST_F(LocalizedTest, IndexMessages) {
  auto error = [&](const std::string& index) {
    std::vector<Section> sections = Program();
    test::Replace(&sections, Lx(1), index);
    MemoryFile f(sections);
    LocalizedLanguages l(&dictionary_, &source_);
    EXPECT_TRUE(l.Load(*f));
    EXPECT_EQ(l.FindLanguage("de"), nullptr);
    return l.ErrorText();
  };
  Load(Program());
  EXPECT_EQ(error(Bytes().Hashed(0, 30, 0).U32(0)), "read_bucket_size out of range");
  EXPECT_EQ(error(Bytes().Hashed(0, 1, 0xAAAAAAB).U32(0)),
            "localized_index_header.index_count out of range");
  EXPECT_EQ(error(Bytes().Hashed(-1, 1, 0).U32(0)),
            "localized_index_header.bucket_entries out of range");
  EXPECT_EQ(error(Bytes().Hashed(1, 1, 0).U32(0).U16(2).U32(0)),
            "localized_index_bucket.index out of range");
  EXPECT_EQ(error(Bytes().Hashed(0, 1, 0)), "Read past end of section boundary");
}

TEST(LocalizedLoad, LanguageTableAndPieceMessages) {
  auto locl_error = [](const std::string& locl) {
    MemoryFile f({{"locl", locl}});
    Dictionary d;
    LocalizedLanguages l(&d);
    EXPECT_FALSE(l.Load(*f));
    return l.ErrorText();
  };
  EXPECT_EQ(locl_error(Bytes().Hashed(1, 2, 0).U16(4).U32(0)),
            "localized_language_bucket.index out of range");
  EXPECT_EQ(locl_error(Bytes().Hashed(0, 33, 0)),
            "localized_language_header.bucket_bits out of range");
  EXPECT_EQ(locl_error(Bytes().Hashed(0, 29, 0)), "read_bucket_size out of range");
  EXPECT_EQ(locl_error(Bytes().Hashed(0, 2, 0x8000000)),
            "localized_language_header.index_count out of range");
  EXPECT_EQ(locl_error(Bytes().Hashed(-1, 2, 0)),
            "localized_language_header.bucket_entries out of range");

  auto locd_error = [](const std::string& locd) {
    MemoryFile f({{"locd", locd}});
    LocalizedDictionary l;
    EXPECT_FALSE(l.Load(*f));
    return l.ErrorText();
  };
  EXPECT_EQ(locd_error(Bytes().U32(0xFFFFFFFF)), "loc_dictionary_header.entries out of range");
  EXPECT_EQ(locd_error(Bytes().U32(0xAAAAAAB)), "loc_dictionary_header.entries out of range");
  EXPECT_EQ(locd_error(Bytes().U32(1).U32(2).U32(0).U32(kEnd)),
            "Invalid localized dictionary entry type");
  MemoryFile empty({{"locd", Bytes().U32(0)}});
  LocalizedDictionary l;
  ASSERT_TRUE(l.Load(*empty));
  EXPECT_EQ(l.Count(), 0u);
  EXPECT_EQ(l.Entry(0), nullptr);
}

TEST(LocalizedLoad, IndexesAreReadLaterThroughAReopenedFile) {
  test::TempDir dir;
  std::string path = dir.Write("loc.ztc", test::MakeContainer(Program()));
  PlainFileOpener opener;
  TaggedFile file(&opener);
  ASSERT_TRUE(file.Open(path));
  Dictionary d;
  Languages source;
  LocalizedLanguages l(&d, &source);
  ASSERT_TRUE(d.Load(file));
  ASSERT_TRUE(l.Load(file));
  file.Close();  // as after loading a program
  ASSERT_NE(l.FindToken("greeting"), nullptr);
  EXPECT_EQ(l.FindToken("greeting")->first_entry, 3u);
  EXPECT_FALSE(file.IsOpen());  // handed back again after the load
}

TEST(LocalizedLanguages, RunTimeAdditionsAndWriting) {
  Dictionary d;
  Languages source;
  LocalizedLanguages l(&d, &source);
  LocalizedDictionary pieces;
  uint32_t it = l.AddLanguage("it");
  uint32_t first = pieces.Add(LocalizedDictionary::kLiteral, static_cast<uint32_t>(d.Add("Ciao")),
                              LocalizedDictionary::kEnd);
  ASSERT_TRUE(l.AddToken(it, "greeting", first));
  source.current = "IT";
  source.current_counter = 7;
  ASSERT_NE(l.FindToken("Greeting"), nullptr);
  EXPECT_FALSE(l.AddToken(5, "x", 0));

  MemoryStream stream;
  TaggedFile w;
  ASSERT_TRUE(w.Create("l", &stream));
  ASSERT_TRUE(d.Write(w));
  ASSERT_TRUE(l.Write(w));
  ASSERT_TRUE(pieces.Write(w));
  ASSERT_TRUE(w.Finish());
  TaggedFile r;
  ASSERT_TRUE(r.Attach("l", &stream));
  EXPECT_TRUE(r.HasSection(LocalizedLanguages::IndexSectionId(0)));
  Dictionary d2;
  LocalizedLanguages back(&d2, &source);
  ASSERT_TRUE(d2.Load(r));
  ASSERT_TRUE(back.Load(r));
  const LocalizedToken* t = back.FindToken("GREETING");
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->first_entry, first);
}

}  // namespace
}  // namespace orin

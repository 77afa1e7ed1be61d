// Localized texts: token names mapped to texts in several languages.
//
// "locd", the pieces (little-endian):
//   0   4           entries (0..0xAAAAAAA)
//   4   12*entries  kind (0 variable, 1 literal), dictionary index (the
//                   text, or the parameter name), next entry of the same
//                   token (0xFFFFFFFF ends)
// "locl", the languages: the hashed header of name_chains.h (count at most
//   0x7FFFFFF), then 8 per language: name (dictionary index), next language
//   in the bucket.
// One token index per language in the section whose id is the bytes 'L',
//   'X' and the language number as 16 bits ((number << 16) + 0x584C); files
//   older than version 0x10008 may keep it under id 0. Hashed header with 4
//   reserved bytes after it (count at most 0xAAAAAAA), then 12 per token:
//   name, next token in the bucket, first entry in "locd".
//
// Token indexes are loaded when a language is first looked up, through the
// container the languages were loaded from; that container must outlive
// the LocalizedLanguages object.
#ifndef ORIN_IMAGE_LOCALIZED_H_
#define ORIN_IMAGE_LOCALIZED_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "image/name_chains.h"

namespace orin {

class Dictionary;
class TaggedFile;

struct LocalizedEntry {
  uint32_t kind;     // LocalizedDictionary::kVariable or kLiteral
  uint32_t text_id;  // dictionary index: literal text or parameter name
  uint32_t next;     // next entry, LocalizedDictionary::kEnd at the end
};

class LocalizedDictionary {
 public:
  static constexpr uint32_t kVariable = 0;
  static constexpr uint32_t kLiteral = 1;
  static constexpr uint32_t kEnd = 0xFFFFFFFF;
  static constexpr uint32_t kMaxEntries = 0xAAAAAAA;
  static constexpr uint32_t kGrowth = 128;

  LocalizedDictionary() { entries_.reserve(kGrowth); }

  bool Load(TaggedFile& file);
  const std::string& ErrorText() const { return error_; }

  // Entry `index`, or null outside 0..Count()-1.
  const LocalizedEntry* Entry(int64_t index) const {
    if (index < 0 || index >= static_cast<int64_t>(entries_.size())) return nullptr;
    return &entries_[index];
  }
  uint32_t Count() const { return static_cast<uint32_t>(entries_.size()); }
  uint32_t Add(uint32_t kind, uint32_t text_id, uint32_t next);

  void AppendSection(std::string* out) const;
  bool Write(TaggedFile& file) const;

 private:
  std::vector<LocalizedEntry> entries_;
  std::string error_;
};

struct LocalizedToken {
  uint32_t name_id;
  uint32_t first_entry;
};

// The tokens of one language.
class LocalizedIndex {
 public:
  static constexpr uint32_t kMaxTokens = 0xAAAAAAA;

  LocalizedIndex(uint32_t language, const Dictionary* dictionary, uint32_t bits = 0)
      : language_(language), dictionary_(dictionary), chains_(bits) {}
  LocalizedIndex(const LocalizedIndex& other, const Dictionary* dictionary)
      : language_(other.language_),
        dictionary_(dictionary),
        chains_(other.chains_),
        tokens_(other.tokens_),
        reserved_(other.reserved_) {}

  // Selects section `id`, reads the index and resets the selection.
  bool Load(TaggedFile& file, uint32_t id);
  const std::string& ErrorText() const { return error_; }

  const LocalizedToken* FindToken(std::string_view name) const;
  uint32_t AddToken(uint32_t name_id, uint32_t first_entry);
  void Reset(uint32_t bits);

  uint32_t language() const { return language_; }
  uint32_t Count() const { return static_cast<uint32_t>(tokens_.size()); }
  const LocalizedToken& token(uint32_t i) const { return tokens_[i]; }
  const NameChains& chains() const { return chains_; }
  // The header's reserved word, kept as read (written back unchanged).
  uint32_t reserved() const { return reserved_; }
  void SetReserved(uint32_t reserved) { reserved_ = reserved; }

  bool AppendSection(std::string* out);

 private:
  std::string_view NameOf(uint32_t token) const;

  uint32_t language_;
  const Dictionary* dictionary_;
  NameChains chains_;
  std::vector<LocalizedToken> tokens_;
  uint32_t reserved_ = 0;
  std::string error_;
};

// Where the current and the default language come from (the application).
// A counter changes whenever its language does.
class LanguageSource {
 public:
  virtual ~LanguageSource() = default;
  virtual std::string_view CurrentLanguage() const = 0;
  virtual uint32_t CurrentLanguageCounter() const = 0;
  virtual std::string_view DefaultLanguage() const = 0;
  virtual uint32_t DefaultLanguageCounter() const = 0;
};

class LocalizedLanguages {
 public:
  static constexpr uint32_t kMaxLanguages = 0x7FFFFFF;
  // Files older than this keep a missing language index under id 0.
  static constexpr uint32_t kPerLanguageSectionsVersion = 0x10008;

  static constexpr uint32_t IndexSectionId(uint32_t language) { return (language << 16) + 0x584C; }

  LocalizedLanguages(Dictionary* dictionary, LanguageSource* source = nullptr)
      : dictionary_(dictionary), source_(source) {}
  // A copy over `dictionary` (a copy of the source's) holding the indexes
  // loaded so far; it has no container, so call LoadAllIndexes on the source
  // first when the copy must see every language.
  LocalizedLanguages(const LocalizedLanguages& other, Dictionary* dictionary);
  LocalizedLanguages(const LocalizedLanguages&) = delete;
  LocalizedLanguages& operator=(const LocalizedLanguages&) = delete;

  void SetSource(LanguageSource* source) { source_ = source; }

  // Reads "locl" and remembers `file` for loading token indexes later.
  bool Load(TaggedFile& file);
  const std::string& ErrorText() const { return error_; }

  uint32_t Count() const { return static_cast<uint32_t>(languages_.size()); }
  uint32_t NameId(uint32_t language) const { return languages_[language].name_id; }
  std::string_view Name(uint32_t language) const;
  const NameChains& chains() const { return chains_; }
  // The number of the language named `name`, or -1; loads nothing.
  int32_t FindLanguageNumber(std::string_view name) const;
  // The token index of a language, loading it on first use; null when the
  // language is unknown or its index cannot be loaded (ErrorText says why).
  LocalizedIndex* FindLanguage(std::string_view name);
  LocalizedIndex* Index(uint32_t language);
  // The index if it is loaded, without loading.
  const LocalizedIndex* LoadedIndex(uint32_t language) const {
    return language < Count() ? languages_[language].index.get() : nullptr;
  }
  // Loads every language's index; false when one fails.
  bool LoadAllIndexes();
  // The section a language's index was (or would be) read from.
  uint32_t IndexSection(uint32_t language) const;

  // The token in the current language, else in the default language.
  const LocalizedToken* FindToken(std::string_view name);

  // Run-time additions (external libraries). A new language has an empty
  // index.
  uint32_t AddLanguage(uint32_t name_id, uint32_t index_bits = 3);
  uint32_t AddLanguage(std::string_view name);
  // Adds a token to a language's index (loading it first); false when the
  // language has no index.
  bool AddToken(uint32_t language, std::string_view name, uint32_t first_entry);
  // Low level, for producers of compiled files: empties the table.
  void Reset(uint32_t bits);

  // "locl" and then every language's index section. Languages whose index
  // was never loaded are written with an empty index.
  bool Write(TaggedFile& file);

 private:
  struct Language {
    uint32_t name_id;
    std::unique_ptr<LocalizedIndex> index;
    bool load_failed = false;
  };
  struct Cache {
    bool valid = false;
    uint32_t counter = 0;
    LocalizedIndex* index = nullptr;
  };
  LocalizedIndex* Resolve(Cache* cache, std::string_view name, uint32_t counter);

  Dictionary* dictionary_;
  LanguageSource* source_;
  TaggedFile* container_ = nullptr;
  NameChains chains_;
  std::vector<Language> languages_;
  Cache current_;
  Cache default_;
  std::string error_;
};

}  // namespace orin

#endif  // ORIN_IMAGE_LOCALIZED_H_

#include "image/localized.h"

#include "image/byte_order.h"
#include "image/dictionary.h"
#include "image/tagged_file.h"

namespace orin {

namespace {

constexpr uint32_t kLocd = SectionId("locd");
constexpr uint32_t kLocl = SectionId("locl");

const HashedHeaderFormat kLanguageFormat = {
    "localized_language_header.bucket_bits out of range",
    "localized_language_header.index_count out of range",
    "localized_language_header.bucket_entries out of range",
    "localized_language_bucket.index out of range",
    LocalizedLanguages::kMaxLanguages,
    false,
};

const HashedHeaderFormat kIndexFormat = {
    "localized_index_header.bucket_bits out of range",
    "localized_index_header.index_count out of range",
    "localized_index_header.bucket_entries out of range",
    "localized_index_bucket.index out of range",
    LocalizedIndex::kMaxTokens,
    true,
};

}  // namespace

// LocalizedDictionary

bool LocalizedDictionary::Load(TaggedFile& file) {
  uint8_t h[4];
  file.ResetSection();
  if (!file.SelectSection(kLocd) || file.Read(h, sizeof h) != static_cast<int32_t>(sizeof h)) {
    error_ = file.GetError();
    return false;
  }
  auto count = static_cast<int32_t>(GetLE32(h));
  if (count < 0 || static_cast<uint32_t>(count) > kMaxEntries) {
    error_ = "loc_dictionary_header.entries out of range";
    return false;
  }
  std::vector<uint8_t> raw;
  if (!ReadExactly(file, 12 * static_cast<uint32_t>(count), &raw, &error_)) return false;
  std::vector<LocalizedEntry> entries;
  entries.reserve(static_cast<size_t>(count) + kGrowth);
  for (int32_t i = 0; i < count; ++i) {
    const uint8_t* p = raw.data() + 12 * static_cast<size_t>(i);
    LocalizedEntry e{GetLE32(p), GetLE32(p + 4), GetLE32(p + 8)};
    if (e.kind > kLiteral) {
      error_ = "Invalid localized dictionary entry type";
      return false;
    }
    entries.push_back(e);
  }
  file.ResetSection();
  entries_ = std::move(entries);
  error_.clear();
  return true;
}

uint32_t LocalizedDictionary::Add(uint32_t kind, uint32_t text_id, uint32_t next) {
  if (entries_.size() == entries_.capacity()) entries_.reserve(entries_.size() + kGrowth);
  entries_.push_back({kind, text_id, next});
  return Count() - 1;
}

void LocalizedDictionary::AppendSection(std::string* out) const {
  ByteWriter w(out);
  w.U32(Count());
  for (const LocalizedEntry& e : entries_) {
    w.U32(e.kind);
    w.U32(e.text_id);
    w.U32(e.next);
  }
}

bool LocalizedDictionary::Write(TaggedFile& file) const {
  std::string bytes;
  AppendSection(&bytes);
  return file.WriteSection(kLocd, bytes);
}

// LocalizedIndex

std::string_view LocalizedIndex::NameOf(uint32_t token) const {
  return dictionary_->View(static_cast<int32_t>(tokens_[token].name_id));
}

void LocalizedIndex::Reset(uint32_t bits) {
  chains_.Reset(bits);
  tokens_.clear();
}

bool LocalizedIndex::Load(TaggedFile& file, uint32_t id) {
  file.ResetSection();
  if (!file.SelectSection(id)) {
    error_ = file.GetError();
    return false;
  }
  NameChains chains;
  uint32_t count = 0;
  uint32_t reserved = 0;
  if (!chains.ReadHeader(file, kIndexFormat, &count, &error_, &reserved)) return false;
  std::vector<uint8_t> raw;
  if (!ReadExactly(file, 12 * count, &raw, &error_)) return false;
  std::vector<LocalizedToken> tokens;
  tokens.reserve(count);
  chains.Reserve(count);
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* p = raw.data() + 12 * i;
    tokens.push_back({GetLE32(p), GetLE32(p + 8)});
    chains.AppendLink(GetLE32(p + 4));
  }
  chains.FinishRead();
  file.ResetSection();
  chains_ = std::move(chains);
  tokens_ = std::move(tokens);
  reserved_ = reserved;
  error_.clear();
  return true;
}

const LocalizedToken* LocalizedIndex::FindToken(std::string_view name) const {
  int32_t t = chains_.Find(name, [this](uint32_t o) { return NameOf(o); });
  return t < 0 ? nullptr : &tokens_[t];
}

uint32_t LocalizedIndex::AddToken(uint32_t name_id, uint32_t first_entry) {
  uint32_t t = chains_.AddSlot();
  tokens_.push_back({name_id, first_entry});
  chains_.Link(t, NameOf(t), [this](uint32_t o) { return NameOf(o); });
  return t;
}

bool LocalizedIndex::AppendSection(std::string* out) {
  if (!chains_.AppendHeader(out, true, reserved_, &error_)) return false;
  ByteWriter w(out);
  for (uint32_t t = 0; t < Count(); ++t) {
    w.U32(tokens_[t].name_id);
    w.U32(chains_.RawNext(t));
    w.U32(tokens_[t].first_entry);
  }
  return true;
}

// LocalizedLanguages

LocalizedLanguages::LocalizedLanguages(const LocalizedLanguages& other, Dictionary* dictionary)
    : dictionary_(dictionary), source_(other.source_), chains_(other.chains_) {
  languages_.reserve(other.languages_.size());
  for (const Language& l : other.languages_) {
    Language copy{l.name_id, nullptr, l.load_failed};
    if (l.index) copy.index = std::make_unique<LocalizedIndex>(*l.index, dictionary);
    languages_.push_back(std::move(copy));
  }
}

std::string_view LocalizedLanguages::Name(uint32_t language) const {
  return dictionary_->View(static_cast<int32_t>(languages_[language].name_id));
}

void LocalizedLanguages::Reset(uint32_t bits) {
  chains_.Reset(bits);
  languages_.clear();
  current_ = default_ = Cache();
}

bool LocalizedLanguages::Load(TaggedFile& file) {
  file.ResetSection();
  if (!file.SelectSection(kLocl)) {
    error_ = file.GetError();
    return false;
  }
  NameChains chains;
  uint32_t count = 0;
  if (!chains.ReadHeader(file, kLanguageFormat, &count, &error_)) return false;
  std::vector<uint8_t> raw;
  if (!ReadExactly(file, 8 * count, &raw, &error_)) return false;
  std::vector<Language> languages;
  languages.reserve(count);
  chains.Reserve(count);
  for (uint32_t i = 0; i < count; ++i) {
    languages.push_back({GetLE32(raw.data() + 8 * i), nullptr});
    chains.AppendLink(GetLE32(raw.data() + 8 * i + 4));
  }
  chains.FinishRead();
  file.ResetSection();
  chains_ = std::move(chains);
  languages_ = std::move(languages);
  container_ = &file;
  current_ = default_ = Cache();
  error_.clear();
  return true;
}

int32_t LocalizedLanguages::FindLanguageNumber(std::string_view name) const {
  return chains_.Find(name, [this](uint32_t o) { return Name(o); });
}

uint32_t LocalizedLanguages::IndexSection(uint32_t language) const {
  uint32_t id = IndexSectionId(language);
  if (container_ != nullptr && !container_->HasSection(id) &&
      container_->version() < kPerLanguageSectionsVersion) {
    return 0;
  }
  return id;
}

LocalizedIndex* LocalizedLanguages::Index(uint32_t language) {
  if (language >= Count()) return nullptr;
  Language& l = languages_[language];
  if (l.index) return l.index.get();
  if (l.load_failed || container_ == nullptr) return nullptr;
  // The stream may have been handed back after the program was loaded.
  bool reopened = !container_->IsOpen();
  if (reopened && !container_->Reopen()) {
    error_ = container_->GetError();
    l.load_failed = true;
    return nullptr;
  }
  auto index = std::make_unique<LocalizedIndex>(language, dictionary_);
  bool ok = index->Load(*container_, IndexSection(language));
  if (reopened) container_->Close();
  if (!ok) {
    error_ = index->ErrorText();
    l.load_failed = true;
    return nullptr;
  }
  l.index = std::move(index);
  return l.index.get();
}

LocalizedIndex* LocalizedLanguages::FindLanguage(std::string_view name) {
  int32_t n = FindLanguageNumber(name);
  return n < 0 ? nullptr : Index(static_cast<uint32_t>(n));
}

bool LocalizedLanguages::LoadAllIndexes() {
  bool ok = true;
  for (uint32_t i = 0; i < Count(); ++i)
    ok = Index(i) != nullptr && ok;
  return ok;
}

LocalizedIndex* LocalizedLanguages::Resolve(Cache* cache, std::string_view name, uint32_t counter) {
  if (!cache->valid || cache->counter != counter) {
    cache->index = FindLanguage(name);
    cache->counter = counter;
    cache->valid = true;
  }
  return cache->index;
}

const LocalizedToken* LocalizedLanguages::FindToken(std::string_view name) {
  if (source_ == nullptr) return nullptr;
  LocalizedIndex* current =
      Resolve(&current_, source_->CurrentLanguage(), source_->CurrentLanguageCounter());
  const LocalizedToken* token = current ? current->FindToken(name) : nullptr;
  if (token != nullptr) return token;
  LocalizedIndex* fallback =
      Resolve(&default_, source_->DefaultLanguage(), source_->DefaultLanguageCounter());
  return fallback ? fallback->FindToken(name) : nullptr;
}

uint32_t LocalizedLanguages::AddLanguage(uint32_t name_id, uint32_t index_bits) {
  uint32_t n = chains_.AddSlot();
  languages_.push_back({name_id, std::make_unique<LocalizedIndex>(n, dictionary_, index_bits)});
  chains_.Link(n, Name(n), [this](uint32_t o) { return Name(o); });
  // A cached "no such language" may now be wrong.
  current_ = default_ = Cache();
  return n;
}

uint32_t LocalizedLanguages::AddLanguage(std::string_view name) {
  int32_t id = dictionary_->Add(name);
  return AddLanguage(static_cast<uint32_t>(id < 0 ? 0 : id));
}

bool LocalizedLanguages::AddToken(uint32_t language, std::string_view name, uint32_t first_entry) {
  LocalizedIndex* index = Index(language);
  if (index == nullptr) return false;
  int32_t id = dictionary_->Add(name);
  if (id < 0) return false;
  index->AddToken(static_cast<uint32_t>(id), first_entry);
  return true;
}

bool LocalizedLanguages::Write(TaggedFile& file) {
  std::string bytes;
  if (!chains_.AppendHeader(&bytes, false, 0, &error_)) return false;
  ByteWriter w(&bytes);
  for (uint32_t i = 0; i < Count(); ++i) {
    w.U32(languages_[i].name_id);
    w.U32(chains_.RawNext(i));
  }
  if (!file.WriteSection(kLocl, bytes)) {
    error_ = file.GetError();
    return false;
  }
  for (uint32_t i = 0; i < Count(); ++i) {
    LocalizedIndex* index = Index(i);
    LocalizedIndex empty(i, dictionary_);
    if (index == nullptr) index = &empty;
    bytes.clear();
    if (!index->AppendSection(&bytes)) {
      error_ = "language '" + std::string(Name(i)) + "': " + index->ErrorText();
      return false;
    }
    if (!file.WriteSection(IndexSectionId(i), bytes)) {
      error_ = file.GetError();
      return false;
    }
  }
  return true;
}

}  // namespace orin

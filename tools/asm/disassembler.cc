#include "asm/disassembler.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "asm/asm_lexer.h"
#include "asm/dis_state.h"
#include "util/ascii.h"
#include "util/memory_stream.h"

namespace orin {

namespace {

constexpr uint32_t kHexDumpLimit = 1 << 20;

const char* const kProgramSections[] = {"dict", "syst", "glbl", "locl", "locd", "segs", "func"};

uint32_t Id(const char* name) {
  return static_cast<uint32_t>(static_cast<uint8_t>(name[0])) |
         (static_cast<uint32_t>(static_cast<uint8_t>(name[1])) << 8) |
         (static_cast<uint32_t>(static_cast<uint8_t>(name[2])) << 16) |
         (static_cast<uint32_t>(static_cast<uint8_t>(name[3])) << 24);
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    c = AsciiLower(c);
  return out;
}

}  // namespace

std::string Hex(uint64_t v) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "0x%" PRIX64, v);
  return buf;
}

bool DisassembleBytes(std::string_view bytes, std::string_view name, std::string* out) {
  MemoryStream stream{std::string(bytes)};
  TaggedFile file;
  if (!file.Attach(name, &stream)) {
    *out += "; cannot read " + std::string(name) + ": " + file.GetError() + "\n";
    return false;
  }
  return Disassemble(file, out);
}

bool Disassemble(TaggedFile& file, std::string* out) {
  DisState state(file, out);
  return state.Run();
}

bool DisState::Run() {
  Load();
  Header();
  Dictionary();
  Variables(".system", "syst", image_.system_variables);
  Variables(".global", "glbl", image_.global_variables);
  Localized();
  Functions();
  Segments();
  RawSections();
  return true;
}

void DisState::Problem(const char* id, const std::string& message) {
  problems_.emplace_back(id, message);
}

std::string DisState::ProblemOf(const char* id) const {
  for (const auto& p : problems_) {
    if (p.first == id) return p.second;
  }
  return std::string();
}

bool DisState::Loaded(const char* id) const {
  for (const auto& p : problems_) {
    if (p.first == id) return false;
  }
  return true;
}

void DisState::Load() {
  for (const char* id : kProgramSections)
    known_sections_.insert(Id(id));
  if (!image_.dictionary.Load(file_)) Problem("dict", image_.dictionary.ErrorText());
  for (uint32_t i = 0; i < image_.dictionary.Count(); ++i) {
    first_index_.emplace(std::string(Text(i)), i);
  }
  if (!image_.system_variables.ReadSection(file_, Id("syst"))) {
    Problem("syst", image_.system_variables.ErrorText());
  }
  if (!image_.global_variables.ReadSection(file_, Id("glbl"))) {
    Problem("glbl", image_.global_variables.ErrorText());
  }
  if (!image_.languages.Load(file_)) Problem("locl", image_.languages.ErrorText());
  for (uint32_t i = 0; i < image_.languages.Count(); ++i) {
    known_sections_.insert(image_.languages.IndexSection(i));
    if (image_.languages.Index(i) == nullptr) {
      Problem("LX", "language " + std::to_string(i) + ": " + image_.languages.ErrorText());
    }
  }
  if (!image_.localized_dictionary.Load(file_)) {
    Problem("locd", image_.localized_dictionary.ErrorText());
  }
  if (!image_.segments.Load(file_)) Problem("segs", image_.segments.ErrorText());
  if (!image_.functions.Load(file_)) Problem("func", image_.functions.ErrorText());
}

void DisState::HexDump(uint32_t id, int64_t offset, uint32_t size) {
  std::vector<uint8_t> bytes;
  std::string error;
  uint32_t n = std::min(size, kHexDumpLimit);
  if (!ReadExactlyAt(file_, id, offset, n, &bytes, &error)) {
    Comment("  (the bytes cannot be read: " + error + ")");
    return;
  }
  for (uint32_t i = 0; i < n; i += 16) {
    char line[100];
    int len = std::snprintf(line, sizeof line, "  %08X:", i);
    for (uint32_t j = i; j < n && j < i + 16; ++j) {
      len += std::snprintf(line + len, sizeof line - static_cast<size_t>(len), " %02X", bytes[j]);
    }
    Comment(line);
  }
  if (n < size) Comment("  ... " + std::to_string(size - n) + " more bytes");
}

bool DisState::IsFirstIndex(uint32_t id) const {
  if (!image_.dictionary.Has(id)) return false;
  auto it = first_index_.find(std::string(Text(id)));
  return it != first_index_.end() && it->second == id;
}

std::string DisState::StringRef(uint32_t id) const {
  return IsFirstIndex(id) ? QuoteBytes(Text(id)) : "@" + std::to_string(id);
}

std::string DisState::NameRef(uint32_t id) const {
  return IsFirstIndex(id) ? NameForm(Text(id)) : "@" + std::to_string(id);
}

void DisState::Header() {
  Comment("ztdis " + file_.name());
  Comment("magic Zeto, version " + Hex(file_.version()) + ", producer " + Hex(file_.producer(0)) +
          " " + Hex(file_.producer(1)));
  const auto& dir = file_.directory();
  Comment("directory at offset " + std::to_string(file_.directory_offset()) + ", " +
          std::to_string(dir.size()) + " sections:");
  std::set<uint32_t> seen;
  for (const DirectoryEntry& e : dir) {
    std::string note = seen.insert(e.id).second ? "" : "  (duplicate: readers use the first)";
    Comment("  " + QuoteBytes(SectionName(e.id)) + " at " + std::to_string(e.offset) + ", " +
            std::to_string(e.size) + " bytes" + note);
  }
  Put("");
  Put(".version " + Hex(file_.version()));
  if (file_.producer(0) != 0 || file_.producer(1) != 0) {
    Put(".producer " + Hex(file_.producer(0)) + " " + Hex(file_.producer(1)));
  }
  for (const auto& p : problems_)
    Comment("cannot read '" + p.first + "': " + p.second);
}

void DisState::Dictionary() {
  const orin::Dictionary& d = image_.dictionary;
  Put("");
  if (!Loaded("dict")) {
    Comment("dictionary: " + ProblemOf("dict"));
    if (file_.HasSection(Id("dict"))) {
      uint32_t size = 0;
      for (const auto& e : file_.directory()) {
        if (e.id == Id("dict")) {
          size = e.size;
          break;
        }
      }
      HexDump(Id("dict"), 0, size);
    }
    return;
  }
  Comment("dictionary: " + std::to_string(d.Count()) + " strings, flags " + Hex(d.Flags()));
  if (d.Flags() != 0) Put(".dictflags " + Hex(d.Flags()));
  for (uint32_t i = 0; i < d.Count(); ++i) {
    Put(".string " + QuoteBytes(Text(i)) + "  ; @" + std::to_string(i));
  }
}

bool DisState::CanonicalChains(const NameChains& chains,
                               const std::vector<std::string_view>& names) {
  NameChains built(chains.bits());
  for (uint32_t i = 0; i < names.size(); ++i) {
    built.AddSlot();
    built.Link(i, names[i], [&](uint32_t o) { return names[o]; });
  }
  if (built.size() != chains.size() || built.UsedBuckets() != chains.UsedBuckets()) return false;
  for (uint32_t b : built.UsedBuckets()) {
    if (built.Head(b) != chains.Head(b)) return false;
  }
  for (uint32_t e = 0; e < built.size(); ++e) {
    if (built.Next(e) != chains.Next(e)) return false;
  }
  return true;
}

std::string DisState::ChainNote(const NameChains& chains,
                                const std::vector<std::string_view>& names,
                                const std::string& what) {
  if (CanonicalChains(chains, names)) return std::string();
  std::string text =
      "; note: the bucket chains of " + what + " differ from the ones ztasm builds; as stored:\n";
  for (uint32_t b : chains.UsedBuckets()) {
    text += ";   bucket " + std::to_string(b) + ":";
    int32_t e = chains.Head(b);
    uint32_t steps = 0;
    for (; chains.Valid(e) && steps <= chains.size(); ++steps, e = chains.Next(e)) {
      text += " " + std::to_string(e);
    }
    if (steps > chains.size()) {
      text += " ... (a cycle)";
    } else if (e != -1) {
      text += " (link " + std::to_string(static_cast<uint32_t>(e)) + " outside the table)";
    }
    text += "\n";
  }
  return text;
}

void DisState::Variables(const char* directive, const char* id, const VariableHashLayout& layout) {
  Put("");
  if (!Loaded(id)) return;
  Comment(std::string(id) + ": " + std::to_string(layout.Count()) + " variables in " +
          std::to_string(layout.bucket_count()) + " buckets");
  if (layout.bits() != DefaultHashBits(layout.Count())) {
    Put(std::string(directive) + " bits=" + std::to_string(layout.bits()));
  }
  std::vector<std::string_view> names;
  std::set<std::string> lower;
  for (uint32_t e = 0; e < layout.Count(); ++e) {
    names.push_back(Text(layout.NameId(e)));
    std::string note;
    if (!lower.insert(Lower(names.back())).second) note = " (same name as an earlier slot)";
    Put(std::string(directive) + " " + NameRef(layout.NameId(e)) + "  ; slot " + std::to_string(e) +
        note);
  }
  out_ += ChainNote(layout.chains(), names, id);
}

// Tokens can be printed with their pieces when every token's entries are
// consecutive and the tokens, ordered by first entry, cover the localized
// dictionary exactly in each language's index order. `order` receives
// (language, token) in that order.
bool DisState::CanonicalTokens(std::vector<std::pair<uint32_t, uint32_t>>* order) {
  struct Item {
    uint32_t first, language, token;
  };
  std::vector<Item> items;
  for (uint32_t l = 0; l < image_.languages.Count(); ++l) {
    const LocalizedIndex* index = image_.languages.LoadedIndex(l);
    if (index == nullptr) return false;
    std::set<std::string> names;
    for (uint32_t t = 0; t < index->Count(); ++t) {
      if (!names.insert(Lower(Text(index->token(t).name_id))).second) return false;
      items.push_back({index->token(t).first_entry, l, t});
    }
  }
  std::stable_sort(items.begin(), items.end(),
                   [](const Item& a, const Item& b) { return a.first < b.first; });
  std::vector<int64_t> last_token(image_.languages.Count(), -1);
  uint32_t expected = 0;
  for (const Item& it : items) {
    if (it.first != expected || static_cast<int64_t>(it.token) <= last_token[it.language]) {
      return false;
    }
    last_token[it.language] = it.token;
    uint32_t e = it.first;
    for (;;) {
      const LocalizedEntry* entry = image_.localized_dictionary.Entry(e);
      if (entry == nullptr) return false;
      if (entry->next == LocalizedDictionary::kEnd) break;
      if (entry->next != e + 1) return false;
      ++e;
    }
    expected = e + 1;
    order->emplace_back(it.language, it.token);
  }
  return expected == image_.localized_dictionary.Count();
}

void DisState::Localized() {
  Put("");
  if (!Loaded("locl") || !Loaded("locd")) return;
  LocalizedLanguages& langs = image_.languages;
  const LocalizedDictionary& locd = image_.localized_dictionary;
  Comment("localized texts: " + std::to_string(langs.Count()) + " languages, " +
          std::to_string(locd.Count()) + " pieces");
  if (langs.chains().bits() != DefaultHashBits(langs.Count())) {
    Put(".languages bits=" + std::to_string(langs.chains().bits()));
  }
  std::vector<std::string_view> names;
  for (uint32_t l = 0; l < langs.Count(); ++l) {
    names.push_back(langs.Name(l));
    const LocalizedIndex* index = langs.LoadedIndex(l);
    std::string line = ".language " + NameRef(langs.NameId(l));
    if (index != nullptr && index->chains().bits() != DefaultHashBits(index->Count())) {
      line += " bits=" + std::to_string(index->chains().bits());
    }
    if (index != nullptr && index->reserved() != 0) line += " reserved=" + Hex(index->reserved());
    line += "  ; language " + std::to_string(l) + ", section " +
            QuoteBytes(SectionName(langs.IndexSection(l)));
    if (index == nullptr) line += " (not readable)";
    Put(line);
  }
  out_ += ChainNote(langs.chains(), names, "the languages");
  for (uint32_t l = 0; l < langs.Count(); ++l) {
    const LocalizedIndex* index = langs.LoadedIndex(l);
    if (index == nullptr) continue;
    std::vector<std::string_view> tokens;
    for (uint32_t t = 0; t < index->Count(); ++t)
      tokens.push_back(Text(index->token(t).name_id));
    out_ += ChainNote(index->chains(), tokens, "the tokens of language " + std::to_string(l));
  }
  std::vector<std::pair<uint32_t, uint32_t>> order;
  if (CanonicalTokens(&order)) {
    for (const auto& [l, t] : order) {
      const LocalizedToken& token = langs.LoadedIndex(l)->token(t);
      std::string line = ".token " + NameRef(langs.NameId(l)) + " " + NameRef(token.name_id);
      for (uint32_t e = token.first_entry;; ++e) {
        const LocalizedEntry* entry = locd.Entry(e);
        line += entry->kind == LocalizedDictionary::kLiteral ? " " + StringRef(entry->text_id)
                                                             : " $" + NameRef(entry->text_id);
        if (entry->next == LocalizedDictionary::kEnd) break;
      }
      Put(line);
    }
    return;
  }
  Comment("pieces and tokens as stored (not in the order ztasm writes them)");
  for (uint32_t e = 0; e < locd.Count(); ++e) {
    const LocalizedEntry* entry = locd.Entry(e);
    std::string line = entry->kind == LocalizedDictionary::kLiteral
                           ? ".locentry literal " + StringRef(entry->text_id)
                           : ".locentry variable " + NameRef(entry->text_id);
    if (entry->next != LocalizedDictionary::kEnd) line += " next=" + std::to_string(entry->next);
    Put(line + "  ; entry " + std::to_string(e));
  }
  for (uint32_t l = 0; l < langs.Count(); ++l) {
    const LocalizedIndex* index = langs.LoadedIndex(l);
    if (index == nullptr) continue;
    for (uint32_t t = 0; t < index->Count(); ++t) {
      Put(".token " + NameRef(langs.NameId(l)) + " " + NameRef(index->token(t).name_id) +
          " entry=" + std::to_string(index->token(t).first_entry));
    }
  }
}

void DisState::RawSections() {
  std::set<uint32_t> seen;
  bool first = true;
  for (const DirectoryEntry& e : file_.directory()) {
    bool duplicate = !seen.insert(e.id).second;
    if (known_sections_.count(e.id) && !duplicate) continue;
    if (first) {
      Put("");
      first = false;
    }
    if (duplicate) {
      Comment("section " + QuoteBytes(SectionName(e.id)) + " at " + std::to_string(e.offset) +
              " repeats an earlier id and is not read");
      continue;
    }
    std::vector<uint8_t> bytes;
    std::string error;
    if (!ReadExactlyAt(file_, e.id, 0, std::min(e.size, kHexDumpLimit), &bytes, &error)) {
      Comment("section " + QuoteBytes(SectionName(e.id)) + " cannot be read: " + error);
      continue;
    }
    std::string id = QuoteBytes(SectionName(e.id));
    if (bytes.empty()) Put(".section " + id);
    for (size_t i = 0; i < bytes.size(); i += 32) {
      size_t n = std::min<size_t>(32, bytes.size() - i);
      Put(".section " + id + " " +
          QuoteBytes(std::string_view(reinterpret_cast<const char*>(bytes.data() + i), n)));
    }
    if (bytes.size() < e.size)
      Comment("... " + std::to_string(e.size - bytes.size()) + " more bytes");
  }
  // Sections the loader could not decode, shown as bytes.
  for (const auto& p : problems_) {
    if (p.first == "dict" || p.first == "LX") continue;
    uint32_t id = Id(p.first.c_str());
    for (const DirectoryEntry& e : file_.directory()) {
      if (e.id != id) continue;
      Put("");
      Comment("bytes of '" + p.first + "' (" + p.second + "):");
      HexDump(id, 0, e.size);
      break;
    }
  }
}

}  // namespace orin

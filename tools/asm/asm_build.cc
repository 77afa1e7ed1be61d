// The end of an assembly: references resolved, tables built, file written.
#include "asm/asm_state.h"
#include "image/byte_order.h"
#include "util/memory_stream.h"

namespace orin {

bool AsmState::ResolveFixups() {
  bool ok = true;
  for (const AsmFixup& f : fixups_) {
    int64_t value = 0;
    if (f.kind == AsmFixup::kLabel) {
      const AsmSegment& segment = segments_[f.segment];
      auto it = segment.labels.find(f.name);
      if (it == segment.labels.end()) {
        ok = ErrorAt(f.line, "unknown label '" + f.name + "'");
        continue;
      }
      value = static_cast<int64_t>(it->second) - static_cast<int64_t>(f.end);
    } else {
      value = FindFunction(f.name);
      if (value < 0) {
        ok = ErrorAt(f.line, "unknown function '" + f.name + "'");
        continue;
      }
    }
    PutLE32(segments_[f.segment].code.data() + f.at, static_cast<uint32_t>(value));
  }
  for (const AsmFunction& f : functions_) {
    if (!f.defined) {
      ok = ErrorAt(f.line, "function '" + f.name + "' is declared but never defined by .func");
    }
  }
  if (start_ >= static_cast<int64_t>(segments_.size())) {
    ok = ErrorAt(start_line_, "start segment " + std::to_string(start_) + " does not exist");
  }
  return ok;
}

void AsmState::BuildLayout(const AsmVariables& table, VariableHashLayout* layout) {
  auto count = static_cast<uint32_t>(table.name_ids.size());
  layout->Reset(table.bits >= 0 ? static_cast<uint32_t>(table.bits) : DefaultHashBits(count));
  layout->Reserve(count);
  for (uint32_t id : table.name_ids)
    layout->Add(id, image_.dictionary);
}

bool AsmState::Build() {
  BuildLayout(system_, &image_.system_variables);
  BuildLayout(globals_, &image_.global_variables);

  auto count = static_cast<uint32_t>(functions_.size());
  image_.functions.Reset(function_bits_ >= 0 ? static_cast<uint32_t>(function_bits_)
                                             : DefaultHashBits(count));
  for (const AsmFunction& f : functions_) {
    Function* fn = image_.functions.AddFunction(f.name_id, f.flags, f.segment, f.offset);
    for (const AsmParameter& p : f.parameters)
      fn->AddParameter(p.name_id, p.flags, p.slot);
    BuildLayout(f.locals, &fn->mutable_locals());
  }

  for (size_t i = 0; i < segments_.size(); ++i) {
    image_.segments.SetSegment(
        static_cast<uint32_t>(i),
        std::make_unique<Segment>(static_cast<int32_t>(i), std::move(segments_[i].code)));
  }
  image_.segments.SetStart(static_cast<int32_t>(start_));

  count = static_cast<uint32_t>(languages_.size());
  image_.languages.Reset(language_bits_ >= 0 ? static_cast<uint32_t>(language_bits_)
                                             : DefaultHashBits(count));
  for (const AsmLanguage& l : languages_) {
    auto tokens = static_cast<uint32_t>(l.tokens.size());
    uint32_t n = image_.languages.AddLanguage(
        l.name_id, l.bits >= 0 ? static_cast<uint32_t>(l.bits) : DefaultHashBits(tokens));
    LocalizedIndex* index = image_.languages.Index(n);
    index->SetReserved(l.reserved);
    for (const LocalizedToken& t : l.tokens)
      index->AddToken(t.name_id, t.first_entry);
  }
  for (const LocalizedEntry& e : loc_entries_) {
    image_.localized_dictionary.Add(e.kind, e.text_id, e.next);
  }
  return true;
}

bool AsmState::Finish(std::string* output) {
  CloseFunction();
  line_ = 0;
  if (!errors_->empty() || !ResolveFixups() || !Build()) return false;
  MemoryStream stream;
  TaggedFile file;
  bool ok = file.Create(file_name_, &stream, producer_, version_) && image_.WriteSections(file);
  for (const auto& section : raw_sections_) {
    ok = ok && file.WriteSection(section.first, section.second);
  }
  ok = ok && file.Finish();
  if (!ok) {
    std::string what = image_.failed_section().empty() ? image_.ErrorText() : "";
    if (!image_.failed_section().empty()) {
      what = "cannot write section '" + image_.failed_section() + "': " + image_.ErrorText();
    } else if (what.empty()) {
      what = file.GetError();
    }
    return ErrorAt(0, what);
  }
  *output = stream.TakeBytes();
  return true;
}

}  // namespace orin

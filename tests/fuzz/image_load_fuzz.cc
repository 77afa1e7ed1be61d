// Loads arbitrary bytes as a compiled file: every section in both load
// orders, then the look-ups the machine makes. Nothing may crash, hang or
// allocate far beyond the input's size.
#include <cstddef>
#include <cstdint>
#include <string>

#include "image/image_test_util.h"
#include "image/opcodes.h"
#include "image/program_image.h"
#include "util/memory_stream.h"

namespace {

using FixedLanguages = orin::test::TestLanguages;

void LookUp(orin::ProgramImage& image, FixedLanguages& languages) {
  const orin::Dictionary& d = image.dictionary;
  uint32_t n = 0;
  d.Lookup(static_cast<int32_t>(d.Count()), &n);
  uint32_t limit = 200;
  for (uint32_t i = 0; i < image.functions.Count() && i < limit; ++i) {
    const orin::Function* f = image.functions.Get(i);
    image.functions.FindFunction(f->name());
    for (uint32_t e = 0; e < f->locals().Count() && e < limit; ++e) {
      f->locals().Find(f->locals().Name(e, d), d);
    }
  }
  for (const orin::VariableHashLayout* layout :
       {&image.system_variables, &image.global_variables}) {
    for (uint32_t e = 0; e < layout->Count() && e < limit; ++e) {
      layout->Find(layout->Name(e, d), d);
    }
  }
  for (uint32_t s = 0; s < image.segments.Count() && s < limit; ++s) {
    const orin::Segment* segment = image.segments.Get(s);
    orin::Instruction in;
    for (uint32_t pc = 0;
         segment && orin::DecodeInstruction(segment->code(), segment->length(), pc, &in);
         pc = in.next()) {
    }
  }
  for (uint32_t l = 0; l < image.languages.Count() && l < 20; ++l) {
    languages.current = std::string(image.languages.Name(l));
    ++languages.current_counter;
    const orin::LocalizedIndex* index = image.languages.Index(l);
    for (uint32_t t = 0; index && t < index->Count() && t < limit; ++t) {
      const orin::LocalizedToken* token =
          image.languages.FindToken(d.View(static_cast<int32_t>(index->token(t).name_id)));
      for (uint32_t e = token ? token->first_entry : 0, steps = 0; token && steps < limit;
           ++steps) {
        const orin::LocalizedEntry* entry = image.localized_dictionary.Entry(e);
        if (entry == nullptr || entry->next == orin::LocalizedDictionary::kEnd) break;
        e = entry->next;
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  for (orin::LoadOrder order : {orin::LoadOrder::kMainScript, orin::LoadOrder::kDoFile}) {
    orin::MemoryStream stream(bytes);
    orin::TaggedFile file;
    if (!file.Attach("fuzz.ztc", &stream)) return 0;
    FixedLanguages languages;
    orin::ProgramImage image(&languages);
    image.Load(file, order);
    // Every reader, whatever failed before it.
    image.dictionary.Load(file);
    image.system_variables.ReadSection(file, orin::SectionId("syst"));
    image.global_variables.ReadSection(file, orin::SectionId("glbl"));
    image.languages.Load(file);
    image.localized_dictionary.Load(file);
    image.segments.Load(file);
    image.functions.Load(file);
    LookUp(image, languages);
  }
  return 0;
}

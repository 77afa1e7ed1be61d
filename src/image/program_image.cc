#include "image/program_image.h"

namespace orin {

namespace {

constexpr uint32_t kMainOrder[] = {SectionId("dict"), SectionId("syst"), SectionId("glbl"),
                                   SectionId("locl"), SectionId("locd"), SectionId("segs"),
                                   SectionId("func")};
constexpr uint32_t kDoOrder[] = {SectionId("dict"), SectionId("locd"), SectionId("locl"),
                                 SectionId("syst"), SectionId("glbl"), SectionId("segs"),
                                 SectionId("func")};

}  // namespace

bool ProgramImage::LoadSection(TaggedFile& f, uint32_t id) {
  bool ok = false;
  const std::string* message = nullptr;
  switch (id) {
    case SectionId("dict"):
      ok = dictionary.Load(f);
      message = &dictionary.ErrorText();
      break;
    case SectionId("syst"):
      ok = system_variables.ReadSection(f, id);
      message = &system_variables.ErrorText();
      break;
    case SectionId("glbl"):
      ok = global_variables.ReadSection(f, id);
      message = &global_variables.ErrorText();
      break;
    case SectionId("locl"):
      ok = languages.Load(f);
      message = &languages.ErrorText();
      break;
    case SectionId("locd"):
      ok = localized_dictionary.Load(f);
      message = &localized_dictionary.ErrorText();
      break;
    case SectionId("segs"):
      ok = segments.Load(f);
      message = &segments.ErrorText();
      break;
    case SectionId("func"):
      ok = functions.Load(f);
      message = &functions.ErrorText();
      break;
  }
  if (!ok) {
    error_ = message ? *message : "Invalid section";
    failed_section_ = SectionName(id);
  }
  return ok;
}

bool ProgramImage::Load(TaggedFile& f, LoadOrder order) {
  error_.clear();
  failed_section_.clear();
  for (uint32_t id : order == LoadOrder::kMainScript ? kMainOrder : kDoOrder) {
    if (!LoadSection(f, id)) return false;
  }
  return true;
}

bool ProgramImage::Write(TaggedFile& f) {
  if (!WriteSections(f)) return false;
  if (!f.Finish()) {
    failed_section_.clear();
    error_ = f.GetError();
    return false;
  }
  return true;
}

bool ProgramImage::WriteSections(TaggedFile& f) {
  auto fail = [this](std::string_view section, const std::string& message) {
    failed_section_.assign(section);
    error_ = message;
    return false;
  };
  if (!dictionary.Write(f)) return fail("dict", f.GetError());
  if (!system_variables.WriteSection(f, SectionId("syst"))) {
    return fail("syst", system_variables.ErrorText());
  }
  if (!global_variables.WriteSection(f, SectionId("glbl"))) {
    return fail("glbl", global_variables.ErrorText());
  }
  if (!languages.Write(f)) return fail("locl", languages.ErrorText());
  if (!localized_dictionary.Write(f)) return fail("locd", f.GetError());
  if (!segments.Write(f)) return fail("segs", f.GetError());
  if (!functions.Write(f)) return fail("func", functions.ErrorText());
  return true;
}

std::string UnableToExecuteMessage(std::string_view path, std::string_view reason) {
  std::string s = "Unable to execute '";
  s.append(path).append("': ").append(reason);
  return s;
}

std::string UnableToOpenMessage(std::string_view path, std::string_view reason) {
  std::string s = "Unable to open '";
  s.append(path).append("': ").append(reason);
  return s;
}

std::string SectionFailureMessage(std::string_view path, LoadOrder order) {
  return UnableToExecuteMessage(
      path, order == LoadOrder::kMainScript
                ? "File does not exist, is corrupt, is not a valid Zeto Script file, or cannot "
                  "be opened due to permission problems"
                : "File is either corrupt or not a valid compiled Zeto Script file");
}

bool LoadProgram(StreamOpener* opener, std::string_view path, LoadOrder order, ProgramImage* image,
                 std::string* message) {
  auto failed = [&](std::string text) {
    *message = std::move(text);
    return false;
  };
  auto f = std::make_unique<TaggedFile>(opener);
  bool main = order == LoadOrder::kMainScript;
  Stream* stream = opener->OpenStream(path, kOpenRead);
  if (stream == nullptr) {
    return failed(main ? UnableToExecuteMessage(path, opener->ErrorText())
                       : UnableToOpenMessage(path, opener->ErrorText()));
  }
  if (!f->Attach(path, stream)) {
    opener->CloseStream(stream);
    return failed(main ? UnableToExecuteMessage(path, f->GetError())
                       : UnableToOpenMessage(path, f->GetError()));
  }
  bool ok = image->Load(*f, order);
  f->Close();
  opener->CloseStream(stream);
  // Kept even after a failure: the languages may already point at it.
  image->file = std::move(f);
  if (!ok) return failed(SectionFailureMessage(path, order));
  return true;
}

}  // namespace orin

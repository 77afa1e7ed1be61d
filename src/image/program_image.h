// ProgramImage: everything a compiled file holds, loaded in the order the
// runtime needs it, and the messages a failed load shows to users.
//
// The loader reads "dict" first (every other section names dictionary
// strings) and keeps each section reader's own message for diagnostics;
// users see only the fixed texts built by the *Message functions below.
#ifndef ORIN_IMAGE_PROGRAM_IMAGE_H_
#define ORIN_IMAGE_PROGRAM_IMAGE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "image/dictionary.h"
#include "image/function.h"
#include "image/localized.h"
#include "image/segment.h"
#include "image/tagged_file.h"
#include "image/variable_hash_layout.h"

namespace orin {

enum class LoadOrder {
  kMainScript,  // dict, syst, glbl, locl, locd, segs, func
  kDoFile,      // dict, locd, locl, syst, glbl, segs, func (a file run by ZtDO)
};

class ProgramImage {
 public:
  explicit ProgramImage(LanguageSource* language_source = nullptr)
      : functions(&dictionary), languages(&dictionary, language_source) {}
  ProgramImage(const ProgramImage&) = delete;
  ProgramImage& operator=(const ProgramImage&) = delete;

  // Loads every section from an attached container. On failure returns
  // false; failed_section() names the section and ErrorText() holds its
  // reader's message. The container must outlive the image (token indexes
  // are loaded from it later); see also LoadProgram.
  bool Load(TaggedFile& file, LoadOrder order);
  const std::string& ErrorText() const { return error_; }
  const std::string& failed_section() const { return failed_section_; }

  // Writes the sections in the main-script order (token indexes after
  // "locl"); Write then finishes the file. The container must have been
  // created (TaggedFile::Create). On failure failed_section() and
  // ErrorText() say what could not be written.
  bool WriteSections(TaggedFile& file);
  bool Write(TaggedFile& file);

  Dictionary dictionary;
  SegmentManager segments;
  FunctionManager functions;
  VariableHashLayout system_variables;
  VariableHashLayout global_variables;
  LocalizedDictionary localized_dictionary;
  LocalizedLanguages languages;
  // The container the image was loaded through, when LoadProgram opened it.
  std::unique_ptr<TaggedFile> file;

 private:
  bool LoadSection(TaggedFile& file, uint32_t id);

  std::string error_;
  std::string failed_section_;
};

// Opens `path` through `opener`, attaches, loads every section, then hands
// the stream back (it is reopened if a token index is needed later). On
// failure *message gets the user-facing text and image->ErrorText() the
// section reader's own message.
bool LoadProgram(StreamOpener* opener, std::string_view path, LoadOrder order, ProgramImage* image,
                 std::string* message);

// The texts a failed load shows, by cause.
std::string UnableToExecuteMessage(std::string_view path, std::string_view reason);
std::string UnableToOpenMessage(std::string_view path, std::string_view reason);
// A section failed to load.
std::string SectionFailureMessage(std::string_view path, LoadOrder order);

}  // namespace orin

#endif  // ORIN_IMAGE_PROGRAM_IMAGE_H_

// The assembler: turns the text source language (docs/ztasm.md) into the
// bytes of a compiled file, in-process, so that tests, the script-test
// runner and fuzzers can assemble without the command-line tool.
#ifndef ORIN_TOOLS_ASM_ASSEMBLER_H_
#define ORIN_TOOLS_ASM_ASSEMBLER_H_

#include <string>
#include <string_view>
#include <vector>

namespace orin {

class Assembler {
 public:
  // Assembles `source`; `file_name` names it in messages. On success the
  // compiled file's bytes are in *output. On failure ErrorText() holds one
  // "file:line: message" line per error (at most kMaxErrors).
  bool Assemble(std::string_view source, std::string_view file_name, std::string* output);

  const std::string& ErrorText() const { return error_; }
  const std::vector<std::string>& errors() const { return errors_; }

  static constexpr size_t kMaxErrors = 50;

 private:
  std::string error_;
  std::vector<std::string> errors_;
};

// Convenience for tests: assembles `source` and returns the bytes; on
// failure returns an empty string and, when `error` is given, the messages.
std::string AssembleOrEmpty(std::string_view source, std::string* error = nullptr);

}  // namespace orin

#endif  // ORIN_TOOLS_ASM_ASSEMBLER_H_

// The disassembler: prints a compiled file in the assembler's source
// language. What ztasm wrote assembles back to the same bytes; anything
// else is shown as faithfully as the file allows, with raw bytes for what
// cannot be decoded.
#ifndef ORIN_TOOLS_ASM_DISASSEMBLER_H_
#define ORIN_TOOLS_ASM_DISASSEMBLER_H_

#include <string>
#include <string_view>

namespace orin {

class TaggedFile;

// Prints the file attached to `file` into *out. Returns false when the
// container itself cannot be read (the text then says why); damaged
// sections are reported in comments and do not make it fail.
bool Disassemble(TaggedFile& file, std::string* out);
// The same for the bytes of a compiled file.
bool DisassembleBytes(std::string_view bytes, std::string_view name, std::string* out);

}  // namespace orin

#endif  // ORIN_TOOLS_ASM_DISASSEMBLER_H_

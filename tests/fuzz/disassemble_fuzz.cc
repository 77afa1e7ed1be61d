// ztdis must show any bytes without crashing, and what it prints of a file
// must assemble without the assembler crashing either.
#include <cstddef>
#include <cstdint>
#include <string>

#include "asm/assembler.h"
#include "asm/disassembler.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string listing;
  orin::DisassembleBytes(std::string_view(reinterpret_cast<const char*>(data), size), "fuzz",
                         &listing);
  orin::Assembler assembler;
  std::string bytes;
  assembler.Assemble(listing, "listing", &bytes);
  return 0;
}

// The assembler reads any text without crashing, and the loader reads what
// it writes. (A source may ask for files the loader refuses on purpose,
// such as a foreign version or a name outside the dictionary.)
#include <cstddef>
#include <cstdint>
#include <string>

#include "asm/assembler.h"
#include "image/program_image.h"
#include "util/memory_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  orin::Assembler assembler;
  std::string bytes;
  if (!assembler.Assemble(std::string_view(reinterpret_cast<const char*>(data), size), "fuzz",
                          &bytes)) {
    return 0;
  }
  orin::MemoryStream stream(bytes);
  orin::TaggedFile file;
  orin::ProgramImage image;
  if (file.Attach("fuzz", &stream)) image.Load(file, orin::LoadOrder::kMainScript);
  return 0;
}

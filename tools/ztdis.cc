// ztdis: prints a compiled file (.ztc) in the assembler's language.
#include <cstdio>
#include <string>

#include "asm/disassembler.h"
#include "image/tagged_file.h"
#include "platform/plain_file.h"

namespace {

const char kUsage[] =
    "usage: ztdis [SCRIPT]\n"
    "Prints the compiled file SCRIPT (standard input when omitted or '-'):\n"
    "header, directory, dictionary, variable tables, functions, code and\n"
    "localized texts, in a form ztasm assembles back to the same file.\n"
    "  --help    show this text\n";

}  // namespace

int main(int argc, char** argv) {
  std::string path = "-";
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (!arg.empty() && arg[0] == '-' && arg != "-") {
      std::fprintf(stderr, "ztdis: unknown option '%s'\n%s", arg.c_str(), kUsage);
      return 2;
    }
    path = arg;
  }
  std::string out;
  bool ok;
  if (path == "-") {
    std::string bytes;
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, stdin)) > 0)
      bytes.append(buf, n);
    ok = orin::DisassembleBytes(bytes, "<stdin>", &out);
  } else {
    orin::PlainFileOpener opener;
    orin::TaggedFile file(&opener);
    if (!file.Open(path)) {
      std::fprintf(stderr, "ztdis: cannot read '%s': %s\n", path.c_str(), file.GetError().c_str());
      return 1;
    }
    ok = orin::Disassemble(file, &out);
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
  return ok ? 0 : 1;
}

// ztasm: assembles a text source into a compiled file (.ztc).
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "asm/assembler.h"
#include "platform/plain_file.h"

namespace {

const char kUsage[] =
    "usage: ztasm [-o OUT] SOURCE\n"
    "Assembles SOURCE (the language of docs/ztasm.md) into a compiled file.\n"
    "OUT defaults to SOURCE with its extension replaced by .ztc.\n"
    "  -o OUT    write the compiled file to OUT ('-' for standard output)\n"
    "  --help    show this text\n";

std::string DefaultOutput(const std::string& source) {
  size_t slash = source.find_last_of('/');
  size_t dot = source.find_last_of('.');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) {
    return source.substr(0, dot) + ".ztc";
  }
  return source + ".ztc";
}

}  // namespace

int main(int argc, char** argv) {
  std::string source, output;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg == "-o" && i + 1 < argc) {
      output = argv[++i];
    } else if (!arg.empty() && arg[0] == '-' && arg != "-") {
      std::fprintf(stderr, "ztasm: unknown option '%s'\n%s", arg.c_str(), kUsage);
      return 2;
    } else if (source.empty()) {
      source = arg;
    } else {
      std::fprintf(stderr, "ztasm: more than one source given\n%s", kUsage);
      return 2;
    }
  }
  if (source.empty()) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  std::stringstream text;
  if (source == "-") {
    text << std::cin.rdbuf();
  } else {
    std::ifstream in(source, std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "ztasm: cannot read '%s': %s\n", source.c_str(),
                   orin::SystemErrorText(errno).c_str());
      return 1;
    }
    text << in.rdbuf();
  }
  orin::Assembler assembler;
  std::string bytes;
  if (!assembler.Assemble(text.str(), source, &bytes)) {
    std::fprintf(stderr, "%s\n", assembler.ErrorText().c_str());
    return 1;
  }
  if (output.empty()) output = DefaultOutput(source);
  if (output == "-") {
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    return 0;
  }
  orin::PlainFile file(output, orin::kOpenWrite | orin::kOpenCreate | orin::kOpenTruncate);
  if (!file.ok() || file.Write(bytes.data(), static_cast<int32_t>(bytes.size())) !=
                        static_cast<int32_t>(bytes.size())) {
    std::fprintf(stderr, "ztasm: cannot write '%s': %s\n", output.c_str(),
                 file.ErrorText().c_str());
    return 1;
  }
  return 0;
}

// `orin serve`: the HTTP server in the foreground.
#include <cstdio>

#include "commands.h"
#include "options.h"

namespace orin {

int ServeCommand(int argc, char** argv) {
  ServeOptions options;
  int parsed = ParseServeOptions(argc, argv, &options);
  if (parsed == -1) return 0;
  if (parsed != 0) return parsed;
  std::fputs("orin serve: the HTTP server is not wired to the command line yet\n", stderr);
  return 2;
}

}  // namespace orin

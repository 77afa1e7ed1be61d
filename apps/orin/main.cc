// orin: runs compiled scripts once from the command line, or serves a site.
#include <cstdio>
#include <cstring>
#include <string_view>

#include "commands.h"
#include "database/database_registry.h"
#include "network/call.h"
#include "options.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs(orin::kMainHelp, stderr);
    return 2;
  }
  std::string_view command = argv[1];
  if (command == "--help" || command == "-h" || command == "help") {
    std::fputs(orin::kMainHelp, stdout);
    return 0;
  }
  // Instruction handlers are registered before any thread runs a script.
  orin::InstallDatabaseLayer();
  orin::InstallNetworkInstructions();
  if (command == "run") return orin::RunCommand(argc - 2, argv + 2);
  if (command == "serve") return orin::ServeCommand(argc - 2, argv + 2);
  std::fprintf(stderr, "orin: unknown command '%s'\n%s", argv[1], orin::kMainHelp);
  return 2;
}

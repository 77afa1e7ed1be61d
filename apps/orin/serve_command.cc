// `orin serve`: the HTTP server in the foreground until SIGINT or SIGTERM;
// SIGHUP makes every connection thread read the settings again.
#include <cstdio>
#include <filesystem>

#include "app/library_setup.h"
#include "app/site_server.h"
#include "commands.h"
#include "options.h"
#include "platform/signals.h"
#include "util/config.h"

namespace orin {

namespace fs = std::filesystem;

int ServeCommand(int argc, char** argv) {
  ServeOptions options;
  int parsed = ParseServeOptions(argc, argv, &options);
  if (parsed == -1) return 0;
  if (parsed != 0) return parsed;

  SiteSettings settings;
  std::string error;
  if (!BuildRunSettings(options.site, &settings.run, &error)) {
    std::fprintf(stderr, "orin serve: %s\n", error.c_str());
    return 2;
  }
  // Directories given on the command line hold whatever the file says.
  if (!options.site.root.empty()) {
    settings.run.overrides.emplace_back(config_key::kDirZeto,
                                        fs::absolute(options.site.root).lexically_normal());
  }
  if (!options.site.data.empty()) {
    settings.run.overrides.emplace_back(config_key::kDirData,
                                        fs::absolute(options.site.data).lexically_normal());
  }
  settings.port = options.port >= 0 ? options.port : settings.run.port;
  settings.bind_address = options.bind_address;

  BlockControlSignals();
  SiteServer server(settings);
  if (!server.Start()) {
    if (server.port_in_use()) {
      std::fprintf(stderr, "orin serve: the port is in use: %s\n", server.ErrorText().c_str());
    } else {
      std::fprintf(stderr, "orin serve: %s\n", server.ErrorText().c_str());
    }
    return 1;
  }
  if (options.bind_address.empty()) {
    std::printf("orin: listening on all interfaces, port %d: http://%s:%d/\n", server.port(),
                server.HostName().c_str(), server.port());
  } else {
    std::printf("orin: listening on http://%s:%d/\n", options.bind_address.c_str(), server.port());
  }
  std::printf("orin: scripts from %s\n", server.ScriptRoot().c_str());
  std::vector<std::string> library_errors = CheckConfiguredLibraries(settings.run.files);
  for (const std::string& e : library_errors) {
    std::fprintf(stderr, "orin serve: library %s\n", e.c_str());
  }
  ReportLibraryErrors(library_errors);
  std::printf("orin: data in %s\n", server.DataDirectory().c_str());
  std::fflush(stdout);

  while (true) {
    if (WaitForControlSignal() == ControlSignal::kStop) break;
    std::printf("orin: reloading the settings\n");
    std::fflush(stdout);
    server.Reload();
  }
  std::printf("orin: stopping\n");
  std::fflush(stdout);
  server.Stop();
  return 0;
}

}  // namespace orin

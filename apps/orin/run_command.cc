// `orin run`: one request, answered on standard output.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <system_error>

#include "app/command_line_request.h"
#include "app/library_setup.h"
#include "app/orin_application.h"
#include "app/orin_config_loader.h"
#include "app/run_watchdog.h"
#include "commands.h"
#include "options.h"
#include "platform/config_store.h"
#include "platform/descriptor_sink.h"
#include "platform/plain_file.h"
#include "platform/process_info.h"
#include "platform/signals.h"
#include "util/ascii.h"
#include "util/config.h"

namespace orin {

namespace fs = std::filesystem;

namespace {

int Fail(const std::string& message) {
  std::fprintf(stderr, "orin run: %s\n", message.c_str());
  return 2;
}

}  // namespace

// The settings a site option list gives: which file, and the overrides.
bool BuildRunSettings(const SiteOptions& site, RunSettings* settings, std::string* error) {
  if (!site.config_file.empty()) SetConfigFileOverride(site.config_file);
  settings->files = DefaultConfigFiles();
  for (const auto& [name, value] : site.overrides) {
    if (EqualsNoCase(name, "port")) {
      char* end = nullptr;
      long port = std::strtol(value.c_str(), &end, 10);
      if (value.empty() || *end != 0 || port < 0 || port > 65535) {
        *error = "port needs a number from 0 to 65535, got '" + value + "'";
        return false;
      }
      settings->port = static_cast<int32_t>(port);
      continue;
    }
    uint32_t key = ConfigKeyByValueName(name);
    if (key == 0) key = ConfigKeyByMemberName(name);
    if (key == 0) {
      *error = "unknown setting '" + name + "'";
      return false;
    }
    settings->overrides.emplace_back(key, value);
  }
  return true;
}

int RunCommand(int argc, char** argv) {
  RunOptions options;
  int parsed = ParseRunOptions(argc, argv, &options);
  if (parsed == -1) return 0;
  if (parsed != 0) return parsed;

  std::error_code ec;
  fs::path script = fs::weakly_canonical(fs::absolute(options.script, ec), ec);
  if (ec || !fs::is_regular_file(script)) return Fail("no such script: " + options.script);
  fs::path root = options.site.root.empty() ? script.parent_path()
                                            : fs::weakly_canonical(fs::absolute(options.site.root));
  if (!fs::is_directory(root)) return Fail("no such script root: " + root.string());
  fs::path relative = script.lexically_relative(root);
  if (relative.empty() || *relative.begin() == "..") {
    return Fail("the script " + script.string() + " is not inside the root " + root.string());
  }
  std::string request_path = "/" + relative.generic_string();
  fs::path data = options.site.data.empty() ? fs::current_path() : fs::absolute(options.site.data);

  RunSettings settings;
  std::string error;
  if (!BuildRunSettings(options.site, &settings, &error)) return Fail(error);
  settings.overrides.insert(settings.overrides.begin(),
                            {{config_key::kDirZeto, root.string()},
                             {config_key::kDirData, data.lexically_normal().string()}});

  std::unique_ptr<Stream> body;
  int64_t body_length = 0;
  if (!options.body_file.empty()) {
    auto file = std::make_unique<PlainFile>(options.body_file, kOpenRead);
    if (!file->ok()) return Fail("cannot read " + options.body_file + ": " + file->ErrorText());
    body_length = static_cast<int64_t>(fs::file_size(options.body_file, ec));
    body = std::move(file);
  }

  for (const std::string& e : CheckConfiguredLibraries(settings.files)) {
    std::fprintf(stderr, "orin run: library %s\n", e.c_str());
  }

  // The port that request variables report is the configured one.
  OrinConfigLoader loader(settings.files);
  loader.Load();

  // A reader that goes away must not kill the process; the send fails.
  IgnoreBrokenPipes();
  DescriptorSink out(1);
  BodyOnlySink body_only(&out);
  ByteSink* sink = options.whole_response ? static_cast<ByteSink*>(&out) : &body_only;
  CommandLineRequest request(options.method, request_path,
                             options.has_query ? &options.query : nullptr, options.headers,
                             std::move(body), body_length, sink, HostName(),
                             settings.port >= 0 ? settings.port : loader.port());
  OrinApplication app(&request, request_path, std::move(settings));
  int result;
  {
    // A tenth of a second keeps a one-second limit within about a second.
    RunWatchdog watchdog(&app, std::chrono::milliseconds(100));
    result = app.Run();
  }
  if (result == OrinApplication::kEndedBeforeScript) return 2;
  return app.script_completed() ? 0 : 1;
}

}  // namespace orin

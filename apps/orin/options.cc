#include "options.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace orin {

const char kMainHelp[] =
    "Usage: orin COMMAND [OPTIONS]\n"
    "Runs compiled scripts (.ztc) in the Orin virtual machine.\n"
    "\n"
    "Commands:\n"
    "  run     run one script once, as if a client had requested it\n"
    "  serve   serve a site over HTTP until interrupted\n"
    "\n"
    "Run 'orin COMMAND --help' for the options of a command.\n";

const char kRunHelp[] =
    "Usage: orin run [OPTIONS] SCRIPT [QUERY]\n"
    "Runs the compiled file SCRIPT once, as if a client had requested it, and\n"
    "writes the response to standard output.\n"
    "\n"
    "  --root DIR        script root (default: the directory of SCRIPT); SCRIPT\n"
    "                    must lie inside it, and the request path is SCRIPT's\n"
    "                    path below it with a leading '/'\n"
    "  --data DIR        data directory (default: the current directory)\n"
    "  --config FILE     settings file to use (default: the per-user store,\n"
    "                    ~/.config/zeto/orin/vm.toml, or $ZETO_ORIN_CONFIG)\n"
    "  --set NAME=VALUE  override one setting by its name (globaltimeout,\n"
    "                    maxpostvars, loglevel, ...); repeatable\n"
    "  --method M        the request method (default GET)\n"
    "  --header 'Name: value'\n"
    "                    a request header; repeatable\n"
    "  --body FILE       the request body (adds Content-Length when not given)\n"
    "  --headers         write the whole response (status line, headers, blank\n"
    "                    line, body) instead of the body alone\n"
    "  --help            show this text\n"
    "\n"
    "Exit status: 0 the script ended normally or by exit; 1 it aborted (fatal\n"
    "error or time-out); 2 the request ended before the script ran\n"
    "(configuration or load error, bad options).\n";

const char kServeHelp[] =
    "Usage: orin serve [OPTIONS]\n"
    "Serves a site over HTTP in the foreground. SIGINT or SIGTERM stop it in\n"
    "order; SIGHUP reloads the settings.\n"
    "\n"
    "  --port N          port to listen on (default: the configured port)\n"
    "  --bind ADDR       address to listen on (default: all interfaces)\n"
    "  --root DIR        script root (default: the configured zetoroot)\n"
    "  --data DIR        data directory (default: the configured datadir)\n"
    "  --config FILE     settings file to use (default: the per-user store)\n"
    "  --set NAME=VALUE  override one setting by its name; repeatable\n"
    "  --help            show this text\n";

namespace {

// Matches "--name VALUE" or "--name=VALUE"; advances *i past what it used.
bool TakeValue(int argc, char** argv, int* i, std::string_view name, std::string* value,
               bool* missing) {
  std::string_view arg = argv[*i];
  if (arg == name) {
    if (*i + 1 >= argc) {
      *missing = true;
      return true;
    }
    *value = argv[++*i];
    return true;
  }
  if (arg.size() > name.size() && arg.substr(0, name.size()) == name && arg[name.size()] == '=') {
    *value = std::string(arg.substr(name.size() + 1));
    return true;
  }
  return false;
}

int Usage(const char* command, const std::string& message) {
  std::fprintf(stderr, "orin %s: %s\nTry 'orin %s --help'.\n", command, message.c_str(), command);
  return 2;
}

// Options common to both commands; returns 1 when the argument was one of
// them, 0 when not, -1 on an error already reported.
int ParseSiteOption(const char* command, int argc, char** argv, int* i, SiteOptions* site) {
  std::string value;
  bool missing = false;
  std::string_view arg = argv[*i];
  if (TakeValue(argc, argv, i, "--root", &site->root, &missing) ||
      TakeValue(argc, argv, i, "--data", &site->data, &missing) ||
      TakeValue(argc, argv, i, "--config", &site->config_file, &missing)) {
    if (missing) return Usage(command, std::string(arg) + " needs a value"), -1;
    return 1;
  }
  if (TakeValue(argc, argv, i, "--set", &value, &missing)) {
    if (missing) return Usage(command, "--set needs NAME=VALUE"), -1;
    size_t eq = value.find('=');
    if (eq == std::string::npos || eq == 0) {
      return Usage(command, "--set needs NAME=VALUE, got '" + value + "'"), -1;
    }
    site->overrides.emplace_back(value.substr(0, eq), value.substr(eq + 1));
    return 1;
  }
  return 0;
}

}  // namespace

int ParseRunOptions(int argc, char** argv, RunOptions* options) {
  std::vector<std::string> positional;
  bool only_positional = false;
  for (int i = 0; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (only_positional || arg.empty() || arg[0] != '-' || arg == "-") {
      positional.emplace_back(arg);
      continue;
    }
    if (arg == "--") {
      only_positional = true;
      continue;
    }
    if (arg == "--help" || arg == "-h") {
      std::fputs(kRunHelp, stdout);
      return -1;
    }
    int site = ParseSiteOption("run", argc, argv, &i, &options->site);
    if (site < 0) return 2;
    if (site > 0) continue;
    std::string value;
    bool missing = false;
    if (TakeValue(argc, argv, &i, "--method", &options->method, &missing) ||
        TakeValue(argc, argv, &i, "--body", &options->body_file, &missing)) {
      if (missing) return Usage("run", std::string(arg) + " needs a value");
      continue;
    }
    if (TakeValue(argc, argv, &i, "--header", &value, &missing)) {
      if (missing) return Usage("run", "--header needs 'Name: value'");
      if (value.find(':') == std::string::npos) {
        return Usage("run", "--header needs 'Name: value', got '" + value + "'");
      }
      options->headers.push_back(value);
      continue;
    }
    if (arg == "--headers") {
      options->whole_response = true;
      continue;
    }
    return Usage("run", "unknown option '" + std::string(arg) + "'");
  }
  if (positional.empty()) return Usage("run", "missing SCRIPT");
  if (positional.size() > 2) return Usage("run", "too many arguments");
  options->script = positional[0];
  if (positional.size() == 2) {
    options->query = positional[1];
    options->has_query = true;
  }
  if (options->method.empty()) return Usage("run", "--method needs a value");
  return 0;
}

int ParseServeOptions(int argc, char** argv, ServeOptions* options) {
  for (int i = 0; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kServeHelp, stdout);
      return -1;
    }
    int site = ParseSiteOption("serve", argc, argv, &i, &options->site);
    if (site < 0) return 2;
    if (site > 0) continue;
    std::string value;
    bool missing = false;
    if (TakeValue(argc, argv, &i, "--port", &value, &missing)) {
      if (missing) return Usage("serve", "--port needs a number");
      char* end = nullptr;
      long port = std::strtol(value.c_str(), &end, 10);
      if (value.empty() || *end != 0 || port < 0 || port > 65535) {
        return Usage("serve", "--port needs a number from 0 to 65535, got '" + value + "'");
      }
      options->port = static_cast<int>(port);
      continue;
    }
    if (TakeValue(argc, argv, &i, "--bind", &options->bind_address, &missing)) {
      if (missing) return Usage("serve", "--bind needs an address");
      continue;
    }
    return Usage("serve", "unknown option or argument '" + std::string(arg) + "'");
  }
  return 0;
}

}  // namespace orin

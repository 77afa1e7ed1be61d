// Command-line options of the `orin` program.
#ifndef ORIN_APPS_ORIN_OPTIONS_H_
#define ORIN_APPS_ORIN_OPTIONS_H_

#include <string>
#include <utility>
#include <vector>

namespace orin {

// Options shared by `run` and `serve`.
struct SiteOptions {
  std::string root;         // script root; empty: the command's default
  std::string data;         // data directory; empty: the command's default
  std::string config_file;  // settings file; empty: the per-user store
  std::vector<std::pair<std::string, std::string>> overrides;  // --set NAME=VALUE
};

struct RunOptions {
  SiteOptions site;
  std::string method = "GET";
  std::vector<std::string> headers;  // "Name: value"
  std::string body_file;
  bool whole_response = false;  // --headers
  std::string script;
  std::string query;
  bool has_query = false;
};

struct ServeOptions {
  SiteOptions site;
  int port = -1;  // -1: the configured port
  std::string bind_address;
};

// Each parser returns 0 to go on, or the exit status to end with (after
// printing help or an error to the given streams).
int ParseRunOptions(int argc, char** argv, RunOptions* options);
int ParseServeOptions(int argc, char** argv, ServeOptions* options);

extern const char kMainHelp[];
extern const char kRunHelp[];
extern const char kServeHelp[];

}  // namespace orin

#endif  // ORIN_APPS_ORIN_OPTIONS_H_

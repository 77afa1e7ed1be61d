// The commands of the `orin` program.
#ifndef ORIN_APPS_ORIN_COMMANDS_H_
#define ORIN_APPS_ORIN_COMMANDS_H_

#include <string>

namespace orin {

struct RunSettings;
struct SiteOptions;

int RunCommand(int argc, char** argv);
int ServeCommand(int argc, char** argv);

bool BuildRunSettings(const SiteOptions& site, RunSettings* settings, std::string* error);

}  // namespace orin

#endif  // ORIN_APPS_ORIN_COMMANDS_H_

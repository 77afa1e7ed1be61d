// OrinApplication: one script run for one request.
//
// Run goes through the fixed steps: read the configuration, check the
// script root, load the program, check the data directory, build the
// machine, fill the system scope with the request, system and argument
// variables and the global scope with the query string, send the default
// headers, read the request body, then run the machine and finish the
// response. A step that fails writes its message and ends the run before
// the machine starts. The HTTP server and the `orin run` command share this
// one path; only the Request differs.
#ifndef ORIN_APP_ORIN_APPLICATION_H_
#define ORIN_APP_ORIN_APPLICATION_H_

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/error_reporter.h"
#include "app/orin_base_application.h"
#include "app/request.h"
#include "app/run_log.h"
#include "image/program_image.h"
#include "util/file_identity.h"
#include "vm/application_language_source.h"

namespace orin {

class AreaStreamOpener;
class BytesStreamOpener;
class AsyncTasks;
class ExternalCallManager;
class OrinOutput;
class SystemVariableHash;
class UserVariableHash;
class VariableHash;
class ZetoVM;

// Settings of a run that come from outside the settings file: which file,
// and values that override it (the command line's --root, --data, --set).
struct RunSettings {
  ConfigFiles files;
  std::vector<std::pair<uint32_t, std::string>> overrides;  // key, value text
  int32_t port = -1;  // the listening port's override; -1 none
};

// Applies overrides to a loaded configuration: integer keys take the
// value's number. False with *error for a value an integer key refuses.
bool ApplyConfigOverrides(Config* config,
                          const std::vector<std::pair<uint32_t, std::string>>& overrides,
                          std::string* error);

class OrinApplication : public OrinBaseApplication {
 public:
  // `script_path` is the request path with the default file appended where
  // the request named a directory ("/a/index.ztc").
  OrinApplication(Request* request, std::string script_path, RunSettings settings);
  ~OrinApplication() override;

  enum RunResult { kScriptRan = 0, kEndedBeforeScript = 1 };
  // kScriptRan when the machine ran (see script_completed()).
  int Run();
  // 1 when the machine ended normally or by exit, 0 on abort or time-out.
  int RunMachine();
  bool script_completed() const { return machine_result_ == 1; }

  std::string RequestUri() override;
  void SetCallerIdCookie() override;
  std::string NewCallerId();

  // Reports: the matching error-report entries first, then the client.
  void ReportInputError(std::string_view message) override;
  void ReportFatalError(std::string_view message) override;
  void ReportTimeout(std::string_view message) override;
  void ReportRuntimeError(int32_t tag, std::string_view message, bool display) override;

  bool ShouldTrace(std::string_view file, int32_t line) override;
  void WriteLogLine(uint32_t event, const LogField* fields) override;
  uint32_t LogLevel() override;

  // Stops the script at its next instruction (client gone, shutdown), and
  // every task it started.
  void Abort() override;
  void Tick(time_t now) override;

  // Tasks: counted against `maxasynctasks`, each on a thread of its own.
  // The run waits for them after its response is complete.
  int32_t StartAsyncTask(ZetoVM* machine, uint32_t isolation_flags) override;
  int32_t WaitForTasks(int32_t milliseconds) override;
  // Stops the tasks (the server is stopping); the script itself goes on.
  void AbortTasks();

  // Where the script area found the program and which version of the file
  // it saw, so that an unchanged program is taken from the process's
  // ProgramCache instead of being read again.
  void SetProgramFile(std::string file_path, const FileIdentity& identity) {
    program_file_ = std::move(file_path);
    program_identity_ = identity;
  }

  Request* request() const { return request_; }
  const std::string& script_path() const { return script_path_; }
  ZetoVM* machine() const { return machine_.get(); }
  OrinOutput* orin_output() const { return output_sink_.get(); }

 private:
  bool LoadConfiguration();
  bool LoadProgramFile();
  void KeepInCache(std::shared_ptr<const std::string> bytes);
  bool CheckDataDirectory();
  void BuildMachine();
  void AddRequestVariables();
  void AddArgumentVariables();
  bool AddQueryVariables();
  void AddRunVariables();
  bool ReadBody();
  std::string DocumentUrl();

  Request* request_;
  std::string script_path_;
  std::string program_file_;
  FileIdentity program_identity_;
  RunSettings settings_;
  std::unique_ptr<OrinOutput> output_sink_;
  RunLog run_log_;
  ErrorReporter error_reporter_;
  ApplicationLanguageSource language_source_{this};
  // Outlives the image: token indexes are read through it during the run.
  std::unique_ptr<AreaStreamOpener> script_opener_;
  std::unique_ptr<BytesStreamOpener> program_bytes_;
  ProgramImage image_{&language_source_};
  std::unique_ptr<SystemVariableHash> system_;
  std::unique_ptr<UserVariableHash> globals_;
  std::unique_ptr<ExternalCallManager> external_calls_;
  std::unique_ptr<ZetoVM> machine_;
  // Declared last: destroyed (joining any task) before what tasks share.
  std::unique_ptr<AsyncTasks> tasks_;
  int machine_result_ = 0;
};

}  // namespace orin

#endif  // ORIN_APP_ORIN_APPLICATION_H_

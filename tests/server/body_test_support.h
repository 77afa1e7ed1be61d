// Helpers for the body parser tests: scopes to parse into, a real data
// directory with its file manager, a minimal application for the timers and
// reports, and a stand-in for the program's two upload functions.
#ifndef ORIN_TESTS_SERVER_BODY_TEST_SUPPORT_H_
#define ORIN_TESTS_SERVER_BODY_TEST_SUPPORT_H_

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "files/file_environment.h"
#include "files/file_manager.h"
#include "image/dictionary.h"
#include "server/server_test_support.h"
#include "server/upload_handler.h"
#include "util/config.h"
#include "variables/variable.h"
#include "variables/variable_hash.h"

namespace orin {
namespace testing_support {

// The variable of a name in a scope, or null.
inline Variable* Var(VariableHash& scope, std::string_view name) {
  Variable* v = nullptr;
  scope.Find(&v, name.data(), static_cast<int64_t>(name.size()), false);
  return v;
}

inline std::string Text(Variable* v) {
  return v == nullptr ? "<none>" : v->Value().str();
}

// A value as text: scalars as they are, arrays as [a|b], structures as
// {k=v|...}; enough to compare two parses.
inline void Render(Variable* v, std::string* out) {
  AggregateElementTree* tree = v->ElementTree();
  if (tree == nullptr) {
    *out += v->Value().view();
    return;
  }
  *out += tree->by_name() ? '{' : '[';
  bool first = true;
  tree->ForEach([&](AggregateElement* e) {
    if (!first) *out += '|';
    first = false;
    if (e->Key().is_member()) *out += std::string(e->Key().name()) + "=";
    Render(e->GetVariable(), out);
  });
  *out += tree->by_name() ? '}' : ']';
}

// Every variable of a scope in entry order: "name=value;".
inline std::string RenderScope(VariableHash& scope) {
  std::string out;
  for (uint32_t e = 0; e < scope.Entries(); ++e) {
    Variable* v = scope.Index(static_cast<int32_t>(e), false);
    if (v == nullptr) continue;
    out += std::string(scope.EntryName(e)) + "=";
    Render(v, &out);
    out += ";";
  }
  return out;
}

// A data directory on disk with a file manager confined to it.
class DataArea {
 public:
  DataArea() : files_(&environment_) {
    EXPECT_TRUE(files_.SetDataDirectory(dir_.str())) << files_.ErrorText();
  }
  FileManager* files() { return &files_; }
  const std::filesystem::path& path() const { return dir_.path(); }
  // Names of the files in the directory.
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir_.path()))
      names.push_back(e.path().filename().string());
    return names;
  }
  std::string Read(const std::string& relative) const {
    std::ifstream in(dir_.path() / relative, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }

 private:
  TempDir dir_;
  SimpleFileEnvironment environment_;
  FileManager files_;
};

// The application as the body reader sees it: configuration, timers and
// the two reports, which it records.
class BodyTestApplication : public ZetoApplication {
 public:
  explicit BodyTestApplication(FileManager* files) : files_(files) {}

  FileManager* GetFileManager() override { return files_; }
  Config* GetConfig() override { return &config_; }
  Output* GetOutput() override { return nullptr; }
  Output* SetOutput(Output*) override { return nullptr; }
  int32_t WriteError(const char* text, int32_t length) override {
    written_.emplace_back(text, static_cast<size_t>(length));
    return length;
  }
  void ReportInputError(std::string_view message) override {
    reports_.push_back("input: " + std::string(message));
    ZetoApplication::ReportInputError(message);
  }
  void ReportTimeout(std::string_view message) override {
    reports_.push_back("timeout: " + std::string(message));
    ZetoApplication::ReportTimeout(message);
  }

  // What the watchdog does when the POST deadline has passed.
  void ExpirePostTimer() { post_timed_out_ = 1; }
  // The POST deadline on the monotonic clock; 0 when the timer is stopped.
  int64_t post_deadline_ms() const { return post_deadline_ms_; }

  Config& config() { return config_; }
  const std::vector<std::string>& reports() const { return reports_; }
  const std::vector<std::string>& written() const { return written_; }

 private:
  FileManager* files_;
  Config config_;
  std::vector<std::string> reports_;
  std::vector<std::string> written_;
};

// Stands in for the program's upload functions: defines those it is told
// to, answers the validation with a chosen limit, and records every call
// with its arguments, plus what the temporary file held when the
// processing function was called.
class RecordingUploads : public UploadHandler {
 public:
  struct Call {
    std::string function;
    std::vector<std::string> args;
    std::optional<std::string> file;  // the upload's bytes, when it existed
  };

  explicit RecordingUploads(const DataArea* area) : area_(area) {
    functions["Zeto_ValidateFileUpload"] = 3;
    functions["Zeto_ProcessFileUpload"] = 6;
  }

  bool FindFunction(std::string_view name, int* parameter_count) override {
    auto it = functions.find(std::string(name));
    if (it == functions.end()) return false;
    *parameter_count = it->second;
    return true;
  }
  bool CallFunction(std::string_view name, const std::vector<Variable*>& args,
                    Variable* result) override {
    Call call{std::string(name), {}, std::nullopt};
    for (Variable* a : args)
      call.args.push_back(a->Value().str());
    bool validate = name == "Zeto_ValidateFileUpload";
    if (!validate && call.args.size() == 6 &&
        std::filesystem::exists(area_->path() / call.args[3])) {
      call.file = area_->Read(call.args[3]);
    }
    calls.push_back(std::move(call));
    events.push_back(std::string(name));
    if (validate) {
      result->SetValue_Integer(limit);
      return !fail_validate;
    }
    return !fail_process;
  }
  void RestartGlobalTimer() override { events.push_back("global"); }
  void StartPostTimer() override { events.push_back("post start"); }
  void StopPostTimer() override { events.push_back("post stop"); }

  // Calls of one function.
  std::vector<Call> CallsOf(std::string_view function) const {
    std::vector<Call> out;
    for (const Call& c : calls)
      if (c.function == function) out.push_back(c);
    return out;
  }

  std::map<std::string, int> functions;  // name -> parameter count
  int32_t limit = 0;
  bool fail_validate = false;
  bool fail_process = false;
  std::vector<Call> calls;
  std::vector<std::string> events;  // calls and timer operations in order

 private:
  const DataArea* area_;
};

// A multipart body as browsers build it.
struct FormPart {
  std::string name;
  std::optional<std::string> filename;
  std::string type;  // Content-Type of the part; empty: none
  std::string data;
};

inline std::string MultipartBody(std::string_view boundary, const std::vector<FormPart>& parts) {
  std::string body;
  for (const FormPart& p : parts) {
    body += "--" + std::string(boundary) + "\r\n";
    body += "Content-Disposition: form-data; name=\"" + p.name + "\"";
    if (p.filename) body += "; filename=\"" + *p.filename + "\"";
    body += "\r\n";
    if (!p.type.empty()) body += "Content-Type: " + p.type + "\r\n";
    body += "\r\n" + p.data + "\r\n";
  }
  body += "--" + std::string(boundary) + "--\r\n";
  return body;
}

// Bytes of every value, deterministic.
inline std::string PatternBytes(size_t n, uint32_t seed) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) {
    seed = seed * 1103515245u + 12345u;
    s[i] = static_cast<char>(seed >> 16);
  }
  return s;
}

}  // namespace testing_support
}  // namespace orin

#endif  // ORIN_TESTS_SERVER_BODY_TEST_SUPPORT_H_

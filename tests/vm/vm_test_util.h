// An in-process harness for the machine: assemble source text, load it the
// way the runtime does, build the scopes and run it against a small
// application that keeps the output, headers, error reports and log lines
// in memory.
#ifndef ORIN_TESTS_VM_VM_TEST_UTIL_H_
#define ORIN_TESTS_VM_VM_TEST_UTIL_H_

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "asm/assembler.h"
#include "files/file_manager.h"
#include "image/program_image.h"
#include "output/output.h"
#include "util/config.h"
#include "util/memory_stream.h"
#include "variables/decimal.h"
#include "variables/variable_hash.h"
#include "vm/external_call.h"
#include "vm/zeto_application.h"
#include "vm/zeto_vm.h"

namespace orin::test {

// Keeps the body and the headers.
class StringOutput : public Output {
 public:
  using Output::SetHeader;
  using Output::Write;
  int32_t Write(const char* data, int32_t length) override {
    length = Measure(data, length);
    body.append(data, static_cast<size_t>(length));
    NoteLast(data, length);
    return length;
  }
  int32_t SetHeader(const char* name, int32_t name_length, bool owns_name, const char* value,
                    int32_t value_length, bool owns_value) override {
    headers[std::string(name, Measure(name, name_length))] =
        std::string(value, Measure(value, value_length));
    FreeOwned(name, owns_name);
    FreeOwned(value, owns_value);
    return 1;
  }
  int32_t Flush() override { return 0; }
  int32_t OutputKind() override { return kOutputHttp; }

  std::string body;
  std::map<std::string, std::string> headers;
};

struct RuntimeReport {
  int32_t tag;
  std::string text;
  bool display;
};

struct LogLine {
  uint32_t event;
  std::vector<std::string> fields;
};

class TestApplication : public ZetoApplication {
 public:
  TestApplication() : files_(&environment_) {}

  FileManager* GetFileManager() override { return &files_; }
  Config* GetConfig() override { return &config_; }
  Output* GetOutput() override { return output_; }
  Output* SetOutput(Output* sink) override {
    Output* old = output_;
    if (old != nullptr && sink != nullptr) sink->SetMode(old->GetMode());
    output_ = sink;
    return old;
  }
  int32_t WriteError(const char* text, int32_t length) override {
    written_errors.append(text, static_cast<size_t>(length < 0 ? std::strlen(text) : length));
    return length;
  }
  void ReportFatalError(std::string_view message) override {
    fatal.emplace_back(message);
    ZetoApplication::ReportFatalError(message);
  }
  void ReportTimeout(std::string_view message) override { timeouts.emplace_back(message); }
  void ReportRuntimeError(int32_t tag, std::string_view message, bool display) override {
    runtime.push_back({tag, std::string(message), display});
    ZetoApplication::ReportRuntimeError(tag, message, display);
  }
  bool ShouldTrace(std::string_view file, int32_t line) override {
    return trace_filter ? trace_filter(file, line) : true;
  }
  void WriteLogLine(uint32_t event, const LogField* fields) override;

  Config& config() { return config_; }
  SimpleFileEnvironment& environment() { return environment_; }
  FileManager& files() { return files_; }

  StringOutput output;
  std::string written_errors;  // everything WriteError got
  std::vector<std::string> fatal;
  std::vector<std::string> timeouts;
  std::vector<RuntimeReport> runtime;
  std::vector<LogLine> log;
  std::function<bool(std::string_view, int32_t)> trace_filter;

 private:
  SimpleFileEnvironment environment_;
  FileManager files_;
  Config config_;
  Output* output_ = &output;
};

inline void TestApplication::WriteLogLine(uint32_t event, const LogField* fields) {
  LogLine line{event, {}};
  for (const LogField* f = fields; f->type != LogField::kEnd; ++f) {
    switch (f->type) {
      case LogField::kText:
        line.fields.emplace_back(static_cast<const char*>(f->data), static_cast<size_t>(f->length));
        break;
      case LogField::kInteger:
        line.fields.push_back(std::to_string(*static_cast<const int32_t*>(f->data)));
        break;
      case LogField::kVariable:
        line.fields.push_back(
            f->data ? static_cast<Variable*>(const_cast<void*>(f->data))->Value().str() : "");
        break;
      default:
        line.fields.emplace_back("?");
    }
  }
  log.push_back(std::move(line));
}

// A program assembled from source, loaded, with live scopes and (on first
// use) a machine over it.
class VmRun {
 public:
  explicit VmRun(std::string_view source, std::string_view path = "/test/t.ztc") : path_(path) {
    std::string error;
    bytes_ = AssembleOrEmpty(source, &error);
    EXPECT_FALSE(bytes_.empty()) << error;
    stream_ = std::make_unique<MemoryStream>(bytes_);
    loaded_ = !bytes_.empty() && file_.Attach("t.ztc", stream_.get()) &&
              image.Load(file_, LoadOrder::kMainScript);
    EXPECT_TRUE(loaded_) << image.failed_section() << ": " << image.ErrorText();
    system = std::make_unique<SystemVariableHash>(&image.dictionary, &image.system_variables);
    globals = std::make_unique<UserVariableHash>(&image.dictionary, &image.global_variables);
  }

  ZetoVM& vm() {
    if (!vm_) {
      ZetoProgram program;
      program.dictionary = &image.dictionary;
      program.system = system.get();
      program.globals = globals.get();
      program.segments = &image.segments;
      program.functions = &image.functions;
      program.external_calls = &calls;
      program.languages = &image.languages;
      program.localized = &image.localized_dictionary;
      vm_ = std::make_unique<ZetoVM>(path_, &app, program);
    }
    return *vm_;
  }
  int Run() { return vm().Run(); }
  // Runs and returns what was written.
  std::string Output() {
    Run();
    return app.output.body;
  }
  const std::string& out() const { return app.output.body; }
  std::string Global(std::string_view name) {
    Variable* v = nullptr;
    globals->Find(&v, name.data(), static_cast<int64_t>(name.size()), false);
    return v != nullptr ? v->Value().str() : "<none>";
  }
  bool HasGlobal(std::string_view name) {
    Variable* v = nullptr;
    globals->Find(&v, name.data(), static_cast<int64_t>(name.size()), false);
    return v != nullptr;
  }
  std::string FirstFatal() const { return app.fatal.empty() ? "" : app.fatal.front(); }

  TestApplication app;
  ProgramImage image;
  std::unique_ptr<SystemVariableHash> system;
  std::unique_ptr<UserVariableHash> globals;
  ExternalCallManager calls;

 private:
  std::string path_;
  std::string bytes_;
  std::unique_ptr<MemoryStream> stream_;
  TaggedFile file_;
  bool loaded_ = false;
  std::unique_ptr<ZetoVM> vm_;
};

// The message part of a fatal or runtime error text.
inline std::string MessageOf(const std::string& text) {
  size_t colon = text.rfind(": ");
  std::string m = colon == std::string::npos ? text : text.substr(colon + 2);
  if (!m.empty() && m.back() == '\n') m.pop_back();
  return m;
}

}  // namespace orin::test

#endif  // ORIN_TESTS_VM_VM_TEST_UTIL_H_

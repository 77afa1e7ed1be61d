// Runs a program on the machine and prints the processor time the run took.
//
// Usage: vm_bench PROGRAM [repeats, default 1]
// PROGRAM is assembler source (.zasm) or a compiled file (.ztc). The run
// has no client: output is collected and printed after the timing line,
// so that the program can show its result. With repeats > 1 the best
// time is printed.
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "asm/assembler.h"
#include "files/file_manager.h"
#include "image/program_image.h"
#include "output/null_output.h"
#include "util/config.h"
#include "util/memory_stream.h"
#include "variables/variable_hash.h"
#include "vm/external_call.h"
#include "vm/zeto_vm.h"

namespace {

class BenchApplication : public orin::ZetoApplication {
 public:
  BenchApplication()
      : files_(&environment_), output_([this](const char* data, int32_t length) {
          printed.append(data, static_cast<size_t>(length));
          return length;
        }) {}
  orin::FileManager* GetFileManager() override { return &files_; }
  orin::Config* GetConfig() override { return &config_; }
  orin::Output* GetOutput() override { return current_; }
  orin::Output* SetOutput(orin::Output* sink) override {
    orin::Output* old = current_;
    current_ = sink;
    return old;
  }
  int32_t WriteError(const char* text, int32_t length) override {
    std::fwrite(text, 1, length < 0 ? std::char_traits<char>::length(text) : length, stderr);
    return length;
  }
  std::string printed;

 private:
  orin::SimpleFileEnvironment environment_;
  orin::FileManager files_;
  orin::Config config_;
  orin::NullOutput output_;
  orin::Output* current_ = &output_;
};

bool ReadFile(const char* path, std::string* out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream s;
  s << in.rdbuf();
  *out = s.str();
  return true;
}

bool EndsWith(const std::string& s, const char* suffix) {
  size_t n = std::char_traits<char>::length(suffix);
  return s.size() >= n && s.compare(s.size() - n, n, suffix) == 0;
}

// One load and run; returns the seconds of the run, or -1.
double RunOnce(const std::string& bytes, std::string* printed) {
  orin::MemoryStream stream(bytes);
  orin::TaggedFile file;
  orin::ProgramImage image;
  if (!file.Attach("bench.ztc", &stream) || !image.Load(file, orin::LoadOrder::kMainScript)) {
    std::fprintf(stderr, "vm_bench: cannot load: %s\n", image.ErrorText().c_str());
    return -1;
  }
  orin::SystemVariableHash system(&image.dictionary, &image.system_variables);
  orin::UserVariableHash globals(&image.dictionary, &image.global_variables);
  orin::ExternalCallManager calls;
  BenchApplication app;
  orin::ZetoProgram program{
      &image.dictionary, &system, &globals,         &image.segments,
      &image.functions,  &calls,  &image.languages, &image.localized_dictionary};
  orin::ZetoVM vm("/bench.ztc", &app, program);
  auto start = std::chrono::steady_clock::now();
  int result = vm.Run();
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  vm.Release();
  if (result != 1) {
    std::fprintf(stderr, "vm_bench: the run failed: %s\n", vm.ErrorText().c_str());
    return -1;
  }
  *printed = app.printed;
  return seconds;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::string(argv[1]) == "--help") {
    std::printf(
        "usage: vm_bench PROGRAM.zasm|PROGRAM.ztc [REPEATS]\n"
        "Assembles PROGRAM when it is assembler source, runs it REPEATS times\n"
        "(default 1) and prints the best run's seconds, then the program's output.\n");
    return 0;
  }
  if (argc < 2) {
    std::fprintf(stderr, "usage: vm_bench PROGRAM.zasm|PROGRAM.ztc [repeats]\n");
    return 2;
  }
  std::string path = argv[1], source, bytes;
  if (!ReadFile(argv[1], &source)) {
    std::fprintf(stderr, "vm_bench: cannot read %s\n", argv[1]);
    return 1;
  }
  if (EndsWith(path, ".ztc")) {
    bytes = source;
  } else {
    std::string error;
    bytes = orin::AssembleOrEmpty(source, &error);
    if (bytes.empty()) {
      std::fprintf(stderr, "%s", error.c_str());
      return 1;
    }
  }
  int repeats = argc > 2 ? std::max(1, std::atoi(argv[2])) : 1;
  double best = -1;
  std::string printed;
  for (int i = 0; i < repeats; ++i) {
    double seconds = RunOnce(bytes, &printed);
    if (seconds < 0) return 1;
    if (best < 0 || seconds < best) best = seconds;
  }
  std::printf("%.6f\n%s", best, printed.c_str());
  return 0;
}

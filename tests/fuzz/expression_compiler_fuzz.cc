// Compiles arbitrary text as a run-time expression into a fresh program
// that has script functions (one private), globals and a library function.
// Compiling the same text twice must give the same code, and whatever
// compiled must run to an end without crashing; a watchdog stops a run that
// takes longer than a second the way the run's time-out would.
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

#include "asm/assembler.h"
#include "image/program_image.h"
#include "image/segment.h"
#include "output/null_output.h"
#include "util/config.h"
#include "util/memory_stream.h"
#include "variables/variable_hash.h"
#include "vm/expression_compiler.h"
#include "vm/external_call.h"
#include "vm/zeto_application.h"
#include "vm/zeto_vm.h"

namespace {

constexpr const char* kProgram = R"(
.func add(a, b)
        pushl a
        pushl b
        add
        ret
.end
.func greet(&who)
        pushc "hi "
        pushl who
        cat
        ret
.end
.func hidden() private
        pushi 7
        ret
.end
        storegi n, 5
        pushc "text"
        popg s
)";

class FuzzApplication : public orin::ZetoApplication {
 public:
  orin::FileManager* GetFileManager() override { return nullptr; }
  orin::Config* GetConfig() override { return &config_; }
  orin::Output* GetOutput() override { return &output_; }
  orin::Output* SetOutput(orin::Output* sink) override { return sink; }
  int32_t WriteError(const char*, int32_t length) override { return length; }

 private:
  orin::Config config_;
  orin::NullOutput output_;
};

void Twice(orin::ZetoVM*, orin::VariableHash* parameters, orin::Variable* result, void**) {
  uint32_t value = static_cast<uint32_t>(parameters->Index(0, true)->Value_Integer());
  result->SetValue_Integer(static_cast<int32_t>(value * 2u));
}

const orin::ZetoFunctionParameterRecord kTwiceParameters[1] = {};
const orin::ZetoFunctionEntry kLibrary[] = {{"twice", 5, 1, kTwiceParameters, Twice},
                                            {nullptr, 0, 0, nullptr, nullptr}};

// The run's flags, and a watchdog that sets the time-out flag once the
// current run has taken more than a second (0: nothing running).
std::atomic<int32_t> g_timed_out{0};
std::atomic<int32_t> g_exit{0};
std::atomic<uint32_t> g_signals{0};
std::atomic<int64_t> g_started_ms{0};

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void StartWatchdog() {
  static std::once_flag once;
  std::call_once(once, [] {
    std::thread([] {
      for (;;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        int64_t started = g_started_ms.load();
        if (started != 0 && NowMs() - started > 1000) g_timed_out.store(1);
      }
    }).detach();
  });
}

std::string CodeOf(const orin::Segment* s) {
  return std::string(reinterpret_cast<const char*>(s->code()), s->length());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string program = orin::AssembleOrEmpty(kProgram);
  if (program.empty()) std::abort();
  StartWatchdog();

  orin::MemoryStream stream(program);
  orin::TaggedFile file;
  orin::ProgramImage image;
  if (!file.Attach("fuzz.ztc", &stream) || !image.Load(file, orin::LoadOrder::kMainScript)) {
    std::abort();
  }
  orin::SystemVariableHash system(&image.dictionary, &image.system_variables);
  orin::UserVariableHash globals(&image.dictionary, &image.global_variables);
  orin::ExternalCallManager calls;
  calls.AddFunctionTable(nullptr, kLibrary);
  FuzzApplication app;
  orin::ZetoProgram p{&image.dictionary, &system, &globals,         &image.segments,
                      &image.functions,  &calls,  &image.languages, &image.localized_dictionary};
  g_timed_out.store(0);
  g_exit.store(0);
  orin::ZetoVM_Flags flags{&g_timed_out, &g_exit, &g_signals};
  orin::ZetoVM vm("/fuzz.ztc", &app, p, nullptr, &flags);
  vm.Run();

  std::string_view text(reinterpret_cast<const char*>(data), size);
  auto compile = [&] {
    orin::ExpressionCompiler compiler(&calls, &image.segments, &image.dictionary, &image.functions);
    compiler.SetSource("fuzz.zts", 3);
    orin::Segment* code = compiler.Compile(text);
    if (code == nullptr && compiler.ErrorText().empty()) std::abort();
    return code;
  };
  orin::Segment* first = compile();
  orin::Segment* second = compile();
  if ((first == nullptr) != (second == nullptr)) std::abort();
  if (first == nullptr) return 0;
  if (CodeOf(first) != CodeOf(second)) std::abort();
  first->SetFlags(orin::Segment::kRestricted);

  g_started_ms.store(NowMs());
  std::string out;
  vm.ExecuteSegmentString(first, nullptr, &out);
  g_started_ms.store(0);
  return 0;
}

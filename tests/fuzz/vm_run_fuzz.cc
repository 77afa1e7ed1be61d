// Runs arbitrary bytes on the machine. An input that starts with the
// container's magic "Zeto" is loaded as a whole compiled file; any other
// input becomes the code of the start segment of a fixed program that has
// globals, system variables, script, private and external functions and a
// second segment to call into. Every run must end (a watchdog thread sets
// the time-out flag of a run that goes on) with the machine's own result,
// and never crash or leak.
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include "asm/assembler.h"
#include "files/file_manager.h"
#include "image/program_image.h"
#include "image/segment.h"
#include "output/null_output.h"
#include "util/config.h"
#include "util/memory_stream.h"
#include "variables/variable_hash.h"
#include "variables/variable_list.h"
#include "vm/external_call.h"
#include "vm/zeto_vm.h"

namespace {

constexpr char kTemplate[] = R"(
.system sv
.global a, b, c
.func add(x, y)
        pushl x
        pushl y
        add
        ret
.end
.func swap(&x, &y)
        pushl x
        pushl y
        popl x
        popl y
        retn
.end
.func deep(n) private
        pushl n
        pushi 1
        sub
        popl n
        cmpgi a, 0
        jmp_eq done
        pushl n
        call deep
        pop
done:   retn
.end
.func twice(v) external
.segment
        pushi 6
        pushg a
        mul
)";

class FuzzApplication : public orin::ZetoApplication {
 public:
  FuzzApplication() : files_(&environment_) {
    files_.SetDataDirectory(DataDirectory());
    environment_.set_file_delay(1);
  }
  orin::FileManager* GetFileManager() override { return &files_; }
  orin::Config* GetConfig() override { return &config_; }
  orin::Output* GetOutput() override { return current_; }
  orin::Output* SetOutput(orin::Output* sink) override {
    orin::Output* old = current_;
    if (old != nullptr && sink != nullptr) sink->SetMode(old->GetMode());
    current_ = sink;
    return old;
  }
  int32_t WriteError(const char*, int32_t length) override { return length; }
  orin::SimpleFileEnvironment& environment() { return environment_; }

 private:
  static std::string DataDirectory() {
    static std::string dir = [] {
      std::string pattern = "/tmp/orin-vm-fuzz-XXXXXX";
      return mkdtemp(pattern.data()) != nullptr ? pattern : std::string("/tmp");
    }();
    return dir;
  }

  orin::SimpleFileEnvironment environment_;
  orin::FileManager files_;
  orin::Config config_;
  orin::NullOutput output_;
  orin::Output* current_ = &output_;
};

// Ends runs that go on: a run that is still the same one after the limit
// gets its time-out flag set, as the application's watchdog would.
class Watchdog {
 public:
  Watchdog() : thread_([this] { Loop(); }) { thread_.detach(); }
  void Start(std::atomic<int32_t>* flag) {
    flag_.store(flag);
    generation_.fetch_add(1);
  }
  void Stop() {
    flag_.store(nullptr);
    generation_.fetch_add(1);
  }

 private:
  void Loop() {
    uint64_t seen = 0;
    int ticks = 0;
    for (;;) {
      std::this_thread::sleep_for(std::chrono::milliseconds(4));
      uint64_t now = generation_.load();
      ticks = now == seen ? ticks + 1 : 0;
      seen = now;
      std::atomic<int32_t>* flag = flag_.load();
      if (ticks >= 3 && flag != nullptr) flag->store(1);
    }
  }
  std::atomic<std::atomic<int32_t>*> flag_{nullptr};
  std::atomic<uint64_t> generation_{0};
  std::thread thread_;
};

void Twice(orin::ZetoVM*, orin::VariableHash* parameters, orin::Variable* result, void**) {
  if (parameters == nullptr) return;
  orin::Variable* v = parameters->Index(0, false);
  if (v != nullptr)
    result->SetValue_Integer(static_cast<int32_t>(static_cast<uint32_t>(v->Value_Integer()) * 2u));
}

const orin::ZetoFunctionParameterRecord kByValue = {{}, 0};
const orin::ZetoFunctionEntry kLibrary[] = {
    {"twice", 5, 1, &kByValue, Twice},
    {nullptr, 0, 0, nullptr, nullptr},
};

const std::string& TemplateBytes() {
  static const std::string bytes = orin::AssembleOrEmpty(kTemplate);
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Watchdog* watchdog = new Watchdog;
  std::string input(reinterpret_cast<const char*>(data), size);
  bool whole_file = input.compare(0, 4, "Zeto") == 0;

  orin::MemoryStream stream(whole_file ? input : TemplateBytes());
  orin::TaggedFile file;
  orin::ProgramImage image;
  if (!file.Attach("fuzz.ztc", &stream) || !image.Load(file, orin::LoadOrder::kMainScript)) {
    return 0;
  }
  if (!whole_file) {
    image.segments.SetSegment(
        0, std::make_unique<orin::Segment>(0, std::vector<uint8_t>(input.begin(), input.end())));
    image.segments.SetStart(0);
    // Half the inputs run as code compiled for another file's call.
    if (size > 0 && (data[0] & 1) != 0) image.segments.Get(0)->SetFlags(orin::Segment::kRestricted);
  }
  orin::SystemVariableHash system(&image.dictionary, &image.system_variables);
  orin::UserVariableHash globals(&image.dictionary, &image.global_variables);
  orin::ExternalCallManager calls;
  calls.AddFunctionTable(nullptr, kLibrary);
  FuzzApplication app;
  orin::ZetoProgram program{
      &image.dictionary, &system, &globals,         &image.segments,
      &image.functions,  &calls,  &image.languages, &image.localized_dictionary};
  {
    orin::ZetoVM vm("/fuzz.ztc", &app, program);
    app.environment().SetDeadline(std::chrono::milliseconds(100));
    watchdog->Start(&app.timed_out_flag());
    int result = vm.Run();
    bool aborted = vm.Aborted();
    // Callbacks and compiled segments after the run, as applications use them.
    if (!aborted) {
      orin::VariableList arguments;
      orin::VarRef n = orin::NewVariable();
      n->SetValue_Integer(3);
      arguments.Insert(n.get());
      vm.RunFunction("deep", &arguments, nullptr);
      int32_t value;
      if (!whole_file) {
        vm.ExecuteSegmentInteger(image.segments.Get(image.segments.Count() - 1), nullptr, &value);
      }
    }
    watchdog->Stop();
    if (result != 0 && result != 1) std::abort();
    if ((result == 0) != aborted) std::abort();
    vm.Release();
  }
  return 0;
}

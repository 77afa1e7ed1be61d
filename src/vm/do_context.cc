#include "vm/do_context.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "files/file_manager.h"
#include "image/program_image.h"
#include "output/output.h"
#include "util/config.h"
#include "variables/forwarding_variable_hash.h"
#include "variables/variable_hash.h"
#include "vm/application_language_source.h"
#include "vm/expression_compiler.h"
#include "vm/zeto_vm.h"

namespace orin {

namespace {

constexpr int32_t kDoTag = 22;

LogField TextField(std::string_view text) {
  return {LogField::kText, text.data(), static_cast<int32_t>(text.size())};
}

// The calling frame's output mode is the output's again.
void RestoreOutputMode(ZetoVM& vm) {
  if (Output* out = vm.CurrentOutput()) out->SetMode(vm.CurrentFrame()->output_mode());
}

// A dictionary string left on the caller's stack would point into the
// file's program, which an eviction may free: the caller gets a copy.
void OwnTop(ZetoVM_Stack* stack) {
  Operand& top = stack->FromTop(0);
  if (top.kind != OperandKind::kString || IsOwned(top)) return;
  auto* copy = static_cast<char*>(std::malloc(static_cast<size_t>(top.length) + 1));
  if (copy == nullptr) throw std::bad_alloc();
  if (top.length > 0) std::memcpy(copy, top.value.string, top.length);
  copy[top.length] = 0;
  top = StringOperand(copy, top.length, top.length + 1, true);
}

void TrimStack(ZetoVM_Stack* stack, uint32_t height) {
  while (stack->count() > height) {
    Operand extra = stack->PopUnchecked();
    ReleaseOperand(&extra);
  }
}

}  // namespace

// --- DoContext ---

DoContext::DoContext(std::string path, std::string full_path)
    : path_(std::move(path)), full_path_(std::move(full_path)) {}

DoContext::~DoContext() = default;

bool DoContext::Load(ZetoVM* root) {
  ZetoApplication* app = root->application();
  opener_ = std::make_unique<AreaStreamOpener>(app->GetFileManager(), kScriptArea);
  language_source_ = std::make_unique<ApplicationLanguageSource>(app);
  image_ = std::make_unique<ProgramImage>(language_source_.get());
  if (!LoadProgram(opener_.get(), path_, LoadOrder::kDoFile, image_.get(), &error_)) return false;
  system_ = std::make_unique<ForwardingVariableHash>(&image_->dictionary, &image_->system_variables,
                                                     root->System());
  globals_ = std::make_unique<UserVariableHash>(&image_->dictionary, &image_->global_variables);
  ZetoProgram program;
  program.dictionary = &image_->dictionary;
  program.system = system_.get();
  program.globals = globals_.get();
  program.segments = &image_->segments;
  program.functions = &image_->functions;
  program.external_calls = root->external_calls();
  program.languages = &image_->languages;
  program.localized = &image_->localized_dictionary;
  machine_ = std::make_unique<ZetoVM>(path_, app, program, root);
  return true;
}

bool DoContext::RunFile() {
  Use use(this);
  SegmentManager* segments = machine_->segments();
  Segment* start = segments->StartSegment();
  if (start == nullptr) {
    machine_->FatalError("Invalid segment reference");
    return false;
  }
  auto stack = std::make_unique<ZetoVM_Stack>();
  return machine_->ExecuteSegment(start, globals_.get(), stack.get());
}

Segment* DoContext::Expression(std::string_view text, ZetoVM& caller, std::string* error) {
  auto found = expressions_.find(std::string(text));
  if (found != expressions_.end()) return image_->segments.Get(found->second);
  ExpressionCompiler compiler(machine_->external_calls(), &image_->segments, &image_->dictionary,
                              &image_->functions, caller.functions());
  compiler.SetSource(caller.SourceFileName(), caller.line());
  Segment* code = compiler.Compile(text);
  if (code == nullptr) {
    *error = compiler.ErrorText();
    return nullptr;
  }
  code->SetFlags(code->flags() | Segment::kRestricted);
  expressions_.emplace(std::string(text), code->number());
  return code;
}

bool DoContext::RunExpression(Segment* code, ZetoVM& caller) {
  Use use(this);
  return machine_->ExecuteSegment(code, caller.Locals(), caller.CurrentStack());
}

// --- DoContextCache ---

DoContextCache::~DoContextCache() = default;

DoContext* DoContextCache::Get(ZetoVM& caller, std::string_view name) {
  std::string joined;
  if (name.empty() || (name[0] != '/' && name[0] != '\\')) {
    const std::string& directory = caller.script_directory();
    joined.append(directory.empty() ? std::string_view("/") : std::string_view(directory));
  }
  joined.append(name);
  FileManager* files = root_->application()->GetFileManager();
  FilePath resolved;
  if (files == nullptr || !files->ResolvePath(kScriptArea, joined, &resolved)) {
    caller.RuntimeError(
        kDoTag, files != nullptr ? files->ErrorText() : "There is no configured script directory");
    return nullptr;
  }
  std::string full_path = resolved.Canonical();
  for (auto it = contexts_.begin(); it != contexts_.end(); ++it) {
    if ((*it)->full_path() == full_path) {
      contexts_.splice(contexts_.begin(), contexts_, it);
      return contexts_.front().get();
    }
  }
  Config* config = root_->application()->GetConfig();
  int32_t limit = config != nullptr ? config->GetInt(config_key::kMaxDoCache) : 0;
  if (limit > 0) MakeRoom(static_cast<size_t>(limit));
  auto context = std::make_unique<DoContext>(FilePath(joined).Canonical(), full_path);
  if (!context->Load(root_)) {
    caller.RuntimeError(kDoTag, context->ErrorText());
    return nullptr;
  }
  contexts_.push_front(std::move(context));
  return contexts_.front().get();
}

void DoContextCache::MakeRoom(size_t limit) {
  auto it = contexts_.end();
  while (contexts_.size() >= limit && it != contexts_.begin()) {
    --it;
    if (!(*it)->in_use()) it = contexts_.erase(it);
  }
}

DoContextCache::Nesting::Nesting(DoContextCache& cache, ZetoVM& caller) : cache_(cache) {
  ok_ = ++cache_.nesting_ <= kMaxNesting;
  if (!ok_) caller.FatalError("Stack overflow");
}

void DoContextCache::SignalFeatures() {
  for (const auto& context : contexts_) {
    FeatureStack& features = context->machine()->Features();
    for (size_t i = 0; i < features.size(); ++i)
      features.At(i)->Signal();
  }
}

// --- Instructions ---

void DoFile(ZetoVM& vm, const TagInstruction&) {
  std::string name;
  if (!vm.PopText(&name)) return;
  DoContextCache::Nesting nesting(vm.DoContexts(), vm);
  if (!nesting.ok()) return;
  DoContext* context = vm.DoContexts().Get(vm, name);
  if (context == nullptr) return;
  if (vm.Tracing(kLogDoEnter)) vm.WriteTrace(kLogDoEnter, {TextField(context->path())});
  if (!context->RunFile()) {
    vm.AbortWith(context->machine()->ErrorText());
    return;
  }
  RestoreOutputMode(vm);
  if (vm.Tracing(kLogDoExit)) vm.WriteTrace(kLogDoExit, {TextField(context->path())});
  vm.ResetTracedLine();
}

void DoFunction(ZetoVM& vm, const TagInstruction&) {
  std::string text, name;
  if (!vm.PopText(&text) || !vm.PopText(&name)) return;
  DoContextCache::Nesting nesting(vm.DoContexts(), vm);
  if (!nesting.ok()) {
    vm.PushVariable(nullptr);
    return;
  }
  DoContext* context = vm.DoContexts().Get(vm, name);
  Segment* code = nullptr;
  if (context != nullptr) {
    std::string error;
    code = context->Expression(text, vm, &error);
    if (code == nullptr) vm.RuntimeError(kDoTag, error);
  }
  if (code == nullptr) {
    vm.PushVariable(nullptr);
    return;
  }
  ZetoVM_Stack* stack = vm.CurrentStack();
  uint32_t before = stack->count();
  if (!context->RunExpression(code, vm)) {
    TrimStack(stack, before);
    vm.AbortWith(context->machine()->ErrorText());
    vm.PushVariable(nullptr);
    return;
  }
  TrimStack(stack, before + 1);
  if (stack->count() > before) {
    OwnTop(stack);
  } else {
    vm.PushVariable(nullptr);
  }
  RestoreOutputMode(vm);
}

}  // namespace orin

// ZtDO: running another compiled file, whole or one function call of it,
// beside the calling program.
//
// A DoContext is one such file for the rest of a run: its own program
// (dictionary, segments, functions, localized texts, globals), the run's
// system variables seen through a table laid out for it, and a machine over
// them whose parent is the run's root machine (it shares the run's flags
// and databases). Its globals persist from one ZtDO to the next.
//
// The root machine keeps the run's contexts in a DoContextCache, most
// recently used first. With a limit configured (`maxdocache`), a miss first
// evicts contexts that are not running, from the least recently used end,
// until there is room; running contexts are never evicted.
//
// Names: one starting with '/' (or '\') is taken from the script root, any
// other from the calling script's directory.
#ifndef ORIN_VM_DO_CONTEXT_H_
#define ORIN_VM_DO_CONTEXT_H_

#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

#include "vm/tag_instructions.h"

namespace orin {

class AreaStreamOpener;
class ApplicationLanguageSource;
class ForwardingVariableHash;
class ProgramImage;
class Segment;
class UserVariableHash;
class ZetoVM;

class DoContext {
 public:
  // `path` is the file's name below the script root ("/a/b.ztc"); the
  // cache key is `full_path`, the file system's.
  DoContext(std::string path, std::string full_path);
  ~DoContext();
  DoContext(const DoContext&) = delete;
  DoContext& operator=(const DoContext&) = delete;

  // Loads the file through the run's file manager and builds its machine
  // (parent `root`). False with ErrorText (the user's message).
  bool Load(ZetoVM* root);
  const std::string& ErrorText() const { return error_; }

  const std::string& path() const { return path_; }
  const std::string& full_path() const { return full_path_; }
  ZetoVM* machine() const { return machine_.get(); }
  bool in_use() const { return use_count_ > 0; }
  size_t expression_count() const { return expressions_.size(); }

  // Runs the file from the start of its start segment with its globals as
  // locals and a stack of its own. False when it aborted or timed out.
  bool RunFile();
  // The code of a call expression, compiled for this file on first use
  // (stamped with the caller's source position, calling external functions
  // of the caller's program as well, and restricted: it cannot call the
  // file's private functions). Null with *error on a compile error.
  Segment* Expression(std::string_view text, ZetoVM& caller, std::string* error);
  // Runs such code with the caller's locals on the caller's stack, where
  // its value is left. False when it aborted or timed out.
  bool RunExpression(Segment* code, ZetoVM& caller);

 private:
  // Marks the context as running while it lives.
  class Use {
   public:
    explicit Use(DoContext* c) : c_(c) { ++c_->use_count_; }
    ~Use() { --c_->use_count_; }

   private:
    DoContext* c_;
  };

  std::string path_;
  std::string full_path_;
  std::string error_;
  // Declared in the order they are built; the machine goes first.
  std::unique_ptr<AreaStreamOpener> opener_;
  std::unique_ptr<ApplicationLanguageSource> language_source_;
  std::unique_ptr<ProgramImage> image_;
  std::unique_ptr<ForwardingVariableHash> system_;
  std::unique_ptr<UserVariableHash> globals_;
  std::unique_ptr<ZetoVM> machine_;
  int32_t use_count_ = 0;
  std::unordered_map<std::string, int32_t> expressions_;  // text -> segment number
};

class DoContextCache {
 public:
  // Files running inside files nest at most this deep (each level runs on
  // the C stack).
  static constexpr int32_t kMaxNesting = 64;

  explicit DoContextCache(ZetoVM* root) : root_(root) {}
  ~DoContextCache();
  DoContextCache(const DoContextCache&) = delete;
  DoContextCache& operator=(const DoContextCache&) = delete;

  // The context of the file `name` names for `caller`, loaded on a miss and
  // made the most recently used. Null after the runtime error of tag 22 on
  // the caller.
  DoContext* Get(ZetoVM& caller, std::string_view name);
  size_t size() const { return contexts_.size(); }
  // Most recently used first.
  const std::list<std::unique_ptr<DoContext>>& contexts() const { return contexts_; }
  // Tells every cached file's open features about a signal.
  void SignalFeatures();

  // Counts a file running for as long as it lives; too deep a nesting is
  // the caller's fatal error "Stack overflow" (ok() is then false).
  class Nesting {
   public:
    Nesting(DoContextCache& cache, ZetoVM& caller);
    ~Nesting() { --cache_.nesting_; }
    bool ok() const { return ok_; }

   private:
    DoContextCache& cache_;
    bool ok_;
  };

 private:
  void MakeRoom(size_t limit);

  ZetoVM* root_;
  std::list<std::unique_ptr<DoContext>> contexts_;
  int32_t nesting_ = 0;
};

// The instructions: op_do_file pops a file name; op_do_function pops a
// call expression and then a file name and pushes the call's value (the
// NULL variable when anything failed).
void DoFile(ZetoVM& machine, const TagInstruction& instruction);
void DoFunction(ZetoVM& machine, const TagInstruction& instruction);

}  // namespace orin

#endif  // ORIN_VM_DO_CONTEXT_H_

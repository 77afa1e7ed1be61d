// Function, FunctionParameter and FunctionManager: the functions of a
// program ("func" section) and those registered at run time.
//
// Section layout (little-endian), the hashed header of name_chains.h:
//   0   2   used-bucket count        3   4   function count (<= 0xFFFFFFF)
//   2   1   bits                     7   6*used: bucket (2), first (4)
//   then 4 per function: next function in the same bucket (0xFFFFFFFF ends)
//   then per function, in number order:
//     0   4   name (dictionary index)
//     4   4   parameter count (<= 0xAAAAAAA)
//     8   4   flags (Function::k*)
//     12  4   segment of the body (0xFFFFFFFF for an external function)
//     16  4   offset of the body in that segment (0xFFFFFFFF external)
//     20  12*parameters: name, flags (bit 0 by reference), local slot
//     ..  the function's local variable layout (variable_hash_layout.h)
//
// Functions are owned by the manager and never move; their names point
// into the dictionary's bytes.
#ifndef ORIN_IMAGE_FUNCTION_H_
#define ORIN_IMAGE_FUNCTION_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "image/name_chains.h"
#include "image/variable_hash_layout.h"

namespace orin {

class Dictionary;
class TaggedFile;

struct FunctionParameter {
  static constexpr uint32_t kByReference = 1;

  uint32_t name_id;
  std::string_view name;
  uint32_t flags;
  uint32_t local_index;  // slot of the parameter in the function's locals

  bool by_reference() const { return (flags & kByReference) != 0; }
};

// What the machine attaches to a function once it has resolved it (the
// external call of a library function). Destroyed with the function.
class FunctionBinding {
 public:
  virtual ~FunctionBinding() = default;
};

class Function {
 public:
  static constexpr uint32_t kExternal = 1;         // body in an external library
  static constexpr uint32_t kCollapseOutput = 2;   // frame output mode 1
  static constexpr uint32_t kShowErrors = 4;       // sets error flag bit 2 of the frame
  static constexpr uint32_t kHideErrors = 8;       // then clears it
  static constexpr uint32_t kCompressOutput = 16;  // mode 2 when the caller's mode has bit 0 or 1
  static constexpr uint32_t kPrivate = 32;         // not callable from restricted segments
  static constexpr uint32_t kNoBody = 0xFFFFFFFF;

  uint32_t number() const { return number_; }
  uint32_t flags() const { return flags_; }
  bool external() const { return (flags_ & kExternal) != 0; }
  bool is_private() const { return (flags_ & kPrivate) != 0; }
  uint32_t name_id() const { return name_id_; }
  std::string_view name() const { return name_; }
  const std::vector<FunctionParameter>& parameters() const { return parameters_; }
  uint32_t segment() const { return segment_; }
  uint32_t offset() const { return offset_; }
  const Dictionary* dictionary() const { return dictionary_; }
  // The template of the locals; each call copies it.
  const VariableHashLayout& locals() const { return locals_; }
  VariableHashLayout& mutable_locals() { return locals_; }

  // Adds a parameter; `local_index` is its slot in the locals.
  void AddParameter(uint32_t name_id, uint32_t flags, uint32_t local_index);

  FunctionBinding* binding() const { return binding_.get(); }
  void SetBinding(std::unique_ptr<FunctionBinding> binding) { binding_ = std::move(binding); }

 private:
  friend class FunctionManager;
  Function(uint32_t number, const Dictionary* dictionary)
      : number_(number), dictionary_(dictionary) {}

  uint32_t number_;
  uint32_t flags_ = 0;
  uint32_t name_id_ = 0;
  std::string_view name_;
  std::vector<FunctionParameter> parameters_;
  uint32_t segment_ = kNoBody;
  uint32_t offset_ = kNoBody;
  const Dictionary* dictionary_;
  VariableHashLayout locals_;
  std::unique_ptr<FunctionBinding> binding_;
};

class FunctionManager {
 public:
  static constexpr uint32_t kMaxFunctions = 0xFFFFFFF;
  static constexpr uint32_t kMaxParameters = 0xAAAAAAA;
  static constexpr uint32_t kDefaultBits = 8;
  static constexpr uint32_t kGrowth = 64;

  // Empty: 2^8 buckets, room for 64 functions. Names are added to and read
  // from `dictionary`, which must outlive the manager.
  explicit FunctionManager(Dictionary* dictionary);
  // A copy whose names refer to `dictionary`, a copy of the source's.
  FunctionManager(const FunctionManager& other, Dictionary* dictionary);
  FunctionManager(const FunctionManager&) = delete;
  FunctionManager& operator=(const FunctionManager&) = delete;

  // Reads the "func" section; on failure the previous functions stay.
  bool Load(TaggedFile& file);
  const std::string& ErrorText() const { return error_; }

  uint32_t Count() const { return static_cast<uint32_t>(functions_.size()); }
  Function* Get(int64_t number) const {
    if (number < 0 || number >= static_cast<int64_t>(functions_.size())) return nullptr;
    return functions_[number].get();
  }
  // The function named `name` (`length` -1: NUL-terminated), letter case
  // ignored, or null.
  Function* FindFunction(const char* name, int64_t length) const;
  Function* FindFunction(std::string_view name) const {
    return FindFunction(name.data(), static_cast<int64_t>(name.size()));
  }
  const NameChains& chains() const { return chains_; }

  struct ParameterDecl {
    std::string_view name;
    uint32_t flags;
  };
  // Registration: each adds the names to the dictionary and links the
  // function into its bucket. A script function's parameters take the first
  // local slots; more locals can be added through mutable_locals().
  Function* RegisterScript(std::string_view name, uint32_t segment, uint32_t offset, uint32_t flags,
                           const std::vector<ParameterDecl>& parameters);
  Function* RegisterCopy(const Function& source);
  // Flag bit 0 is set; segment and offset are Function::kNoBody.
  Function* RegisterExternal(std::string_view name, uint32_t flags,
                             const std::vector<ParameterDecl>& parameters = {});

  // Low level, for producers of compiled files: empties the manager with
  // 2^bits buckets, then adds functions named by existing dictionary strings.
  void Reset(uint32_t bits);
  Function* AddFunction(uint32_t name_id, uint32_t flags, uint32_t segment, uint32_t offset);

  // The "func" section; false (ErrorText) when a table cannot be written.
  bool AppendSection(std::string* out);
  bool Write(TaggedFile& file);

 private:
  Function* Append(uint32_t name_id);
  Function* AddWithParameters(std::string_view name, uint32_t flags, uint32_t segment,
                              uint32_t offset, const std::vector<ParameterDecl>& parameters);

  Dictionary* dictionary_;
  NameChains chains_;
  std::vector<std::unique_ptr<Function>> functions_;
  std::string error_;
};

}  // namespace orin

#endif  // ORIN_IMAGE_FUNCTION_H_

#include "image/function.h"

#include <cstring>

#include "image/byte_order.h"
#include "image/dictionary.h"
#include "image/tagged_file.h"
#include "util/byte_string.h"

namespace orin {

namespace {

constexpr uint32_t kFunc = SectionId("func");

const HashedHeaderFormat kFormat = {
    "function_list_header.bucket_bits out of range",
    "function_list_header.function_count out of range",
    "function_list_header.bucket_entries out of range",
    "function_hash_bucket.index out of range",
    FunctionManager::kMaxFunctions,
    false,
};

}  // namespace

void Function::AddParameter(uint32_t name_id, uint32_t flags, uint32_t local_index) {
  parameters_.push_back(
      {name_id, dictionary_->View(static_cast<int32_t>(name_id)), flags, local_index});
}

FunctionManager::FunctionManager(Dictionary* dictionary)
    : dictionary_(dictionary), chains_(kDefaultBits) {
  functions_.reserve(kGrowth);
}

FunctionManager::FunctionManager(const FunctionManager& other, Dictionary* dictionary)
    : dictionary_(dictionary), chains_(other.chains_) {
  functions_.reserve(other.functions_.capacity());
  for (const auto& f : other.functions_) {
    auto copy = std::unique_ptr<Function>(new Function(f->number_, dictionary));
    copy->flags_ = f->flags_;
    copy->name_id_ = f->name_id_;
    copy->name_ = dictionary->View(static_cast<int32_t>(f->name_id_));
    for (const FunctionParameter& p : f->parameters_) {
      copy->AddParameter(p.name_id, p.flags, p.local_index);
    }
    copy->segment_ = f->segment_;
    copy->offset_ = f->offset_;
    copy->locals_ = f->locals_;
    functions_.push_back(std::move(copy));
  }
}

void FunctionManager::Reset(uint32_t bits) {
  chains_.Reset(bits);
  functions_.clear();
}

Function* FunctionManager::Append(uint32_t name_id) {
  if (functions_.size() == functions_.capacity()) functions_.reserve(functions_.size() + kGrowth);
  auto number = static_cast<uint32_t>(functions_.size());
  functions_.push_back(std::unique_ptr<Function>(new Function(number, dictionary_)));
  Function* f = functions_.back().get();
  f->name_id_ = name_id;
  f->name_ = dictionary_->View(static_cast<int32_t>(name_id));
  return f;
}

Function* FunctionManager::AddFunction(uint32_t name_id, uint32_t flags, uint32_t segment,
                                       uint32_t offset) {
  Function* f = Append(name_id);
  f->flags_ = flags;
  f->segment_ = segment;
  f->offset_ = offset;
  uint32_t e = chains_.AddSlot();
  chains_.Link(e, f->name_, [this](uint32_t o) { return functions_[o]->name_; });
  return f;
}

Function* FunctionManager::FindFunction(const char* name, int64_t length) const {
  int32_t e =
      chains_.Find(MeasuredText(name, length), [this](uint32_t o) { return functions_[o]->name_; });
  return e < 0 ? nullptr : functions_[e].get();
}

Function* FunctionManager::AddWithParameters(std::string_view name, uint32_t flags,
                                             uint32_t segment, uint32_t offset,
                                             const std::vector<ParameterDecl>& parameters) {
  int32_t id = dictionary_->Add(name);
  if (id < 0) {
    error_ = dictionary_->ErrorText();
    return nullptr;
  }
  std::vector<int32_t> ids;
  for (const ParameterDecl& p : parameters) {
    ids.push_back(dictionary_->Add(p.name));
    if (ids.back() < 0) {
      error_ = dictionary_->ErrorText();
      return nullptr;
    }
  }
  Function* f = AddFunction(static_cast<uint32_t>(id), flags, segment, offset);
  f->locals_.Reset(DefaultHashBits(static_cast<uint32_t>(parameters.size())));
  for (size_t i = 0; i < parameters.size(); ++i) {
    auto pid = static_cast<uint32_t>(ids[i]);
    int32_t slot = f->locals_.Find(dictionary_->View(ids[i]), *dictionary_);
    if (slot < 0) slot = static_cast<int32_t>(f->locals_.Add(pid, *dictionary_));
    f->AddParameter(pid, parameters[i].flags, static_cast<uint32_t>(slot));
  }
  return f;
}

Function* FunctionManager::RegisterScript(std::string_view name, uint32_t segment, uint32_t offset,
                                          uint32_t flags,
                                          const std::vector<ParameterDecl>& parameters) {
  return AddWithParameters(name, flags, segment, offset, parameters);
}

Function* FunctionManager::RegisterExternal(std::string_view name, uint32_t flags,
                                            const std::vector<ParameterDecl>& parameters) {
  return AddWithParameters(name, flags | Function::kExternal, Function::kNoBody, Function::kNoBody,
                           parameters);
}

Function* FunctionManager::RegisterCopy(const Function& source) {
  int32_t id = dictionary_->Add(source.name());
  if (id < 0) {
    error_ = dictionary_->ErrorText();
    return nullptr;
  }
  // Names in the source refer to its own dictionary: add them to ours.
  const Dictionary& from = *source.dictionary();
  VariableHashLayout locals(source.locals().bits());
  for (uint32_t e = 0; e < source.locals().Count(); ++e) {
    int32_t lid = dictionary_->Add(source.locals().Name(e, from));
    locals.Add(static_cast<uint32_t>(lid < 0 ? 0 : lid), *dictionary_);
  }
  Function* f =
      AddFunction(static_cast<uint32_t>(id), source.flags(), source.segment(), source.offset());
  for (const FunctionParameter& p : source.parameters()) {
    int32_t pid = dictionary_->Add(p.name);
    f->AddParameter(static_cast<uint32_t>(pid < 0 ? 0 : pid), p.flags, p.local_index);
  }
  f->locals_ = std::move(locals);
  return f;
}

bool FunctionManager::Load(TaggedFile& file) {
  file.ResetSection();
  if (!file.SelectSection(kFunc)) {
    error_ = file.GetError();
    return false;
  }
  NameChains chains;
  uint32_t count = 0;
  if (!chains.ReadHeader(file, kFormat, &count, &error_)) return false;
  std::vector<uint8_t> raw;
  if (!ReadExactly(file, 4 * count, &raw, &error_)) return false;
  chains.Reserve(count);
  for (uint32_t i = 0; i < count; ++i)
    chains.AppendLink(GetLE32(raw.data() + 4 * i));
  chains.FinishRead();

  std::vector<std::unique_ptr<Function>> functions;
  for (uint32_t i = 0; i < count; ++i) {
    uint8_t r[20];
    if (file.Read(r, sizeof r) != static_cast<int32_t>(sizeof r)) {
      error_ = file.GetError();
      return false;
    }
    auto f = std::unique_ptr<Function>(new Function(i, dictionary_));
    f->name_id_ = GetLE32(r);
    uint32_t parameter_count = GetLE32(r + 4);
    f->flags_ = GetLE32(r + 8);
    f->segment_ = GetLE32(r + 12);
    f->offset_ = GetLE32(r + 16);
    if (!dictionary_->Has(f->name_id_)) {
      error_ = "Invalid function header name index";
      return false;
    }
    f->name_ = dictionary_->View(static_cast<int32_t>(f->name_id_));
    if (parameter_count != 0) {
      if (parameter_count > kMaxParameters) {
        error_ = "function_header.parameter_count out of range";
        return false;
      }
      if (!ReadExactly(file, 12 * parameter_count, &raw, &error_)) return false;
      f->parameters_.reserve(parameter_count);
      for (uint32_t p = 0; p < parameter_count; ++p) {
        const uint8_t* q = raw.data() + 12 * p;
        if (!dictionary_->Has(GetLE32(q))) {
          error_ = "Invalid function parameter name index";
          return false;
        }
        f->AddParameter(GetLE32(q), GetLE32(q + 4), GetLE32(q + 8));
      }
    }
    if (!f->locals_.Read(file)) {
      error_ = f->locals_.ErrorText();
      return false;
    }
    functions.push_back(std::move(f));
  }
  file.ResetSection();
  chains_ = std::move(chains);
  functions_ = std::move(functions);
  error_.clear();
  return true;
}

bool FunctionManager::AppendSection(std::string* out) {
  if (!chains_.AppendHeader(out, false, 0, &error_)) return false;
  ByteWriter w(out);
  for (uint32_t i = 0; i < Count(); ++i)
    w.U32(chains_.RawNext(i));
  for (const auto& f : functions_) {
    w.U32(f->name_id_);
    w.U32(static_cast<uint32_t>(f->parameters_.size()));
    w.U32(f->flags_);
    w.U32(f->segment_);
    w.U32(f->offset_);
    for (const FunctionParameter& p : f->parameters_) {
      w.U32(p.name_id);
      w.U32(p.flags);
      w.U32(p.local_index);
    }
    if (!f->locals_.AppendTo(out)) {
      error_ = "function '" + std::string(f->name_) + "': " + f->locals_.ErrorText();
      return false;
    }
  }
  return true;
}

bool FunctionManager::Write(TaggedFile& file) {
  std::string bytes;
  if (!AppendSection(&bytes)) return false;
  if (!file.WriteSection(kFunc, bytes)) {
    error_ = file.GetError();
    return false;
  }
  return true;
}

}  // namespace orin

#include "image/variable_hash_layout.h"

#include "image/byte_order.h"
#include "image/dictionary.h"
#include "image/tagged_file.h"
#include "util/stream.h"

namespace orin {

namespace {

const HashedHeaderFormat kFormat = {
    "variable_hash_header.bucket_bits out of range",
    "variable_hash_header.variable_count out of range",
    "variable_hash_header.bucket_entries out of range",
    "variable_hash_bucket.index out of range",
    VariableHashLayout::kMaxVariables,
    false,
};

}  // namespace

std::string_view VariableHashLayout::Name(uint32_t entry, const Dictionary& dictionary) const {
  return dictionary.View(static_cast<int32_t>(name_ids_[entry]));
}

uint32_t VariableHashLayout::Add(uint32_t name_id, const Dictionary& dictionary) {
  uint32_t e = chains_.AddSlot();
  name_ids_.push_back(name_id);
  chains_.Link(e, Name(e, dictionary), [&](uint32_t o) { return Name(o, dictionary); });
  return e;
}

int32_t VariableHashLayout::Find(std::string_view name, const Dictionary& dictionary) const {
  return chains_.Find(name, [&](uint32_t o) { return Name(o, dictionary); });
}

bool VariableHashLayout::Read(TaggedFile& file) {
  NameChains chains;
  uint32_t count = 0;
  if (!chains.ReadHeader(file, kFormat, &count, &error_)) return false;
  std::vector<uint8_t> raw;
  if (!ReadExactly(file, 8 * count, &raw, &error_)) return false;
  std::vector<uint32_t> ids;
  ids.reserve(count);
  chains.Reserve(count);
  for (uint32_t i = 0; i < count; ++i) {
    ids.push_back(GetLE32(raw.data() + 8 * i));
    chains.AppendLink(GetLE32(raw.data() + 8 * i + 4));
  }
  chains.FinishRead();
  chains_ = std::move(chains);
  name_ids_ = std::move(ids);
  error_.clear();
  return true;
}

bool VariableHashLayout::ReadSection(TaggedFile& file, uint32_t id) {
  file.ResetSection();
  if (!file.SelectSection(id)) {
    error_ = file.GetError();
    return false;
  }
  bool ok = Read(file);
  file.ResetSection();
  return ok;
}

bool VariableHashLayout::AppendTo(std::string* out) {
  if (!chains_.AppendHeader(out, false, 0, &error_)) return false;
  ByteWriter w(out);
  for (uint32_t e = 0; e < Count(); ++e) {
    w.U32(name_ids_[e]);
    w.U32(chains_.RawNext(e));
  }
  return true;
}

bool VariableHashLayout::Write(Stream& stream) {
  std::string bytes;
  if (!AppendTo(&bytes)) return false;
  if (stream.Write(bytes.data(), static_cast<int32_t>(bytes.size())) !=
      static_cast<int32_t>(bytes.size())) {
    error_ = stream.ErrorText();
    return false;
  }
  return true;
}

bool VariableHashLayout::WriteSection(TaggedFile& file, uint32_t id) {
  std::string bytes;
  if (!AppendTo(&bytes)) return false;
  if (!file.WriteSection(id, bytes)) {
    error_ = file.GetError();
    return false;
  }
  return true;
}

}  // namespace orin

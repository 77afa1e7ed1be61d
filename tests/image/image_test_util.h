// Helpers for tests that build compiled files byte by byte and keep them in
// a temporary directory.
#ifndef ORIN_TESTS_IMAGE_IMAGE_TEST_UTIL_H_
#define ORIN_TESTS_IMAGE_IMAGE_TEST_UTIL_H_

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "image/localized.h"
#include "image/tagged_file.h"
#include "util/memory_stream.h"

namespace orin::test {

// Little-endian bytes.
class Bytes {
 public:
  Bytes& U8(uint32_t v) {
    s_.push_back(static_cast<char>(v));
    return *this;
  }
  Bytes& U16(uint32_t v) { return U8(v).U8(v >> 8); }
  Bytes& U32(uint32_t v) { return U16(v).U16(v >> 16); }
  Bytes& U64(uint64_t v) {
    return U32(static_cast<uint32_t>(v)).U32(static_cast<uint32_t>(v >> 32));
  }
  Bytes& Str(std::string_view bytes) {
    s_.append(bytes);
    return *this;
  }
  // A hashed header (used-bucket count, bits, entry count).
  Bytes& Hashed(int bucket_entries, uint32_t bits, uint32_t count) {
    return U16(static_cast<uint32_t>(bucket_entries)).U8(bits).U32(count);
  }
  const std::string& str() const { return s_; }
  operator std::string() const { return s_; }  // NOLINT: builders read naturally

 private:
  std::string s_;
};

struct Section {
  std::string id;  // four bytes
  std::string bytes;
};

// A container holding `sections` in order, directory at the end.
inline std::string MakeContainer(const std::vector<Section>& sections, uint32_t version = 0x1000D) {
  std::string data;
  Bytes dir;
  for (const Section& s : sections) {
    dir.Str(s.id)
        .U32(32 + static_cast<uint32_t>(data.size()))
        .U32(static_cast<uint32_t>(s.bytes.size()));
    data += s.bytes;
  }
  Bytes file;
  file.Str("Zeto").U32(version).U64(0).U64(0);
  file.U32(32 + static_cast<uint32_t>(data.size())).U32(static_cast<uint32_t>(sections.size()));
  return file.str() + data + dir.str();
}

// A "dict" section holding `strings` end to end.
inline std::string DictOf(const std::vector<std::string>& strings, uint32_t flags = 0) {
  std::string data;
  Bytes table;
  for (const std::string& s : strings) {
    table.U32(static_cast<uint32_t>(data.size())).U32(static_cast<uint32_t>(s.size()));
    data += s;
  }
  if (data.empty()) data = "-";  // entries need a byte to point at
  return Bytes()
             .U32(static_cast<uint32_t>(strings.size()))
             .U32(static_cast<uint32_t>(data.size()))
             .U32(flags)
             .str() +
         table.str() + data;
}

// An empty variable hash / locl body: no buckets, no entries.
inline std::string EmptyHashed(uint32_t bits = 0) {
  return Bytes().Hashed(0, bits, 0);
}

// The smallest sections that load: for tests that break one of them.
inline std::vector<Section> MinimalProgram() {
  return {
      {"dict", Bytes().U32(0).U32(0).U32(0)},
      {"syst", EmptyHashed()},
      {"glbl", EmptyHashed()},
      {"locl", EmptyHashed()},
      {"locd", Bytes().U32(0)},
      {"segs", Bytes().U32(1).U32(0).U32(0).U32(0)},
      {"func", EmptyHashed()},
  };
}

inline void Replace(std::vector<Section>* sections, const std::string& id, std::string bytes) {
  for (Section& s : *sections) {
    if (s.id == id) s.bytes = std::move(bytes);
  }
}

// A container attached to bytes held in memory.
class MemoryFile {
 public:
  explicit MemoryFile(const std::string& bytes) : stream_(bytes) {
    ok_ = file_.Attach("mem", &stream_);
  }
  explicit MemoryFile(const std::vector<Section>& sections, uint32_t version = 0x1000D)
      : MemoryFile(MakeContainer(sections, version)) {}
  bool ok() const { return ok_; }
  TaggedFile& operator*() { return file_; }
  TaggedFile* operator->() { return &file_; }

 private:
  MemoryStream stream_;
  TaggedFile file_;
  bool ok_;
};

// Current and default language set by the test; bump a counter to make a
// change visible.
class TestLanguages : public LanguageSource {
 public:
  std::string_view CurrentLanguage() const override { return current; }
  uint32_t CurrentLanguageCounter() const override { return current_counter; }
  std::string_view DefaultLanguage() const override { return fallback; }
  uint32_t DefaultLanguageCounter() const override { return fallback_counter; }

  std::string current = "de";
  uint32_t current_counter = 1;
  std::string fallback = "en";
  uint32_t fallback_counter = 1;
};

// A directory removed with everything in it when the test ends.
class TempDir {
 public:
  TempDir() {
    std::random_device rd;
    path_ = std::filesystem::temp_directory_path() /
            ("orin-test-" + std::to_string(rd()) + "-" + std::to_string(rd()));
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  std::string Path(const std::string& name) const { return (path_ / name).string(); }
  std::string Write(const std::string& name, const std::string& bytes) const {
    std::string p = Path(name);
    std::ofstream(p, std::ios::binary) << bytes;
    return p;
  }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

 private:
  std::filesystem::path path_;
};

}  // namespace orin::test

#endif  // ORIN_TESTS_IMAGE_IMAGE_TEST_UTIL_H_

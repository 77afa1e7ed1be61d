// Opens arbitrary bytes as an index file and searches, walks, inserts into
// and deletes from it. Nothing may crash, hang or read outside a buffer; a
// damaged file may only fail with a message.
//
// Input: the first byte chooses the form. Even: the rest is the whole
// file. Odd: the rest is the tree pages, behind a valid header whose page
// count covers them (so the fuzzer spends its time on the pages).
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>

#include "database/xbase_index.h"
#include "files/file_manager.h"

namespace {

const std::string& Directory() {
  static const std::string path = [] {
    char pattern[] = "/tmp/orin-index-fuzz-XXXXXX";
    const char* made = mkdtemp(pattern);
    if (made == nullptr) abort();
    return std::string(made);
  }();
  return path;
}

void Put32(std::string& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i)
    b[at + i] = static_cast<char>(v >> (8 * i));
}

std::string WithHeader(const uint8_t* data, size_t size) {
  std::string file(1024, '\0');
  std::memcpy(&file[0], "PGSI", 4);
  file[4] = 3;
  Put32(file, 9, static_cast<uint32_t>(1 + (size + 1023) / 1024));
  Put32(file, 13, 1);
  file[17] = 8;
  file[20] = 4;  // 1024
  file[21] = 108;
  Put32(file, 23, size > 0 ? data[0] & 15 : 0);
  std::memcpy(&file[27], "k", 1);
  file.append(reinterpret_cast<const char*>(data), size);
  return file;
}

// Walks at most `limit` steps: a damaged tree may share pages between
// parents, which makes it long but never endless.
void Walk(orin::XBaseIndex& index, bool forward, int limit) {
  uint32_t r = 0;
  if (!(forward ? index.First(&r) : index.Last(&r))) return;
  for (int i = 0; i < limit && r != 0; ++i)
    if (!(forward ? index.Next(&r) : index.Previous(&r))) return;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  std::string file = (data[0] & 1) ? WithHeader(data + 1, size - 1)
                                   : std::string(reinterpret_cast<const char*>(data + 1), size - 1);
  std::ofstream(Directory() + "/f.idx", std::ios::binary | std::ios::trunc)
      .write(file.data(), static_cast<std::streamsize>(file.size()));

  orin::SimpleFileEnvironment env;
  orin::FileManager files(&env);
  if (!files.SetDataDirectory(Directory())) abort();
  orin::XBaseIndex index(&files);
  if (!index.Open(orin::kDataArea, "f.idx")) return 0;
  uint32_t r = 0;
  bool matched = false;
  const char* keys[] = {"a", "m", "10", "zz", ""};
  for (const char* key : keys) {
    index.Find(key, true, &r, &matched);
    index.Find(key, false, &r, &matched);
    index.Next(&r);
    index.Previous(&r);
  }
  Walk(index, true, 3000);
  Walk(index, false, 3000);
  // Changes: a page may split or merge on damaged neighbours.
  for (uint32_t i = 0; i < 12; ++i)
    index.Insert("k" + std::to_string(i * 7 % 12), i + 1);
  index.Position("k3", 4);
  for (uint32_t i = 0; i < 12; ++i)
    index.Delete("k" + std::to_string(i), (i * 7 % 12) + 1);
  Walk(index, true, 3000);
  return 0;
}

// Opens arbitrary bytes as an xBase table and its memo file, reads every
// record and memo, then appends, rewrites and deletes as a script would and
// reads the result again. Nothing may crash, hang or read outside a buffer;
// a damaged file may only fail with a message.
//
// Input: two bytes (little-endian) giving the table file's length, the
// table bytes, then the memo bytes. The same input is also parsed as a
// field specification.
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "database/xbase_table.h"
#include "files/file_manager.h"

namespace {

const std::string& Directory() {
  static const std::string path = [] {
    char pattern[] = "/tmp/orin-xbase-fuzz-XXXXXX";
    const char* made = mkdtemp(pattern);
    if (made == nullptr) abort();
    return std::string(made);
  }();
  return path;
}

void Put(const std::string& name, const uint8_t* data, size_t size) {
  std::ofstream(Directory() + "/" + name, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

// Reads up to a few thousand records and every memo they name.
void ReadAll(orin::XBaseTable& table) {
  uint32_t limit = table.record_count() < 4000 ? table.record_count() + 1 : 4000;
  for (uint32_t n = 0; n <= limit; ++n) {
    if (!table.ReadRecord(n)) continue;
    for (const auto& field : table.fields()) {
      field->Value();
      field->SavedValue();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<orin::XBaseFieldDefinition> fields;
  std::string error;
  orin::ParseXBaseFieldSpecification(
      std::string_view(reinterpret_cast<const char*>(data), size), &fields, &error);
  if (size < 2) return 0;
  size_t table_size = data[0] | (data[1] << 8);
  if (table_size > size - 2) table_size = size - 2;
  Put("t.dbf", data + 2, table_size);
  Put("t.dbt", data + 2 + table_size, size - 2 - table_size);

  orin::SimpleFileEnvironment env;
  orin::FileManager files(&env);
  if (!files.SetDataDirectory(Directory())) abort();
  orin::XBaseTable table(&files);
  if (!table.Open(orin::kDataArea, "t.dbf")) {
    if (table.error().empty() || table.IsOpen()) abort();
    return 0;
  }
  ReadAll(table);
  // Writes on a damaged table must fail cleanly too.
  for (const auto& field : table.fields()) field->SetValue("fuzz value 12345");
  table.AppendRecord();
  if (table.current_record() != 0) {
    table.UpdateRecord();
    table.SetDeleted(true);
  }
  table.RevertFields();
  table.Close();
  if (table.Open(orin::kDataArea, "t.dbf")) ReadAll(table);
  return 0;
}

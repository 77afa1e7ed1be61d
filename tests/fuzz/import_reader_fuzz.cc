// Fuzzes the delimited-file reader: the first byte picks the delimiter and
// the buffer size, the rest is the file. Every record read is written back
// with FormatDelimitedRecord, and reading that must give the same records
// (the writer's quoting and the reader agree on every byte).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "files/delimited_file.h"
#include "util/memory_stream.h"

namespace {

using Rows = std::vector<std::vector<std::string>>;

Rows ReadAll(const std::string& bytes, const std::string& delimiter, uint32_t buffer_size) {
  orin::MemoryStream stream(bytes);
  orin::DelimitedReader reader(&stream, delimiter, buffer_size);
  Rows rows;
  std::vector<std::string> fields;
  while (reader.Next(&fields) == orin::DelimitedReader::kRecord)
    rows.push_back(fields);
  return rows;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  static const char* const kDelimiters[] = {",", ";", "\t", "||", "|;|", "\"", ""};
  uint8_t choice = data[0];
  std::string delimiter = kDelimiters[choice % 7];
  uint32_t buffer_size = 1 + (choice >> 3);
  std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);

  Rows rows = ReadAll(bytes, delimiter, buffer_size);
  // The same records whatever the buffer size.
  if (ReadAll(bytes, delimiter, 8192) != rows) abort();
  // A quote as delimiter or an empty one cannot carry every value.
  if (delimiter.empty() || delimiter == "\"") return 0;
  std::string written;
  for (const auto& row : rows) {
    std::vector<std::string_view> views(row.begin(), row.end());
    written += orin::FormatDelimitedRecord(views, delimiter);
  }
  if (ReadAll(written, delimiter, buffer_size) != rows) abort();
  return 0;
}

// Appends N records of five fields to a new xBase table through the table
// API and scans them all back, reading every field. Prints the processor
// seconds (user + system) of each phase, "append <s> scan <s>", which a busy
// machine distorts less than elapsed time.
//
// Usage: xbase_bench DIRECTORY [N]    (N defaults to 100000)
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "database/xbase_table.h"
#include "files/file_manager.h"

namespace {

double Since(std::clock_t start) {
  return static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: xbase_bench DIRECTORY [N]\n");
    return 2;
  }
  long count = argc > 2 ? strtol(argv[2], nullptr, 10) : 100000;
  orin::SimpleFileEnvironment env;
  orin::FileManager files(&env);
  if (!files.SetDataDirectory(argv[1])) {
    fprintf(stderr, "%s\n", files.ErrorText().c_str());
    return 1;
  }
  orin::XBaseTable table(&files);
  if (!table.Create(orin::kDataArea, "bench.dbf", "",
                    {{"ID", orin::kXBaseNumber, 8, 0},
                     {"NAME", orin::kXBaseCharacter, 20, 0},
                     {"PRICE", orin::kXBaseNumber, 10, 2},
                     {"DAY", orin::kXBaseDate, 8, 0},
                     {"OK", orin::kXBaseLogical, 1, 0}})) {
    fprintf(stderr, "%s\n", table.error().c_str());
    return 1;
  }
  std::clock_t start = std::clock();
  char text[32];
  for (long i = 0; i < count; ++i) {
    table.field(0)->SetValue(std::to_string(i));
    snprintf(text, sizeof text, "name %ld", i);
    table.field(1)->SetValue(text);
    snprintf(text, sizeof text, "%ld.%02ld", i % 10000, i % 100);
    table.field(2)->SetValue(text);
    snprintf(text, sizeof text, "2026%02ld%02ld", 1 + i % 12, 1 + i % 28);
    table.field(3)->SetValue(text);
    table.field(4)->SetValue(i % 2 ? "T" : "F");
    if (!table.AppendRecord()) {
      fprintf(stderr, "%s\n", table.error().c_str());
      return 1;
    }
  }
  double append = Since(start);

  start = std::clock();
  size_t bytes = 0;
  long trues = 0;
  for (uint32_t n = 1; n <= table.record_count(); ++n) {
    if (!table.ReadRecord(n)) {
      fprintf(stderr, "%s\n", table.error().c_str());
      return 1;
    }
    for (const auto& field : table.fields())
      bytes += field->Value().size();
    trues += table.field(4)->Value() == "T";
  }
  double scan = Since(start);
  if (table.record_count() != static_cast<uint32_t>(count) || trues != count / 2) {
    fprintf(stderr, "scan found %u records, %ld true\n", table.record_count(), trues);
    return 1;
  }
  printf("append %.3f scan %.3f\n", append, scan);
  return bytes > 0 ? 0 : 1;
}

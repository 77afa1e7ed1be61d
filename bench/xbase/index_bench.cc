// A table of N records (default 100000) with an index on a character
// field: the time to build it, of 10,000 finds by key (each reading the
// record found) and of 10,000 inserts (append plus index entry). Prints
// "build <s> find <s> insert <s>".
//
// Usage: xbase_index_bench DIRECTORY [N]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "database/xbase_index.h"
#include "database/xbase_table.h"
#include "files/file_manager.h"

namespace {

double Since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string Key(long i) {
  // Scattered, so inserts land all over the tree.
  return "name " + std::to_string((i * 7919) % 1000003);
}

int Fail(const std::string& text) {
  fprintf(stderr, "%s\n", text.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: xbase_index_bench DIRECTORY [N]\n");
    return 2;
  }
  long count = argc > 2 ? strtol(argv[2], nullptr, 10) : 100000;
  constexpr long kOperations = 10000;
  orin::SimpleFileEnvironment env;
  orin::FileManager files(&env);
  if (!files.SetDataDirectory(argv[1])) return Fail(files.ErrorText());
  orin::XBaseTable table(&files);
  orin::XBaseIndex index(&files);
  if (!table.Create(orin::kDataArea, "bench.dbf", "",
                    {{"ID", orin::kXBaseNumber, 8, 0}, {"NAME", orin::kXBaseCharacter, 20, 0}})) {
    return Fail(table.error());
  }
  if (!index.Create(orin::kDataArea, "bench.idx", "name", orin::kIndexString)) {
    return Fail(index.error());
  }
  auto insert = [&](long i) {
    table.field(0)->SetValue(std::to_string(i));
    table.field(1)->SetValue(Key(i));
    return table.AppendRecord() && index.Insert(table.field(1)->Value(), table.current_record());
  };
  auto start = std::chrono::steady_clock::now();
  for (long i = 0; i < count; ++i)
    if (!insert(i)) return Fail(table.error() + index.error());
  double build = Since(start);

  std::mt19937 random(1);
  start = std::chrono::steady_clock::now();
  long found = 0;
  for (long k = 0; k < kOperations; ++k) {
    long i = static_cast<long>(random() % static_cast<unsigned long>(count));
    uint32_t record = 0;
    bool matched = false;
    if (!index.Find(Key(i), true, &record, &matched)) return Fail(index.error());
    if (!matched || !table.ReadRecord(record)) return Fail("find missed " + Key(i));
    found += table.field(1)->Value() == Key(i);
  }
  double find = Since(start);
  if (found != kOperations) return Fail("a find read the wrong record");

  start = std::chrono::steady_clock::now();
  for (long i = count; i < count + kOperations; ++i)
    if (!insert(i)) return Fail(table.error() + index.error());
  double inserts = Since(start);
  printf("build %.3f find %.3f insert %.3f\n", build, find, inserts);
  return 0;
}

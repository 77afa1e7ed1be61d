// A data area in a fresh directory, a file manager on it, and helpers
// shared by the table tests.
#ifndef ORIN_TESTS_DATABASE_XBASE_FIXTURE_H_
#define ORIN_TESTS_DATABASE_XBASE_FIXTURE_H_

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "database/xbase_table.h"
#include "files/file_manager.h"
#include "files/temp_dir.h"

namespace orin {

class XBaseTest : public ::testing::Test {
 protected:
  XBaseTest() : files_(&env_) {
    tmp_.MakeDir("data");
    EXPECT_TRUE(files_.SetDataDirectory(tmp_ / "data")) << files_.ErrorText();
  }

  // NAME C 10, PRICE N 8.2, BORN D 8, OK L 1, NOTE M 10.
  static std::vector<XBaseFieldDefinition> People() {
    return {{"NAME", kXBaseCharacter, 10, 0},
            {"PRICE", kXBaseNumber, 8, 2},
            {"BORN", kXBaseDate, 8, 0},
            {"OK", kXBaseLogical, 1, 0},
            {"NOTE", kXBaseMemo, 10, 0}};
  }

  // Sets the fields in column order and appends.
  static void Append(XBaseTable& table, const std::vector<std::string>& values) {
    for (size_t i = 0; i < values.size(); ++i)
      table.field(i)->SetValue(values[i]);
    ASSERT_TRUE(table.AppendRecord()) << table.error();
  }

  // Every field's current value of record n, joined with '|'.
  static std::string Row(XBaseTable& table, uint32_t n) {
    if (!table.ReadRecord(n)) return "error: " + table.error();
    std::string row = table.deleted() ? "*" : "";
    for (size_t i = 0; i < table.field_count(); ++i) {
      if (i) row += '|';
      row += table.field(i)->Value();
    }
    return row;
  }

  std::string DataFile(const std::string& name) const { return tmp_.Read("data/" + name); }
  void PutDataFile(const std::string& name, const std::string& bytes) const {
    tmp_.Write("data/" + name, bytes);
  }

  // Today's header date bytes, as a writer stamps them.
  static std::string TodayBytes() {
    using namespace std::chrono;
    year_month_day d{floor<days>(system_clock::now())};
    return {static_cast<char>(static_cast<int>(d.year()) - 1900),
            static_cast<char>(static_cast<unsigned>(d.month())),
            static_cast<char>(static_cast<unsigned>(d.day()))};
  }

  TempDir tmp_;
  SimpleFileEnvironment env_;
  FileManager files_;
};

}  // namespace orin

#endif  // ORIN_TESTS_DATABASE_XBASE_FIXTURE_H_

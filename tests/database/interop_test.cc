// Tables exchanged with other programs: python3-dbf reads what we write and
// writes what we read; dbview reads what we write.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "xbase_fixture.h"

namespace orin {
namespace {

const std::string kScript = std::string(ORIN_SOURCE_DIR) + "/tests/database/dbf_interop.py";

// Runs a shell command and returns its standard output; the exit status
// must be 0.
std::string Command(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return "popen failed";
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
    out.append(buffer, n);
  int status = pclose(pipe);
  EXPECT_EQ(status, 0) << command << "\n" << out;
  return out;
}

class Interop : public XBaseTest {
 protected:
  std::string Dump(const std::string& name) {
    return Command("/usr/bin/python3 " + kScript + " dump " + tmp_ / "data" + "/" + name + " 2>&1");
  }
};

std::string Lines(const std::string& text, int repeat) {
  std::string out;
  for (int i = 0; i < repeat; ++i)
    out += text;
  return out;
}

TEST_F(Interop, TablesWeWriteReadTheSameInPythonDbfAndDbview) {
  {
    XBaseTable table(&files_);
    ASSERT_TRUE(table.Create(kDataArea, "ours.dbf", "",
                             {{"NAME", kXBaseCharacter, 12, 0},
                              {"PRICE", kXBaseNumber, 9, 3},
                              {"BORN", kXBaseDate, 8, 0},
                              {"OK", kXBaseLogical, 1, 0},
                              {"NOTE", kXBaseMemo, 10, 0},
                              {"QTY", kXBaseNumber, 5, 0}}))
        << table.error();
    Append(table, {"Ann", "12.500", "20010203", "T", "short memo", "7"});
    Append(table, {"Bob", "-3.250", "", "F", "", "-12"});
    Append(table, {"Cy", "0.000", "19991231", "", Lines("line\r\n", 150), "0"});
    Append(table, {"Dee", "12345.678", "20260101", "T", std::string(511, 'x'), "99999"});
    // Deleted records and rewritten memos.
    ASSERT_TRUE(table.ReadRecord(2));
    ASSERT_TRUE(table.SetDeleted(true));
    ASSERT_TRUE(table.ReadRecord(1));
    table.field(4)->SetValue("rewritten memo");
    ASSERT_TRUE(table.UpdateRecord());
  }
  EXPECT_EQ(Dump("ours.dbf"),
            "[false, \"Ann\", 12.5, \"20010203\", true, \"rewritten memo\", 7]\n"
            "[true, \"Bob\", -3.25, null, false, \"\", -12]\n"
            "[false, \"Cy\", 0, \"19991231\", null, \"" +
                Lines("line\\r\\n", 150) +
                "\", 0]\n"
                "[false, \"Dee\", 12345.678, \"20260101\", true, \"" +
                std::string(511, 'x') + "\", 99999]\n");
  // dbview leaves deleted records out and shows memo fields as block numbers.
  EXPECT_EQ(Command("dbview -b -d '|' " + tmp_ / "data/ours.dbf"),
            "Ann         |   12.500|20010203|T|         6|    7|\n"
            "Cy          |    0.000|19991231| |         2|    0|\n"
            "Dee         |12345.678|20260101|T|         4|99999|\n");

  XBaseTable empty(&files_);
  ASSERT_TRUE(empty.Create(kDataArea, "empty.dbf", "", {{"A", kXBaseCharacter, 5, 0}}));
  EXPECT_EQ(Dump("empty.dbf"), "");
}

TEST_F(Interop, TablesPythonDbfWritesReadHere) {
  Command("/usr/bin/python3 " + kScript + " write " + tmp_ / "data" + " 2>&1");
  XBaseTable table(&files_);
  ASSERT_TRUE(table.Open(kDataArea, "people.dbf")) << table.error();
  EXPECT_EQ(table.version(), 0x83);
  ASSERT_EQ(table.record_count(), 4u);
  ASSERT_EQ(table.field_count(), 6u);
  EXPECT_EQ(table.field(1)->decimals(), 3u);
  EXPECT_EQ(Row(table, 1), "Ann|12.500|20010203|T|short memo|7");
  EXPECT_EQ(Row(table, 2), "*Bob|-3.250|        |F||-12");
  EXPECT_EQ(Row(table, 3), "Cy|0.000|19991231|?|" + Lines("line\r\n", 150) + "|0");
  EXPECT_EQ(Row(table, 4), "*Dee|12345.678|20260101|T|" + std::string(510, 'x') + "|99999");

  // What we add to their table they read back.
  ASSERT_TRUE(table.ReadRecord(1));
  table.field(4)->SetValue("changed here");
  ASSERT_TRUE(table.UpdateRecord()) << table.error();
  Append(table, {"Eve", "1.000", "20261206", "F", "new memo", "5"});
  table.Close();
  std::string dump = Dump("people.dbf");
  EXPECT_NE(dump.find("[false, \"Ann\", 12.5, \"20010203\", true, \"changed here\", 7]\n"),
            std::string::npos)
      << dump;
  EXPECT_NE(dump.find("[false, \"Eve\", 1, \"20261206\", false, \"new memo\", 5]\n"),
            std::string::npos)
      << dump;

  XBaseTable empty(&files_);
  ASSERT_TRUE(empty.Open(kDataArea, "empty.dbf")) << empty.error();
  EXPECT_EQ(empty.record_count(), 0u);
  EXPECT_EQ(empty.field(1)->decimals(), 1u);
  EXPECT_FALSE(empty.ReadRecord(1));
  EXPECT_EQ(empty.error(), "Invalid record number");
}

}  // namespace
}  // namespace orin

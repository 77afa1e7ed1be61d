// Tables and memo files on real files: the bytes written, what reads back,
// and the messages for files that are wrong.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "database/xbase_table.h"
#include "xbase_fixture.h"

namespace orin {
namespace {

using Bytes = std::string;

Bytes Le16(unsigned v) {
  return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
}
Bytes Le32(uint32_t v) {
  Bytes b;
  for (int i = 0; i < 4; ++i)
    b += static_cast<char>((v >> (8 * i)) & 0xFF);
  return b;
}
Bytes Descriptor(const std::string& name, char type, unsigned length, unsigned decimals) {
  Bytes d = name + Bytes(11 - name.size(), '\0');
  d += type;
  d += Bytes(4, '\0');
  d += static_cast<char>(length);
  d += static_cast<char>(decimals);
  return d + Bytes(14, '\0');
}
// A whole table file as another writer would make it.
Bytes TableFile(uint8_t version, uint32_t count, unsigned header_length, unsigned record_length,
                const std::vector<Bytes>& descriptors, const Bytes& records) {
  Bytes b(1, static_cast<char>(version));
  b += Bytes("\x7e\x0c\x06", 3) + Le32(count) + Le16(header_length) + Le16(record_length);
  b += Bytes(20, '\0');
  for (const Bytes& d : descriptors)
    b += d;
  return b + "\r" + records + "\x1a";
}

class Tables : public XBaseTest {};

TEST_F(Tables, CreatedFilesAreByteExactAndReopenWithTheSameLayout) {
  XBaseTable table(&files_);
  ASSERT_TRUE(table.Create(kDataArea, "people.dbf", "", People())) << table.error();
  EXPECT_EQ(table.memo_file_name(), "people.dbt");
  Bytes header = "\x83" + TodayBytes() + Le32(0) + Le16(32 * 5 + 33) + Le16(38) + Bytes(20, '\0');
  Bytes expected = header + Descriptor("NAME", 'C', 10, 0) + Descriptor("PRICE", 'N', 8, 2) +
                   Descriptor("BORN", 'D', 8, 0) + Descriptor("OK", 'L', 1, 0) +
                   Descriptor("NOTE", 'M', 10, 0) + "\r\x1a";
  EXPECT_EQ(DataFile("people.dbf"), expected);
  EXPECT_EQ(DataFile("people.dbt"), Le32(1) + Bytes(508, '\0') + "\x1a");

  // Without memo fields: version 3 and no memo file.
  XBaseTable plain(&files_);
  ASSERT_TRUE(plain.Create(kDataArea, "plain", "", {{"A", kXBaseCharacter, 5, 0}}));
  EXPECT_EQ(DataFile("plain").substr(0, 1), "\x03");
  EXPECT_FALSE(tmp_.Has("data/plain.dbt"));
  EXPECT_FALSE(plain.has_memo());

  table.Close();
  ASSERT_TRUE(table.Open(kDataArea, "people.dbf")) << table.error();
  ASSERT_EQ(table.field_count(), 5u);
  std::string layout;
  for (const auto& f : table.fields()) {
    layout += f->name() + " " + f->type_letter() + " " + std::to_string(f->length()) + "." +
              std::to_string(f->decimals()) + ";";
  }
  EXPECT_EQ(layout, "NAME C 10.0;PRICE N 8.2;BORN D 8.0;OK L 1.0;NOTE M 10.0;");
  EXPECT_EQ(table.record_count(), 0u);
  EXPECT_EQ(table.current_record(), 0u);
  EXPECT_EQ(table.next_memo_block(), 1u);
  EXPECT_EQ(table.FindField("price"), table.field(1));
  EXPECT_EQ(table.FindField("nope"), nullptr);
}

TEST_F(Tables, RecordsArePaddedByTypeAndReadBackTrimmed) {
  XBaseTable table(&files_);
  ASSERT_TRUE(table.Create(kDataArea, "t.dbf", "",
                           {{"C5", kXBaseCharacter, 5, 0},
                            {"N5", kXBaseNumber, 5, 0},
                            {"D", kXBaseDate, 8, 0},
                            {"L", kXBaseLogical, 1, 0},
                            {"M", kXBaseMemo, 10, 0}}));
  Append(table, {"ab", "42", "20260102", "T", "memo text"});
  Append(table, {"toolongvalue", "-1.5", "", "", ""});
  const unsigned hl = 32 * 5 + 33;
  Bytes file = DataFile("t.dbf");
  ASSERT_EQ(file.size(), hl + 2 * 30 + 1u);
  EXPECT_EQ(file.substr(hl), Bytes(" ab      4220260102T         1") + " toolo -1.5         " +
                                 Bytes(10, ' ') + "\x1a");
  EXPECT_EQ(file.substr(4, 4), Le32(2));
  EXPECT_EQ(DataFile("t.dbt").substr(512), "memo text\x1a\x1a");

  XBaseTable other(&files_);
  ASSERT_TRUE(other.Open(kDataArea, "t.dbf")) << other.error();
  EXPECT_EQ(Row(other, 1), "ab|42|20260102|T|memo text");
  EXPECT_EQ(Row(other, 2), "toolo|-1.5|        | |");  // D and L as they stand
  EXPECT_EQ(other.current_record(), 2u);

  // Values set but not written leave the file alone and can be put back.
  other.field(0)->SetValue("new");
  EXPECT_EQ(other.field(0)->SavedValue(), "toolo");
  other.RevertFields();
  EXPECT_EQ(other.field(0)->Value(), "toolo");
  EXPECT_EQ(other.field(0)->SavedValue(), "new");
}

TEST_F(Tables, ForeignPaddingAndAlignmentAreUndone) {
  // NUL padding ends a value; N keeps trailing text; C keeps leading spaces.
  Bytes records = Bytes(" ") + Bytes("  x\0\0", 5) + "  7  " + "*";
  PutDataFile("f.dbf", TableFile(0x03, 1, 32 * 3 + 33, 12,
                                 {Descriptor("C", 'C', 5, 0), Descriptor("N", 'N', 5, 0),
                                  Descriptor("L", 'L', 1, 0)},
                                 records));
  XBaseTable table(&files_);
  ASSERT_TRUE(table.Open(kDataArea, "f.dbf")) << table.error();
  EXPECT_EQ(Row(table, 1), "  x|7  |*");
}

TEST_F(Tables, MemoTextsTakeWholeBlocksAndRewritesUseFreshOnes) {
  XBaseTable table(&files_);
  ASSERT_TRUE(table.Create(kDataArea, "m.dbf", "", {{"M", kXBaseMemo, 10, 0}}));
  Append(table, {std::string(510, 'a')});  // 510 + 2 end marks fill one block
  EXPECT_EQ(table.next_memo_block(), 2u);
  Append(table, {std::string(511, 'b')});
  EXPECT_EQ(table.next_memo_block(), 4u);
  Append(table, {""});  // an empty memo takes no block
  EXPECT_EQ(table.next_memo_block(), 4u);
  Bytes memo = DataFile("m.dbt");
  EXPECT_EQ(memo.substr(0, 4), Le32(4));
  EXPECT_EQ(memo.size(), 2 * 512u + 511 + 2);

  // A text with NUL bytes comes back whole; each rewrite uses new blocks.
  ASSERT_TRUE(table.ReadRecord(1));
  std::string binary("x\0y", 3);
  table.field(0)->SetValue(binary);
  ASSERT_TRUE(table.UpdateRecord()) << table.error();
  ASSERT_TRUE(table.ReadRecord(1));
  table.field(0)->SetValue("second");
  ASSERT_TRUE(table.UpdateRecord()) << table.error();
  EXPECT_EQ(table.next_memo_block(), 6u);
  // Rewriting a record whose memo was not changed keeps its block.
  ASSERT_TRUE(table.ReadRecord(1));
  ASSERT_TRUE(table.UpdateRecord()) << table.error();
  EXPECT_EQ(table.next_memo_block(), 6u);

  XBaseTable reader(&files_);
  ASSERT_TRUE(reader.Open(kDataArea, "m.dbf"));
  EXPECT_EQ(Row(reader, 1), "second");
  EXPECT_EQ(static_cast<XBaseMemoField*>(reader.field(0))->Block(), 5u);
  EXPECT_EQ(Row(reader, 2), std::string(511, 'b'));
  EXPECT_EQ(Row(reader, 3), "");
  // The abandoned text is still in its block.
  std::string old;
  ASSERT_TRUE(reader.ReadMemo(4, &old));
  EXPECT_EQ(old, binary);
  // A memo read after another writer moved the next free block.
  Append(table, {"late"});
  EXPECT_EQ(Row(reader, 4), "late");
}

TEST_F(Tables, UpdateAndDeletionFlagRewriteOnlyTheirBytes) {
  XBaseTable table(&files_);
  ASSERT_TRUE(table.Create(kDataArea, "u.dbf", "", {{"A", kXBaseCharacter, 3, 0}}));
  Append(table, {"one"});
  Append(table, {"two"});
  ASSERT_TRUE(table.ReadRecord(1));
  table.field(0)->SetValue("uno");
  ASSERT_TRUE(table.SetDeleted(true));
  // The deletion flag went out; the changed value did not.
  EXPECT_EQ(DataFile("u.dbf").substr(65), "*one two\x1a");
  EXPECT_TRUE(table.deleted());
  ASSERT_TRUE(table.UpdateRecord());
  EXPECT_EQ(DataFile("u.dbf").substr(65), "*uno two\x1a");
  EXPECT_EQ(table.field(0)->SavedValue(), "uno");
  ASSERT_TRUE(table.SetDeleted(false));
  EXPECT_EQ(Row(table, 1), "uno");
  EXPECT_EQ(Row(table, 2), "two");
  EXPECT_EQ(DataFile("u.dbf").substr(1, 3), TodayBytes());

  // A later append is never deleted, whatever the current record was.
  ASSERT_TRUE(table.ReadRecord(1));
  ASSERT_TRUE(table.SetDeleted(true));
  Append(table, {"new"});
  EXPECT_FALSE(table.deleted());
  EXPECT_EQ(Row(table, 3), "new");
}

TEST_F(Tables, RecordRewritesWaitForTheRecordLock) {
  // A record lock held elsewhere holds the rewrite back until released.
  // Many writers and readers at once are the end-to-end test's.
  XBaseTable table(&files_);
  ASSERT_TRUE(table.Create(kDataArea, "r.dbf", "", {{"A", kXBaseCharacter, 6, 0}}));
  Append(table, {"first"});
  const int64_t offset = table.header_length(), length = table.record_length();
  SimpleFileEnvironment env;
  FileManager other(&env);
  ASSERT_TRUE(other.SetDataDirectory(tmp_ / "data"));
  auto holder = other.Open(kDataArea, "r.dbf", kOpenRead | kOpenWrite);
  ASSERT_NE(holder, nullptr);
  ASSERT_TRUE(holder->LockRegion(offset, length, true, true));
  std::atomic<bool> updated{false};
  std::thread writer([&] {
    table.field(0)->SetValue("second");
    EXPECT_TRUE(table.UpdateRecord()) << table.error();
    updated = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(updated);
  EXPECT_NE(DataFile("r.dbf").find("first"), std::string::npos);
  ASSERT_TRUE(holder->UnlockRegion(offset, length));
  writer.join();
  EXPECT_TRUE(updated);
  EXPECT_NE(DataFile("r.dbf").find("second"), std::string::npos);
}

TEST_F(Tables, RecordNumbersBeyondTheCountReReadTheHeader) {
  XBaseTable a(&files_), b(&files_);
  ASSERT_TRUE(a.Create(kDataArea, "h.dbf", "", {{"A", kXBaseNumber, 4, 0}}));
  Append(a, {"1"});
  ASSERT_TRUE(b.Open(kDataArea, "h.dbf"));
  Append(a, {"2"});
  EXPECT_EQ(b.record_count(), 1u);  // stale until asked
  EXPECT_EQ(Row(b, 2), "2");
  EXPECT_EQ(b.record_count(), 2u);
  Append(a, {"3"});
  ASSERT_TRUE(b.RefreshHeader());
  EXPECT_EQ(b.record_count(), 3u);

  // A reader that may not write still sees new records, and cannot write.
  XBaseTable reader(&files_);
  ASSERT_TRUE(reader.Open(kDataArea, "h.dbf", kOpenRead | kOpenMustExist));
  Append(a, {"4"});
  EXPECT_EQ(Row(reader, 4), "4");
  EXPECT_FALSE(reader.AppendRecord());
  EXPECT_EQ(reader.error(), "Error locking 'h.dbf' for write: Bad file descriptor");
  EXPECT_EQ(reader.record_count(), 4u);
  ASSERT_TRUE(b.RefreshHeader());

  EXPECT_FALSE(b.ReadRecord(5));
  EXPECT_EQ(b.error(), "Invalid record number");
  EXPECT_FALSE(b.ReadRecord(0));
  EXPECT_EQ(b.error(), "Invalid record number");
  EXPECT_EQ(b.current_record(), 2u);  // a failed read moves nothing
  EXPECT_EQ(b.field(0)->Value(), "2");

  XBaseTable empty(&files_);
  ASSERT_TRUE(empty.Create(kDataArea, "e.dbf", "", {{"A", kXBaseNumber, 4, 0}}));
  EXPECT_FALSE(empty.UpdateRecord());
  EXPECT_EQ(empty.error(), "Invalid record number");
  EXPECT_FALSE(empty.SetDeleted(true));
}

TEST_F(Tables, MemoFileNamesReplaceOrAddTheExtension) {
  EXPECT_EQ(XBaseTable::MemoFileName("a.dbf"), "a.dbt");
  EXPECT_EQ(XBaseTable::MemoFileName("dir.x/table"), "dir.x/table.dbt");
  EXPECT_EQ(XBaseTable::MemoFileName("dir.x\\table"), "dir.x\\table.dbt");
  EXPECT_EQ(XBaseTable::MemoFileName("a.b.c"), "a.b.dbt");
  EXPECT_EQ(XBaseTable::MemoFileName(".dbf"), ".dbf.dbt");
  EXPECT_EQ(XBaseTable::MemoFileName("x"), "x.dbt");

  XBaseTable table(&files_);
  ASSERT_TRUE(table.Create(kDataArea, "n.dbf", "notes.txt", {{"M", kXBaseMemo, 10, 0}}));
  EXPECT_TRUE(tmp_.Has("data/notes.txt"));
  EXPECT_FALSE(tmp_.Has("data/n.dbt"));
}

TEST_F(Tables, VersionByteOrMemoFieldEachBringTheMemoFile) {
  const Bytes memo = Le32(2) + Bytes(508, '\0') + "text\x1a\x1a";
  PutDataFile("v83.dbf", TableFile(0x83, 1, 65, 4, {Descriptor("C", 'C', 3, 0)}, " abc"));
  PutDataFile("v83.dbt", memo);
  PutDataFile("v03.dbf",
              TableFile(0x03, 1, 65, 11, {Descriptor("M", 'M', 10, 0)}, Bytes(" ") + "         1"));
  PutDataFile("v03.dbt", memo);
  XBaseTable table(&files_);
  ASSERT_TRUE(table.Open(kDataArea, "v83.dbf")) << table.error();
  EXPECT_TRUE(table.has_memo());
  EXPECT_EQ(table.next_memo_block(), 2u);
  ASSERT_TRUE(table.Open(kDataArea, "v03.dbf")) << table.error();
  EXPECT_TRUE(table.has_memo());
  EXPECT_EQ(table.version(), 0x83);
  EXPECT_EQ(Row(table, 1), "text");

  std::remove((tmp_ / "data/v83.dbt").c_str());
  EXPECT_FALSE(table.Open(kDataArea, "v83.dbf"));
  EXPECT_EQ(table.error(), "Error opening 'v83.dbt': No such file or directory");
  EXPECT_FALSE(table.IsOpen());
}

TEST_F(Tables, DamagedFilesGiveMessagesNotCrashes) {
  XBaseTable table(&files_);
  const Bytes good =
      TableFile(0x03, 2, 65, 4, {Descriptor("C", 'C', 3, 0)}, Bytes(" abc") + " def");
  struct Case {
    const char* what;
    Bytes bytes;
    const char* message;
  } cases[] = {
      {"empty", "", "Error reading from 'x.dbf': Unexpected end of file"},
      {"cut in the header", good.substr(0, 20),
       "Error reading from 'x.dbf': Unexpected end of file"},
      {"cut in the descriptors", good.substr(0, 50),
       "Error reading from 'x.dbf': Unexpected end of file"},
      {"header length 32", TableFile(0x03, 0, 32, 4, {}, ""),
       "Error reading from 'x.dbf': Invalid header length"},
      {"fields wider than the record", TableFile(0x03, 0, 65, 3, {Descriptor("C", 'C', 3, 0)}, ""),
       "Error reading from 'x.dbf': Invalid record length"},
      {"version 4", "\x04" + good.substr(1), "'x.dbf': Unsupported xBase file version (0x04)"},
      {"version 0xF5", "\xf5" + good.substr(1), "'x.dbf': Unsupported xBase file version (0xF5)"},
      {"field type F", TableFile(0x03, 0, 65, 4, {Descriptor("AMOUNT", 'F', 3, 0)}, ""),
       "'x.dbf' contains an unsupported field (AMOUNT) of type 'F'"},
  };
  for (const Case& c : cases) {
    PutDataFile("x.dbf", c.bytes);
    EXPECT_FALSE(table.Open(kDataArea, "x.dbf")) << c.what;
    EXPECT_EQ(table.error(), c.message) << c.what;
    EXPECT_FALSE(table.IsOpen()) << c.what;
  }

  // A count beyond the file opens, but the missing records cannot be read.
  PutDataFile("x.dbf", TableFile(0x03, 1000, 65, 4, {Descriptor("C", 'C', 3, 0)}, " abc"));
  ASSERT_TRUE(table.Open(kDataArea, "x.dbf")) << table.error();
  EXPECT_EQ(Row(table, 1), "abc");
  EXPECT_FALSE(table.ReadRecord(3));
  EXPECT_EQ(table.error(), "Error reading from 'x.dbf': Unexpected end of file");
  EXPECT_EQ(table.current_record(), 1u);
  // Appending there would leave a hole of empty records.
  const Bytes before = DataFile("x.dbf");
  EXPECT_FALSE(table.AppendRecord());
  EXPECT_EQ(table.error(), "Error writing to 'x.dbf': Record count beyond the end of the file");
  EXPECT_EQ(DataFile("x.dbf"), before);
  EXPECT_EQ(table.record_count(), 1000u);

  // Memo block pointers past the end of the memo file, or absurdly large.
  PutDataFile("m.dbf", TableFile(0x83, 2, 65, 11, {Descriptor("M", 'M', 10, 0)},
                                 Bytes(" ") + "         9" + " 9999999999"));
  PutDataFile("m.dbt", Le32(1) + Bytes(508, '\0'));
  ASSERT_TRUE(table.Open(kDataArea, "m.dbf")) << table.error();
  for (uint32_t n : {1u, 2u}) {
    ASSERT_TRUE(table.ReadRecord(n));
    EXPECT_FALSE(table.field(0)->LoadValue());
    EXPECT_EQ(table.error(), "Error reading from 'm.dbt': Unexpected end of file");
    EXPECT_EQ(table.field(0)->Value(), "");
  }
  // A memo header naming block 0 as free would have us overwrite it.
  table.field(0)->SetValue("x");
  PutDataFile("m.dbt", Bytes(512, '\0'));
  EXPECT_FALSE(table.UpdateRecord());
  EXPECT_EQ(table.error(), "Error writing to 'm.dbt': Invalid next free block");
  EXPECT_EQ(DataFile("m.dbt"), Bytes(512, '\0'));
  // So would a next free block far past the end: the hole reads as text.
  PutDataFile("m.dbt", Le32(1000) + Bytes(508, '\0') + "\x1a");
  EXPECT_FALSE(table.UpdateRecord());
  EXPECT_EQ(table.error(), "Error writing to 'm.dbt': Next free block beyond the end of the file");
  EXPECT_EQ(DataFile("m.dbt").size(), 513u);
}

TEST_F(Tables, CreateRefusesWhatTheHeaderCannotHold) {
  XBaseTable table(&files_);
  std::vector<XBaseFieldDefinition> fields;
  for (int i = 0; i < 2046; ++i)
    fields.push_back({"F" + std::to_string(i), kXBaseLogical, 1, 0});
  ASSERT_TRUE(table.Create(kDataArea, "wide.dbf", "", fields)) << table.error();
  EXPECT_EQ(table.header_length(), 32 * 2046 + 33);
  Append(table, {"T"});
  ASSERT_TRUE(table.Open(kDataArea, "wide.dbf"));
  EXPECT_EQ(table.field_count(), 2046u);
  EXPECT_EQ(Row(table, 1).substr(0, 5), "T| | ");

  fields.push_back({"LAST", kXBaseLogical, 1, 0});
  EXPECT_FALSE(table.Create(kDataArea, "wide.dbf", "", fields));
  EXPECT_EQ(table.error(), "Error creating 'wide.dbf': too many fields (maximum 2046)");
  EXPECT_FALSE(table.IsOpen());

  // 300 fields of 254 bytes do not fit a 16-bit record length.
  std::vector<XBaseFieldDefinition> long_fields;
  for (int i = 0; i < 300; ++i)
    long_fields.push_back({"C" + std::to_string(i), 0, 254, 0});
  EXPECT_FALSE(table.Create(kDataArea, "long.dbf", "", long_fields));
  EXPECT_EQ(table.error(), "Error creating 'long.dbf': records too long (maximum 65535 bytes)");

  EXPECT_FALSE(table.Create(kDataArea, "../out.dbf", "", People()));
  EXPECT_EQ(table.error(),
            "Error creating '../out.dbf': The specified path references a path outside the "
            "configured data directory");
  EXPECT_FALSE(table.Create(kDataArea, "ok.dbf", "../out.dbt", People()));
  EXPECT_EQ(table.error(),
            "Error creating '../out.dbt': The specified path references a path outside the "
            "configured data directory");
  EXPECT_FALSE(table.Open(kDataArea, "missing.dbf"));
  EXPECT_EQ(table.error(), "Error opening 'missing.dbf': No such file or directory");
  EXPECT_TRUE(table.file_name().empty());
}

}  // namespace
}  // namespace orin

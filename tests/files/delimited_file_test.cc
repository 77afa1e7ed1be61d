// Delimited records: files written by other tools (Python's csv module, a
// spreadsheet's quoting), our own records read back byte for byte, and
// the reader's buffer boundaries.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "files/delimited_file.h"
#include "temp_dir.h"
#include "util/memory_stream.h"

namespace orin {
namespace {

using Rows = std::vector<std::vector<std::string>>;

Rows ReadAll(const std::string& bytes, std::string_view delimiter, uint32_t buffer_size = 8192) {
  MemoryStream stream(bytes);
  DelimitedReader reader(&stream, delimiter, buffer_size);
  Rows rows;
  std::vector<std::string> fields;
  for (;;) {
    DelimitedReader::Result r = reader.Next(&fields);
    EXPECT_NE(r, DelimitedReader::kError) << reader.ErrorText();
    if (r != DelimitedReader::kRecord) break;
    rows.push_back(fields);
  }
  return rows;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Rows in the length-prefixed form the Python helper writes: one line
// "<count>" per row, then "<length>:<bytes>" per field.
Rows ParseExpected(const std::string& text) {
  Rows rows;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t nl = text.find('\n', pos);
    size_t count = std::stoul(text.substr(pos, nl - pos));
    pos = nl + 1;
    std::vector<std::string> row;
    for (size_t i = 0; i < count; ++i) {
      size_t colon = text.find(':', pos);
      size_t length = std::stoul(text.substr(pos, colon - pos));
      row.push_back(text.substr(colon + 1, length));
      pos = colon + 1 + length;
    }
    rows.push_back(row);
  }
  return rows;
}

// Runs Python's csv module with `options` over rows that hold the hard
// cases; returns the file it wrote and the rows it was given.
void WriteWithPython(const TempDir& dir, const std::string& options, std::string* csv,
                     Rows* expected) {
  std::string script = dir / "make.py";
  std::ofstream(script) << R"(import csv, sys
rows = [
    ["name", "note", "amount"],
    ["Smith, J.", 'He said "no"', "3,5"],
    ["multi\nline", "", "crlf\r\ninside"],
    ["", "", ""],
    ["tab\there", "semi;colon", "trailing space "],
    ["x"],
    [""],
    ["last", "row"],
]
with open(sys.argv[1], "w", newline="") as f:
    csv.writer(f, )" + options +
                               R"().writerows(rows)
with open(sys.argv[2], "w", newline="") as f:
    for row in rows:
        f.write("%d\n" % len(row))
        for v in row:
            f.write("%d:%s" % (len(v.encode()), v))
)";
  std::string command =
      "python3 " + script + " " + (dir / "out.csv") + " " + (dir / "expected.txt");
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  *csv = ReadFile(dir / "out.csv");
  *expected = ParseExpected(ReadFile(dir / "expected.txt"));
}

TEST(DelimitedReader, ReadsWhatPythonsCsvModuleWrites) {
  const char* dialects[] = {
      "",                                               // excel: CR LF, minimal quoting
      "lineterminator='\\n'",                           // LF
      "delimiter=';', quoting=csv.QUOTE_ALL",           // every field quoted
      "delimiter='\\t', quoting=csv.QUOTE_NONNUMERIC",  // tab-separated
  };
  for (const char* dialect : dialects) {
    SCOPED_TRACE(dialect);
    TempDir dir;
    std::string csv;
    Rows expected;
    WriteWithPython(dir, dialect, &csv, &expected);
    ASSERT_EQ(expected.size(), 8u);
    std::string delimiter = std::string(dialect).find("';'") != std::string::npos     ? ";"
                            : std::string(dialect).find("'\\t'") != std::string::npos ? "\t"
                                                                                      : ",";
    EXPECT_EQ(ReadAll(csv, delimiter), expected);
    // Without the last line break the last record still counts.
    ASSERT_EQ(csv.back(), '\n');
    csv.pop_back();
    if (!csv.empty() && csv.back() == '\r') csv.pop_back();
    EXPECT_EQ(ReadAll(csv, delimiter), expected);
  }
}

TEST(DelimitedReader, ReadsSpreadsheetQuoting) {
  // Text quoted, numbers bare, quotes doubled, a line break inside quotes,
  // an empty quoted field, an empty last field and no final line break.
  std::string bytes =
      "\"Name\";\"Note\";12\n"
      "\"Smith; J.\";\"He said \"\"no\"\"\";3,5\r\n"
      "\"multi\nline\";\"\";\n"
      "\"a \\ backslash\";x\"y\";\"\"\"\"";
  Rows expected = {
      {"Name", "Note", "12"},
      {"Smith; J.", "He said \"no\"", "3,5"},
      {"multi\nline", "", ""},
      {"a \\ backslash", "x\"y\"", "\""},
  };
  EXPECT_EQ(ReadAll(bytes, ";"), expected);
}

TEST(DelimitedReader, PlainFieldsKeepTheBackslashEscapes) {
  // An escaped line break is data; the escaped byte still counts toward
  // the delimiter; a quote that does not open a field is data.
  Rows expected = {{"a\nb", "c", "d\"e"}, {"x\\y", "\r"}};
  EXPECT_EQ(ReadAll("a\\nb\\,c,d\"e\nx\\\\y,\\r\n", ","), expected);
  // With an empty delimiter the line is one field, quotes and all.
  EXPECT_EQ(ReadAll("\"a\",b\n", ""), (Rows{{"\"a\",b"}}));
}

TEST(DelimitedReader, AnyBufferSizeReadsTheSame) {
  // A quoted part ("q""") followed by plain bytes in the same field.
  std::string bytes = "\"q\"\"\",a||b\r\n\r\nlast\\n||\"x\r\ny\"";
  Rows whole = ReadAll(bytes, "||");
  EXPECT_EQ(whole, (Rows{{"q\",a", "b"}, {""}, {"last\n", "x\r\ny"}}));
  for (uint32_t size : {1u, 2u, 3u, 5u, 7u}) {
    SCOPED_TRACE(size);
    EXPECT_EQ(ReadAll(bytes, "||", size), whole);
  }
}

TEST(DelimitedReader, KeepsAtMostTheFieldsAskedFor) {
  MemoryStream stream("a,b,\"c,d\",e\nf\n");
  DelimitedReader reader(&stream, ",", 4);
  std::vector<std::string> fields;
  ASSERT_EQ(reader.Next(&fields, 2), DelimitedReader::kRecord);
  EXPECT_EQ(fields, (std::vector<std::string>{"a", "b"}));
  ASSERT_EQ(reader.Next(&fields, 2), DelimitedReader::kRecord);
  EXPECT_EQ(fields, (std::vector<std::string>{"f"}));
  EXPECT_EQ(reader.Next(&fields, 2), DelimitedReader::kEnd);
}

// A stream that fails after some bytes.
class FailingStream : public Stream {
 public:
  explicit FailingStream(std::string bytes) : bytes_(std::move(bytes)) {}
  int64_t Seek(int64_t) override { return -1; }
  int32_t Read(void* buffer, int32_t count) override {
    if (bytes_.empty()) {
      error_ = "Input/output error";
      return -1;
    }
    int32_t n = std::min<int32_t>(count, static_cast<int32_t>(bytes_.size()));
    std::memcpy(buffer, bytes_.data(), static_cast<size_t>(n));
    bytes_.erase(0, static_cast<size_t>(n));
    return n;
  }
  int32_t Write(const void*, int32_t) override { return -1; }
  const std::string& ErrorText() const override { return error_; }

 private:
  std::string bytes_;
  std::string error_;
};

TEST(DelimitedReader, AReadErrorIsReportedNotTakenForTheEnd) {
  FailingStream stream("a,b\n\"open");
  DelimitedReader reader(&stream, ",", 4);
  std::vector<std::string> fields;
  ASSERT_EQ(reader.Next(&fields), DelimitedReader::kRecord);
  EXPECT_EQ(reader.Next(&fields), DelimitedReader::kError);
  EXPECT_EQ(reader.ErrorText(), "Input/output error");
}

TEST(DelimitedRecords, RoundTripGivesBackEveryByte) {
  std::mt19937 random(17);
  const char alphabet[] = {'a', 'b', ',', ';', '|', '"', '\\', '\r', '\n', ' ', '\t', 'n', '\0'};
  for (std::string delimiter : {",", ";", "\t", "||", "|;"}) {
    SCOPED_TRACE(delimiter);
    std::string file;
    Rows written;
    for (int row = 0; row < 300; ++row) {
      std::vector<std::string> fields(1 + random() % 5);
      for (std::string& f : fields) {
        size_t length = random() % 8;
        for (size_t i = 0; i < length; ++i)
          f.push_back(alphabet[random() % sizeof alphabet]);
      }
      std::vector<std::string_view> views(fields.begin(), fields.end());
      file += FormatDelimitedRecord(views, delimiter);
      written.push_back(fields);
    }
    EXPECT_EQ(ReadAll(file, delimiter), written);
    EXPECT_EQ(ReadAll(file, delimiter, 3), written);
  }
}

TEST(DelimitedRecords, PlainValuesStayPlain) {
  EXPECT_EQ(FormatDelimitedRecord({"a", "", "b c"}, ","), "a,,b c\n");
  EXPECT_EQ(FormatDelimitedRecord({"a|", "b"}, "||"), "\"a|\"||b\n");
  EXPECT_EQ(FormatDelimitedRecord({"x\n\\"}, ""), "x\\n\\\\\n");
}

}  // namespace
}  // namespace orin

// Delimited text files: the records ZtIMPORT reads and ZtEXPORT appends.
//
// A record ends at an unquoted line break (LF, CR, or CR LF). Fields are
// separated by the delimiter, which may be several bytes; an empty
// delimiter makes the whole record one field. Two kinds of field text:
//
//  - plain: a backslash takes the next byte literally, except that "\n"
//    and "\r" stand for LF and CR (so an escaped line break does not end
//    the record, and "\\" is one backslash). The escaped byte still counts
//    toward a delimiter, as the server has always read these files.
//  - quoted: a field whose first byte is a double quote runs to the next
//    quote that is not doubled; inside, every byte is data (delimiters,
//    line breaks, backslashes) and "" is one quote. Bytes after the closing
//    quote, up to the delimiter, are appended as plain text. This is how
//    spreadsheets and Python's csv module quote.
//
// At the end of the file a last record without a line break still counts;
// nothing after the last line break is no record. Records are never too
// long: the field buffers grow.
#ifndef ORIN_FILES_DELIMITED_FILE_H_
#define ORIN_FILES_DELIMITED_FILE_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orin {

class Stream;

class DelimitedReader {
 public:
  // Reads `source` (not owned) in blocks of `buffer_size` bytes.
  DelimitedReader(Stream* source, std::string_view delimiter, uint32_t buffer_size);

  // The next record's fields, at most `max_fields` of them (extra fields
  // are read and dropped; 0 keeps them all). kEnd at the end of the file,
  // kError when reading failed (ErrorText holds the stream's text).
  enum Result { kRecord, kEnd, kError };
  Result Next(std::vector<std::string>* fields, size_t max_fields = 0);

  const std::string& ErrorText() const { return error_; }

 private:
  // The next byte (-1 at the end, -2 on a read error).
  int Get();
  int Peek();
  bool Fill();
  // Appends a plain byte; true when the field now ends with the delimiter
  // (which is then cut off).
  bool AppendPlain(std::string* field, size_t plain_start, char c);

  Stream* source_;
  std::string delimiter_;
  std::vector<char> buffer_;
  uint32_t fill_ = 0;
  uint32_t pos_ = 0;
  bool eof_ = false;
  bool failed_ = false;
  std::string error_;
};

// One record in the form DelimitedReader reads back byte for byte: fields
// joined by the delimiter, each quoted when it holds a quote, a backslash,
// a line break or the delimiter, and a final LF. With an empty delimiter
// the fields are written one after the other with backslash escapes.
std::string FormatDelimitedRecord(const std::vector<std::string_view>& fields,
                                  std::string_view delimiter);

}  // namespace orin

#endif  // ORIN_FILES_DELIMITED_FILE_H_

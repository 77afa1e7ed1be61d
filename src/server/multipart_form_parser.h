// MultipartFormParser: multipart/form-data bodies, as browsers post forms
// with file inputs.
//
// A byte state machine over any split of the body into pieces. The
// boundary comes from the content type's "boundary" parameter (quoted or
// not) or, without one, from the body's first line. Each part's headers may
// be Content-Disposition (its name and filename parameters) and
// Content-Type; any other header refuses the body.
//
// A part without a file becomes a variable (repeated names become arrays).
// A file part is streamed to a new temporary file "ZETO_FUP.<n>" in the data
// directory, never held in memory; the program decides through its
// functions: "Zeto_ValidateFileUpload" (field, file name, content type)
// returns the most bytes to keep (0 all, negative: skip the file; without
// the function every file is skipped) and "Zeto_ProcessFileUpload" (field,
// file name, "COMPLETE" or "PARTIAL", temporary path, content type, bytes
// received) gets the file, which is deleted afterwards whatever it did.
//
// Data runs are delivered as they are found, not byte by byte. A boundary
// cut between two pieces is matched across them; bytes that only looked
// like the start of one are delivered as data when the match fails. Every
// header, parameter and boundary buffer is limited to 8192 bytes.
#ifndef ORIN_SERVER_MULTIPART_FORM_PARSER_H_
#define ORIN_SERVER_MULTIPART_FORM_PARSER_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "server/content_parser.h"

namespace orin {

class File;
class FileManager;
class UploadHandler;

class MultipartFormParser : public FormContentParser {
 public:
  static constexpr uint32_t kMaxBuffer = 8192;

  // `uploads` may be null: files are then skipped as for a program without
  // the validation function. A boundary parameter longer than the buffer
  // limit refuses the body at the first Feed.
  MultipartFormParser(UploadHandler* uploads, FileManager* files, VariableHash* scope,
                      std::string_view content_type, int32_t max_variables);
  // Deletes the temporary file of an upload the body broke off in.
  ~MultipartFormParser() override;

  bool Feed(const char* data, int32_t length) override;
  // Accepts a body cut short: parts completed so far count; an upload
  // still open is closed and deleted.
  bool Finish() override;

  // The delimiter searched for: CR LF "--" and the boundary.
  std::string_view delimiter() const { return boundary_.view(); }

 private:
  enum State : int {
    kMatchFirst = 0,      // the first boundary, from its "--"
    kLearn = 1,           // taking the boundary from the first line
    kAfterFirst = 2,      // CR after the first boundary
    kSkipLine = 3,        // no boundary: fails at the end of the line
    kExpectLF = 4,        // LF ending a boundary or header line
    kHeaderStart = 5,     // first byte of a header line
    kHeaderName = 6,      // header name up to ":"
    kContentType = 7,     // Content-Type value
    kDisposition = 8,     // Content-Disposition up to its first ";"
    kParamStart = 9,      // spaces before a parameter name
    kParamName = 10,      // parameter name up to "="
    kParamValue = 11,     // parameter value up to ";" or CR
    kExpectBodyLF = 12,   // LF of the empty line before the data
    kDataStart = 13,      // first byte of the data
    kData = 14,           // data
    kMatch = 15,          // a boundary started in this piece
    kMatchCarried = 16,   // a boundary started in an earlier piece
    kAfterBoundary = 17,  // CR (another part) or "-" (the end)
    kClosing = 18,        // the second "-"
    kDone = 19,           // after the closing boundary: ignored
    kFailed = 20,
  };
  enum class Upload { kNone = 0, kWriting = 1, kPartial = 2, kSkipped = 3 };

  bool Fail(std::string message);
  bool FailFound(char c, std::string_view expected);
  bool AppendLimited(ByteString* buffer, const char* bytes, size_t length);
  // One byte of a state that is not data.
  bool Step(char c);
  bool HeaderNameEnded();
  bool ParameterEnded();
  void StartPart();
  bool BoundaryFound(const char* data, size_t run);
  bool Deliver(const char* bytes, size_t length);
  bool BeginPart();
  bool EndPart();
  void DiscardUpload();

  UploadHandler* uploads_;
  FileManager* files_;
  State state_;
  ByteString boundary_;
  uint32_t match_ = 0;      // bytes of the boundary matched
  size_t match_begin_ = 0;  // where a kMatch began in the current piece
  ByteString header_name_;
  ByteString param_name_;
  ByteString param_value_;
  ByteString content_type_;
  ByteString field_name_;
  ByteString file_name_;  // quotes included
  bool has_file_ = false;
  ByteString field_value_;
  std::string upload_status_;
  int32_t upload_limit_ = 0;
  std::string temp_path_;  // relative to the data directory
  std::unique_ptr<File> temp_file_;
  int64_t upload_size_ = 0;
  Upload upload_ = Upload::kNone;
};

}  // namespace orin

#endif  // ORIN_SERVER_MULTIPART_FORM_PARSER_H_

// Reading a request's body into the run's variables before the script runs.
//
// The Content-Type decides the parser: URL-encoded forms and multipart
// forms (with uploads) fill the global scope, JSON and admitted other types
// the system scope. Exactly Content-Length bytes are read, at most 8192 at
// a time, under the POST timer; a client that sends less ends the body
// early, and a receive failure counts as the end of the body.
//
// The POST timer is checked after every receive, and no wait for the
// client lasts past it: a client that trickles its body a byte at a time
// is stopped when the timer expires, not when 8192 bytes have come.
#ifndef ORIN_SERVER_REQUEST_BODY_H_
#define ORIN_SERVER_REQUEST_BODY_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "server/body_source.h"
#include "util/byte_string.h"

namespace orin {

class ClientRequest;
class FileManager;
class HTTPContentParser;
class UploadHandler;
class VariableHash;
class ZetoApplication;

// Where a body goes and who hears about it.
struct RequestBodyTargets {
  ZetoApplication* application;  // configuration, the POST timer, reports
  VariableHash* globals;         // form fields
  VariableHash* system;          // json_data, content_data
  FileManager* files;            // temporary files of uploads
  UploadHandler* uploads;        // the upload functions; null skips files
};

constexpr int32_t kBodyBlockSize = 8192;

// The value of a Content-Length header as atoi reads it (leading blanks, a
// sign, digits up to the first other byte), held to 0 .. INT32_MAX.
int32_t ContentLengthValue(std::string_view text);

// The parser for a body of `content_type` and `length` bytes, or null with
// *error set when the type is refused (the configured
// `maxunknowncontentlength`).
std::unique_ptr<HTTPContentParser> NewBodyParser(const RequestBodyTargets& targets,
                                                 std::string_view content_type, int32_t length,
                                                 std::string* error);

// Reads and parses the body the headers announce (either may be null: no
// body). True when there was none or it was parsed. False when the request
// must end; the reason has then been reported through the application:
// ReportTimeout for "Timeout processing POST data", ReportInputError for
// everything else.
bool ReadRequestBody(const RequestBodyTargets& targets, const ByteString* content_type,
                     const ByteString* content_length, BodySource* source);
// The same with the request's own headers and connection.
bool ReadRequestBody(const RequestBodyTargets& targets, ClientRequest* request);

}  // namespace orin

#endif  // ORIN_SERVER_REQUEST_BODY_H_

// Readers for what mail servers send: SMTP replies (one or more lines, a
// three-digit code, '-' after the code on every line but the last), POP3
// status lines ("+OK ..." / "-ERR ...") and POP3 multi-line bodies ended by
// a line holding a single '.', with the leading dot of stuffed lines removed.
//
// Each reader takes lines from a NetworkConnection under a time-out and
// bounds what a peer can make it hold: a line is at most kMailLineLimit
// bytes, a reply at most kSmtpReplyLineLimit lines.
#ifndef ORIN_NETWORK_MAIL_REPLY_H_
#define ORIN_NETWORK_MAIL_REPLY_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orin {

class NetworkConnection;

constexpr int32_t kMailLineLimit = 1 << 20;
constexpr int32_t kMailReadBlock = 512;
constexpr size_t kSmtpReplyLineLimit = 1000;

struct SmtpReply {
  int code = 0;
  // Each line without its code, separator and line end.
  std::vector<std::string> lines;
  // The reply as the server sent it, lines joined by "\n", no final line end.
  std::string text;
};

// Reads one reply. False with *error set: the connection's message, or
// "Failed to read SMTP status" for a line too short or without a code.
bool ReadSmtpReply(NetworkConnection* connection, int timeout, SmtpReply* reply,
                   std::string* error);

// What an EHLO reply announces (bits of SMTPService's extension word).
constexpr uint32_t kSmtpExtStartTls = 0x1;
constexpr uint32_t kSmtpExtLogin = 0x100;
constexpr uint32_t kSmtpExtPlain = 0x200;
constexpr uint32_t kSmtpExtCramMd5 = 0x400;
constexpr uint32_t kSmtpExtDigestMd5 = 0x800;
uint32_t SmtpExtensions(const SmtpReply& ehlo);

// Removes a final LF and a CR before it.
std::string_view WithoutLineEnd(std::string_view line);

enum class Pop3Status { kOk, kError, kUnreadable };

// Reads a status line. kOk or kError with *text the words after the status
// word; kUnreadable with *text the connection's message (or empty when the
// line was not a status line).
Pop3Status ReadPop3Status(NetworkConnection* connection, int timeout, std::string* text);

// Reads the lines of a multi-line POP3 answer one by one.
class Pop3LineReader {
 public:
  Pop3LineReader(NetworkConnection* connection, int timeout)
      : connection_(connection), timeout_(timeout) {}
  // 1 with *line (no line end, stuffing removed), 0 at the closing ".",
  // -1 with error() set when the connection fails.
  int Next(std::string* line);
  const std::string& error() const { return error_; }

 private:
  NetworkConnection* connection_;
  int timeout_;
  std::string raw_;
  std::string error_;
};

}  // namespace orin

#endif  // ORIN_NETWORK_MAIL_REPLY_H_

// SMTPService: the client side of one SMTP dialogue (RFC 5321): greeting,
// HELO or EHLO, STARTTLS (RFC 3207), one login (DIGEST-MD5, CRAM-MD5,
// PLAIN or LOGIN, the first the server announces in that order), the
// envelope, the header block and, once the message text is sent, the
// server's verdict and QUIT.
//
// Every step waits at most the service's time-out ("mailtimeout"). Replies
// other than the one a step expects end the dialogue with the reply's own
// text as the message; the connection is closed on failure.
#ifndef ORIN_NETWORK_SMTP_SERVICE_H_
#define ORIN_NETWORK_SMTP_SERVICE_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "network/mail_reply.h"
#include "network/network_service.h"

namespace orin {

class Output;

// Flag bits.
constexpr uint32_t kSmtpTls = 1;
constexpr uint32_t kSmtpStartTls = 2;
constexpr uint32_t kSmtpNoHeaders = 4;

// Parses the flag text ("tls", "starttls", "noheaders", comma-separated).
// False with *error set.
bool ParseSmtpFlags(std::string_view text, uint32_t* flags, std::string* error);

// The Date header's value for `seconds` since the epoch in the local zone,
// e.g. "Sun, 06 Dec 2026 09:30:00 -0000".
std::string SmtpDate(int64_t seconds);
// The same layout for given local fields and offset from UTC in seconds.
std::string SmtpDateFields(int year, int month, int day, int weekday, int hour, int minute,
                           int second, int64_t utc_offset);

class SMTPService : public NetworkService {
 public:
  SMTPService(NetworkManager* manager, std::string host, int port, int timeout, std::string user,
              std::string password, uint32_t flags);

  // Connects, secures, greets and logs in. `local_name` goes after HELO/EHLO.
  bool Open(std::string_view local_name);
  // MAIL FROM, RCPT TO for every address of both lists, DATA.
  bool SendEnvelope(std::string_view sender, std::string_view recipients, std::string_view cc);
  // The header block (unless "noheaders"), written to `text` so that it
  // passes through the message's line handling.
  void WriteHeaders(Output* text, std::string_view sender, std::string_view recipients,
                    std::string_view cc, std::string_view subject, std::string_view user_id,
                    int64_t now);
  // After the text: the server's answer, then QUIT.
  bool Finish();

  uint32_t flags() const { return flags_; }
  uint32_t extensions() const { return extensions_; }

 private:
  // Sends a command (may be empty: just reads) and reads the reply into
  // reply_; false with the connection's message.
  bool Command(std::string_view line);
  // Command, then the general check (220, 221, 250, 251, 354).
  bool CommandOk(std::string_view line);
  // Command, then exactly `code`; otherwise the reply's text is the message.
  bool CommandExpect(std::string_view line, int code);
  bool Hello(std::string_view local_name, bool extended);
  bool StartTls();
  bool Authenticate();
  bool AuthLogin();
  bool AuthPlain();
  bool AuthCramMd5();
  bool AuthDigestMd5();
  // The decoded text of reply_'s last line.
  std::string DecodedReply();
  std::string LoginPrompt();
  std::string ClientNonce();
  bool FailClosed(std::string text);

  std::string user_;
  std::string password_;
  uint32_t flags_;
  uint32_t extensions_ = 0;
  SmtpReply reply_;
};

}  // namespace orin

#endif  // ORIN_NETWORK_SMTP_SERVICE_H_

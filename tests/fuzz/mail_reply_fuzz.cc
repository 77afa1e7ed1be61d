// The mail readers on arbitrary bytes: multi-line SMTP replies (and the
// extensions an EHLO reply announces), POP3 status lines and dot-terminated
// POP3 bodies. The first byte picks the read size, so every split of the
// input is reached; the rest of the input is read as a sequence of replies
// until the bytes run out.
#include <cstddef>
#include <cstdint>
#include <string>

#include "network/mail_reply.h"
#include "network/memory_connection.h"
#include "network/smtp_auth.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  size_t step = 1 + data[0] % 16;
  std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  {
    orin::MemoryConnection connection(bytes, step);
    orin::SmtpReply reply;
    std::string error;
    while (orin::ReadSmtpReply(&connection, 1, &reply, &error)) {
      if (reply.code < 0 || reply.code > 999 || reply.lines.empty()) __builtin_trap();
      orin::SmtpExtensions(reply);
    }
  }
  {
    orin::MemoryConnection connection(bytes, step);
    std::string text;
    orin::ReadPop3Status(&connection, 1, &text);
    orin::Pop3LineReader reader(&connection, 1);
    std::string line;
    for (int r; (r = reader.Next(&line)) != -1;) {
      // A delivered line never holds its line end.
      if (r == 1 && line.find('\n') != std::string::npos) __builtin_trap();
    }
  }
  orin::DigestChallenge challenge;
  std::string error;
  orin::ParseDigestChallenge(bytes, &challenge, &error);
  return 0;
}

#include "network/mail_reply.h"

#include "network/network_connection.h"
#include "util/ascii.h"

namespace orin {

namespace {

// Reads one line with the connection's line limit set to the mail limit.
int32_t ReadMailLine(NetworkConnection* connection, int timeout, std::string* line) {
  int32_t old_limit = connection->line_limit();
  connection->set_line_limit(kMailLineLimit);
  int32_t n = connection->ReadLine(line, timeout, kMailReadBlock);
  connection->set_line_limit(old_limit);
  return n;
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

std::string_view WithoutLineEnd(std::string_view line) {
  if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

bool ReadSmtpReply(NetworkConnection* connection, int timeout, SmtpReply* reply,
                   std::string* error) {
  reply->code = 0;
  reply->lines.clear();
  reply->text.clear();
  std::string raw;
  for (;;) {
    if (ReadMailLine(connection, timeout, &raw) < 0) {
      *error = connection->ErrorText();
      return false;
    }
    std::string_view line = WithoutLineEnd(raw);
    if (line.size() < 3 || !IsDigit(line[0]) || !IsDigit(line[1]) || !IsDigit(line[2])) {
      *error = "Failed to read SMTP status";
      return false;
    }
    reply->code = (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
    bool more = line.size() > 3 && line[3] == '-';
    reply->lines.emplace_back(line.size() > 4 ? line.substr(4) : std::string_view());
    if (!reply->text.empty()) reply->text.push_back('\n');
    reply->text.append(line);
    if (!more) return true;
    if (reply->lines.size() >= kSmtpReplyLineLimit) {
      *error = "Failed to read SMTP status";
      return false;
    }
  }
}

uint32_t SmtpExtensions(const SmtpReply& ehlo) {
  uint32_t found = 0;
  // The first line is the greeting of the EHLO reply, not an extension.
  for (size_t i = 1; i < ehlo.lines.size(); ++i) {
    std::string_view line = ehlo.lines[i];
    size_t end = line.find_first_of(" =");
    std::string_view keyword = line.substr(0, end);
    if (EqualsNoCase(keyword, "STARTTLS")) {
      found |= kSmtpExtStartTls;
    } else if (EqualsNoCase(keyword, "AUTH") && end != std::string_view::npos) {
      std::string_view rest = line.substr(end + 1);
      while (!rest.empty()) {
        size_t space = rest.find(' ');
        std::string_view word = rest.substr(0, space);
        if (EqualsNoCase(word, "LOGIN")) found |= kSmtpExtLogin;
        if (EqualsNoCase(word, "PLAIN")) found |= kSmtpExtPlain;
        if (EqualsNoCase(word, "CRAM-MD5")) found |= kSmtpExtCramMd5;
        if (EqualsNoCase(word, "DIGEST-MD5")) found |= kSmtpExtDigestMd5;
        if (space == std::string_view::npos) break;
        rest.remove_prefix(space + 1);
      }
    }
  }
  return found;
}

Pop3Status ReadPop3Status(NetworkConnection* connection, int timeout, std::string* text) {
  std::string raw;
  text->clear();
  if (ReadMailLine(connection, timeout, &raw) < 0) {
    *text = connection->ErrorText();
    return Pop3Status::kUnreadable;
  }
  std::string_view line = WithoutLineEnd(raw);
  if (line.empty() || (line[0] != '+' && line[0] != '-')) return Pop3Status::kUnreadable;
  size_t space = line.find(' ');
  if (space != std::string_view::npos) text->assign(line.substr(space + 1));
  return line[0] == '-' ? Pop3Status::kError : Pop3Status::kOk;
}

int Pop3LineReader::Next(std::string* line) {
  if (ReadMailLine(connection_, timeout_, &raw_) < 0) {
    error_ = connection_->ErrorText();
    return -1;
  }
  std::string_view text = WithoutLineEnd(raw_);
  if (text == ".") return 0;
  if (text.size() >= 2 && text[0] == '.' && text[1] == '.') text.remove_prefix(1);
  line->assign(text);
  return 1;
}

}  // namespace orin

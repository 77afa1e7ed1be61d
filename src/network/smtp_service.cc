#include "network/smtp_service.h"

#include <cstdio>
#include <random>
#include <vector>

#include "network/network_manager.h"
#include "network/openssl.h"
#include "network/smtp_auth.h"
#include "output/output.h"
#include "platform/local_time.h"
#include "util/ascii.h"
#include "util/base64.h"

namespace orin {

namespace {

// The program's version as the X-Mailer header shows it (the same text the
// application reports as its version).
constexpr std::string_view kMailerVersion = "5.52";

// Days from 1970-01-01 to a civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  int64_t era = (y >= 0 ? y : y - 399) / 400;
  int64_t yoe = y - era * 400;
  int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

}  // namespace

bool ParseSmtpFlags(std::string_view text, uint32_t* flags, std::string* error) {
  *flags = 0;
  while (!text.empty()) {
    size_t comma = text.find(',');
    std::string_view piece = TrimSpaceTabCrLf(text.substr(0, comma));
    if (EqualsNoCase(piece, "tls")) {
      *flags |= kSmtpTls;
    } else if (EqualsNoCase(piece, "starttls")) {
      *flags |= kSmtpStartTls;
    } else if (EqualsNoCase(piece, "noheaders")) {
      *flags |= kSmtpNoHeaders;
    } else if (!piece.empty()) {
      *error = "Unsupported flag \"" + std::string(piece) + "\"";
      return false;
    }
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  if ((*flags & kSmtpTls) && (*flags & kSmtpStartTls)) {
    *error = "Only one of the \"tls\" or \"starttls\" flags may be specified";
    return false;
  }
  return true;
}

std::string SmtpDateFields(int year, int month, int day, int weekday, int hour, int minute,
                           int second, int64_t utc_offset) {
  static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  char text[96];
  int64_t hours = utc_offset / 3600;  // minutes are dropped
  std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d %c%04d",
                kDays[((weekday % 7) + 7) % 7], day, kMonths[((month - 1) % 12 + 12) % 12], year,
                hour, minute, second, hours > 0 ? '+' : '-',
                static_cast<int>((hours < 0 ? -hours : hours) * 100));
  return text;
}

std::string SmtpDate(int64_t seconds) {
  LocalTime t;
  if (!BreakDownLocalTime(seconds, &t)) return std::string();
  int64_t as_utc =
      DaysFromCivil(t.year, t.month, t.day) * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
  return SmtpDateFields(t.year, t.month, t.day, t.weekday, t.hour, t.minute, t.second,
                        as_utc - seconds);
}

SMTPService::SMTPService(NetworkManager* manager, std::string host, int port, int timeout,
                         std::string user, std::string password, uint32_t flags)
    : NetworkService(manager, std::move(host), port, timeout),
      user_(std::move(user)),
      password_(std::move(password)),
      flags_(flags) {}

bool SMTPService::FailClosed(std::string text) {
  Close();
  return Fail(std::move(text));
}

bool SMTPService::Command(std::string_view line) {
  if (!line.empty() && !Send(line)) return FailClosed(error_);
  std::string why;
  if (!ReadSmtpReply(connection_.get(), timeout_, &reply_, &why)) return FailClosed(why);
  return true;
}

bool SMTPService::CommandOk(std::string_view line) {
  if (!Command(line)) return false;
  switch (reply_.code) {
    case 220:
    case 221:
    case 250:
    case 251:
    case 354:
      return true;
    default:
      return FailClosed(reply_.text);
  }
}

bool SMTPService::CommandExpect(std::string_view line, int code) {
  if (!Command(line)) return false;
  if (reply_.code != code) return FailClosed(reply_.text);
  return true;
}

std::string SMTPService::DecodedReply() {
  std::string out;
  if (reply_.lines.empty() || !Base64Decode(reply_.lines.back(), &out)) return std::string();
  return out;
}

bool SMTPService::StartTls() {
  if (!manager_->StartTls(connection_.get(), host_, TlsOptions(), timeout_, 0))
    return FailClosed(manager_->ErrorText());
  return true;
}

bool SMTPService::Open(std::string_view local_name) {
  if (!Connect()) return false;
  if ((flags_ & kSmtpTls) && !StartTls()) return false;
  if (!CommandOk("")) return false;
  if (!(flags_ & kSmtpStartTls) && user_.empty() && password_.empty())
    return Hello(local_name, false);
  if (!Hello(local_name, true)) return false;
  if (flags_ & kSmtpStartTls) {
    if (!(extensions_ & kSmtpExtStartTls)) return FailClosed("Server does not support STARTTLS");
    if (!CommandOk("STARTTLS\r\n") || !StartTls() || !Hello(local_name, true)) return false;
  }
  if (!user_.empty() || !password_.empty()) return Authenticate();
  return true;
}

bool SMTPService::Hello(std::string_view local_name, bool extended) {
  std::string line = std::string(extended ? "EHLO " : "HELO ") + std::string(local_name) + "\r\n";
  if (!CommandOk(line)) return false;
  if (extended) extensions_ = SmtpExtensions(reply_);
  return true;
}

bool SMTPService::Authenticate() {
  if (extensions_ & kSmtpExtDigestMd5) return AuthDigestMd5();
  if (extensions_ & kSmtpExtCramMd5) return AuthCramMd5();
  if (extensions_ & kSmtpExtPlain) return AuthPlain();
  if (extensions_ & kSmtpExtLogin) return AuthLogin();
  return FailClosed("No supported authentication methods are allowed by the server");
}

// The prompt of an AUTH LOGIN step up to its first NUL: some servers end
// "User Name" and "Password" with one.
std::string SMTPService::LoginPrompt() {
  std::string prompt = DecodedReply();
  size_t nul = prompt.find('\0');
  if (nul != std::string::npos) prompt.resize(nul);
  return prompt;
}

bool SMTPService::AuthLogin() {
  if (!CommandExpect("AUTH LOGIN\r\n", 334)) return false;
  std::string prompt = LoginPrompt();
  if (prompt != "User Name" && prompt != "Username:")
    return FailClosed("Invalid AUTH LOGIN handshake");
  if (!CommandExpect(Base64Encode(user_) + "\r\n", 334)) return false;
  prompt = LoginPrompt();
  if (prompt != "Password" && prompt != "Password:")
    return FailClosed("Invalid AUTH LOGIN handshake");
  return CommandExpect(Base64Encode(password_) + "\r\n", 235);
}

bool SMTPService::AuthPlain() {
  std::string token = user_ + '\0' + user_ + '\0' + password_;
  return CommandExpect("AUTH PLAIN " + Base64Encode(token) + "\r\n", 235);
}

bool SMTPService::AuthCramMd5() {
  if (!CommandExpect("AUTH CRAM-MD5\r\n", 334)) return false;
  std::string answer = CramMd5Answer(user_, password_, DecodedReply());
  return CommandExpect(Base64Encode(answer) + "\r\n", 235);
}

std::string SMTPService::ClientNonce() {
  unsigned char bytes[16];
  OpenSSL* ssl = manager_->Ssl();
  if (ssl == nullptr || ssl->RAND_bytes == nullptr || ssl->RAND_bytes(bytes, sizeof bytes) != 1) {
    std::random_device device;
    std::mt19937 generator(device());
    for (unsigned char& b : bytes)
      b = static_cast<unsigned char>(generator());
  }
  return Base64Encode(std::string_view(reinterpret_cast<char*>(bytes), sizeof bytes));
}

bool SMTPService::AuthDigestMd5() {
  if (!CommandExpect("AUTH DIGEST-MD5\r\n", 334)) return false;
  DigestChallenge challenge;
  std::string why;
  if (!ParseDigestChallenge(DecodedReply(), &challenge, &why)) return FailClosed(why);
  DigestAnswer answer =
      DigestMd5Answer(user_, password_, challenge, ClientNonce(), "smtp/" + host_);
  if (!CommandExpect(Base64Encode(answer.line) + "\r\n", 334)) return false;
  std::string proof = DecodedReply();
  if (proof.size() != 40 || proof.compare(0, 8, "rspauth=") != 0)
    return FailClosed("Invalid rspauth during DIGEST-MD5 authentication");
  if (proof.compare(8, 32, answer.rspauth) != 0)
    return FailClosed("rspauth mismatch during DIGEST-MD5 authentication");
  return CommandExpect("\r\n", 235);
}

bool SMTPService::SendEnvelope(std::string_view sender, std::string_view recipients,
                               std::string_view cc) {
  if (!CommandOk("MAIL FROM: " + std::string(sender) + "\r\n")) return false;
  for (std::string_view list : {recipients, cc}) {
    for (std::string_view address : SplitCommaList(list)) {
      if (!CommandOk("RCPT TO: " + std::string(address) + "\r\n")) return false;
    }
  }
  if (!Command("DATA\r\n")) return false;
  if (reply_.code != 354) return FailClosed(reply_.text);
  return true;
}

void SMTPService::WriteHeaders(Output* text, std::string_view sender, std::string_view recipients,
                               std::string_view cc, std::string_view subject,
                               std::string_view user_id, int64_t now) {
  if (flags_ & kSmtpNoHeaders) return;
  std::string block = "Date: " + SmtpDate(now) + "\r\n";
  block += "From: " + std::string(sender) + "\r\n";
  block += "To: " + std::string(recipients) + "\r\n";
  if (!cc.empty()) block += "CC: " + std::string(cc) + "\r\n";
  block += "X-Mailer: Zeto v" + std::string(kMailerVersion);
  if (!user_id.empty()) block += " (" + std::string(user_id) + ")";
  block += "\r\n";
  block += "Subject: " + std::string(subject) + "\r\n";
  text->Write(block.data(), static_cast<int32_t>(block.size()));
}

bool SMTPService::Finish() {
  if (!CommandOk("")) return false;
  // The message is accepted; a failing QUIT changes nothing.
  Send("QUIT\r\n");
  Close();
  return true;
}

}  // namespace orin

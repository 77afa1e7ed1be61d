// The mail client's pieces on bytes in memory: reply readers split at every
// size, the logins against the worked examples of RFC 2195 and RFC 2831, the
// message text's line ends and dot-stuffing, flags, dates and POP3 hosts.
#include <gtest/gtest.h>

#include <string>

#include "memory_connection.h"
#include "network/mail_reply.h"
#include "network/pop3.h"
#include "network/smtp_auth.h"
#include "network/smtp_output.h"
#include "network/smtp_service.h"
#include "util/md5.h"

namespace orin {
namespace {

TEST(SmtpReply, MultiLineRepliesAndExtensionsAtEverySplit) {
  const std::string ehlo =
      "250-mail.example Hello\r\n250-SIZE 1000\r\n250-STARTTLS\r\n"
      "250-AUTH PLAIN LOGIN cram-md5\r\n250 8BITMIME\r\n";
  for (size_t step = 1; step < 12; ++step) {
    MemoryConnection c(ehlo + "221 bye\r\n", step);
    SmtpReply reply;
    std::string error;
    ASSERT_TRUE(ReadSmtpReply(&c, 0, &reply, &error)) << error;
    EXPECT_EQ(reply.code, 250);
    ASSERT_EQ(reply.lines.size(), 5u);
    EXPECT_EQ(reply.lines[3], "AUTH PLAIN LOGIN cram-md5");
    EXPECT_EQ(SmtpExtensions(reply),
              kSmtpExtStartTls | kSmtpExtPlain | kSmtpExtLogin | kSmtpExtCramMd5);
    ASSERT_TRUE(ReadSmtpReply(&c, 0, &reply, &error));
    EXPECT_EQ(reply.code, 221);
    EXPECT_EQ(reply.text, "221 bye");
  }
}

TEST(SmtpReply, ShortOrCodelessLinesAndClosedPeersFail) {
  for (const char* bad : {"25\r\n", "\n", "abc ready\r\n", "2x0 ok\r\n"}) {
    MemoryConnection c(bad, 3);
    SmtpReply reply;
    std::string error;
    EXPECT_FALSE(ReadSmtpReply(&c, 0, &reply, &error)) << bad;
    EXPECT_EQ(error, "Failed to read SMTP status");
  }
  MemoryConnection cut("250-one\r\n250-two", 4);
  SmtpReply reply;
  std::string error;
  EXPECT_FALSE(ReadSmtpReply(&cut, 0, &reply, &error));
  EXPECT_EQ(error, "Read Error: Connection closed by remote host");
  // A bare code is a whole reply.
  MemoryConnection bare("354\n", 1);
  ASSERT_TRUE(ReadSmtpReply(&bare, 0, &reply, &error));
  EXPECT_EQ(reply.code, 354);
}

TEST(SmtpAuth, CramMd5MatchesRfc2195) {
  EXPECT_EQ(CramMd5Answer("tim", "tanstaaftanstaaf", "<1896.697170952@postoffice.reston.mci.net>"),
            "tim b913a602c7eda7a495b4e6e7334d3890");
}

TEST(SmtpAuth, DigestMd5MatchesRfc2831) {
  DigestChallenge c;
  std::string error;
  ASSERT_TRUE(
      ParseDigestChallenge("realm=\"elwood.innosoft.com\",nonce=\"OA6MG9tEQGm2hh\",qop=\"auth\","
                           "algorithm=md5-sess,charset=utf-8",
                           &c, &error))
      << error;
  EXPECT_EQ(c.realm, "elwood.innosoft.com");
  EXPECT_EQ(c.nonce, "OA6MG9tEQGm2hh");
  DigestAnswer a =
      DigestMd5Answer("chris", "secret", c, "OA6MHXh6VqTrRk", "imap/elwood.innosoft.com");
  EXPECT_EQ(a.line,
            "username=\"chris\",realm=\"elwood.innosoft.com\",nonce=\"OA6MG9tEQGm2hh\","
            "cnonce=\"OA6MHXh6VqTrRk\",nc=00000001,qop=\"auth\","
            "digest-uri=\"imap/elwood.innosoft.com\",charset=utf-8,"
            "response=\"d388dad90d4bbd760a152321f2143af7\"");
  EXPECT_EQ(a.rspauth, "ea40f60335c427b5527b84dbabcdfffd");
}

TEST(SmtpAuth, DigestMd5WithoutRealmOrCharsetLeavesThemOut) {
  DigestChallenge c;
  std::string error;
  ASSERT_TRUE(ParseDigestChallenge("nonce=\"abc,def\" , qop=\"auth-int,auth\"", &c, &error));
  EXPECT_EQ(c.nonce, "abc,def");
  DigestAnswer a = DigestMd5Answer("u", "p", c, "cn", "smtp/h");
  EXPECT_EQ(a.line.find("realm"), std::string::npos);
  EXPECT_EQ(a.line.find("charset"), std::string::npos);
  // The response computed here step by step, with an empty realm.
  Md5Digest inner = Md5::Digest("u::p");
  std::string a1(reinterpret_cast<const char*>(inner.data()), 16);
  std::string ha1 = HexLower(Md5::Digest(a1 + ":abc,def:cn"));
  std::string ha2 = HexLower(Md5::Digest("AUTHENTICATE:smtp/h"));
  std::string response = HexLower(Md5::Digest(ha1 + ":abc,def:00000001:cn:auth:" + ha2));
  EXPECT_NE(a.line.find(",response=\"" + response + "\""), std::string::npos) << a.line;
}

TEST(SmtpAuth, ChallengesTheClientRefuses) {
  struct Case {
    const char* challenge;
    const char* error;
  } cases[] = {
      {"realm=\"r\"", "Unable to determine nonce during DIGEST-MD5 authentication"},
      {"nonce=a,nonce=b", "Server returned multiple nonce values during DIGEST-MD5 authentication"},
      {"nonce=a,charset=latin1",
       "Server specified unrecognized charset during DIGEST-MD5 authentication"},
      {"nonce=a,algorithm=md5-sess,algorithm=md5-sess",
       "Server returned multiple algorithm values in challenge during DIGEST-MD5 authentication"},
      {"nonce=a,algorithm=md5",
       "Server returned an unrecognized algorithm during DIGEST-MD5 authentication"},
      {"nonce=a,qop=\"auth-int,auth-conf\"",
       "Server does not support required qop \"auth\" during DIGEST-MD5 authentication"},
  };
  for (const Case& c : cases) {
    DigestChallenge out;
    std::string error;
    EXPECT_FALSE(ParseDigestChallenge(c.challenge, &out, &error)) << c.challenge;
    EXPECT_EQ(error, c.error);
  }
}

// The message text as the server would receive it, written in pieces of
// `step` bytes so that two-byte line ends are split across writes.
std::string Text(const std::string& written, size_t step, bool* ok = nullptr) {
  MemoryConnection c("", 1);
  {
    SMTPOutput out(nullptr, &c, 7, 0);
    for (size_t i = 0; i < written.size(); i += step) {
      std::string piece = written.substr(i, step);
      out.Write(piece.data(), static_cast<int32_t>(piece.size()));
    }
    bool finished = out.FinishText();
    if (ok) *ok = finished;
  }
  return c.written();
}

TEST(SmtpOutput, LineEndsBecomeCrLfAndDotsAreStuffed) {
  for (size_t step = 1; step <= 5; ++step) {
    SCOPED_TRACE(step);
    EXPECT_EQ(Text("\r\n\nHi\r\nthere\n", step), "Hi\r\nthere\r\n.\r\n");
    EXPECT_EQ(Text("a\rb\n\rc\r\n\r\nd", step), "a\r\nb\r\nc\r\n\r\nd\r\n.\r\n");
    EXPECT_EQ(Text("x\n\n\ny", step), "x\r\n\r\n\r\ny\r\n.\r\n");
    EXPECT_EQ(Text(".\n.a\nb.c\n..", step), "..\r\n..a\r\nb.c\r\n...\r\n.\r\n");
    EXPECT_EQ(Text("last line .\n.", step), "last line .\r\n..\r\n.\r\n");
    EXPECT_EQ(Text("", step), ".\r\n");
  }
}

TEST(SmtpOutput, AFailedSendIsRememberedAndReported) {
  class Refusing : public MemoryConnection {
   public:
    Refusing() : MemoryConnection("", 1) {}
    int32_t Write(const char*, int32_t, int) override {
      SetError("Write Error: Broken pipe");
      return -1;
    }
  } c;
  SMTPOutput out(nullptr, &c, 4, 0);
  out.Write("0123456789", 10);
  EXPECT_FALSE(out.FinishText());
  EXPECT_EQ(out.LastError(), "Write Error: Broken pipe");
}

TEST(SmtpFlags, PiecesCaseAndConflicts) {
  uint32_t flags = 0;
  std::string error;
  ASSERT_TRUE(ParseSmtpFlags(" TLS , noHeaders,", &flags, &error));
  EXPECT_EQ(flags, kSmtpTls | kSmtpNoHeaders);
  ASSERT_TRUE(ParseSmtpFlags("", &flags, &error));
  EXPECT_EQ(flags, 0u);
  EXPECT_FALSE(ParseSmtpFlags("starttls, tls", &flags, &error));
  EXPECT_EQ(error, "Only one of the \"tls\" or \"starttls\" flags may be specified");
  EXPECT_FALSE(ParseSmtpFlags("starttls, ssl", &flags, &error));
  EXPECT_EQ(error, "Unsupported flag \"ssl\"");
}

TEST(SmtpDate, ZoneInWholeHoursWithTheSignRules) {
  EXPECT_EQ(SmtpDateFields(2026, 12, 6, 0, 9, 5, 7, 0), "Sun, 06 Dec 2026 09:05:07 -0000");
  EXPECT_EQ(SmtpDateFields(2024, 2, 29, 4, 23, 59, 59, 5 * 3600 + 1800),
            "Thu, 29 Feb 2024 23:59:59 +0500");
  EXPECT_EQ(SmtpDateFields(2024, 7, 1, 1, 0, 0, 0, -4 * 3600), "Mon, 01 Jul 2024 00:00:00 -0400");
  EXPECT_EQ(SmtpDateFields(2024, 7, 1, 1, 0, 0, 0, -1800), "Mon, 01 Jul 2024 00:00:00 -0000");
  // 2001-09-09 01:46:40 UTC; the zone of this process decides the rest.
  std::string now = SmtpDate(1000000000);
  EXPECT_EQ(now.size(), std::string("Sun, 09 Sep 2001 01:46:40 -0000").size()) << now;
}

TEST(Pop3Reply, StatusLinesAndDotTerminatedBodies) {
  const std::string bytes =
      "+OK 2 messages\r\n-ERR [AUTH] no\r\n* what\r\n"
      "Subject: x\r\n\r\n..\r\n...two\r\n.a\r\nend\n.\r\n";
  for (size_t step = 1; step < 8; ++step) {
    MemoryConnection c(bytes, step);
    std::string text;
    EXPECT_EQ(ReadPop3Status(&c, 0, &text), Pop3Status::kOk);
    EXPECT_EQ(text, "2 messages");
    EXPECT_EQ(ReadPop3Status(&c, 0, &text), Pop3Status::kError);
    EXPECT_EQ(text, "[AUTH] no");
    EXPECT_EQ(ReadPop3Status(&c, 0, &text), Pop3Status::kUnreadable);
    Pop3LineReader reader(&c, 0);
    std::string line, all;
    int r;
    while ((r = reader.Next(&line)) == 1)
      all += line + "|";
    EXPECT_EQ(r, 0);
    EXPECT_EQ(all, "Subject: x||.|..two|.a|end|");
    EXPECT_EQ(reader.Next(&line), -1);
    EXPECT_EQ(reader.error(), "Read Error: Connection closed by remote host");
  }
}

TEST(Pop3Address, PortsSchemesAndTls) {
  Pop3Address a;
  ASSERT_TRUE(ParsePop3Address("mail.example", &a));
  EXPECT_EQ(a.host, "mail.example");
  EXPECT_EQ(a.port, 110);
  EXPECT_FALSE(a.tls);
  ASSERT_TRUE(ParsePop3Address("pop3s://mail.example", &a));
  EXPECT_EQ(a.port, 995);
  EXPECT_TRUE(a.tls);
  ASSERT_TRUE(ParsePop3Address("POP3S://127.0.0.1:2995", &a));
  EXPECT_EQ(a.host, "127.0.0.1");
  EXPECT_EQ(a.port, 2995);
  EXPECT_TRUE(a.tls);
  ASSERT_TRUE(ParsePop3Address("localhost:995", &a));
  EXPECT_TRUE(a.tls);
  ASSERT_TRUE(ParsePop3Address("pop3://[::1]:1100", &a));
  EXPECT_EQ(a.host, "::1");
  EXPECT_EQ(a.port, 1100);
  EXPECT_FALSE(a.tls);
  ASSERT_TRUE(ParsePop3Address("::1", &a));
  EXPECT_EQ(a.host, "::1");
  EXPECT_EQ(a.port, 110);
  EXPECT_FALSE(ParsePop3Address("host:0", &a));
  EXPECT_FALSE(ParsePop3Address("host:65536", &a));
  EXPECT_FALSE(ParsePop3Address("host:11x", &a));
  EXPECT_FALSE(ParsePop3Address("[::1", &a));
}

}  // namespace
}  // namespace orin
